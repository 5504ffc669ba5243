// The battery retention test in virtual time: fifteen 60-second discharge windows
// with 60-second rests, against the simulated analyser whose charge readings wait
// for the operator's discharge.

#include <cmath>

#include <QLabel>

#include "host/TestWizard.h"
#include "procedures/defibrillator/CTestBatteryRetention.h"
#include "tests/procedures/ProcedureLimits.h"
#include "tests/procedures/DefibRunFixture.h"

namespace kelto::test {
namespace {

class BatteryRetentionRun : public DefibRunFixture {
protected:
    void SetUp() override
    {
        DefibRunFixture::SetUp();
        sim::Scenario scenario;
        scenario.dischargeAfterMs = -1; // readings wait for sim->discharge()
        analyser(scenario);
        // Charge times up to 15 s pass; a missing discharge fails.
        limitTo(element, setup, QStringLiteral("CHTI"), 15, NAN);
    }

    Ptr<CTestBatteryRetention> element = makeTestElement<CTestBatteryRetention>();

    Ptr<CResultBatteryRetention> result() const { return query<CResultBatteryRetention>(element->Result()); }
    Variant chargeTime(int n) const { return result()->FindMeasurement(QStringLiteral("CHTI%1").arg(n))->Value(); }
    int polls() const { return static_cast<int>(sim->commands().count(QStringLiteral("CRG"))); }
    QStringList pane() const { return dynamic_cast<host::TestWizard*>(element->guide()->xtwDetails().get())->lines(); }

    // The operator discharges once the analyser has been asked for the n-th time.
    void dischargeOnPoll(int n, const QString& seconds)
    {
        then([this, n] { return polls() >= n; },
            [this, seconds] {
                sim->scenario().readings[QStringLiteral("CRG")] = seconds;
                sim->discharge();
            });
    }
};

TEST_F(BatteryRetentionRun, fifteenDischargesAreStoredAndTheRunEndsAtOnceAfterTheLast)
{
    qint64 lastDischargeAt = 0;
    QStringList statusLines;
    then([&] { start(); });
    for (int n = 1; n <= 15; ++n)
        dischargeOnPoll(n, QString::number(4 + n * 0.1));
    then([&] { return polls() >= 15 && lastDischargeAt == 0; }, [&] { lastDischargeAt = Clock::instance().nowMs(); });
    then([&] { return idle(); },
        [&] {
            statusLines = pane();
            next();
        });
    perform(element);

    ASSERT_TRUE(result());
    for (int n = 1; n <= 15; ++n)
        EXPECT_EQ(chargeTime(n), Variant(4 + n * 0.1)) << n;
    EXPECT_EQ(result()->Status(), emsPassed);
    EXPECT_EQ(polls(), 15);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(setup->finished().size(), 1);
    EXPECT_LT(Clock::instance().nowMs() - lastDischargeAt, 5000) << "no rest period after the fifteenth discharge";
    ASSERT_EQ(statusLines.size(), 7) << "the instruction lines are back when the run ends";
    EXPECT_EQ(statusLines[1], QStringLiteral("2. Set defibrillator to 100J."));
    // Fourteen rests of 60 s, the 5-s count-down and fifteen short windows.
    EXPECT_GT(Clock::instance().nowMs(), 14 * 60000 + 5000);
}

TEST_F(BatteryRetentionRun, stopInThePauseBeforeAPollSendsNoPoll)
{
    // A stop in the pause would be swallowed by it and the next request would wait
    // for a discharge until the window ran out, a minute later.
    qint64 countDownShownAt = -1;
    then([&] { start(); });
    // The five-second count-down ends where the window's first pause begins.
    then([&] { return element->guide()->xtipopup()->helpText()->text().contains(QStringLiteral("in 5 seconds")); },
        [&] { countDownShownAt = Clock::instance().nowMs(); });
    const auto stopToIdleMs = stopThenLeave([&] { return countDownShownAt >= 0 && Clock::instance().nowMs() >= countDownShownAt + 5300; });
    perform(element);

    EXPECT_EQ(polls(), 0);
    EXPECT_LT(*stopToIdleMs, 1000);
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(BatteryRetentionRun, aWindowWithoutADischargeFailsTheTestWithTheChargeTimesSoFar)
{
    QStringList restLines;
    then([&] { start(); });
    dischargeOnPoll(1, QStringLiteral("6.2"));
    // One second into the rest the last discharge's status lines are still up.
    then([&] { return polls() >= 1 && Clock::instance().nowMs() > 8000; }, [&] { restLines = pane(); });
    dischargeOnPoll(2, QStringLiteral("7.25"));
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    ASSERT_EQ(restLines.size(), 3);
    EXPECT_EQ(restLines[0], QStringLiteral("Last charge time              : 6.2s"));
    EXPECT_EQ(restLines[1], QStringLiteral("Charge/Discharge count : 1"));
    ASSERT_EQ(boxesContaining(QStringLiteral("Test Failed!  Did not detect one discharge within a 60 seconds period.")), 1);
    EXPECT_EQ(boxes.front().icon(), mb::Critical);
    EXPECT_EQ(chargeTime(1), Variant(6.2));
    EXPECT_EQ(chargeTime(2), Variant(7.25));
    for (int n = 3; n <= 15; ++n)
        EXPECT_TRUE(chargeTime(n).isEmpty()) << "not measured: " << n;
    EXPECT_EQ(result()->Status(), emsFailed);
    EXPECT_EQ(setup->finished().size(), 1);
    // The third window's request was cut short by the window's end and not sent again.
    EXPECT_EQ(polls(), 3);
}

TEST_F(BatteryRetentionRun, overReplyAbortsTheRunAndKeepsNothing)
{
    then([&] { start(); });
    dischargeOnPoll(1, QStringLiteral("6.2"));
    then([&] { return polls() >= 2; },
        [&] {
            sim->scenario().over.all = true;
            sim->discharge();
        });
    then([&] { return idle(); }, [&] { click(guidebutton::Skip); });
    perform(element);

    EXPECT_EQ(boxesContaining(QStringLiteral("The Charge Time Test has timed out.  No data is available.")), 1);
    EXPECT_FALSE(element->Result()) << "skip discards the result";
    EXPECT_TRUE(setup->finished().isEmpty());
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnSkip});
}

TEST_F(BatteryRetentionRun, stopDuringTheRestKeepsTheEarlierResult)
{
    then([&] { start(); });
    dischargeOnPoll(1, QStringLiteral("6.2"));
    then([&] { return polls() >= 1 && Clock::instance().nowMs() > 30000; }, [&] { stop(); });
    then([&] { return idle(); }, [&] { click(guidebutton::Previous); });
    perform(element);

    EXPECT_EQ(polls(), 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(chargeTime(1).isEmpty()) << "a stopped run stores nothing";
    EXPECT_EQ(result()->Status(), emsNone);
    EXPECT_TRUE(setup->finished().isEmpty());
    EXPECT_LT(Clock::instance().nowMs(), 40000);
}

TEST(BatteryRetentionElement, listsTheChargeTimeAsItsMeasurement)
{
    auto element = makeTestElement<CTestBatteryRetention>();
    const VariantArray rows = element->GetMeasurementList().toArray();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].toArray()[0].toString(), QStringLiteral("CHTI"));
    EXPECT_EQ(rows[0].toArray()[1].toString(), QStringLiteral("Charge Time"));
    EXPECT_EQ(element->TestID(), 1500);
    EXPECT_EQ(element->PlugInID(), QStringLiteral("TarvoX"));
}

} // namespace
} // namespace kelto::test
