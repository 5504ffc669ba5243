// The sixteen result classes: names, creation, measurement sets, load log text,
// error location and report table.

#include <functional>

#include "ResultTestSupport.h"
#include "results/CResultPacer.h"
#include "results/CResultSeries.h"
#include "results/CResultSingleReading.h"
#include "results/CResultWaveform.h"

using namespace kelto;
using namespace kelto::resulttest;

namespace {

struct ClassFacts {
    const char* name;     // class name after "CResult"
    bool creatable;       // by ProgID and class id
    const char* location; // of its error reports
    const char* progress; // its load log entry, translated
    int count;
    const char* firstKey;
    const char* lastKey;
    std::function<Ptr<CResultBase>()> make; // created and initialised as its test element does
};

template <class R, class C>
std::function<Ptr<CResultBase>()> withConfig()
{
    return [] {
        auto r = std::make_shared<R>();
        r->Initialize(std::make_shared<C>());
        return r;
    };
}

const ClassFacts kClasses[] = {
    {"ChargeTime", true, "CResultChargeTime", "Loading Charge Time Test result data", 1, "CHTI", "CHTI", withConfig<CResultChargeTime, CConfigChargeTime>()},
    {"VFIBEnergy", true, "CResultVFIBEnergy", "Loading VFIB Energy Test result data", 1, "ENGY", "ENGY", withConfig<CResultVFIBEnergy, CConfigVFIBEnergy>()},
    {"VTACHEnergy", true, "CResultVTACHEnergy", "Loading VTACH Energy Test result data", 1, "ENGY", "ENGY", withConfig<CResultVTACHEnergy, CConfigVTACHEnergy>()},
    {"PeakVoltage", true, "CResultPeakVoltage", "Loading Peak Voltage Test result data", 1, "PEAV", "PEAV", withConfig<CResultPeakVoltage, CConfigPeakVoltage>()},
    {"OverCurrent", true, "CResultOverCurrent", "Loading Over Current Test result data", 1, "OVRC", "OVRC", withConfig<CResultOverCurrent, CConfigOverCurrent>()},
    {"OverVoltage", true, "CResultOverVoltage", "Loading Over Voltage Test result data", 1, "OVRV", "OVRV", withConfig<CResultOverVoltage, CConfigOverVoltage>()},
    {"SyncRPeak", true, "CResultSyncRPeak", "Loading Sync R-Peak Test result data", 1, "SYNT", "SYNT", withConfig<CResultSyncRPeak, CConfigSyncRPeak>()},
    {"SyncQBase", true, "CResultSyncQBase", "Loading Sync Q-Base Test result data", 1, "SYNT", "SYNT", withConfig<CResultSyncQBase, CConfigSyncQBase>()},
    {"BatteryCapacity", false, "CResultBatteryCapacity", "20310:Loading Battery Capacity Test result data", 20, "CHTI1", "CHTI20",
        [] {
            auto r = std::make_shared<CResultBatteryCapacity>();
            r->Initialize();
            return r;
        }},
    {"BatteryRetention", true, "CResultBatteryRetention", "Loading Battery Capacity Retention Test result data", 15, "CHTI1", "CHTI15",
        withConfig<CResultBatteryRetention, CConfigBatteryRetention>()},
    {"DefibPulse", false, "CResultDefibPulse", "Loading Defib Pulse Repetition Test result data", 15, "ENGY1", "ENGY15",
        withConfig<CResultDefibPulse, CConfigDefibPulse>()},
    {"NormalSinus", true, "KeltoTarvoXTest.CResultNormalSinus", "Loading Normal Sinus Wave Test result data", 1, "NSW", "NSW",
        withConfig<CResultNormalSinus, CConfigNormalSinus>()},
    {"Arrhythmia", true, "KeltoTarvoXTest.CResultArrhythmia", "Loading Arrhythmia Wave Test result data", 1, "ARR", "ARR",
        withConfig<CResultArrhythmia, CConfigArrhythmia>()},
    {"Performance", true, "KeltoTarvoXTest.CResultPerformance", "Loading Performance Wave Test result data", 1, "PERF", "PERF",
        withConfig<CResultPerformance, CConfigPerformance>()},
    {"PacerParameter", false, "KeltoTarvoXTest.CResultPacerParameter", "Loading Pacer Parameter Test result data", 4, "PACR", "PULV",
        withConfig<CResultPacerParameter, CConfigPacerParameter>()},
    {"PacerRefractory", false, "KeltoTarvoXTest.CResultPacerRefractory", "Loading Pacer Refractory Test result data", 2, "SENS", "PACE",
        withConfig<CResultPacerRefractory, CConfigPacerRefractory>()},
};

QString progIdOf(const ClassFacts& c)
{
    return QStringLiteral("KeltoTarvoXTest.CResult") + QLatin1String(c.name);
}

} // namespace

