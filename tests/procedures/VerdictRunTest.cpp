// Every test type run through its element, the link and the simulated analyser in
// virtual time, with a standard selected: a reading within the limit passes and one
// beyond it fails. The waveform tests take the operator's verdict instead, and
// refuse one for a waveform that never played. A repeat that takes no reading
// leaves the earlier result, which a skip drops only when the operator agrees.

#include <cmath>
#include <vector>

#include "configurations/CConfigWaveform.h"
#include "host/XmlDocument.h"
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

    // The run's result has the status expected, holds the judged value under its
    // key with that same status, and was handed to the host with its analyser.
    void expectRun(const Ptr<CTestElementFrame>& element, const TypeRun& type, const Variant& value, std::int32_t status)
    {
        const auto result = element->Result();
        ASSERT_TRUE(result);
        const auto judged = result->Measurement(Variant(QLatin1String(type.stored)));
        ASSERT_TRUE(judged) << type.stored;
        EXPECT_EQ(judged->value(), value);
        EXPECT_EQ(result->Status(), status);
        EXPECT_EQ(judged->Status(), status) << "the judged value decides";
        EXPECT_FALSE(setup->finished().isEmpty());
        EXPECT_GT(result->MTIID(), 0) << "the analyser of the run is recorded";
        EXPECT_TRUE(boxes.empty()) << boxes.front().prompt.toStdString();
    }

    // With stopLate, the operator presses Stop once the run has judged its reading,
    // while the link still says goodbye to the analyser: the verdict stands, the line
    // says so and Next keeps it.
    void runWithReading(const TypeRun& type, const char* reading, std::int32_t status, bool stopLate = false)
    {
        SCOPED_TRACE(::testing::Message() << reading << (stopLate ? ", stopped late" : ""));
        sim::Scenario scenario;
        scenario.readings[QLatin1String(type.word)] = QLatin1String(reading);
        const auto element = prepare(type, scenario);
        ASSERT_TRUE(element);
        limitTo(element, setup, QLatin1String(type.limitKey), type.high, type.low);
        QString line = QStringLiteral("not seen");
        bool offered = false;
        then([&] { start(); });
        if (stopLate)
            then([&] { return running() && element->currentResult() && element->currentResult()->Status() != emsNone; }, [&] { stop(); });
        then([&] { return runOver(); },
            [&] {
                line = toolbar()->statusText()->text();
                offered = nextOffered();
                if (offered)
                    next();
                else
                    previous();
            });
        perform(element);
        expectRun(element, type, Variant(QString::fromLatin1(reading).toDouble()), status);
        EXPECT_TRUE(offered) << "Next keeps the verdict";
        EXPECT_EQ(line.toStdString(), stopLate ? "Stopped once the readings were in; the run's verdict stands" : "");
        lastRun = element;
    }

    // Plays the waveform and lets the operator tick a column of the grid, with early
    // while the link still closes the line: that verdict stands and the line asks no more.
    void runWithVerdict(const TypeRun& type, int column, std::int32_t status, bool early = false)
    {
        const auto element = prepare(type);
        ASSERT_TRUE(element);
        bool tickedBeforeTheEnd = false;
        QString line = QStringLiteral("not seen");
        then([&] { start(); });
        if (early)
            then([&] { return gfWaveRunning && toolbar()->runState() == 1; },
                [&, column] {
                    tickedBeforeTheEnd = toolbar()->runState() == 1;
                    tick(column);
                });
        then([&] { return runOver(); },
            [&, column] {
                line = toolbar()->statusText()->text();
                if (!early)
                    tick(column);
            });
        then([&] { return nextOffered(); }, [&] { next(); });
        perform(element);
        expectRun(element, type, Variant(column == kVerdictPassedColumn), status);
        if (early) {
            EXPECT_TRUE(tickedBeforeTheEnd);
            EXPECT_EQ(line.toStdString(), "");
        }
        lastRun = element;
    }

    // The element's test and result as a reopened file gives them to a new element.
    static Ptr<CTestElementFrame> reopened(const TypeRun& type, const Ptr<CTestElementFrame>& element)
    {
        auto doc = std::make_shared<host::XmlDocument>();
        const auto saved = element->Save(doc, 0);
        auto again = create(type);
        again->Load(saved, nullptr);
        again->Load(saved->FindChild(QStringLiteral("ResultItem")), nullptr);
        return again;
    }

    static QString savedForm(const Ptr<IResultData>& result)
    {
        auto doc = std::make_shared<host::XmlDocument>();
        doc->SetDocumentElement(result->Save(doc));
        return doc->Xml();
    }

    // The element of the last run.
    Ptr<CTestElementFrame> lastRun;

    // The analyser answers the waveform command with its maker's banner: nothing
    // plays, and a tick in the grid must not become a verdict.
    void runWithoutWave(const TypeRun& type)
    {
        const auto element = prepare(type, withFault(QStringLiteral("banner")));
        ASSERT_TRUE(element);
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
            runWithVerdict(type, kVerdictPassedColumn, emsPassed);
            runWithVerdict(type, kVerdictFailedColumn, emsFailed);
            runWithVerdict(type, kVerdictPassedColumn, emsPassed, true);
            runWithoutWave(type);
            continue;
        }
        runWithReading(type, type.within, emsPassed);
        for (const char* reading : type.beyond)
            runWithReading(type, reading, emsFailed);
        runWithReading(type, type.beyond.front(), emsFailed, true);
    }
}

