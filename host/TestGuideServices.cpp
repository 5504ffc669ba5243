#include "TestGuideServices.h"

#include "platform/MessageBox.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"

namespace kelto::host {

Ptr<ITestGuideConfig> TestGuideConfig::Clone()
{
    return std::make_shared<TestGuideConfig>(*this);
}

void TestGuideConfig::Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>&)
{
    if (!in)
        raiseError(vberr::ObjectNotSet, QStringLiteral("Kelto.TestGuideConfig"), QStringLiteral("No element was given to read the test-guide settings from."));
    auto read = [&](const char* name, bool& setting) {
        const QString text = in->GetAttribute(QString::fromLatin1(name)).trimmed();
        if (!text.isEmpty())
            setting = text != QLatin1String("0") && text.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
    };
    read("ShowPictures", m_showPictures);
    read("ConfirmNext", m_confirmNext);
}

Ptr<IXmlElement> TestGuideConfig::Save(const Ptr<IXmlDocument>& owner)
{
    auto e = owner ? owner->CreateElement(QStringLiteral("TestGuideSettings")) : nullptr;
    if (!e)
        return nullptr;
    e->SetAttribute(QStringLiteral("ShowPictures"), m_showPictures ? QStringLiteral("1") : QStringLiteral("0"));
    e->SetAttribute(QStringLiteral("ConfirmNext"), m_confirmNext ? QStringLiteral("1") : QStringLiteral("0"));
    return e;
}

QString TestGuideHelper::Caption(const Ptr<ITestElement>& element)
{
    if (!element)
        return {};
    auto info = element->Info();
    return info ? info->Name() : QString();
}

bool TestGuideHelper::ConfirmAbort()
{
    return MsgBox(QStringLiteral("Do you want to abort the test? The readings of this run are discarded."), mb::YesNo | mb::Question,
                  QStringLiteral("Abort test"))
           == mb::Yes;
}

} // namespace kelto::host
