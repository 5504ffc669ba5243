// The charge-time test from Start to the result handed to the host, against the
// simulated analyser in virtual time.

#include <cmath>

#include "procedures/defibrillator/CTestChargeTime.h"
#include "tests/procedures/DefibRunFixture.h"
#include "tests/procedures/ProcedureLimits.h"

namespace kelto::test {
namespace {

class ChargeTimeRun : public DefibRunFixture {
protected:
    void SetUp() override
    {
        DefibRunFixture::SetUp();
        // Charge times up to 15 s pass: a pass below is a judged one.
        limitTo(element, setup, QStringLiteral("CHTI"), 15, NAN);
    }

    Ptr<CTestChargeTime> element = makeTestElement<CTestChargeTime>();

    Ptr<CResultChargeTime> result() const { return query<CResultChargeTime>(element->Result()); }
    Variant chargeTime() const { return result()->FindMeasurement(QStringLiteral("CHTI"))->Value(); }
};

TEST_F(ChargeTimeRun, countsDownFiveSecondsThenStoresTheAnalysersChargeTime)
{
    sim::Scenario scenario;
    scenario.readings[QStringLiteral("CRG")] = QStringLiteral("7.4");
    scenario.dischargeAfterMs = 3000;
    analyser(scenario);
    qint64 startedAt = 0;
    qint64 firstPollAt = -1;
    QObject::connect(sim.get(), &sim::TarvoSimulator::commandReceived, [&](const QString& word) {
        if (word == QLatin1String("CRG") && firstPollAt < 0)
            firstPollAt = Clock::instance().nowMs();
    });
    // What the popup says, each text once, until it asks for the charge.
    QStringList said;
    then([&] {
        startedAt = Clock::instance().nowMs();
        start();
    });
    then(
        [&] {
            const QString text = popupText();
            if (!text.isEmpty() && (said.isEmpty() || said.last() != text))
                said << text;
            return text.startsWith(QStringLiteral("Start charge"));
        },
        [] {});
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    const QString standby = QStringLiteral("Standby to initiate charge in %1");
    EXPECT_EQ(said.mid(said.indexOf(standby.arg(QStringLiteral("5 seconds")))),
        QStringList({standby.arg(QStringLiteral("5 seconds")), standby.arg(QStringLiteral("4 seconds")), standby.arg(QStringLiteral("3 seconds")),
            standby.arg(QStringLiteral("2 seconds")), standby.arg(QStringLiteral("1 second")),
            QString::fromUtf8("Start charge now\u2026 Followed by discharge")}));
    ASSERT_TRUE(result());
    EXPECT_EQ(chargeTime(), Variant(7.4));
    EXPECT_EQ(result()->Status(), emsPassed);
    EXPECT_GE(firstPollAt - startedAt, 5000);
    EXPECT_LT(firstPollAt - startedAt, 7000);
    ASSERT_EQ(setup->finished().size(), 1);
    EXPECT_EQ(setup->finished().front(), element);
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnNext});
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(sim->commands().contains(QStringLiteral("Q"))) << "the channel is closed after the run";
}

