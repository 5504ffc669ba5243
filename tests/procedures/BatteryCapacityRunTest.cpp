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

TEST_F(BatteryCapacityRun, aMissedWindowOrAnOverReplyIsToldAndTheRunKeepsWhatItMay)
{
    // The operator discharges at the first polls only; or the analyser answers the
    // last one given with "OVER", which ends the run without a reading kept.
    const struct {
        int discharges;
        bool over;
        const char* box;
        std::int32_t status; // of the result the run leaves
    } rows[] = {
        {1, false, "Did not detect three discharges within a 60 seconds period.", emsFailed},
        // The last window asks for two.
        {19, false, "Did not detect two discharges within a 60 seconds period.", emsFailed},
        {18, false, "Did not detect two discharges within a 60 seconds period.", emsFailed},
        {2, true, "The Charge Time Test has timed out.  No data is available.", emsNone},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.discharges << (row.over ? " then OVER" : ""));
        sim::Scenario scenario;
        scenario.readings[QStringLiteral("CRG")] = QStringLiteral("5.25");
        scenario.dischargeAfterMs = -1;
        analyser(scenario);
        element = makeTestElement<CTestBatteryCapacity>();
        limitTo(element, setup, QStringLiteral("CHTI"), 20, NAN);
        boxes.clear();
        const auto finishedBefore = setup->finishedCount();
        QStringList progress; // the lines shown after the first discharge
        then([&] { start(); });
        for (int n = 1; n <= row.discharges; ++n) {
            then([&, n] { return sim->commands().count(QStringLiteral("CRG")) >= n; },
                [&, n] {
                    sim->scenario().over.all = row.over && n == row.discharges;
                    sim->discharge();
                });
            if (n == 1)
                then([&] { return instructionPane(*element).lines().size() == 3; }, [&] { progress = instructionPane(*element).lines(); });
        }
        then([&] { return idle(); }, [&] { click(guidebutton::Previous); });
        guardMs = 60 * 60 * 1000;
        perform(element);

        ASSERT_EQ(boxesContaining(QLatin1String(row.box)), 1) << (boxes.empty() ? std::string() : boxes.front().prompt.toStdString());
        EXPECT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes.front().icon(), mb::Critical);
        ASSERT_EQ(progress.size(), 3);
        EXPECT_EQ(progress[0].toStdString(), "Last charge time              : 5.25s");
        EXPECT_EQ(progress[1].toStdString(), "Charge/Discharge count : 1");
        EXPECT_TRUE(progress[2].startsWith(QStringLiteral("Elapsed total time            : "))) << progress[2].toStdString();
        ASSERT_TRUE(element->Result());
        EXPECT_EQ(element->Result()->Status(), row.status);
        const int kept = row.over ? 0 : row.discharges;
        for (int n = 1; n <= CTestBatteryCapacity::kDischarges; ++n)
            EXPECT_EQ(place(n), n <= kept ? Variant(5.25) : Variant()) << n;
        // The places no discharge reached are not measured, and fail.
        if (!row.over) {
            EXPECT_EQ(element->Result()->Measurement(Variant(20))->Status(), emsFailed);
        }
        // A run that ended on "OVER" gave no verdict; one that missed a window did.
        EXPECT_EQ(setup->finishedCount() - finishedBefore, row.over ? 0 : 1);
    }
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
