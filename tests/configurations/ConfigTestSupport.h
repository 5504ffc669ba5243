#pragma once
// Shared helpers of the configuration tests: host documents, element children and
// the errors the host logged.

#include "tests/support/Errors.h"
#include <QStringList>
#include <gtest/gtest.h>

#include "configurations/CConfigDefibPulse.h"
#include "configurations/CConfigEnergySetting.h"
#include "configurations/CConfigPacer.h"
#include "host/HostLog.h"
#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/HostServices.h"

namespace kelto::testing {

// A configuration by its class name after "CConfig": a public one by its ProgID, as
// the host creates it; a private one (no name creates it) as its test element does.
inline Ptr<CConfigBase> newConfiguration(const QString& name)
{
    const std::pair<const char*, Ptr<CConfigBase> (*)()> privateOnes[] = {
        {"BatteryCapacity", [] { return Ptr<CConfigBase>(std::make_shared<CConfigBatteryCapacity>()); }},
        {"DefibPulse", [] { return Ptr<CConfigBase>(std::make_shared<CConfigDefibPulse>()); }},
        {"PacerParameter", [] { return Ptr<CConfigBase>(std::make_shared<CConfigPacerParameter>()); }},
        {"PacerRefractory", [] { return Ptr<CConfigBase>(std::make_shared<CConfigPacerRefractory>()); }},
    };
    for (const auto& [privateName, make] : privateOnes) {
        if (name == QLatin1String(privateName))
            return make();
    }
    return ComponentRuntime::instance().createAs<CConfigBase>(QStringLiteral("KeltoTarvoXTest.CConfig") + name);
}

inline Ptr<IXmlDocument> newDocument()
{
    return ComponentRuntime::instance().createAs<IXmlValueCodec>(QLatin1String(hostclass::XmlValueCodec))->CreateDocument();
}

// The document element of an XML text, in a document of its own.
inline Ptr<IXmlElement> elementOf(const QString& xml)
{
    auto doc = newDocument();
    EXPECT_TRUE(doc->LoadXml(xml)) << qPrintable(xml);
    return doc->DocumentElement();
}

// "PlugInData" with PlugIn="TarvoX" around the given children.
inline Ptr<IXmlElement> plugInData(const QString& children)
{
    return elementOf(QStringLiteral("<PlugInData PlugIn=\"TarvoX\">") + children + QStringLiteral("</PlugInData>"));
}

inline QStringList childNames(const Ptr<IXmlElement>& element)
{
    QStringList names;
    auto children = element->Children();
    for (int i = 0; i < children->Count(); ++i)
        names << children->Item(i)->TagName();
    return names;
}

inline QString childText(const Ptr<IXmlElement>& element, const QString& name)
{
    auto child = element->FindChild(name, 0);
    return child ? child->Text() : QStringLiteral("<absent>");
}


inline QList<host::LogEntry> reportedErrors()
{
    return host::HostLog::instance().reportedErrors();
}

} // namespace kelto::testing
