#pragma once
// Shared helpers of the result tests: an owning test element with real limits and
// the host's filter, standards with given limits, host documents and the host log.

#include "tests/support/Errors.h"
#include "tests/support/NullTestElement.h"
#include "tests/support/TestStandards.h"
#include <QStringList>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "framework/CLimitData.h"
#include "host/HostLog.h"
#include "host/Report.h"
#include "host/ServiceRecord.h"
#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::resulttest {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

struct LimitRow {
    QString key;
    float high;
    float low = kNone;
};

inline Ptr<IStandard> makeStandard(const QString& name, const QList<LimitRow>& limits = {})
{
    auto standard = ComponentRuntime::instance().createAs<IStandard>(QLatin1String(hostclass::Standard));
    standard->SetNames(name, name + QStringLiteral(" full"), 1);
    for (const LimitRow& row : limits) {
        auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::Limit));
        limit->Initialize(row.key, QStringLiteral("u"), QString(), QString());
        if (!std::isnan(row.high))
            limit->SetValue(elvHigh, row.high);
        if (!std::isnan(row.low))
            limit->SetValue(elvLow, row.low);
        standard->AddLimit(limit);
    }
    return standard;
}

using kelto::makeCollection;

// The selection of a run: standards named like the element's own, without limits.
inline Ptr<IStandardCollection> selection(const QStringList& names)
{
    QList<Ptr<IStandard>> standards;
    for (const QString& name : names)
        standards << makeStandard(name);
    return makeCollection(standards);
}

// The owning element of a result: real limits and the host's test filter.
class OwnerElement : public NullTestElement {
public:
    static Ptr<OwnerElement> make(const QList<Ptr<IStandard>>& ownStandards = {}, std::int32_t filterFlags = 0)
    {
        auto owner = std::make_shared<OwnerElement>();
        owner->limits = std::make_shared<CLimitData>();
        owner->limits->Initialize(owner, true);
        if (!ownStandards.isEmpty()) {
            auto doc = std::make_shared<host::XmlDocument>();
            auto element = makeCollection(ownStandards)->Save(doc);
            element->SetTagName(QStringLiteral("ExpectedResult"));
            owner->limits->Load(element, nullptr);
        }
        owner->filter = ComponentRuntime::instance().createAs<ITestFilter>(QStringLiteral("Kelto.TestFilter"));
        owner->filter->SetFlags(filterFlags);
        return owner;
    }

    Ptr<CLimitData> limits;
    Ptr<ITestFilter> filter;
    bool limitsFail = false;

    Ptr<ITestFilter> Filter() override { return filter; }
    Ptr<ILimitData> Limits() override
    {
        if (limitsFail)
            raiseError(vberr::ObjectNotSet, QStringLiteral("OwnerElement"));
        return limits;
    }
};

inline Ptr<host::XmlDocument> newDocument()
{
    return std::make_shared<host::XmlDocument>();
}

// The document element of an XML text, in a document of its own.
inline Ptr<IXmlElement> elementOf(const QString& xml)
{
    auto doc = newDocument();
    EXPECT_TRUE(doc->LoadXml(xml)) << qPrintable(xml);
    return doc->DocumentElement();
}

inline QStringList childNames(const Ptr<IXmlElement>& element)
{
    QStringList names;
    auto children = element->Children();
    for (int i = 0; i < children->Count(); ++i)
        names << children->Item(i)->TagName();
    return names;
}

// Text of the element as the document writes it, for comparing whole elements.
inline QString xmlOf(const Ptr<IXmlElement>& element)
{
    auto doc = newDocument();
    doc->SetDocumentElement(element);
    return doc->Xml();
}

inline QList<host::LogEntry> reportedErrors()
{
    return host::HostLog::instance().reportedErrors();
}

inline QList<host::LogEntry> protocolEntries()
{
    QList<host::LogEntry> out;
    for (const auto& e : host::HostLog::instance().entries())
        if (e.kind == host::LogEntry::ProtocolBegin || e.kind == host::LogEntry::ProtocolEnd)
            out << e;
    return out;
}

inline Ptr<IProtocolLog> newLog()
{
    return ComponentRuntime::instance().createAs<IProtocolLog>(QLatin1String(hostclass::ProtocolLog));
}

} // namespace kelto::resulttest
