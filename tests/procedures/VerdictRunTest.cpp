// Every test type run through its element, the link and the simulated analyser in
// virtual time, with a standard selected: a reading within the limit passes and one
// beyond it fails. The waveform tests take the operator's verdict instead, and
// refuse one for a waveform that never played.

#include <cmath>

#include "platform/ComponentRuntime.h"
#include "tests/procedures/DefibRunFixture.h"
#include "tests/procedures/ProcedureLimits.h"

namespace kelto::test {
namespace {

// How a run of one test type is made to pass and to fail.
struct TypeRun {
    const char* progId;
    const char* word;   // the command whose reply is judged; null: the operator judges
    const char* stored; // the measurement that holds the reading (or the verdict)
    const char* limitKey;
    float high; // NaN: no value on that side
    float low;
    const char* within;
    std::vector<const char*> beyond; // one reading past each side that has a value
};

// Presets are the configurations' defaults: 100 J, pacer 60 ppm and 50 mA.
const TypeRun kTypes[] = {
    // The built-in energy limit is a percentage of the preset: 100 J + 15 %.
    {"KeltoTarvoXTest.CTestVFIBEnergy", "NRG", "ENGY", "ENGY", 15, NAN, "114.8", {"115.3"}},
    {"KeltoTarvoXTest.CTestVTACHEnergy", "EVT", "ENGY", "ENGY", 15, NAN, "104.2", {"119.6"}},
    {"KeltoTarvoXTest.CTestChargeTime", "CRG", "CHTI", "CHTI", 15, NAN, "14.9", {"15.1"}},
    {"KeltoTarvoXTest.CTestPeakVoltage", "PVT", "PEAV", "PEAV", 5000, 1000, "2150", {"5001", "999"}},
    {"KeltoTarvoXTest.CTestOverCurrent", "OCR", "OVRC", "OVRC", 80, 10, "41.5", {"80.5", "9.5"}},
    {"KeltoTarvoXTest.CTestOverVoltage", "OVT", "OVRV", "OVRV", 5000, 1000, "1980", {"5100", "900"}},
    // A reading equal to the limit passes.
    {"KeltoTarvoXTest.CTestSyncRPeak", "STP", "SYNT", "SYNT", 60, NAN, "60", {"60.5"}},
    {"KeltoTarvoXTest.CTestSyncQBase", "STB", "SYNT", "SYNT", 60, NAN, "45", {"61"}},
    {"KeltoTarvoXTest.CTestNormalSinus", nullptr, "NSW", nullptr, NAN, NAN, nullptr, {}},
    {"KeltoTarvoXTest.CTestArrhythmia", nullptr, "ARR", nullptr, NAN, NAN, nullptr, {}},
    {"KeltoTarvoXTest.CTestPerformance", nullptr, "PERF", nullptr, NAN, NAN, nullptr, {}},
    {"KeltoTarvoXTest.CTestPacerParameter", "PAW", "PULW", "PULW", 50, 10, "20.0", {"50.5", "9.5"}},
    {"KeltoTarvoXTest.CTestPacerRefractory", "SRP", "SENS", "SENS", 400, 200, "300", {"401", "199"}},
    // The series tests store every discharge; the first place stands for all of them.
    {"KeltoTarvoXTest.CTestBatteryCapacity", "CRG", "CHTI1", "CHTI", 20, NAN, "4.5", {"20.5"}},
    {"KeltoTarvoXTest.CTestBatteryRetention", "CRG", "CHTI1", "CHTI", 20, NAN, "6.2", {"21"}},
    {"KeltoTarvoXTest.CTestDefibPulse", "NRG", "ENGY1", "ENGY", 115, 85, "101.5", {"116", "84"}},
};

class VerdictRun : public DefibRunFixture {
protected:
    void SetUp() override
    {
        DefibRunFixture::SetUp();
        setRefractoryTimeout(120); // long enough for the sensed period to come
    }

    static Ptr<CTestElementFrame> create(const TypeRun& type)
    {
        return query<CTestElementFrame>(ComponentRuntime::instance().createAs<ITestElement>(QLatin1String(type.progId)));
    }

