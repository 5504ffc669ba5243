#include "TestGuideServices.h"

#include "platform/EscapedText.h"
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
    // Both are read before either is taken: a text that is no setting changes neither.
    auto read = [&](const char* name, bool setting) {
        const QString text = in->GetAttribute(QString::fromLatin1(name)).trimmed();
        if (text.isEmpty())
            return setting;
        if (text == QLatin1String("1") || text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text == QLatin1String("0") || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        raiseError(vberr::TypeMismatch, QStringLiteral("Kelto.TestGuideConfig"),
            QStringLiteral("The %1 of the test-guide settings cannot be read: %2 (1 or 0 is expected). Correct it in the file or remove it.")
                .arg(QLatin1String(name), quotedValue(text)));
    };
    const bool showPictures = read("ShowPictures", m_showPictures);
    const bool confirmNext = read("ConfirmNext", m_confirmNext);
    m_showPictures = showPictures;
    m_confirmNext = confirmNext;
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
    // A repeat that is stopped leaves the result an earlier start of the guide judged:
    // Abort drops that one too, and the box says so.
    return MsgBox(QStringLiteral("Do you want to abort the test? Everything this guide measured is discarded, a result it judged "
                                 "included; a result judged before the guide opened stays."),
                  mb::YesNo | mb::Question,
                  QStringLiteral("Abort test"))
           == mb::Yes;
}

} // namespace kelto::host
