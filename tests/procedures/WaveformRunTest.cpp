// The ECG waveform tests against the simulated analyser in virtual time: the
// waveform plays for its duration or until Stop, and the operator's tick in the
// result grid becomes the result.

#include "framework/guide/WaveState.h"
#include "host/TestWizard.h"
#include "host/XmlDocument.h"
#include "procedures/pacer_ecg/CTestWaveform.h"
#include "tests/procedures/DefibRunFixture.h"
#include "tests/support/MissingClass.h"

namespace kelto::test {
namespace {

template <class Element>
class WaveformRunBase : public DefibRunFixture {
protected:
    void watch()
    {
        QObject::connect(sim.get(), &sim::TarvoSimulator::commandReceived, [this](const QString& word) {
            sentWords << word;
            sentAt << Clock::instance().nowMs();
        });
    }
    qint64 firstAt(const QString& word) const
    {
        const qsizetype i = sentWords.indexOf(word);
        return i < 0 ? -1 : sentAt[i];
    }

    QList<int> marked() const { return instructionPane(*element).activeSteps(); }

    Ptr<Element> element = makeTestElement<Element>();
    QStringList sentWords;
    QList<qint64> sentAt;
};

class NormalSinusRun : public WaveformRunBase<CTestNormalSinus> {
protected:
    Ptr<CResultNormalSinus> result() const { return query<CResultNormalSinus>(element->Result()); }
    Ptr<CMeasurement> verdict() const { return result()->FindMeasurement(QStringLiteral("NSW")); }
};

TEST_F(NormalSinusRun, playsForTheDurationThenTakesTheOperatorsVerdict)
{
    analyser();
    watch();
    QList<int> playingSteps;
    bool runningDuringPlay = true;
    then([&] { start(); });
    then([&] { return !sentWords.isEmpty() && sentWords.last() == QLatin1String("W01") && Clock::instance().nowMs() > 3000; },
        [&] {
            playingSteps = marked();
            runningDuringPlay = gfWaveRunning;
        });
    then([&] { return runOver(); }, [&] { tick(kVerdictPassedColumn); });
    then([&] { return nextOffered(); }, [&] { next(); });
    perform(element);

    EXPECT_EQ(playingSteps, QList<int>({3, 4}));
    EXPECT_FALSE(runningDuringPlay) << "no verdict while the waveform plays";
    const qint64 wave = firstAt(QStringLiteral("W01"));
    const qint64 stopWave = firstAt(QStringLiteral("WSP"));
    ASSERT_GE(wave, 0);
    ASSERT_GE(stopWave, 0);
    EXPECT_GE(stopWave - wave, 7000);
    EXPECT_LT(stopWave - wave, 8500);
    EXPECT_EQ(verdict()->Value(), Variant(true));
    EXPECT_EQ(result()->Status(), emsPassed);
    EXPECT_EQ(setup->finished().size(), 2) << "handed over at the end of the run and when the guide closed";
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnNext});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(NormalSinusRun, indefiniteDurationPlaysUntilStopAndKeepsTheRun)
{
    query<CConfigNormalSinus>(element->Configuration())->SetDuration(0);
    analyser();
    watch();
    then([&] { start(); });
    then([&] { return Clock::instance().nowMs() > 120000; }, [&] { stop(); });
    then([&] { return runOver(); }, [&] { tick(kVerdictFailedColumn); });
    then([&] { return nextOffered(); }, [&] { next(); });
    perform(element);

    EXPECT_GE(firstAt(QStringLiteral("WSP")), 120000) << "nothing stopped the waveform before the operator";
    EXPECT_EQ(verdict()->Value(), Variant(false));
    EXPECT_EQ(result()->Status(), emsFailed);
    EXPECT_EQ(setup->finished().size(), 2) << "a stop is the normal end of the test";
}

TEST_F(NormalSinusRun, abortWhilePlayingStopsTheWaveformAndDiscardsTheResult)
{
    analyser();
    watch();
    then([&] { start(); });
    then([&] { return Clock::instance().nowMs() > 3000; }, [&] { click(guidebutton::Abort); });
    perform(element);

    EXPECT_TRUE(sentWords.contains(QStringLiteral("WSP")));
    EXPECT_LT(firstAt(QStringLiteral("WSP")), 7000);
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnAbort});
    EXPECT_FALSE(element->Result());
    EXPECT_EQ(boxesContaining(QStringLiteral("Do you want to abort the test?")), 1);
    EXPECT_EQ(boxes.size(), 1u) << "no error box for the stopped waveform";
}

