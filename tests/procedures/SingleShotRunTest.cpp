// The five single-shot defibrillator tests: one shock, one polled reading.

#include <cmath>

#include "procedures/defibrillator/CTestDefibPulse.h"
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
    // Laid out at 100 J and never judged (as a file keeps one), it stays through a
    // guide left without a run.
    auto unjudged = std::make_shared<CResultVFIBEnergy>();
    unjudged->Initialize(config);
    element->elementBase()->SetResult(unjudged);
    then([&] { previous(); });
    perform(element);
    ASSERT_EQ(element->Result(), unjudged);
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

TEST_F(SingleShotRun, energyAskedForByAnEarlierTestIsNeverALaterTestsReading)
{
    // An energy test stopped while its reading waits, then skipped; or a pulse
    // repetition window that runs out while its next reading waits. The analyser may
    // still answer that request (104.2 J). The next test's one discharge gives a peak
    // voltage of 5200 V, over its 5000 V limit, and the one after it an over current
    // of 95 A, over its 80 A limit. In a race the discharge lands once the first copy
    // of the command is in, before the next. Where no reading is taken (error 8030),
    // the operator presses OK, and either switches the analyser off and on as the
    // link asks or leaves it as it is.
    enum class CutShortBy { StopAndSkip, WindowsEnd };
    const struct {
        const char* held;
        const char* order;
        bool race;
        bool switchesOffAndOn;
        bool peakTaken;
        bool overCurrentTaken;
    } analysers[] = {
        {"held=keep", "order=asked", true, true, false, true},
        {"held=keep", "order=asked", true, false, false, false},
        {"held=keep", "order=reverse", false, false, true, true},
        {"held=keep", "order=reverse", true, true, false, true},
        {"held=drop", "order=asked", false, false, true, true},
        {"held=cancel", "order=asked", false, false, false, false},
        {"held=newest", "order=asked", false, true, false, true},
        {"held=newest", "order=asked", false, false, false, false},
        {"held=queue", "order=reverse", false, true, false, true},
        {"held=queue", "order=asked", false, false, false, false},
    };
    for (const CutShortBy by : {CutShortBy::StopAndSkip, CutShortBy::WindowsEnd}) {
        for (const auto& c : analysers) {
            SCOPED_TRACE(c.held);
            SCOPED_TRACE(c.order);
            SCOPED_TRACE(c.race ? "race" : "no race");
            SCOPED_TRACE(c.switchesOffAndOn ? "switched off and on" : "OK only");
            SCOPED_TRACE(by == CutShortBy::StopAndSkip ? "stop and skip" : "window's end");
            sim::Scenario scenario = withFault(QLatin1String(c.order), withFault(QLatin1String(c.held)));
            scenario.dischargeAfterMs = -1;
            scenario.readings[QStringLiteral("NRG")] = QStringLiteral("104.2");
            scenario.readings[QStringLiteral("PVT")] = QStringLiteral("5200");
            scenario.readings[QStringLiteral("OCR")] = QStringLiteral("95");
            analyser(scenario);
            boxes.clear();
            if (by == CutShortBy::StopAndSkip) {
                auto energy = makeTestElement<CTestVFIBEnergy>();
                then([&] { start(); });
                then([&] { return sim->commands().contains(QStringLiteral("NRG")); }, [&] { stop(); });
                then([&] { return idle(); }, [&] { click(guidebutton::Skip); });
                perform(energy);
                EXPECT_TRUE(boxes.empty()) << "a skip that drops no verdict asks nothing";
            } else {
                auto pulse = makeTestElement<CTestDefibPulse>();
                then([&] { start(); });
                then([&] { return sim->commands().contains(QStringLiteral("NRG")); }, [&] { sim->discharge(); });
                then([&] { return idle(); }, [&] { next(); });
                perform(pulse);
                ASSERT_EQ(sim->commands().count(QStringLiteral("NRG")), 2) << "the second request was cut short";
            }
            onBox = [&](const MessageBoxRequest& box) {
                if (!c.switchesOffAndOn)
                    return;
                if (box.prompt.startsWith(QStringLiteral("Error #8030")))
                    sim->setPowered(false);
                else if (box.prompt.contains(QStringLiteral("Switch it on")))
                    sim->setPowered(true);
            };

            const struct {
                Ptr<CTestElementFrame> element;
                const char* key;
                const char* word;
                float limit;
                double reading;
                bool taken;
            } tests[] = {
                {makeTestElement<CTestPeakVoltage>(), "PEAV", "PVT", 5000, 5200, c.peakTaken},
                {makeTestElement<CTestOverCurrent>(), "OVRC", "OCR", 80, 95, c.overCurrentTaken},
            };
            for (const auto& t : tests) {
                SCOPED_TRACE(t.word);
                limitTo(t.element, setup, QLatin1String(t.key), t.limit, std::nanf(""));
                const QString word = QLatin1String(t.word);
                qint64 askedAt = -1;
                qint64 dischargedAt = -1;
                qint64 overAt = -1;
                const auto discharge = [&] {
                    dischargedAt = Clock::instance().nowMs();
                    sim->discharge();
                };
                bool firstIn = false;
                const auto in = QObject::connect(sim.get(), &sim::TarvoSimulator::commandReceived, sim.get(), [&](const QString& received) {
                    firstIn = firstIn || received == word;
                });
                const auto shock = QObject::connect(sim.get(), &sim::TarvoSimulator::byteReceived, sim.get(), [&] {
                    if (c.race && firstIn && dischargedAt < 0)
                        discharge();
                });
                then([&] { start(); });
                then([&] { return sim->commands().contains(word); }, [&] { askedAt = Clock::instance().nowMs(); });
                then([&] { return c.race || Clock::instance().nowMs() - askedAt >= 200; },
                    [&] {
                        if (!c.race)
                            discharge();
                    });
                then([&] { return dischargedAt >= 0 && idle(); },
                    [&] {
                        overAt = Clock::instance().nowMs();
                        nextOffered() ? next() : previous();
                    });
                boxes.clear();
                perform(t.element);
                QObject::disconnect(in);
                QObject::disconnect(shock);
                if (t.taken) {
                    EXPECT_EQ(reading(t.element, t.key), Variant(t.reading));
                    EXPECT_EQ(t.element->Result()->Status(), emsFailed);
                    EXPECT_LT(overAt - dischargedAt, 1000) << "a fraction of a second more than a plain reading";
                    EXPECT_TRUE(boxes.empty());
                } else {
                    EXPECT_TRUE(reading(t.element, t.key).isEmpty());
                    EXPECT_EQ(t.element->Result()->Status(), emsNone);
                    EXPECT_EQ(boxes.size(), c.switchesOffAndOn ? 3u : 2u);
                    const QString first = boxes.empty() ? QString() : boxes.front().prompt;
                    const QString last = boxes.empty() ? QString() : boxes.back().prompt;
                    EXPECT_TRUE(first.startsWith(QStringLiteral("Error #8030\r\nNo reading was taken for [%1] on ").arg(word)));
                    EXPECT_TRUE(first.endsWith(QStringLiteral("Switch it off, then press OK.")));
                    EXPECT_TRUE(last.contains(c.switchesOffAndOn ? QStringLiteral("answers again and holds no earlier request")
                                                                 : QStringLiteral("still answers, so it was not switched off")))
                        << last.toStdString();
                }
            }
            onBox = {};
        }
    }
}

TEST_F(SingleShotRun, aClickMeantAsStopAsTheReadingArrivesDoesNotGoOn)
{
    // The main button reads Stop while the reading is awaited and Next once it is in.
    auto element = makeTestElement<CTestVFIBEnergy>();
    analyser(ready());
    bool stayed = false;
    then([&] { start(); });
    then([&] { return runOver(); },
        [&] {
            QToolButton* main = toolbar()->button(guidebutton::Main);
            ASSERT_EQ(main->text(), QStringLiteral("Next"));
            ASSERT_GT(toolbar()->mainHoldLeftMs(), 0) << "the click comes just as the job changed";
            QTest::mouseClick(main, Qt::LeftButton);
        });
    then([&] {
        stayed = setup->navigations().isEmpty();
        next();
    });
    perform(element);
    EXPECT_TRUE(stayed) << "the click went on to the next test";
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnNext});
    EXPECT_EQ(setup->finished().size(), 1);
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