TEST(ResultClasses, publicClassesAreCreatedByProgIdAndClassIdPrivateOnesNot)
{
    QStringList registered;
    for (const ClassRegistration& reg : ComponentRuntime::instance().classes())
        registered << reg.progId;
    for (const ClassFacts& c : kClasses) {
        const ObjectPtr byName = CreateObject(progIdOf(c));
        EXPECT_EQ(byName != nullptr, c.creatable) << c.name;
        EXPECT_EQ(registered.contains(progIdOf(c)), c.creatable) << c.name;
        if (!c.creatable)
            continue;
        auto asResult = query<IResultData>(byName);
        ASSERT_NE(asResult, nullptr) << c.name;
        EXPECT_EQ(asResult->Status(), emsNone) << c.name;
        EXPECT_EQ(asResult->MeasurementCount(), 0) << c.name;
    }
    EXPECT_NE(CreateObject(QLatin1String(CResultChargeTime::kClassId)), nullptr);
    EXPECT_NE(CreateObject(QLatin1String(CResultBatteryRetention::kClassId)), nullptr);
    EXPECT_NE(CreateObject(QLatin1String(CResultPerformance::kClassId)), nullptr);
}

TEST(ResultClasses, measurementSetsOfEveryClass)
{
    for (const ClassFacts& c : kClasses) {
        const Ptr<CResultBase> r = c.make();
        ASSERT_EQ(r->MeasurementCount(), c.count) << c.name;
        EXPECT_EQ(r->Measurement(Variant(1))->Key(), QLatin1String(c.firstKey)) << c.name;
        EXPECT_EQ(r->Measurement(Variant(c.count))->Key(), QLatin1String(c.lastKey)) << c.name;
        EXPECT_EQ(r->Status(), emsNone) << c.name;
        for (int i = 1; i <= c.count; ++i)
            EXPECT_TRUE(r->Measurement(Variant(i))->value().isEmpty()) << c.name << i;
    }
}

TEST(ResultClasses, loadLogTextAndErrorLocationOfEveryClass)
{
    for (const ClassFacts& c : kClasses) {
        const Ptr<CResultBase> r = c.make();
        host::HostLog::instance().clear();
        try {
            r->Load(elementOf(QStringLiteral("<Other/>")), newLog());
            ADD_FAILURE() << c.name << " accepted another element";
        } catch (const PluginError& e) {
            EXPECT_EQ(e.number(), hresult(0x8004A3EB)) << c.name;
            EXPECT_EQ(e.source(), QLatin1String(c.location)) << c.name;
        }
        const auto entries = protocolEntries();
        ASSERT_EQ(entries.size(), 2) << c.name;
        EXPECT_EQ(entries[0].text, QLatin1String(c.progress)) << c.name;

        // Any other failure goes to the host log under the same location.
        host::HostLog::instance().clear();
        r->Load(elementOf(QStringLiteral("<ResultItem><Measurement Key=\"NONE\"/></ResultItem>")), nullptr);
        ASSERT_EQ(reportedErrors().size(), 1) << c.name;
        EXPECT_EQ(reportedErrors()[0].source, QLatin1String(c.location)) << c.name;
    }
}

TEST(ResultClasses, everyClassPrintsTheSameTableAndSurvivesARoundTrip)
{
    for (const ClassFacts& c : kClasses) {
        const Ptr<CResultBase> r = c.make();
        auto report = std::make_shared<host::Report>();
        report->setTableWidth(7360);
        r->PrintReport(report, nullptr);
        ASSERT_EQ(report->tables().size(), 1) << c.name;
        EXPECT_EQ(report->tables()[0].format, QStringLiteral("<+560|<2240|>+1000|>+1000|^+1000|<+!1000|<+560;")) << c.name;
        EXPECT_EQ(report->tables()[0].header, QStringLiteral("|{\\i\\b Result:}|{\\i\\b Preset Value}|{\\i\\b Value}|{\\i\\b Unit};"))
            << c.name;
        EXPECT_EQ(report->tables()[0].rows.count(QLatin1Char(';')), c.count) << c.name;

        r->SetComment(QStringLiteral("c"));
        r->SetMTIID(3);
        const Ptr<CResultBase> copy = c.make();
        copy->Load(r->Save(newDocument()), nullptr);
        EXPECT_EQ(copy->Comment(), QStringLiteral("c")) << c.name;
        EXPECT_EQ(copy->MTIID(), 3) << c.name;
    }
}
