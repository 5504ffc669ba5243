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
            calls() << QStringLiteral("running, status \"%1\"").arg(StatusCaption()->Text());
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
        {makeTestElement<CTestChargeTime>(), {QStringLiteral("running, status \"\""), QStringLiteral("steps ")}},
        {makeTestElement<CTestVFIBEnergy>(), {QStringLiteral("running, status \"\""), QStringLiteral("steps ")}},
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
        EXPECT_EQ(calls().mid(0, 2), c.start) << c.element->TestID();
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
    // The series tests take their toolbar flag from their own result; another class's is none.
    auto element = makeTestElement<CTestBatteryRetention>();
    auto foreign = std::make_shared<CResultChargeTime>();
    foreign->Initialize(nullptr);
    element->elementBase()->SetResult(foreign);
    bool shown = false;
    CTestElementFrame::setGuideObserver([&](CTestElementFrame&, FTarvoXTestGuide&) { shown = true; });
    element->Perform(setup);
    EXPECT_FALSE(shown);
    ASSERT_EQ(boxes.size(), 1u) << "only the error box";
    EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Error #91"))) << boxes[0].prompt.toStdString();
    EXPECT_EQ(element->Result(), foreign) << "the held result is left alone";
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