TEST_F(NormalSinusRun, unsupportedModelPlaysNothingAndRefusesAVerdict)
{
    analyser(withFault(QStringLiteral("banner=1500:W01")));
    watch();
    bool wasJudging = true;
    then([&] { start(); });
    then([&] { return runOver(); },
        [&] {
            wasJudging = gfWaveRunning;
            tick(kVerdictPassedColumn);
        });
    then([&] { click(guidebutton::Previous); });
    perform(element);

    EXPECT_EQ(boxesContaining(QStringLiteral("This test is not supported on this model of the Tarvo")), 1);
    EXPECT_FALSE(wasJudging);
    EXPECT_FALSE(sentWords.contains(QStringLiteral("WSP")));
    EXPECT_TRUE(verdict()->Value().isEmpty());
    EXPECT_EQ(result()->Status(), emsNone);
    EXPECT_FALSE(element->wavePlayed());
}

TEST_F(NormalSinusRun, stopWhileTheWaveCommandIsGoingOutLeavesNothingToJudge)
{
    analyser(withFault(QStringLiteral("no-reply=W01")));
    watch();
    bool wasJudging = true;
    then([&] { start(); });
    then([&] { return sentWords.contains(QStringLiteral("W01")); }, [&] { stop(); });
    then([&] { return runOver(); },
        [&] {
            wasJudging = gfWaveRunning;
            tick(kVerdictPassedColumn);
        });
    then([&] { click(guidebutton::Previous); });
    perform(element);

    EXPECT_FALSE(element->waveStarted());
    EXPECT_FALSE(wasJudging) << "a waveform that never played cannot be ticked";
    EXPECT_TRUE(verdict()->Value().isEmpty());
    EXPECT_NE(result()->Status(), emsPassed);
}

TEST_F(NormalSinusRun, notApplicableMarksTheResultAndAnotherPerformRefusesTicks)
{
    analyser();
    then([&] { click(guidebutton::NotApplicable); });
    perform(element);
    ASSERT_TRUE(result());
    EXPECT_EQ(result()->Status(), emsNotApplicable);
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnNext});
    ASSERT_EQ(setup->finished().size(), 1);

    bool judging = true;
    then([&] {
        judging = gfWaveRunning;
        click(guidebutton::Previous);
    });
    perform(element);
    EXPECT_FALSE(judging);
}

class ArrhythmiaRun : public WaveformRunBase<CTestArrhythmia> {};

TEST_F(ArrhythmiaRun, marksItsFiveStepsAndPlaysItsOwnWave)
{
    auto config = query<CConfigArrhythmia>(element->Configuration());
    config->SetWaveType(208);
    config->SetDuration(2);
    analyser();
    watch();
    QList<QList<int>> seen;
    then([&] { start(); });
    then([&] { return sentWords.contains(QStringLiteral("W24")) && Clock::instance().nowMs() > 1000; }, [&] { seen << marked(); });
    then([&] { return runOver(); },
        [&] {
            seen << marked();
            click(guidebutton::Previous);
        });
    perform(element);

    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0], QList<int>({3, 5}));
    EXPECT_EQ(seen[1], QList<int>({1, 2, 3, 4, 5}));
    EXPECT_TRUE(sentWords.contains(QStringLiteral("W24")));
    EXPECT_TRUE(sentWords.contains(QStringLiteral("WSP")));
}

