// The synchronised cardioversion delay tests against the simulated analyser in
// virtual time: the flashing shock prompt, the delay reading, no synchronisation
// and the maker's banner.

#include <cmath>

#include "host/TestWizard.h"
#include "procedures/defibrillator/CTestSyncDelay.h"
#include "tests/procedures/DefibRunFixture.h"
#include "tests/procedures/ProcedureLimits.h"

namespace kelto::test {
namespace {

class SyncDelayRun : public DefibRunFixture {
protected:
    void SetUp() override
    {
        DefibRunFixture::SetUp();
        // Delays up to 60 ms pass; no synchronisation fails.
        limitTo(element, setup, QStringLiteral("SYNT"), 60, NAN);
    }

    Ptr<CTestSyncRPeak> element = makeTestElement<CTestSyncRPeak>();

    Ptr<CResultSyncRPeak> result() const { return query<CResultSyncRPeak>(element->Result()); }
    Variant syncTime() const { return result()->FindMeasurement(QStringLiteral("SYNT"))->Value(); }
    int commandCount(const QString& word) const { return static_cast<int>(sim->commands().count(word)); }
};

TEST_F(SyncDelayRun, storesTheDelayOnceTheOperatorDischarges)
{
    sim::Scenario scenario;
    scenario.readings[QStringLiteral("STP")] = QStringLiteral("41.5");
    scenario.dischargeAfterMs = -1;
    analyser(scenario);
    bool flashing = false;
    then([&] { start(); });
    then([&] { return commandCount(QStringLiteral("STP")) > 0; },
        [&] {
            flashing = element->guide()->xtipopup()->isVisible();
            sim->discharge();
        });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    EXPECT_TRUE(flashing) << "the shock prompt is up while the analyser waits";
    ASSERT_TRUE(result());
    EXPECT_EQ(syncTime(), Variant(41.5));
    EXPECT_EQ(result()->Status(), emsPassed);
    EXPECT_EQ(setup->finished().size(), 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(commandCount(QStringLiteral("STB")), 0);
}

TEST_F(SyncDelayRun, noSynchronisationIsReportedAndStoredAsNosync)
{
    sim::Scenario scenario = withFault(QStringLiteral("over=STP"));
    scenario.dischargeAfterMs = 0;
    analyser(scenario);
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes.front().prompt.startsWith(QStringLiteral("No sync detected")));
    EXPECT_EQ(boxes.front().icon(), mb::Critical);
    EXPECT_EQ(boxes.front().title, QStringLiteral("Kelto Plug-In Tarvo response"));
    EXPECT_EQ(syncTime(), Variant(QStringLiteral("NOSYNC")));
    EXPECT_EQ(result()->Status(), emsFailed);
    EXPECT_EQ(setup->finished().size(), 1) << "a no-sync reading is a finished run";
}

TEST_F(SyncDelayRun, bannerReplyStoresNothing)
{
    sim::Scenario scenario = withFault(QStringLiteral("banner=1500:STP"));
    analyser(scenario);
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    // Stored, the banner would be a Null reading; nothing stored leaves the value Empty.
    EXPECT_TRUE(syncTime().isEmpty()) << "the banner was stored as a reading";
    EXPECT_FALSE(syncTime().isNull());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SyncDelayRun, stopWhileWaitingForTheDischargeStoresNothing)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = -1;
    analyser(scenario);
    then([&] { start(); });
    then([&] { return commandCount(QStringLiteral("STP")) > 0; }, [&] { stop(); });
    // After a stopped run the guide offers Start again, not Next.
    then([&] { return idle(); }, [&] { click(guidebutton::Previous); });
    perform(element);

    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnPrevious});
    EXPECT_TRUE(syncTime().isEmpty() || syncTime().isNull());
    EXPECT_EQ(result()->Status(), emsNone);
    EXPECT_TRUE(setup->finished().isEmpty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(commandCount(QStringLiteral("STP")), 1) << "the aborted request is not sent again";
}

TEST_F(SyncDelayRun, qBaseAsksForTheQBaseDelay)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = 0;
    analyser(scenario);
    auto qBase = makeTestElement<CTestSyncQBase>();
    then([&] { start(); });
    then([&] { return !qBase->runFlags().busy; }, [&] { next(); });
    perform(qBase);

    EXPECT_EQ(commandCount(QStringLiteral("STB")), 1);
    EXPECT_EQ(commandCount(QStringLiteral("STP")), 0);
    EXPECT_EQ(query<CResultSyncQBase>(qBase->Result())->FindMeasurement(QStringLiteral("SYNT"))->Value(), Variant(45.0));
}

TEST(SyncDelayInstructions, energyIsRoundedHalfToEvenAndTheModeLineDiffers)
{
    struct Probe : CTestSyncRPeak {
        using CTestSyncRPeak::GetInstructions;
    };
    struct ProbeQ : CTestSyncQBase {
        using CTestSyncQBase::GetInstructions;
    };
    auto probe = makeTestElement<Probe>();
    auto probeQ = makeTestElement<ProbeQ>();
    query<CConfigSyncRPeak>(probe->Configuration())->SetPresetEnergy(150.5f);
    query<CConfigSyncQBase>(probeQ->Configuration())->SetPresetEnergy(151.5f);
    const VariantArray r = probe->GetInstructions().toArray();
    const VariantArray q = probeQ->GetInstructions().toArray();
    ASSERT_EQ(r.size(), 4);
    EXPECT_EQ(r[0].toString(), QStringLiteral("1. Set defibrillator to 150J."));
    EXPECT_EQ(q[0].toString(), QStringLiteral("1. Set defibrillator to 152J."));
    EXPECT_EQ(r[2].toString(), QStringLiteral("3. Set Defibrillator to Synchronous mode."));
    EXPECT_EQ(q[2].toString(), QStringLiteral("3. Set defibrillator to Synchronous mode."));
    EXPECT_EQ(r[3].toString(), QStringLiteral("4. Click 'Start' to begin the test."));
}

} // namespace
} // namespace kelto::test
