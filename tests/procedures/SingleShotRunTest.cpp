// The five single-shot defibrillator tests: one shock, one polled reading.

#include <cmath>

#include "procedures/defibrillator/CTestDefibPulse.h"
#include "procedures/defibrillator/CTestSingleShot.h"
#include "procedures/pacer_ecg/CTestWaveform.h"
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
    const QString wait = QString::fromUtf8("Please wait\u2026 ");
    const QString charge = QString::fromUtf8("Please charge the defibrillator and wait\u2026");
    struct Case {
        Ptr<CTestElementFrame> element;
        const char* word;
        const char* key;
        QString popup; // while the channel opens
        QList<int> stepsAfterRun;
        bool dropsBanner; // a reply that is the analyser's banner
    };
    const Case cases[] = {
        {makeTestElement<CTestVFIBEnergy>(), "NRG", "ENGY", charge, {1, 2, 3}, false},
        {makeTestElement<CTestVTACHEnergy>(), "EVT", "ENGY", charge, {1, 2, 3, 4}, false},
        {makeTestElement<CTestPeakVoltage>(), "PVT", "PEAV", wait, {1, 2, 3}, true},
        {makeTestElement<CTestOverCurrent>(), "OCR", "OVRC", wait, {1, 2, 3}, true},
        {makeTestElement<CTestOverVoltage>(), "OVT", "OVRV", wait, {1, 2, 3}, true},
    };
    const auto readingSetup = setup;
    setup = std::make_shared<host::TestSetup>();
    for (const Case& c : cases) {
        analyser(ready(withFault(QStringLiteral("banner=0:%1").arg(QLatin1String(c.word)))));
        then([&] { start(); });
        then([&] { return idle(); }, [&] { nextOffered() ? next() : previous(); });
        perform(c.element);
        EXPECT_EQ(reading(c.element, c.key).isEmpty(), c.dropsBanner) << c.word;
    }
    setup = readingSetup;
    boxes.clear();
    for (const Case& c : cases) {
        sim::Scenario scenario = ready();
        scenario.readings[QLatin1String(c.word)] = QStringLiteral("123.5");
        analyser(scenario);
        QString popup;
        QObject::connect(sim.get(), &sim::TarvoSimulator::commandReceived, sim.get(), [&] {
            if (popup.isEmpty())
                popup = popupText();
        });
        QList<int> steps;
        // A stored banner was judged: the test is repeated.
        then([&] { nextOffered() ? repeat() : start(); });
        then([&] { return idle(); },
            [&] {
                steps = instructionPane(*c.element).activeSteps();
                next();
            });
        perform(c.element);
        EXPECT_TRUE(sim->commands().contains(QLatin1String(c.word))) << c.word;
        EXPECT_EQ(reading(c.element, c.key), Variant(123.5)) << c.word;
        EXPECT_NE(c.element->Result()->Status(), emsNone) << c.word;
        EXPECT_EQ(popup, c.popup) << c.word;
        EXPECT_EQ(steps, c.stepsAfterRun) << c.word;
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
    const struct {
        Ptr<CTestElementFrame> element;
        const char* fault;
        const char* key;
    } cases[] = {
        {makeTestElement<CTestOverCurrent>(), "banner=1500:OCR", "OVRC"},
        {makeTestElement<CTestOverVoltage>(), "banner=1500:OVT", "OVRV"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        boxes.clear();
        analyser(ready(withFault(QLatin1String(c.fault))));
        runOnce(c.element, false);
        EXPECT_EQ(boxesContaining(QStringLiteral("This test is not supported on this model of the Tarvo")), 1);
        EXPECT_TRUE(c.element->runFlags().abort);
        EXPECT_TRUE(reading(c.element, c.key).isEmpty());
        EXPECT_TRUE(setup->finished().isEmpty());
    }
}

TEST_F(SingleShotRun, energyAskedForByAnEarlierTestIsNeverALaterTestsReading)
{
    // An energy test stopped while its reading waits, then skipped; or a pulse
    // repetition window that runs out while its next reading waits. The analyser may
    // still answer that request (104.2 J). The next test's one discharge gives a peak
    // voltage of 5200 V, over its 5000 V limit, and the one after it an over current
    // of 95 A, over its 80 A limit. In a race the discharge lands once the first copy
    // of the command is in, before the next. Where no reading is taken (error 8030),
    // the operator presses OK at every box, and either switches the analyser off and
    // on as the link asks or leaves it as it is. A waveform test may come between,
    // whose commands the analyser acknowledges with words, numbers or its banner.
    enum class CutShortBy { StopAndSkip, WindowsEnd };
    struct Analyser {
        const char* held;
        const char* order;
        bool race;
        bool switchesOffAndOn;
        bool peakTaken;
        bool overCurrentTaken;
        QStringList waveFaults = {}; // and a normal sinus test comes before the over current
    };
    const Analyser analysers[] = {
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
        {"held=keep", "order=asked", false, false, true, true, {"reading W01=OK"}},
        {"held=keep", "order=asked", false, false, true, true, {"reading W01=0", "reading WSP=0"}},
        {"held=keep", "order=asked", false, false, true, true, {"banner=1500:W01"}},
        {"held=keep", "order=asked", false, false, true, true, {"late=1500:WSP", "reading WSP=0"}},
        {"held=keep", "order=asked", false, false, true, true, {"reading W01=OK|1"}},
    };
    bool dischargeAskedAtBox = false;
    QString statusAtBox;
    // The reading the analyser measures, or error 8030 and its boxes.
    const auto nextTestReads = [&](const Analyser& c, const Ptr<CTestElementFrame>& element, const char* key, const char* command,
                                   float limit, double measured, bool taken) {
        SCOPED_TRACE(command);
        limitTo(element, setup, QLatin1String(key), limit, std::nanf(""));
        const QString word = QLatin1String(command);
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
        dischargeAskedAtBox = false;
        statusAtBox.clear();
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
        perform(element);
        QObject::disconnect(in);
        QObject::disconnect(shock);
        if (taken) {
            EXPECT_EQ(reading(element, key), Variant(measured));
            EXPECT_EQ(element->Result()->Status(), emsFailed);
            EXPECT_LT(overAt - dischargedAt, 1000) << "a fraction of a second more than a plain reading";
            EXPECT_TRUE(boxes.empty());
            return;
        }
        EXPECT_TRUE(reading(element, key).isEmpty());
        EXPECT_EQ(element->Result()->Status(), emsNone);
        EXPECT_EQ(boxes.size(), 3u);
        const QString first = boxes.empty() ? QString() : boxes.front().prompt;
        const QString last = boxes.empty() ? QString() : boxes.back().prompt;
        EXPECT_TRUE(first.startsWith(QStringLiteral("Error #8030\r\nNo reading was taken for [%1] on ").arg(word)));
        EXPECT_TRUE(first.endsWith(QStringLiteral("Switch it off, leave it off for at least 4 s, then press OK.")));
        EXPECT_TRUE(last.contains(c.switchesOffAndOn ? QStringLiteral("answers [VER] again") : QStringLiteral("still answers [VER]")))
            << last.toStdString();
        // Meanwhile the guide asks for no discharge and says what the link does.
        EXPECT_FALSE(dischargeAskedAtBox) << "a discharge asked for while the link checks the analyser";
        EXPECT_TRUE(statusAtBox.startsWith(QStringLiteral("The link checks that the analyser on "))) << statusAtBox.toStdString();
    };
    for (const CutShortBy by : {CutShortBy::StopAndSkip, CutShortBy::WindowsEnd}) {
        for (const auto& c : analysers) {
            SCOPED_TRACE(c.held);
            SCOPED_TRACE(c.order);
            SCOPED_TRACE(c.race ? "race" : "no race");
            SCOPED_TRACE(c.switchesOffAndOn ? "switched off and on" : "OK only");
            SCOPED_TRACE(by == CutShortBy::StopAndSkip ? "stop and skip" : "window's end");
            SCOPED_TRACE(c.waveFaults.join(QLatin1Char(' ')).toStdString());
            sim::Scenario scenario = withFault(QLatin1String(c.order), withFault(QLatin1String(c.held)));
            for (const QString& fault : c.waveFaults) {
                if (fault.startsWith(QLatin1String("reading ")))
                    EXPECT_TRUE(sim::applySetting(scenario, QStringLiteral("reading"), fault.mid(8), nullptr));
                else
                    scenario = withFault(fault, scenario);
            }
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
                if (!box.prompt.startsWith(QStringLiteral("Error #8030"))) {
                    dischargeAskedAtBox = dischargeAskedAtBox || popupShown();
                    if (statusAtBox.isEmpty())
                        statusAtBox = toolbar()->statusText()->text();
                }
                if (!c.switchesOffAndOn)
                    return;
                if (box.prompt.startsWith(QStringLiteral("Error #8030")))
                    sim->setPowered(false);
                else if (box.prompt.contains(QStringLiteral("Switch it on")))
                    sim->setPowered(true);
            };
            if (c.waveFaults.isEmpty()) {
                nextTestReads(c, makeTestElement<CTestPeakVoltage>(), "PEAV", "PVT", 5000, 5200, c.peakTaken);
            } else {
                // The waveform plays its time, or ends with the model's banner.
                auto wave = makeTestElement<CTestNormalSinus>();
                then([&] { start(); });
                then([&] { return sim->commands().contains(QStringLiteral("W01")) && runOver(); }, [&] { previous(); });
                perform(wave);
            }
            nextTestReads(c, makeTestElement<CTestOverCurrent>(), "OVRC", "OCR", 80, 95, c.overCurrentTaken);
            onBox = {};
        }
    }
}