TEST_F(NormalSinusRun, aGuideWithoutAToolbarStillOpensAndTakesNoVerdict)
{
    // Whether a verdict may be ticked is the element's own knowledge, not the toolbar's.
    const MissingClass noToolbar(hostclass::TgToolbar);
    ASSERT_TRUE(noToolbar.withdrawn());
    bool shown = false;
    bool judging = true;
    CTestElementFrame::setGuideObserver([&](CTestElementFrame&, FTarvoXTestGuide& guide) {
        shown = true;
        judging = gfWaveRunning;
        QMetaObject::invokeMethod(qApp, [&guide] { guide.Hide(); }, Qt::QueuedConnection);
    });
    element->Perform(setup);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(judging);
    EXPECT_TRUE(boxes.empty()) << boxes.front().prompt.toStdString();
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(NormalSinusRun, aReopenedVerdictIsTickedAgainOnlyAfterAWaveHasPlayed)
{
    analyser();
    then([&] { start(); });
    then([&] { return runOver(); }, [&] { tick(kVerdictPassedColumn); });
    then([&] { return nextOffered(); }, [&] { next(); });
    perform(element);
    ASSERT_EQ(result()->Status(), emsPassed);

    // The same element object, back with Previous: its waveform has played, so a
    // new tick is taken by the result and handed over.
    bool judging = false;
    const auto handedOver = setup->finished().size();
    then([&] {
        judging = gfWaveRunning;
        tick(kVerdictFailedColumn);
    });
    then([&] { return nextOffered(); }, [&] { next(); });
    perform(element);
    EXPECT_TRUE(judging);
    EXPECT_EQ(setup->finished().size(), handedOver + 1);
    EXPECT_EQ(verdict()->Value(), Variant(false));
    EXPECT_EQ(result()->Status(), emsFailed);

    // A repeat stopped while its command goes out plays nothing: the verdict stays,
    // and neither this guide nor the next takes a tick until a wave has played again.
    const auto judged = element->Result();
    sim->scenario().noReply.words = {QStringLiteral("W01")};
    const qsizetype sentBefore = sim->commands().count(QStringLiteral("W01"));
    QList<bool> judgingAfterStop;
    then([&] { repeat(); });
    then([&] { return sim->commands().count(QStringLiteral("W01")) > sentBefore; }, [&] { stop(); });
    then([&] { return runOver(); },
        [&] {
            judgingAfterStop << gfWaveRunning;
            tick(kVerdictPassedColumn);
            previous();
        });
    perform(element);
    then([&] {
        judgingAfterStop << gfWaveRunning;
        tick(kVerdictPassedColumn);
        previous();
    });
    perform(element);
    EXPECT_EQ(judgingAfterStop, QList<bool>({false, false}));
    EXPECT_FALSE(element->wavePlayed());
    EXPECT_EQ(element->Result(), judged);
    EXPECT_EQ(verdict()->Value(), Variant(false)) << "the ticks were refused";
    EXPECT_EQ(result()->Status(), emsFailed);

    // The result saved and opened again by another element: no tick before a run.
    auto doc = std::make_shared<host::XmlDocument>();
    const auto saved = element->Save(doc, 0);
    ASSERT_TRUE(saved);
    auto reopened = makeTestElement<CTestNormalSinus>();
    reopened->Load(saved, nullptr);
    reopened->Load(saved->FindChild(QStringLiteral("ResultItem")), nullptr);
    const auto reopenedResult = query<CResultNormalSinus>(reopened->Result());
    ASSERT_TRUE(reopenedResult);
    ASSERT_EQ(reopenedResult->Status(), emsFailed);
    const auto finishedBefore = setup->finished().size();
    judging = true;
    then([&] {
        judging = gfWaveRunning;
        tick(kVerdictPassedColumn);
    });
    then([&] { return nextOffered(); }, [&] { next(); });
    perform(reopened);
    EXPECT_FALSE(judging);
    const auto mark = reopenedResult->FindMeasurement(QStringLiteral("NSW"));
    EXPECT_EQ(mark->Value(), Variant(false)) << "the tick was refused";
    EXPECT_EQ(mark->Status(), emsFailed);
    EXPECT_EQ(reopenedResult->Status(), emsFailed);
    EXPECT_EQ(setup->finished().size(), finishedBefore);
}

TEST(WaveformElement, aFinishedRunWithoutAResultIsStillHandedToTheSetup)
{
    struct Probe : CTestNormalSinus {
        void finishWithoutResult(const Ptr<ITestSetup>& setup)
        {
            mSetup = setup;
            mfStarted = true;
            elementBase()->SetResult(nullptr);
            FinishTest(nullptr);
        }
    };
    auto element = makeTestElement<Probe>();
    auto setup = std::make_shared<host::TestSetup>();
    element->finishWithoutResult(setup);
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST(WaveformElement, hasNoMeasurementListAndItsLimitsOfferNoDialog)
{
    auto element = makeTestElement<CTestPerformance>();
    EXPECT_TRUE(element->GetMeasurementList().isEmpty());
    element->Initialize(QStringLiteral("TarvoX"), 1100, 1100);
    EXPECT_FALSE(element->Limits()->HasDialog());
    EXPECT_EQ(element->Limits()->Owner(), element);
    auto clone = element->Clone();
    ASSERT_TRUE(clone);
    EXPECT_FALSE(clone->Limits()->HasDialog());
    EXPECT_EQ(clone->Limits()->Owner(), clone);
    EXPECT_EQ(clone->TestID(), 1100);
}

TEST(TimedAndJudgedProcedures, areCreatedByProgIdWithTheirTestIds)
{
    const std::pair<const char*, std::int32_t> classes[] = {
        {"KeltoTarvoXTest.CTestSyncRPeak", 700},
        {"KeltoTarvoXTest.CTestSyncQBase", 800},
        {"KeltoTarvoXTest.CTestNormalSinus", 900},
        {"KeltoTarvoXTest.CTestArrhythmia", 1000},
        {"KeltoTarvoXTest.CTestPerformance", 1100},
        {"KeltoTarvoXTest.CTestPacerParameter", 1200},
        {"KeltoTarvoXTest.CTestPacerRefractory", 1300},
        {"KeltoTarvoXTest.CTestBatteryRetention", 1500},
        {"KeltoTarvoXTest.CTestDefibPulse", 1600},
    };
    for (const auto& [progId, testId] : classes) {
        auto element = ComponentRuntime::instance().createAs<ITestElement>(QLatin1String(progId));
        ASSERT_TRUE(element) << progId;
        EXPECT_EQ(element->TestID(), testId) << progId;
        EXPECT_EQ(element->Limits()->Owner(), element) << progId;
        EXPECT_FALSE(element->Result()) << progId;
    }
}

} // namespace
} // namespace kelto::test
