// What every test element's run shares, checked across the classes: the order of
// the guide calls where the classes differ, and a host or element that lacks an
// object the run reaches for.

#include "host/HostLog.h"
#include "host/TestWizard.h"
#include "procedures/defibrillator/CTestBatteryCapacity.h"
#include "procedures/defibrillator/CTestBatteryRetention.h"
#include "procedures/defibrillator/CTestChargeTime.h"
#include "procedures/defibrillator/CTestDefibPulse.h"
#include "procedures/defibrillator/CTestSingleShot.h"
#include "procedures/defibrillator/CTestSyncDelay.h"
#include "procedures/pacer_ecg/CTestPacerParameter.h"
#include "procedures/pacer_ecg/CTestPacerRefractory.h"
#include "procedures/pacer_ecg/CTestWaveform.h"
#include "tests/procedures/DefibRunFixture.h"
#include "tests/support/MissingClass.h"

namespace kelto::test {
namespace {

// The guide calls whose order a run relies on, as they happen.
QStringList& calls()
{
    static QStringList log;
    return log;
}

class RecordingToolbar : public host::GuideToolbar {
public:
    void SetRunState(std::int32_t state) override
    {
        if (state == 1)
            calls() << QStringLiteral("running, status \"%1\"").arg(statusText()->text());
        host::GuideToolbar::SetRunState(state);
    }
};

class RecordingWizard : public host::TestWizard {
public:
    void SetActiveSteps(const Variant& steps) override
    {
        QStringList numbers;
        for (const Variant& step : steps.toArray())
            numbers << step.toString();
        calls() << QStringLiteral("steps ") + numbers.join(QLatin1Char(','));
        host::TestWizard::SetActiveSteps(steps);
    }
};

// A setup that notes, at each navigation code, whether the element had marked its run skipped.
class NavigationSetup : public host::TestSetup {
public:
    CTestElementFrame* element = nullptr;
    QList<bool> skippedAtNavigation;
    void SetNavigation(std::int32_t code) override
    {
        if (element)
            skippedAtNavigation << element->runFlags().skip;
        host::TestSetup::SetNavigation(code);
    }
};

using FrameRun = DefibRunFixture;

TEST_F(FrameRun, theSeriesTestsMarkTheirStepsAndStatusBeforeTheRunningModeTheOthersAfter)
{
    const ReplacedClass toolbar(hostclass::TgToolbar, [] { return ObjectPtr(std::make_shared<RecordingToolbar>()); });
    const ReplacedClass wizard(hostclass::TestWizard, [] { return ObjectPtr(std::make_shared<RecordingWizard>()); });
    const QString running = QStringLiteral("running, status \"Test in progress\"");
    const struct {
        Ptr<CTestElementFrame> element;
        QStringList start;
    } cases[] = {
        // The line as the operator sees it: still what the host said of the test before the run.
        {makeTestElement<CTestChargeTime>(), {QStringLiteral("running, status \"no standard judges it\""), QStringLiteral("steps ")}},
        {makeTestElement<CTestVFIBEnergy>(), {QStringLiteral("running, status \"no standard judges it\""), QStringLiteral("steps ")}},
        {makeTestElement<CTestBatteryCapacity>(), {QStringLiteral("steps 7"), running}},
        {makeTestElement<CTestBatteryRetention>(), {QStringLiteral("steps 7"), running}},
        {makeTestElement<CTestDefibPulse>(), {QStringLiteral("steps "), running}},
    };
    for (const auto& c : cases) {
        // No analyser answers: the order of the start is all that is looked at.
        then([&] {
            calls().clear();
            start();
        });
        then([&] { return idle(); }, [&] { previous(); });
        perform(c.element);
        EXPECT_EQ(calls().mid(0, 2).join(QLatin1Char('|')).toStdString(), c.start.join(QLatin1Char('|')).toStdString()) << c.element->TestID();
    }
}

TEST_F(FrameRun, theSeriesAndPacerTestsMarkTheRunSkippedBeforeTheyTellTheSetupToAbort)
{
    const struct {
        Ptr<CTestElementFrame> element;
        bool skippedFirst;
    } cases[] = {
        {makeTestElement<CTestChargeTime>(), false},
        {makeTestElement<CTestOverVoltage>(), false},
        {makeTestElement<CTestBatteryCapacity>(), true},
        {makeTestElement<CTestBatteryRetention>(), true},
        {makeTestElement<CTestDefibPulse>(), true},
        {makeTestElement<CTestPacerParameter>(), true},
        {makeTestElement<CTestPacerRefractory>(), true},
        {makeTestElement<CTestNormalSinus>(), false},
    };
    for (const auto& c : cases) {
        auto recording = std::make_shared<NavigationSetup>();
        recording->element = c.element.get();
        setup = recording;
        then([&] { click(guidebutton::Abort); });
        perform(c.element);
        EXPECT_EQ(recording->navigations(), QList<std::int32_t>{etnAbort}) << c.element->TestID();
        EXPECT_EQ(recording->skippedAtNavigation, QList<bool>{c.skippedFirst}) << c.element->TestID();
        EXPECT_FALSE(c.element->Result()) << "an aborted run keeps no result";
    }
}

TEST_F(FrameRun, anAnalyserUnpluggedHalfwayIsSaidInEveryTestType)
{
    // The device goes away at a chosen moment of each type's run: during an exchange,
    // or between two, where the next command finds the port gone.
    QList<qint64> heardAt; // when the analyser took each command of the row
    auto after = [&](const char* word, qint64 ms) {
        return [&, word, ms] {
            const qsizetype i = sim->commands().indexOf(QLatin1String(word));
            return i >= 0 && Clock::instance().nowMs() >= heardAt[i] + ms;
        };
    };
    auto asked = [&](const char* word, int times) { return [&, word, times] { return sim->commands().count(QLatin1String(word)) == times; }; };
    const QString during = QStringLiteral("went away while waiting for the reply to %1. Check the cable and the analyser, then start again.");
    const QString before = QStringLiteral("went away before %1 could be sent. Check the cable and the analyser, then start again.");
    const QString notStored = QStringLiteral("not stored: a run that ends with an error stores nothing");
    const struct {
        Ptr<CTestElementFrame> element;
        std::function<bool()> unplugWhen; // none: the analyser goes at the first command
        bool dischargeFirst; // at the first reading asked for
        QStringList says;
    } cases[] = {
        {makeTestElement<CTestChargeTime>(), {}, false, {during.arg(QStringLiteral("[VER]"))}},
        {makeTestElement<CTestVFIBEnergy>(), after("NRG", 500), false, {during.arg(QStringLiteral("[NRG]"))}},
        {makeTestElement<CTestChargeTime>(), after("VER", 2500), false, {before.arg(QStringLiteral("[CRG]"))}},
        {makeTestElement<CTestBatteryCapacity>(), asked("CRG", 2), true, {during.arg(QStringLiteral("[CRG]")), notStored}},
        {makeTestElement<CTestBatteryRetention>(), after("CRG", 10000), true, {before.arg(QStringLiteral("[CRG]")), notStored}},
        {makeTestElement<CTestDefibPulse>(), asked("NRG", 2), true, {during.arg(QStringLiteral("[NRG]")), notStored}},
        {makeTestElement<CTestSyncRPeak>(), after("STP", 500), false, {during.arg(QStringLiteral("[STP]"))}},
        {makeTestElement<CTestPacerParameter>(), after("PAC", 150), false, {before.arg(QStringLiteral("[PAW]"))}},
        {makeTestElement<CTestPacerRefractory>(), after("PRP", 500), false, {before.arg(QStringLiteral("[SRP]"))}},
        {makeTestElement<CTestNormalSinus>(), after("W01", 1000), false, {before.arg(QStringLiteral("[WSP]"))}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element->TestID());
        MComm::ForgetAnalyser();
        sim::Scenario scenario = c.unplugWhen ? sim::Scenario{} : withFault(QStringLiteral("vanish-after=0"));
        scenario.dischargeAfterMs = -1;
        analyser(scenario);
        heardAt.clear();
        QObject::connect(sim.get(), &sim::TarvoSimulator::commandReceived, [&] { heardAt << Clock::instance().nowMs(); });
        boxes.clear();
        then([&] { start(); });
        if (c.dischargeFirst)
            then([&] { return asked("CRG", 1)() || asked("NRG", 1)(); }, [&] { sim->discharge(); });
        if (c.unplugWhen)
            then(c.unplugWhen, [&] { sim->vanish(); });
        then([&] { return runOver(); }, [&] { previous(); });
        perform(c.element);
        for (const QString& text : c.says)
            EXPECT_EQ(boxesContaining(text), 1) << text.toStdString();
        EXPECT_EQ(boxesContaining(QStringLiteral("Check the cable")), 1) << "said once";
        EXPECT_EQ(boxesContaining(QStringLiteral("8004A462")), 0) << "the link's own error says nothing";
        EXPECT_EQ(c.element->Result()->Status(), emsNone);
    }
}

TEST_F(FrameRun, aStartWithoutAResultIsErrorNinetyOneInTheRunsOwnBox)
{
    auto element = makeTestElement<CTestChargeTime>();
    then([&] {
        element->elementBase()->SetResult(nullptr);
        start();
    });
    then([&] { return idle(); }, [&] { previous(); });
    perform(element);
    EXPECT_EQ(boxesContaining(QStringLiteral("Error #91")), 1);
    EXPECT_FALSE(element->runFlags().started);
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(FrameRun, aSeriesPerformOnAResultOfAnotherClassEndsInItsErrorBox)
{
    // The series tests take their toolbar flag from their own result; another class's is
    // none. The single-reading tests find the mismatch and show its bare description first.
    const struct {
        Ptr<CTestElementFrame> element;
        QStringList says; // the boxes in order, each by its start
    } cases[] = {
        {makeTestElement<CTestBatteryRetention>(), {QStringLiteral("Error #91")}},
        {makeTestElement<CTestChargeTime>(), {QStringLiteral("Type mismatch"), QStringLiteral("Error #13\r\nType mismatch")}},
        {makeTestElement<CTestVTACHEnergy>(), {QStringLiteral("Type mismatch"), QStringLiteral("Error #13\r\nType mismatch")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element->TestID());
        auto foreign = std::make_shared<CResultSyncRPeak>();
        foreign->Initialize(nullptr);
        c.element->elementBase()->SetResult(foreign);
        bool shown = false;
        CTestElementFrame::setGuideObserver([&](CTestElementFrame&, FTarvoXTestGuide&) { shown = true; });
        boxes.clear();
        c.element->Perform(setup);
        EXPECT_FALSE(shown);
        ASSERT_EQ(boxes.size(), c.says.size());
        for (qsizetype i = 0; i < c.says.size(); ++i) {
            EXPECT_TRUE(boxes[i].prompt.startsWith(c.says[i])) << boxes[i].prompt.toStdString();
            EXPECT_EQ(boxes[i].title, QStringLiteral("KeltoTarvoXTest"));
            EXPECT_EQ(boxes[i].icon(), i + 1 < c.says.size() ? 0 : mb::Exclamation);
        }
        EXPECT_EQ(c.element->Result(), foreign) << "the held result is left alone";
    }
}

TEST_F(FrameRun, withoutAConfigurationTheInstructionsLeaveTheirValueOut)
{
    const struct {
        Ptr<CTestElementFrame> element;
        int line;
        QString shown;
    } cases[] = {
        {makeTestElement<CTestSyncRPeak>(), 0, QString()},
        {makeTestElement<CTestBatteryRetention>(), 1, QStringLiteral("2. Set defibrillator to J.")},
        {makeTestElement<CTestDefibPulse>(), 1, QStringLiteral("2. Set defibrillator to  J.")},
        {makeTestElement<CTestPacerParameter>(), 1, QStringLiteral("2. Set pacer rate to PPM.")},
        {makeTestElement<CTestPacerRefractory>(), 3, QStringLiteral("4. Set ECG to 0PPM.")},
    };
    for (const auto& c : cases) {
        c.element->elementBase()->SetConfiguration(nullptr);
        QStringList lines;
        then([&] {
            lines = instructionPane(*c.element).lines();
            previous();
        });
        perform(c.element);
        ASSERT_GT(lines.size(), c.line) << c.element->TestID();
        EXPECT_EQ(lines[c.line], c.shown) << c.element->TestID();
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FrameRun, aPulseRunWithoutAConfigurationEndsWithTheErrorReported)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = -1;
    analyser(scenario);
    auto element = makeTestElement<CTestDefibPulse>();
    then([&] {
        element->elementBase()->SetConfiguration(nullptr);
        start();
    });
    then([&] { return idle(); }, [&] { previous(); });
    host::HostLog::instance().clear();
    perform(element);
    EXPECT_FALSE(sim->commands().contains(QStringLiteral("NRG"))) << "no window without its size";
    const auto reported = host::HostLog::instance().reportedErrors();
    ASSERT_EQ(reported.size(), 1);
    EXPECT_EQ(reported[0].number, vberr::ObjectNotSet);
}

} // namespace
} // namespace kelto::test
