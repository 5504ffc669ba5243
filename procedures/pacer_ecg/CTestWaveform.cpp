#include "procedures/pacer_ecg/CTestWaveform.h"

#include <limits>

#include "framework/CLimitData.h"
#include "framework/FTimer.h"
#include "framework/MMiscUtils.h"
#include "framework/guide/CMtiData2.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "framework/guide/WaveState.h"
#include "platform/Clock.h"

namespace kelto {

const QStringList CTestNormalSinus::kInstructions{
    QStringLiteral("20250::1. Click 'Start' to begin the Normal sinus ECG test."),
    QStringLiteral("20251::2. Sending command to Instrument..."),
    QStringLiteral("20252::3. Simulating wave on defib monitor."),
    QStringLiteral("20253::4. Click 'Stop' to end the test."),
};

const QStringList CTestArrhythmia::kInstructions{
    QStringLiteral("20260::1. Click 'Start' to begin the Arrhythmia Wave test."),
    QStringLiteral("20261::2. Sending commands to Instrument..."),
    QStringLiteral("20262::3. Simulating wave on defib monitor."),
    QStringLiteral("20263::4. Check whether shock needed or not in the monitor."),
    QStringLiteral("20264::5. Click 'Stop' to end the test."),
};

const QStringList CTestPerformance::kInstructions{
    QStringLiteral("20270::1. Click 'Start' to begin the Performance Wave test."),
    QStringLiteral("20271::2. Sending command to Instrument..."),
    QStringLiteral("20272::3. Simulating wave on defib monitor."),
    QStringLiteral("20273::4. Click 'Stop' to end the test."),
};

template <class Self, class Config, class Result>
CTestWaveform<Self, Config, Result>::CTestWaveform()
{
    gfWaveRunning = false;
    auto& style = this->mStyle;
    style.fallbackResult = false;
    style.statusAfterInitialize = true;
    style.descriptionBoxOnPerformError = false;
    style.ensureResultIgnoresErrors = true;
    style.limitsDialog = false;
    style.disableStopButton = false;
    style.stepsAfterRun = allSteps();
}

template <class Self, class Config, class Result>
CTestWaveform<Self, Config, Result>::~CTestWaveform()
{
    if (mfrmTimer)
        mfrmTimer->StopTimer();
}

template <class Self, class Config, class Result>
QList<std::int16_t> CTestWaveform<Self, Config, Result>::allSteps()
{
    QList<std::int16_t> steps;
    for (int i = 1; i <= Self::kInstructions.size(); ++i)
        steps.append(static_cast<std::int16_t>(i));
    return steps;
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id)
{
    TestElementClass<Self, Config, Result>::Initialize(plugInId, testId, id);
    // The limits of a judged waveform offer no dialog.
    ignoreErrors([&] {
        auto limits = std::make_shared<CLimitData>();
        limits->Initialize(this->self(), false);
        this->deref(this->elementBase()).SetLimits(limits);
    });
}

template <class Self, class Config, class Result>
Variant CTestWaveform<Self, Config, Result>::GetInstructions()
{
    QStringList lines;
    for (const QString& line : Self::kInstructions)
        lines << this->tr(line);
    return this->linesVariant(lines);
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::guideInitialized()
{
    mfItemClicked = false;
    auto& result = this->deref(this->Result());
    // Only the verdict on a waveform this element has played may be ticked again: a
    // result opened from a file, or judged by another element object, waits for a
    // new run, since a tick the result would not take would leave the two apart.
    gfWaveRunning = result.Status() != emsNotApplicable && mfWavePlayed;
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::mfrmTestGuide_StartTest()
{
    // The run begins anew: the verdict waits for its waveform.
    gfWaveRunning = false;
    mfWavePlayed = false;
    if (this->mfBusy)
        return;
    try {
        this->mfBusy = true;
        this->mfAbort = false;
        this->mfStarted = true;
        this->mfNA = false;
        this->mfSkip = false;
        this->mfAborted = false;
        mfWaveStarted = false;
        mfItemClicked = false;
        FTarvoXTestGuide& guide = this->Guide();
        this->prepareRunResult(guide);
        const auto steps = allSteps();
        guide.SetToolbarMode(2, false);
        guide.SetActiveSteps({steps.last()});
        guide.SetStatusText(QStringLiteral("20179::Test in progress, please wait..."));
        this->vti()->OpenChannel();
        if (this->vti()->State() == evtiIdle && !this->mfAbort)
            RunWave();
        this->vti()->CloseChannel();
        // Until a verdict is ticked for this run the element keeps its earlier one; the
        // grid shows the run's own result only once there is a played wave to judge.
        this->noteRunAnalyser(guide);
        const CTestElementFrame::RunEnd end = this->settleRunResult(true);
        const bool keptEarlier = end == CTestElementFrame::RunEnd::KeptEarlier;
        guide.SetToolbarMode(1, (mfWaveStarted && mfItemClicked) || keptEarlier);
        guide.SetActiveSteps(steps);
        // Every run is handed to the host at its end, and again when the guide closes.
        FinishTest(guide.GetMtiData());
        // The verdict shown is the one that stands; a played wave waits for its own tick,
        // unless it came while the channel closed.
        guide.ShowResultStatus(this->Result());
        if (!mfWavePlayed)
            this->showRunEnd(guide, keptEarlier ? CTestElementFrame::RunEnd::KeptEarlier : CTestElementFrame::RunEnd::NoVerdict);
        else if (end == CTestElementFrame::RunEnd::Judged)
            guide.SetStatusText(QString());
        else if (keptEarlier)
            guide.SetStatusText(QStringLiteral("Tick the verdict of the wave just played; until then the verdict shown stands"));
        else
            guide.SetStatusText(QStringLiteral("Tick the verdict of the wave just played, or Start plays it again"));
        guide.SetKeptAnalyser(this->keptAnalyser());
        this->mfBusy = false;
    } catch (...) {
        startTestFailed(currentError());
    }
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::startTestFailed(const PluginError& error)
{
    // A period left running would stop or abort the link of a later run.
    releaseTimer();
    // A failed run is not handed over, so no verdict is taken for it either.
    gfWaveRunning = false;
    mfWavePlayed = false;
    ignoreErrors([&] { this->vti()->CloseChannel(); });
    bool keptEarlier = false;
    ignoreErrors([&] {
        keptEarlier = this->settleRunResult(false) == CTestElementFrame::RunEnd::KeptEarlier;
        if (keptEarlier) {
            this->Guide().ShowTestResult(this->Result());
            this->Guide().ShowResultStatus(this->Result());
        }
    });
    ignoreErrors([&] { this->Guide().SetToolbarMode(1, keptEarlier); });
    // The operator is back at the first step: Start again, or go on.
    ignoreErrors([&] { this->Guide().SetActiveSteps({1}); });
    ignoreErrors([&] { this->showRunEnd(this->Guide(), keptEarlier ? CTestElementFrame::RunEnd::KeptEarlier : CTestElementFrame::RunEnd::NoVerdict); });
    this->mfStarted = false;
    this->mfBusy = false;
    this->tellStartFailure(error);
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::RunWave()
{
    mfTimeUp = false;
    if (this->mfAbort)
        return;
    auto& config = this->deref(this->typedConfig());
    const QString command = config.GenerateWaveCommand();
    const qsizetype last = Self::kInstructions.size();
    FTarvoXTestGuide& guide = this->Guide();
    guide.SetActiveSteps({2, static_cast<std::int16_t>(last)});
    this->vti()->Wait(50);
    this->vti()->SendCommand(command, false);
    if (this->vti()->TestStop())
        this->mfAbort = true;
    if (!this->mfAbort) {
        guide.SetActiveSteps({3, static_cast<std::int16_t>(last)});
        mfWaveStarted = true;
        if (!this->mfAbort) {
            const qint64 periodMs = static_cast<qint64>(config.Duration()) * 1000;
            if (periodMs > std::numeric_limits<std::int32_t>::max() || periodMs < std::numeric_limits<std::int32_t>::min())
                raiseError(vberr::Overflow, errorSource(), QStringLiteral("Overflow"));
            releaseTimer();
            mfrmTimer = std::make_unique<FTimer>();
            QObject::connect(mfrmTimer.get(), &FTimer::Timer, mfrmTimer.get(), [this] {
                ignoreErrors([&] { StopWave(); });
                Clock::instance().wake();
            });
            // A period the timer refuses (0, or above 65 s) never ticks: the wave plays until Stop.
            mfrmTimer->StartTimer(static_cast<std::int32_t>(periodMs));
        }
        this->pumpEvents();
        this->waitUntil([this] { return mfTimeUp || this->mfAbort; });
    }
    // Only a waveform that actually played may be judged: a stop while its command
    // was still going out leaves nothing on the monitor to judge.
    if (!this->vti()->TestStop() && mfWaveStarted) {
        // The verdict goes into the run's own result, so the grid shows that one.
        if (this->runResultPending())
            guide.ShowTestResult(this->mResult);
        gfWaveRunning = true;
        mfWavePlayed = true;
    }
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::releaseTimer()
{
    if (!mfrmTimer)
        return;
    FTimer* timer = mfrmTimer.release();
    ignoreErrors([&] { timer->StopTimer(); });
    QObject::disconnect(timer, nullptr, nullptr, nullptr);
    // The tick that stops its own timer is still running on it.
    timer->deleteLater();
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::StopWave()
{
    releaseTimer();
    mfTimeUp = true;
    this->mfBusy = false;
    Clock::instance().wake();
    if (this->vti()->State() == evtiIdle)
        this->vti()->SendCommand(QStringLiteral("[WSP]"), false);
    else
        this->vti()->Abort();
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::mfrmTestGuide_StopTest()
{
    this->mfStopped = true;
    ignoreErrors([&] {
        if (this->mfBusy)
            StopWave();
    });
    this->requestAbort();
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::mfrmTestGuide_AbortTest()
{
    ignoreErrors([&] {
        if (!this->mfAbort)
            StopWave();
    });
    this->setNavigation(etnAbort);
    this->mfSkip = true;
    this->mfAborted = true;
    this->requestAbort();
    this->hideGuide();
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::mfrmTestGuide_ItemClicked(bool)
{
    mfItemClicked = true;
    // The grid takes ticks exactly while this element's waveform has played.
    if (!mfWavePlayed)
        return;
    ignoreErrors([&] {
        const auto result = this->typedResult();
        if (!result)
            return;
        result->UpdateStatus(this->self(), false);
        // The tick is this guide's verdict: it replaces the earlier one, and an Abort
        // drops it with the rest of what the guide measured.
        if (result == this->mResultAtOpen)
            this->mResultAtOpen = nullptr;
        this->settleRunResult(true);
        // A verdict ticked again without a new start is still this guide's judgement.
        this->mfStarted = true;
    });
    ignoreErrors([&] { this->Guide().ShowResultStatus(this->mResult); });
    // The tick is the verdict that stands now; the line no longer asks for it.
    ignoreErrors([&] {
        this->Guide().SetStatusText(QString());
        this->Guide().SetKeptAnalyser(this->keptAnalyser());
    });
    ignoreErrors([&] { this->Guide().EnableNextButton(true); });
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::FinishTest(const Ptr<CMtiData2>& mti)
{
    if (this->mfSkip) {
        this->dropSkippedResult();
        mfWavePlayed = false;
        return;
    }
    // A stop is the normal end of a waveform run, so it keeps its result.
    if (!this->mfStarted)
        return;
    // Without a verdict of its own the run leaves the earlier one as it was.
    if (!this->mfNA && this->runResultPending())
        return;
    Ptr<Result> result;
    ignoreErrors([&] { result = query<Result>(this->deref(this->elementBase()).Result()); });
    if (result) {
        ignoreErrors([&] { result->UpdateStatus(this->self(), this->mfNA); });
        // The analyser the tab names as the run ends, and again at Next: a verdict kept
        // from an earlier run is not handed over here, so it keeps that run's.
        ignoreErrors([&] {
            Ptr<CMtiData2> identity = mti;
            result->SetMTIID(MMiscUtils::StoreMtiData(this->deref(this->mSetup).MtiDatabase(), identity));
        });
    }
    // The setup is told of every finished run, with or without a result.
    ignoreErrors([&] { this->deref(this->mSetup).TestFinished(this->self()); });
}

template <class Self, class Config, class Result>
void CTestWaveform<Self, Config, Result>::loadResultItem()
{
    mfWavePlayed = false;
    TestElementClass<Self, Config, Result>::loadResultItem();
}

template class CTestWaveform<CTestNormalSinus, CConfigNormalSinus, CResultNormalSinus>;
template class CTestWaveform<CTestArrhythmia, CConfigArrhythmia, CResultArrhythmia>;
template class CTestWaveform<CTestPerformance, CConfigPerformance, CResultPerformance>;

} // namespace kelto
