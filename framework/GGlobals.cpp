#include "framework/GGlobals.h"

#include "framework/MMiscUtils.h"
#include "platform/PluginError.h"
#include "platform/interfaces/PlugIn.h"

namespace kelto {

void GGlobals::SetPlugInPointer(const Ptr<IPlugIn>& plugIn)
{
    if (!plugIn)
        raiseError(vberr::ObjectNotSet, QString::fromLatin1(kProgId), QStringLiteral("No plug-in object was given."));
    if (plugIn->ID() != QLatin1String("TarvoX"))
        return;
    auto tarvoX = query<ITarvoXPlugIn>(plugIn);
    if (!tarvoX)
        raiseError(vberr::TypeMismatch, QString::fromLatin1(kProgId), QStringLiteral("The plug-in does not implement ITarvoXPlugIn."));
    MMiscUtils::StorePlugIn(tarvoX);
}

Ptr<IStandard> EmptyTarvoXPlugIn::LoadStandard(std::int32_t, QString&, QString&)
{
    return nullptr;
}

} // namespace kelto