    // A fresh element and setup for each run; the operator discharges (or the pacer
    // paces) a second after each request.
    Ptr<CTestElementFrame> prepare(const TypeRun& type, sim::Scenario scenario = {})
    {
        setup = std::make_shared<host::TestSetup>();
        boxes.clear();
        scenario.dischargeAfterMs = 1000;
        analyser(std::move(scenario));
        return create(type);
    }

    // Runs the element with the reading and returns the status of its result; the
    // reading stored and its own status are checked on the way.
    std::int32_t runWithReading(const TypeRun& type, const char* reading)
    {
        SCOPED_TRACE(reading);
        sim::Scenario scenario;
        scenario.readings[QLatin1String(type.word)] = QLatin1String(reading);
        const auto element = prepare(type, scenario);
        if (!element) {
            ADD_FAILURE() << "not created";
            return -1;
        }
        limitTo(element, setup, QLatin1String(type.limitKey), type.high, type.low);
        then([&] { start(); });
        then([&] { return idle(); }, [&] { next(); });
        perform(element);

        const auto result = element->Result();
        const auto stored = result ? result->Measurement(Variant(QLatin1String(type.stored))) : nullptr;
        if (!stored) {
            ADD_FAILURE() << "no result or no " << type.stored;
            return -1;
        }
        EXPECT_EQ(stored->value(), Variant(QString::fromLatin1(reading).toDouble()));
        EXPECT_EQ(stored->Status(), result->Status()) << "the judged reading decides";
        EXPECT_EQ(setup->finished().size(), 1);
        EXPECT_GT(result->MTIID(), 0) << "the analyser of the run is recorded";
        EXPECT_TRUE(boxes.empty()) << boxes.front().prompt.toStdString();
        return result->Status();
    }

    // Plays the waveform, lets the operator tick a column and returns the status.
    std::int32_t runWithVerdict(const TypeRun& type, int column)
    {
        const auto element = prepare(type);
        then([&] { start(); });
        then([&] { return runOver(); }, [&, column] { tick(column); });
        then([&] { return nextOffered(); }, [&] { next(); });
        perform(element);

        const auto result = element->Result();
        const auto verdict = result ? result->Measurement(Variant(QLatin1String(type.stored))) : nullptr;
        if (!verdict) {
            ADD_FAILURE() << "no result or no " << type.stored;
            return -1;
        }
        EXPECT_EQ(verdict->value(), Variant(column == kVerdictPassedColumn));
        EXPECT_GT(result->MTIID(), 0);
        EXPECT_TRUE(boxes.empty());
        return result->Status();
    }

    // The analyser answers the waveform command with its maker's banner: nothing
    // plays, and a tick in the grid must not become a verdict.
    void runWithoutWave(const TypeRun& type)
    {
        const auto element = prepare(type, withFault(QStringLiteral("banner")));
        then([&] { start(); });
        then([&] { return runOver(); }, [&] { tick(kVerdictPassedColumn); });
        then([&] { previous(); });
        perform(element);

        const auto result = element->Result();
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->Measurement(Variant(QLatin1String(type.stored)))->value().isEmpty());
        EXPECT_EQ(result->Status(), emsNone);
    }
};

TEST_F(VerdictRun, everyTestTypePassesWithinItsLimitAndFailsBeyondIt)
{
    for (const TypeRun& type : kTypes) {
        SCOPED_TRACE(type.progId);
        if (!type.word) {
            EXPECT_EQ(runWithVerdict(type, kVerdictPassedColumn), emsPassed);
            EXPECT_EQ(runWithVerdict(type, kVerdictFailedColumn), emsFailed);
            runWithoutWave(type);
            continue;
        }
        EXPECT_EQ(runWithReading(type, type.within), emsPassed);
        for (const char* reading : type.beyond)
            EXPECT_EQ(runWithReading(type, reading), emsFailed);
    }
}

} // namespace
} // namespace kelto::test