TEST_F(SingleShotRun, whatTheAnalyserSendsWhileAReadingWaitsIsTakenOrTold)
{
    // Before the operator discharges, the analyser sends a status of its own, or it
    // answers with a unit, or ends its lines otherwise than with CR LF, or line noise
    // damages a byte of its 95 A (or 105 A): no reading passes the 80 A limit.
    const struct {
        const char* what;
        const char* fault;
        QByteArray sentFirst;
        const char* status; // on the guide's status line before the discharge
        bool taken;
        const char* box;
        QByteArray reply = {}; // the reading as it comes
    } rows[] = {
        {"a status while the reading waits", "", "E07\r\n",
            "sent \"E07\", which is no reading; the link goes on waiting for the reading of [OCR]. Press Stop to end the test.", true, ""},
        {"a reading with its unit", "", "", "Test in progress", true, ""},
        {"readings that end with LF alone", "line-end=lf:OCR", "", "Test in progress", false,
            "sent \"95\\n\" after [OCR]: a line that ends with LF alone"},
        {"95 A with its second byte damaged", "", "", "Test in progress", false,
            "line noise broke the line that came, \"9\\x85\", with a byte that no reply holds", "9\x85"},
        {"95 A with its second byte lost", "", "", "Test in progress", false,
            "line noise broke the line that came, \"9\\x00\", with a byte that no reply holds", QByteArray("9\0", 2)},
        {"105 A with its zero damaged", "", "", "Test in progress", false,
            "line noise broke the line that came, \"1\\xb05\", with a byte that no reply holds", "1\xb0" "5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Scenario scenario = *row.fault ? withFault(QLatin1String(row.fault)) : sim::Scenario{};
        scenario.dischargeAfterMs = -1;
        scenario.readings[QStringLiteral("OCR")] = !row.reply.isEmpty()                ? QString::fromLatin1(row.reply)
            : row.sentFirst.isEmpty() && !*row.fault ? QStringLiteral("95A")
                                                     : QStringLiteral("95");
        analyser(scenario);
        auto element = makeTestElement<CTestOverCurrent>();
        limitTo(element, setup, QStringLiteral("OVRC"), 80, std::nanf(""));
        qint64 askedAt = -1;
        QString status;
        then([&] { start(); });
        then([&] { return sim->commands().contains(QStringLiteral("OCR")); },
            [&] {
                askedAt = Clock::instance().nowMs();
                sim->sendNoise(row.sentFirst);
            });
        then([&] { return Clock::instance().nowMs() - askedAt >= 1500; },
            [&] {
                status = toolbar()->statusText()->text();
                sim->discharge();
            });
        then([&] { return runOver(); }, [&] { nextOffered() ? next() : previous(); });
        boxes.clear();
        perform(element);
        EXPECT_TRUE(status.contains(QLatin1String(row.status))) << status.toStdString();
        if (row.taken) {
            EXPECT_EQ(reading(element, "OVRC"), Variant(95.0));
            EXPECT_EQ(element->Result()->Status(), emsFailed);
            EXPECT_TRUE(boxes.empty());
        } else {
            EXPECT_TRUE(reading(element, "OVRC").isEmpty());
            EXPECT_EQ(element->Result()->Status(), emsNone);
            // Error 8030 is followed by the check's boxes.
            ASSERT_EQ(boxes.size(), row.reply.isEmpty() ? 1u : 3u);
            EXPECT_TRUE(boxes[0].prompt.contains(QLatin1String(row.box))) << boxes[0].prompt.toStdString();
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
    // The menu's "Repeat test" is a start as well; while a run goes on it does nothing.
    then([&] { return sim->commands().contains(QStringLiteral("OVT")); }, [&] { repeat(); });
    then([&] { stop(); });
    then([&] { return idle(); }, [&] { previous(); });
    perform(element);
    EXPECT_EQ(sim->commands().count(QStringLiteral("OVT")), 1);
    EXPECT_EQ(sim->commands().count(QStringLiteral("VER")), 1) << "the channel was opened once";
    EXPECT_TRUE(reading(element, "OVRV").isEmpty());
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnPrevious});
}

} // namespace
} // namespace kelto::test
