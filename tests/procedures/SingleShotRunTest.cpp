// The five single-shot defibrillator tests: one shock, one polled reading.

#include "procedures/defibrillator/CTestSingleShot.h"
#include "tests/procedures/DefibRunFixture.h"
#include "tests/procedures/ProcedureLimits.h"

namespace kelto::test {
namespace {

class SingleShotRun : public DefibRunFixture {
protected:
    template <class T>
    void runOnce(const Ptr<T>& element, bool leaveWithNext = true)
    {
        then([&] { start(); });
        then([&] { return idle(); }, [this, leaveWithNext] { leaveWithNext ? next() : previous(); });
        perform(element);
    }

    static sim::Scenario ready(sim::Scenario scenario = {})
    {
        scenario.dischargeAfterMs = 0;
        return scenario;
    }

    static Variant reading(const Ptr<ITestElement>& element, const char* key)
    {
        auto result = query<CResultBase>(element->Result());
        return result ? result->FindMeasurement(QLatin1String(key))->Value() : Variant();
    }
};

TEST_F(SingleShotRun, eachTestPollsItsOwnCommandAndStoresTheReading)
{
    struct Case {
        Ptr<CTestElementFrame> element;
        const char* word;
        const char* key;
    };
    const Case cases[] = {
        {makeTestElement<CTestVFIBEnergy>(), "NRG", "ENGY"},
        {makeTestElement<CTestVTACHEnergy>(), "EVT", "ENGY"},
        {makeTestElement<CTestPeakVoltage>(), "PVT", "PEAV"},
        {makeTestElement<CTestOverCurrent>(), "OCR", "OVRC"},
        {makeTestElement<CTestOverVoltage>(), "OVT", "OVRV"},
    };
    for (const Case& c : cases) {
        sim::Scenario scenario = ready();
        scenario.readings[QLatin1String(c.word)] = QStringLiteral("123.5");
        analyser(scenario);
        runOnce(c.element);
        EXPECT_TRUE(sim->commands().contains(QLatin1String(c.word))) << c.word;
        EXPECT_EQ(reading(c.element, c.key), Variant(123.5)) << c.word;
        EXPECT_NE(c.element->Result()->Status(), emsNone) << c.word;
    }
    EXPECT_EQ(setup->finished().size(), 5);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SingleShotRun, unjudgedResultTakesTheRunsPreset)
{
    // Energies within 15 % of the preset pass, on both sides.
    auto element = makeTestElement<CTestVFIBEnergy>();
    auto config = query<CConfigVFIBEnergy>(element->Configuration());
    limitTo(element, setup, QStringLiteral("ENGY"), 15, -15);
    config->SetPresetEnergy(100);
    then([&] { previous(); });
    perform(element);
    ASSERT_EQ(element->Result()->Status(), emsNone) << "left unjudged at 100 J";

    // Set to 200 J the defibrillator delivers only 100 J: a failed run.
    config->SetPresetEnergy(200);
    sim::Scenario scenario = ready();
    scenario.readings[QStringLiteral("NRG")] = QStringLiteral("100");
    analyser(scenario);
    runOnce(element);
    EXPECT_EQ(reading(element, "ENGY"), Variant(100.0));
    EXPECT_EQ(query<CResultBase>(element->Result())->FindMeasurement(QStringLiteral("ENGY"))->PresetValue(), Variant(200.0f));
    EXPECT_EQ(element->Result()->Status(), emsFailed);

    // The same limit passes a delivery within 15 % of 200 J.
    auto fresh = makeTestElement<CTestVFIBEnergy>();
    limitTo(fresh, setup, QStringLiteral("ENGY"), 15, -15);
    query<CConfigVFIBEnergy>(fresh->Configuration())->SetPresetEnergy(200);
    scenario.readings[QStringLiteral("NRG")] = QStringLiteral("196");
    analyser(scenario);
    runOnce(fresh);
    EXPECT_EQ(fresh->Result()->Status(), emsPassed);
}

TEST_F(SingleShotRun, overRangeReplyShowsTheEnergyMessageAndStoresNothing)
{
    auto element = makeTestElement<CTestVFIBEnergy>();
    analyser(ready(withFault(QStringLiteral("over=NRG"))));
    runOnce(element, false);
    ASSERT_EQ(boxesContaining(QStringLiteral("Over Range! Please check the defibrillator's energy setting.")), 1);
    EXPECT_EQ(boxes.front().icon(), mb::Critical);
    EXPECT_EQ(element->Result()->Status(), emsNone);
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(SingleShotRun, bannerReplyIsDroppedOnlyByTheTestsWithTheBannerRule)
{
    // The banner comes at once: the link does not take it for an unsupported test.
    auto peak = makeTestElement<CTestPeakVoltage>();
    analyser(ready(withFault(QStringLiteral("banner=0:PVT"))));
    runOnce(peak);
    EXPECT_TRUE(reading(peak, "PEAV").isEmpty());

    auto energy = makeTestElement<CTestVFIBEnergy>();
    analyser(ready(withFault(QStringLiteral("banner=0:NRG"))));
    runOnce(energy);
    EXPECT_FALSE(reading(energy, "ENGY").isEmpty()) << "the energy tests store any reply";
}

TEST_F(SingleShotRun, unsupportedAnalyserEndsTheOverCurrentTest)
{
    auto element = makeTestElement<CTestOverCurrent>();
    analyser(ready(withFault(QStringLiteral("banner=1500:OCR"))));
    runOnce(element, false);
    EXPECT_EQ(boxesContaining(QStringLiteral("This test is not supported on this model of the Tarvo")), 1);
    EXPECT_TRUE(element->runFlags().abort);
    EXPECT_TRUE(reading(element, "OVRC").isEmpty());
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(SingleShotRun, stopWhileDefibrillateNowIsShownEndsThePolling)
{
    auto element = makeTestElement<CTestOverVoltage>();
    sim::Scenario scenario;
    scenario.dischargeAfterMs = -1; // the operator never fires
    analyser(scenario);
    then([&] { start(); });
    then([&] { return sim->commands().contains(QStringLiteral("OVT")); }, [&] { stop(); });
    then([&] { return idle(); }, [&] { previous(); });
    perform(element);
    EXPECT_EQ(sim->commands().count(QStringLiteral("OVT")), 1);
    EXPECT_TRUE(reading(element, "OVRV").isEmpty());
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnPrevious});
}

} // namespace
} // namespace kelto::test
