// The battery-capacity test: windows of three discharges, idle minutes between,
// twenty charge times in all, run in virtual time.

#include <cmath>

#include "procedures/defibrillator/CTestBatteryCapacity.h"
#include "tests/procedures/DefibRunFixture.h"
#include "tests/procedures/ProcedureLimits.h"

namespace kelto::test {
namespace {

class BatteryCapacityRun : public DefibRunFixture {
protected:
    void SetUp() override
    {
        DefibRunFixture::SetUp();
        // Charge times up to 20 s pass; a place without a discharge fails.
        limitTo(element, setup, QStringLiteral("CHTI"), 20, NAN);
    }

    Ptr<CTestBatteryCapacity> element = makeTestElement<CTestBatteryCapacity>();

    Variant place(int n) const
    {
        auto result = query<CResultBatteryCapacity>(element->Result());
        return result ? result->FindMeasurement(QStringLiteral("CHTI%1").arg(n))->Value() : Variant();
    }
};

TEST_F(BatteryCapacityRun, twentyDischargesInSevenWindowsFillEveryPlace)
{
    sim::Scenario scenario;
    scenario.readings[QStringLiteral("CRG")] = QStringLiteral("4.50 s");
    scenario.dischargeAfterMs = 1000;
    analyser(scenario);
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    for (int n = 1; n <= CTestBatteryCapacity::kDischarges; ++n)
        EXPECT_EQ(place(n), Variant(4.5)) << n;
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(element->Result()->Status(), emsPassed);
    EXPECT_EQ(setup->finished().size(), 1);
    // Six idle minutes separate the seven windows.
    EXPECT_GE(Clock::instance().nowMs(), 6 * 60000 + 5000);
    // The header request follows only the first poll of each series.
    EXPECT_LT(sim->commands().count(QStringLiteral("HDR")), sim->commands().count(QStringLiteral("CRG")));
}

TEST_F(BatteryCapacityRun, missedWindowReportsThreeAndStoresWhatWasRecorded)
{
    sim::Scenario scenario;
    scenario.readings[QStringLiteral("CRG")] = QStringLiteral("5.25");
    scenario.dischargeAfterMs = -1;
    analyser(scenario);
    then([&] { start(); });
    then([&] { return sim->commands().count(QStringLiteral("CRG")) == 1; }, [&] { sim->discharge(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    ASSERT_EQ(boxesContaining(QStringLiteral("Did not detect three discharges within a 60 seconds period.")), 1);
    EXPECT_EQ(place(1), Variant(5.25));
    // The places no discharge reached are not measured, and fail.
    for (const int n : {2, 20}) {
        EXPECT_TRUE(place(n).isEmpty()) << n;
        EXPECT_EQ(element->Result()->Measurement(Variant(n))->Status(), emsFailed) << n;
    }
    EXPECT_EQ(element->Result()->Status(), emsFailed) << "the recorded series is evaluated";
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST_F(BatteryCapacityRun, aWindowEndingInThePauseBeforeAPollIsReportedAsMissed)
{
    sim::Scenario scenario;
    scenario.readings[QStringLiteral("CRG")] = QStringLiteral("5.25");
    scenario.dischargeAfterMs = -1;
    analyser(scenario);
    limitTo(element, setup, QStringLiteral("CHTI"), 10, NAN);
    qint64 firstPoll = -1;
    QObject::connect(sim.get(), &sim::TarvoSimulator::commandReceived, [&](const QString& word) {
        if (word == QLatin1String("CRG") && firstPoll < 0)
            firstPoll = Clock::instance().nowMs();
    });
    then([&] { start(); });
    then([&] { return firstPoll >= 0; }, [&] { sim->discharge(); });
    // The second discharge comes so late in the window that its last tick falls in
    // the pause before the next poll.
    then([&] { return firstPoll >= 0 && Clock::instance().nowMs() >= firstPoll + 58900; }, [&] { sim->discharge(); });
    then([&] { return idle(); }, [&] { next(); });
    guardMs = 10 * 60 * 1000;
    perform(element);

    EXPECT_EQ(boxesContaining(QStringLiteral("Did not detect three discharges within a 60 seconds period.")), 1);
    EXPECT_EQ(place(1), Variant(5.25));
    EXPECT_EQ(place(2), Variant(5.25));
    EXPECT_EQ(element->Result()->Status(), emsFailed) << "a battery that missed a window fails";
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST_F(BatteryCapacityRun, stopInThePauseBeforeAPollEndsTheRunAtOnce)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = -1;
    analyser(scenario);
    qint64 dischargedAt = -1;
    then([&] { start(); });
    then([&] { return sim->commands().count(QStringLiteral("CRG")) == 1; },
        [&] {
            dischargedAt = Clock::instance().nowMs();
            sim->discharge();
        });
    // The reply is in; the next poll waits out its 600 ms pause.
    const auto stopToIdleMs = stopThenLeave([&] { return dischargedAt >= 0 && Clock::instance().nowMs() >= dischargedAt + 300; });
    perform(element);

    EXPECT_EQ(sim->commands().count(QStringLiteral("CRG")), 1) << "no poll after the stop";
    EXPECT_LT(*stopToIdleMs, 1500);
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(BatteryCapacityRun, stopDuringTheCountDownStoresNothing)
{
    analyser();
    then([&] { start(); });
    then([&] { return running() && Clock::instance().nowMs() > 2000; }, [&] { stop(); });
    then([&] { return idle(); }, [&] { previous(); });
    perform(element);

    EXPECT_FALSE(sim->commands().contains(QStringLiteral("CRG")));
    EXPECT_TRUE(place(1).isEmpty());
    EXPECT_TRUE(setup->finished().isEmpty());
    EXPECT_TRUE(boxes.empty());
}

} // namespace
} // namespace kelto::test