TEST_F(VerdictRun, aRepeatThatTakesNoReadingKeepsTheEarlierResultThroughNextAndAbortAndASkipAsksFirst)
{
    for (const TypeRun& type : kTypes) {
        SCOPED_TRACE(type.progId);
        if (type.word)
            runWithReading(type, type.within, emsPassed);
        else
            runWithVerdict(type, kVerdictPassedColumn, emsPassed);
        ASSERT_TRUE(lastRun);
        const auto element = reopened(type, lastRun);
        const Ptr<IResultData> earlier = element->Result();
        ASSERT_TRUE(earlier);
        ASSERT_EQ(earlier->Status(), emsPassed);
        const QString earlierForm = savedForm(earlier);
        setup = std::make_shared<host::TestSetup>();
        boxes.clear();

        // No analyser on the line: the repeat ends at once, and Next keeps the result.
        sim.reset();
        host::SerialPortMap::SetSessionPath(1, QStringLiteral("/nonexistent/tarvo-proc-1"));
        bool showsEarlier = false;
        QList<int> stepsMarked;
        QStringList lines; // the status line after each repeat
        then([&] { repeat(); });
        then([&] { return runOver(); },
            [&] {
                // No standard is ticked in this setup: only the operator's tick judged.
                showsEarlier = toolbar()->statusBadge()->text() == (type.word ? QStringLiteral("Not judged") : QStringLiteral("Passed"));
                lines << toolbar()->statusText()->text();
                stepsMarked = instructionPane(*element).activeSteps();
                next();
            });
        perform(element);
        EXPECT_TRUE(showsEarlier) << "the guide shows the earlier result again";
        if (!type.word) {
            EXPECT_EQ(stepsMarked, QList<int>{1}) << "back at the step that starts the wave";
        }
        EXPECT_EQ(element->Result(), earlier);
        EXPECT_EQ(savedForm(earlier), earlierForm);
        EXPECT_EQ(boxes.size(), 1u) << "only the box that says no analyser answered";
        EXPECT_TRUE(setup->finished().isEmpty());

        // Repeated, stopped while the measuring command waits, then skipped, which asks
        // first: No stays in the guide, and Abort there gives the result back.
        sim::Scenario quiet;
        if (type.word)
            quiet.noReply.words = {QLatin1String(type.word)};
        else
            quiet.noReply.words = {sim::commandWord(query<CConfigWaveform>(element->Configuration())->GenerateWaveCommand())};
        analyser(quiet);
        answers = {mb::No};
        QString statusWhileRunning = QStringLiteral("not seen");
        then([&] { repeat(); });
        then([&] { return sim->commands().contains(*quiet.noReply.words.begin()); },
            [&] {
                statusWhileRunning = toolbar()->statusBadge()->text();
                stop();
            });
        then([&] { return runOver(); },
            [&] {
                lines << toolbar()->statusText()->text();
                click(guidebutton::Skip);
            });
        then([&] { click(guidebutton::Abort); });
        perform(element);
        EXPECT_EQ(setup->navigations().value(1), etnAbort);
        EXPECT_EQ(boxesContaining(QStringLiteral("Do you want to abort the test? Everything this guide measured is discarded, a result it judged "
                                                 "included; a result judged before the guide opened stays.")),
            1);
        EXPECT_EQ(element->Result(), earlier) << "Abort drops only what was measured since the guide opened";
        EXPECT_EQ(savedForm(earlier), earlierForm);
        EXPECT_TRUE(setup->finished().isEmpty());
        EXPECT_EQ(statusWhileRunning, QString()) << "the earlier verdict is not the run's";
        // The abort was that guide's: Next in the following one keeps the result. A
        // repeat there that finds no analyser was not stopped, whatever the last one was.
        sim.reset();
        host::SerialPortMap::SetSessionPath(1, QStringLiteral("/nonexistent/tarvo-proc-1"));
        then([&] { repeat(); });
        then([&] { return runOver(); },
            [&] {
                lines << toolbar()->statusText()->text();
                next();
            });
        perform(element);
        EXPECT_EQ(element->Result(), earlier);
        // What the guide shows is the earlier result, not the repeat's, and the line says so.
        const QString note = type.word ? QStringLiteral("no standard judged it; ") : QString();
        EXPECT_EQ(lines.join(QLatin1Char('\n')).toStdString(),
            (QStringList{note + QStringLiteral("The repeat gave no verdict; the result shown stands"), note + QStringLiteral("The repeat was stopped; the result shown stands"),
                 note + QStringLiteral("The repeat gave no verdict; the result shown stands")})
                .join(QLatin1Char('\n'))
                .toStdString());

        // Skipped as it opens, and the operator agrees: the result goes.
        then([&] { click(guidebutton::Skip); });
        perform(element);
        // Named as the guide's status line names it: no standard is ticked in this setup.
        const QString named = type.word ? QStringLiteral("not judged (no standard judged it)") : QStringLiteral("passed");
        EXPECT_EQ(boxesContaining(QStringLiteral("Skipping removes the result of this test (%1) from the sequence.").arg(named)), 2);
        EXPECT_EQ(setup->navigations().value(3), etnSkip);
        EXPECT_FALSE(element->Result());

        // Not applicable is a verdict too: a skip asks before it drops it.
        then([&] { click(guidebutton::NotApplicable); });
        perform(element);
        ASSERT_TRUE(element->Result());
        ASSERT_EQ(element->Result()->Status(), emsNotApplicable);
        answers = {mb::No};
        then([&] { click(guidebutton::Skip); });
        then([&] { next(); });
        perform(element);
        EXPECT_EQ(boxesContaining(QStringLiteral("Skipping removes the result of this test (not applicable) from the sequence.")), 1);
        ASSERT_TRUE(element->Result());
        EXPECT_EQ(element->Result()->Status(), emsNotApplicable);
    }
}

TEST_F(VerdictRun, aRelativeEnergyLimitIsRelativeOnItsLowSideToo)
{
    // High 15 and Low -15 on the built-in standard: 100 J set, so 85 J to 115 J.
    for (TypeRun type : {kTypes[0], kTypes[1]}) {
        SCOPED_TRACE(type.progId);
        type.low = -15;
        runWithReading(type, "86", emsPassed);
        runWithReading(type, "50", emsFailed);
    }
}

} // namespace
} // namespace kelto::test
