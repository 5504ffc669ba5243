// The one exported entry of the KeltoTarvoX library: its class list.

#include "platform/ClassTable.h"
#include "plugin_shell/CTarvoXPlugIn.h"
#include "plugin_shell/CTarvoXSetup.h"
#include "plugin_shell/XPluginPrefs.h"

namespace {

kelto::ClassEntries classes()
{
    using namespace kelto;
    return {
        {CTarvoXPlugIn::kProgId, CTarvoXPlugIn::kClassId, &createInstance<CTarvoXPlugIn>},
        {CTarvoXSetup::kProgId, CTarvoXSetup::kClassId, &createInstance<CTarvoXSetup>},
        {XPluginPrefs::kProgId, nullptr, &createInstance<XPluginPrefs>},
    };
}

} // namespace

KELTO_COMPONENT_CLASSES(&classes)

