#pragma once
// Stand-ins for the test element and result classes that measurement and limit
// tests need before the real ones exist.

#include "tests/support/Errors.h"
#include "tests/support/NullTestElement.h"
#include "tests/support/TestStandards.h"
#include <QHash>
#include <QStringList>
#include <cmath>
#include <functional>

#include "framework/CMeasurement.h"
#include "platform/ComponentRuntime.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::testing {

class FakeResult : public IResultData {
public:
    QList<Ptr<CMeasurement>> measurements;

    Ptr<CMeasurement> add(const QString& key, const Variant& value = {})
    {
        auto m = std::make_shared<CMeasurement>();
        m->Initialize(key, QStringLiteral("Caption of ") + key, QStringLiteral("u"), evtNumber);
        m->SetValue(value);
        measurements.append(m);
        return m;
    }

    QString Comment() override { return {}; }
    void SetComment(const QString&) override {}
    bool HasDialog() override { return false; }
    std::int32_t Status() override { return 0; }
    // By key, or by place from 1 as the host enumerates them.
    Ptr<IMeasurement> Measurement(const Variant& key) override
    {
        if (key.isNumeric()) {
            const int place = static_cast<int>(key.toDouble());
            return place >= 1 && place <= measurements.size() ? measurements[place - 1] : nullptr;
        }
        for (const auto& m : measurements)
            if (m->Key() == key.toString())
                return m;
        return nullptr;
    }
    std::int32_t MeasurementCount() override { return static_cast<std::int32_t>(measurements.size()); }
    Ptr<IServiceRecord> ServiceRecord() override { return nullptr; }
    std::int32_t MTIID() override { return 0; }
    Ptr<IDialog> CreateDialog() override { return nullptr; }
    void Load(const Ptr<IXmlElement>&, const Ptr<IProtocolLog>&) override {}
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>&) override { return nullptr; }
    void PrintReport(const Ptr<IReport>&, const Ptr<ITestSetup>&) override {}
};

class FakeElement : public NullTestElement {
public:
    explicit FakeElement(std::int32_t testId) : testId(testId) {}
    std::int32_t testId;
    Ptr<IResultData> result;
    Ptr<ILimitData> limits;

    std::int32_t TestID() override { return testId; }
    std::int32_t ID() override { return testId; }
    Ptr<IResultData> Result() override { return result; }
    Ptr<ILimitData> Limits() override { return limits; }
};

// A named standard of host objects with limits given as (key, high, low, formula);
// NaN leaves an index without value.
struct LimitValues {
    QString key;
    float high;
    float low;
    QString formula = {};
    QString unit = QStringLiteral("u");
};

inline Ptr<IStandard> makeStandard(const QString& alpha, const QString& complete, const QList<LimitValues>& limits)
{
    auto standard = ComponentRuntime::instance().createAs<IStandard>(QLatin1String(hostclass::Standard));
    standard->SetNames(alpha, complete, 1);
    for (const LimitValues& wanted : limits) {
        const char* cls = wanted.formula.isEmpty() ? hostclass::Limit : hostclass::RelativeLimit;
        auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(cls));
        limit->Initialize(wanted.key, wanted.unit, wanted.formula, wanted.formula);
        if (!std::isnan(wanted.high))
            limit->SetValue(elvHigh, wanted.high);
        if (!std::isnan(wanted.low))
            limit->SetValue(elvLow, wanted.low);
        standard->AddLimit(limit);
    }
    return standard;
}

using kelto::makeCollection;

using kelto::errorNumberOf;

} // namespace kelto::testing