TEST_F(ChargeTimeRun, closingTheGuideMidRunAsksToAbortAndOnlyAConfirmedCloseEndsTheRun)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = -1; // the operator never fires
    analyser(scenario);
    QList<int> answers{mb::No, mb::Yes};
    QStringList asked;
    setMessageBoxHandler([&](const MessageBoxRequest& request) {
        asked << request.prompt;
        return answers.isEmpty() ? mb::Yes : answers.takeFirst();
    });
    bool openAfterDeclined = false;
    bool stillRunning = false;
    then([&] { start(); });
    then([&] { return sim->commands().contains(QStringLiteral("CRG")); }, [&] { element->guide()->window()->close(); });
    then([&] { return asked.size() == 1; },
        [&] {
            openAfterDeclined = element->guide()->window()->isVisible();
            stillRunning = running();
            element->guide()->window()->close();
        });
    perform(element);

    EXPECT_EQ(asked.size(), 2) << "each close asks first";
    EXPECT_TRUE(openAfterDeclined) << "a declined close leaves the window";
    EXPECT_TRUE(stillRunning) << "and the run goes on";
    // Confirmed, the close is the Abort item: the run stops, its result is dropped.
    EXPECT_TRUE(element->runFlags().abort);
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnAbort});
    EXPECT_FALSE(element->Result());
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(ChargeTimeRun, stopDuringTheCountDownSendsNoPollAndFinishesNothing)
{
    analyser();
    then([&] { start(); });
    then([&] { return Clock::instance().nowMs() > 2500; }, [&] { stop(); });
    then([&] { return idle(); }, [&] { previous(); });
    perform(element);

    EXPECT_FALSE(sim->commands().contains(QStringLiteral("CRG")));
    EXPECT_TRUE(element->runFlags().abort);
    ASSERT_TRUE(result());
    EXPECT_EQ(result()->Status(), emsNone);
    EXPECT_TRUE(chargeTime().isEmpty() || chargeTime().isNull());
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(ChargeTimeRun, overRangeReplyIsReportedAndNothingIsStored)
{
    // The analyser's banner in place of the charge time is dropped without a word.
    for (const char* fault : {"over=CRG", "banner=0:CRG"}) {
        SCOPED_TRACE(fault);
        const bool over = QLatin1String(fault).startsWith(QLatin1String("over"));
        sim::Scenario scenario = withFault(QLatin1String(fault));
        scenario.dischargeAfterMs = 0;
        analyser(scenario);
        boxes.clear();
        then([&] { start(); });
        then([&] { return idle(); }, [&] { previous(); });
        perform(element);

        ASSERT_EQ(boxesContaining(QStringLiteral("The Charge Time Test has timed out.  No data is available.")), over ? 1 : 0);
        EXPECT_EQ(boxes.size(), over ? 1u : 0u);
        EXPECT_TRUE(chargeTime().isEmpty());
        if (!over)
            continue;
        EXPECT_EQ(boxes.front().icon(), mb::Critical);
        EXPECT_EQ(boxes.front().title, QStringLiteral("Kelto Plug-In Tarvo response"));
        EXPECT_EQ(result()->Status(), emsNone);
        EXPECT_TRUE(setup->finished().isEmpty()) << "a run ended by the analyser is a stopped run";
    }
}

TEST_F(ChargeTimeRun, missingAnalyserEndsOnlyTheRunWithoutAnElementBox)
{
    // No simulator: port 1 leads nowhere.
    then([&] { start(); });
    then([&] { return idle(); }, [&] { previous(); });
    perform(element);

    EXPECT_EQ(boxesContaining(QStringLiteral("Error #")), 0);
    EXPECT_FALSE(element->runFlags().started);
    EXPECT_FALSE(element->runFlags().busy);
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(ChargeTimeRun, aRepeatKeepsTheEvaluatedResultUntilItsOwnReadingAndAbortGivesItBack)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = 0;
    analyser(scenario);
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);
    const auto first = element->Result();
    ASSERT_EQ(first->Status(), emsPassed);
    const Variant firstTime = chargeTime();

    // Stopped before its reading: the result stays, and Next keeps it.
    then([&] { repeat(); });
    then([&] { return running(); }, [&] { stop(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);
    EXPECT_EQ(element->Result(), first);
    EXPECT_EQ(chargeTime(), firstTime);
    EXPECT_EQ(setup->finished().size(), 1) << "the stopped second run is not handed over";

    // A reading of its own replaces it; Abort drops that reading and gives the earlier back.
    sim->scenario().readings[QStringLiteral("CRG")] = QStringLiteral("9.9");
    Variant repeated;
    then([&] { repeat(); });
    then([&] { return runOver(); },
        [&] {
            repeated = chargeTime();
            click(guidebutton::Abort);
        });
    perform(element);
    EXPECT_EQ(repeated, Variant(9.9));
    EXPECT_EQ(element->Result(), first);
    EXPECT_EQ(chargeTime(), firstTime);
    EXPECT_EQ(result()->Status(), emsPassed);
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST_F(ChargeTimeRun, notApplicableWithoutARunFinishesWithStatusThree)
{
    then([&] { click(guidebutton::NotApplicable); });
    perform(element);
    EXPECT_EQ(element->Result()->Status(), emsNotApplicable);
    EXPECT_EQ(setup->finished().size(), 1);
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnNext});
}

TEST_F(ChargeTimeRun, skipAfterACompletedRunRemovesTheResult)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = 0;
    analyser(scenario);
    then([&] { start(); });
    then([&] { return idle(); }, [&] { click(guidebutton::Skip); });
    perform(element);
    EXPECT_EQ(boxesContaining(QStringLiteral("Skipping removes the result of this test (passed)")), 1) << "asked first";
    EXPECT_EQ(element->Result(), nullptr);
    EXPECT_TRUE(setup->finished().isEmpty());
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnSkip});
}

TEST_F(ChargeTimeRun, refusedPerformShowsNoGuideAndChangesNothing)
{
    setup->setQueryPerformAnswer(false);
    bool guideShown = false;
    CTestElementFrame::setGuideObserver([&](CTestElementFrame&, FTarvoXTestGuide&) { guideShown = true; });
    element->Perform(setup);
    EXPECT_FALSE(guideShown);
    EXPECT_EQ(element->Result(), nullptr);
}

} // namespace
} // namespace kelto::test
