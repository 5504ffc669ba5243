// The run of a test element: Perform and its modal guide, the guide's events, the
// result a run measures into and the end of the run.

#include "procedures/CTestElementFrame.h"

#include "framework/HostServices.h"
#include "framework/MMiscUtils.h"
#include "framework/guide/CMtiData2.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/Deref.h"
#include "platform/MessageBox.h"
#include "results/CResultBase.h"

namespace kelto {

namespace {

const QString kAppTitle = QStringLiteral("KeltoTarvoXTest");

std::function<void(CTestElementFrame&, FTarvoXTestGuide&)>& guideObserver()
{
    static std::function<void(CTestElementFrame&, FTarvoXTestGuide&)> observer;
    return observer;
}

} // namespace

void CTestElementFrame::setGuideObserver(std::function<void(CTestElementFrame&, FTarvoXTestGuide&)> observer)
{
    guideObserver() = std::move(observer);
}

// ---- the run ------------------------------------------------------------------------

void CTestElementFrame::EnsureResult(bool fForce)
{
    auto ensure = [&] {
        auto& base = deref(mElementBase, errorSource());
        if (fForce || !base.Result()) {
            mResult = newResult(true);
            base.SetResult(mResult);
            return;
        }
        auto held = base.Result();
        if (!isOwnResult(held))
            raiseError(vberr::TypeMismatch, errorSource(), QStringLiteral("Type mismatch"));
        mResult = held;
    };
    if (mStyle.ensureResultIgnoresErrors)
        ignoreErrors(ensure);
    else
        ensure();
}

void CTestElementFrame::Perform(const Ptr<ITestSetup>& itsSetup)
{
    // The host may drop its reference while the guide is shown.
    auto keepAlive = shared_from_this();
    try {
        performRun(itsSetup);
    } catch (...) {
        performFailed(currentError());
    }
}

void CTestElementFrame::performRun(const Ptr<ITestSetup>& itsSetup)
{
    if (!deref(itsSetup, errorSource()).QueryPerform(self()))
        return;
    // Each guide is a run of its own: a start, stop or skip of an earlier guide must
    // neither judge the result again nor drop it.
    mfAbort = false;
    mfSkip = false;
    mfStarted = false;
    mfNA = false;
    mfAborted = false;
    mJudgedHere.reset();
    mRunMti.reset();
    mJudgedMti.reset();
    auto& base = deref(mElementBase, errorSource());
    const auto opened = base.Result();
    mResultAtOpen = opened && opened->Status() != emsNone ? opened : nullptr;
    EnsureResult(false);
    bool fHasResult = false;
    if (mStyle.fallbackResult) {
        if (!base.Result())
            base.SetResult(newResult(false));
        else
            fHasResult = base.Result()->Status() != 0;
    } else {
        fHasResult = deref(mResult, errorSource()).Status() != 0;
    }
    // Made for this guide alone: passed by, the element is left without one, as it was.
    mResultMadeAtOpen = opened ? nullptr : base.Result();
    mSetup = itsSetup;
    loadGuide();
    mfrmTestGuide->SetToolbarMode(1, fHasResult);
    if (!mStyle.statusAfterInitialize)
        mfrmTestGuide->ShowResultStatus(base.Result());
    mfrmTestGuide->Initialize(self(), itsSetup, GetInstructions());
    guideInitialized();
    if (mStyle.statusAfterInitialize)
        mfrmTestGuide->ShowResultStatus(base.Result());
    if (auto& observer = guideObserver())
        observer(*this, *mfrmTestGuide);
    mfrmTestGuide->Show();
    Ptr<CMtiData2> mti = mfrmTestGuide->GetMtiData();
    unloadGuide();
    FinishTest(mti);
    if (mResultMadeAtOpen && !mfStarted && !mfNA && base.Result() == mResultMadeAtOpen)
        base.SetResult(nullptr);
    mResultMadeAtOpen.reset();
    mJudgedHere.reset();
    mRunMti.reset();
    mJudgedMti.reset();
}

void CTestElementFrame::performFailed(const PluginError& error)
{
    if (mStyle.descriptionBoxOnPerformError)
        MsgBox(error.description(), mb::OKOnly, kAppTitle);
    ignoreErrors([&] { vti()->CloseChannel(); });
    ignoreErrors([&] {
        if (mfrmTestGuide)
            mfrmTestGuide->SetToolbarMode(1, false);
    });
    mfStarted = false;
    mfBusy = false;
    if (error.number() != kVtiError)
        MsgBox(error.boxText(), mb::OKOnly | mb::Exclamation, kAppTitle);
    // The run is over: a guide loaded before the failure goes with it.
    ignoreErrors([&] { unloadGuide(); });
}

void CTestElementFrame::FinishTest(const Ptr<CMtiData2>& mti)
{
    if (mfSkip) {
        dropSkippedResult();
        return;
    }
    Ptr<IResultData> result = valueOr([&] { return deref(mElementBase, errorSource()).Result(); }, Ptr<IResultData>());
    // A run that judged no reading of its own (stopped, failed, a reply dropped) left the earlier
    // result, which it has neither judged again nor measured with the analyser of this
    // guide; unless an earlier start of this guide judged it, the guide hands nothing over.
    const bool lastRunJudged = mfNA || (mfStarted && !mfAbort && !mfNoVerdict && !runResultPending());
    if (!lastRunJudged && !(result && result == mJudgedHere))
        return;
    if (!result || !isOwnResult(result))
        return;
    // Judged by the start that measured it, under the same selection.
    if (lastRunJudged)
        ignoreErrors([&] { updateResultStatus(result, selectedStandards(), mfNA); });
    ignoreErrors([&] {
        // The analyser the tab names at Next, which the operator may have corrected once
        // the reading came; a result kept from an earlier run keeps that run's.
        Ptr<CMtiData2> identity = mti;
        if (!mfNA)
            if (const Ptr<CMtiData2> kept = keptAnalyser())
                identity = kept;
        const std::int32_t id = MMiscUtils::StoreMtiData(deref(mSetup, errorSource()).MtiDatabase(), identity);
        deref(query<CResultBase>(result), errorSource()).SetMTIID(id);
    });
    ignoreErrors([&] { deref(mSetup, errorSource()).TestFinished(self()); });
}

void CTestElementFrame::mfrmTestGuide_StartTest()
{
    if (mfBusy)
        return;
    try {
        startTestRun();
    } catch (...) {
        startTestFailed(currentError());
    }
}

void CTestElementFrame::startTestRun()
{
    mfBusy = true;
    mfAbort = false;
    mfStarted = true;
    mfNA = false;
    mfSkip = false;
    mfAborted = false;
    auto& guide = Guide();
    prepareRunResult(guide);
    if (mStyle.headerOnFirstCommand)
        vti()->TestCount(0);
    if (!mStyle.stepsBeforeRunningMode)
        guide.SetToolbarMode(2, false);
    guide.SetActiveSteps(mStyle.stepsDuringRun);
    guide.SetStatusText(QStringLiteral("20180::Test in progress"));
    if (mStyle.stepsBeforeRunningMode)
        guide.SetToolbarMode(2, false);
    guide.ShowPopup(QStringLiteral("TI:WAIT"), mStyle.startPopupText, false);
    if (mStyle.disableStopButton)
        setStopButtonEnabled(false);
    vti()->OpenChannel();
    if (vti()->State() == evtiIdle && !mfAbort)
        PerformMeasurement();
    vti()->CloseChannel();
    guide.HidePopup();
    endRun(guide, mStyle.showResultAfterRun);
    guide.SetActiveSteps(mStyle.stepsAfterRun);
    mfBusy = false;
}

void CTestElementFrame::prepareRunResult(FTarvoXTestGuide& guide)
{
    const auto held = deref(mElementBase, errorSource()).Result();
    // An evaluated result stays the element's, and in view, until the run has judged a
    // reading of its own: a run that is stopped or fails must not cost the earlier one.
    if (deref(held, errorSource()).Status() != emsNone) {
        Ptr<IResultData> fresh;
        const auto make = [&] { fresh = newResult(true); };
        if (mStyle.ensureResultIgnoresErrors)
            ignoreErrors(make);
        else
            make();
        mResult = fresh;
        // The verdict beside "Test in progress" is the run's own, none yet.
        guide.ShowResultStatus(fresh);
        return;
    }
    // A held result not judged yet is measured into again, laid out afresh: the
    // configuration may have changed the size of the run since it was made (ten
    // discharges on battery where mains operation takes fifteen).
    EnsureResult(false);
    initializeResult(mResult);
    guide.ShowTestResult(mResult);
}

CTestElementFrame::RunEnd CTestElementFrame::settleRunResult(bool takeJudged)
{
    auto& base = deref(mElementBase, errorSource());
    const auto held = base.Result();
    if (!held)
        return RunEnd::NoVerdict;
    if (!runResultPending()) {
        // Measured into the held result, which had no verdict: one it has now is the run's.
        if (!takeJudged || held->Status() == emsNone)
            return RunEnd::NoVerdict;
        mJudgedHere = held;
        mJudgedMti = mRunMti;
        return RunEnd::Judged;
    }
    if (takeJudged && mResult && mResult->Status() != emsNone) {
        base.SetResult(mResult);
        mJudgedHere = mResult;
        mJudgedMti = mRunMti;
        return RunEnd::Judged;
    }
    return held->Status() != emsNone ? RunEnd::KeptEarlier : RunEnd::NoVerdict;
}

void CTestElementFrame::noteRunAnalyser(FTarvoXTestGuide& guide)
{
    const Ptr<CMtiData2> shown = guide.GetMtiData();
    mRunMti = shown ? std::make_shared<CMtiData2>(*shown) : nullptr;
}

Ptr<CMtiData2> CTestElementFrame::keptAnalyser()
{
    // A later run of this guide measures into a result of its own, which stays pending
    // while it has judged nothing: the result that stands is then the earlier run's.
    const Ptr<IResultData> held = valueOr([&] { return deref(mElementBase, errorSource()).Result(); }, Ptr<IResultData>());
    if (!held || held != mJudgedHere || !runResultPending())
        return nullptr;
    if (mJudgedMti)
        return mJudgedMti;
    // Ticked again before any run of this guide: the analyser of its record.
    std::int32_t id = valueOr([&] { return held->MTIID(); }, 0);
    return id > 0 ? valueOr([&] { return MMiscUtils::GetMtiData(deref(mSetup, errorSource()).MtiDatabase(), id); }, Ptr<CMtiData2>()) : nullptr;
}

CTestElementFrame::RunEnd CTestElementFrame::endRun(FTarvoXTestGuide& guide, bool showResult)
{
    noteRunAnalyser(guide);
    const RunEnd end = settleRunResult(true);
    mfNoVerdict = end == RunEnd::NoVerdict;
    auto& base = deref(mElementBase, errorSource());
    if (showResult || end == RunEnd::KeptEarlier)
        guide.ShowTestResult(base.Result());
    guide.ShowResultStatus(base.Result());
    showRunEnd(guide, end);
    // A stop that came after the run judged its readings leaves that verdict, which Next keeps.
    guide.SetToolbarMode(1, !mfAbort || end != RunEnd::NoVerdict);
    return end;
}

void CTestElementFrame::showRunEnd(FTarvoXTestGuide& guide, RunEnd end)
{
    // Without a word the guide would look as it did before the start, as if the run
    // had measured what it shows.
    const bool judged = valueOr([&] { return deref(deref(mElementBase, errorSource()).Result(), errorSource()).Status() != emsNone; }, false);
    QString text;
    if (end == RunEnd::KeptEarlier)
        text = mfStopped ? QStringLiteral("The repeat was stopped; the result shown stands") : QStringLiteral("The repeat gave no verdict; the result shown stands");
    else if (end == RunEnd::Judged && mfStopped)
        text = QStringLiteral("Stopped once the readings were in; the run's verdict stands");
    else if (!judged)
        text = mfStopped ? QStringLiteral("Stopped: no verdict; Start measures again") : QStringLiteral("The run gave no verdict; Start measures again");
    guide.SetStatusText(text);
    guide.SetKeptAnalyser(keptAnalyser());
}

void CTestElementFrame::dropSkippedResult()
{
    ignoreErrors([&] { deref(mElementBase, errorSource()).SetResult(mfAborted ? mResultAtOpen : nullptr); });
}

std::int32_t CTestElementFrame::heldStatus(QString* named)
{
    const std::int32_t status = valueOr([&] {
        const auto held = deref(mElementBase, errorSource()).Result();
        return held ? held->Status() : std::int32_t(emsNone);
    }, std::int32_t(emsNone));
    // Named as the guide shows it: "not judged (no standard judged it)".
    *named = mfrmTestGuide ? mfrmTestGuide->ShownVerdict() : QString();
    if (named->isEmpty())
        *named = status == emsPassed ? QStringLiteral("passed")
            : status == emsFailed    ? QStringLiteral("failed")
            : status == emsNotApplicable ? QStringLiteral("not applicable")
                                         : QString::number(status);
    return status;
}

bool CTestElementFrame::mayDropResult()
{
    // Skip sits beside Repeat test in the guide's menu: a result with a verdict, of
    // this guide or an earlier one, goes only when the operator says so.
    QString named;
    if (heldStatus(&named) == emsNone)
        return true;
    return MsgBox(QStringLiteral("Skipping removes the result of this test (%1) from the sequence.\nSkip the test? No keeps the result.").arg(named),
               mb::YesNo | mb::Question, QStringLiteral("Skip test"))
        == mb::Yes;
}

bool CTestElementFrame::mayMarkNotApplicable()
{
    // N/A takes the place where Skip stood before the main button offered Next: a
    // verdict that stands is replaced only when the operator says so.
    QString named;
    const std::int32_t status = heldStatus(&named);
    if (status != emsPassed && status != emsFailed)
        return true;
    return MsgBox(QStringLiteral("Not applicable replaces the result of this test (%1).\nMark the test not applicable? No keeps the result.").arg(named),
               mb::YesNo | mb::Question, QStringLiteral("Not applicable"))
        == mb::Yes;
}

void CTestElementFrame::startTestFailed(const PluginError& error)
{
    ignoreErrors([&] {
        if (mfrmTestGuide)
            mfrmTestGuide->HidePopup();
    });
    ignoreErrors([&] { vti()->CloseChannel(); });
    // A failed run replaces nothing, whatever it read before the failure.
    RunEnd end = RunEnd::NoVerdict;
    ignoreErrors([&] {
        end = settleRunResult(false);
        const bool keptEarlier = end == RunEnd::KeptEarlier;
        if (keptEarlier && mfrmTestGuide) {
            mfrmTestGuide->ShowTestResult(mElementBase->Result());
            mfrmTestGuide->ShowResultStatus(mElementBase->Result());
        }
    });
    ignoreErrors([&] {
        if (mfrmTestGuide)
            mfrmTestGuide->SetToolbarMode(1, end == RunEnd::KeptEarlier);
    });
    ignoreErrors([&] {
        if (mfrmTestGuide)
            showRunEnd(*mfrmTestGuide, end);
    });
    mfStarted = false;
    mfBusy = false;
    tellStartFailure(error);
}

void CTestElementFrame::tellStartFailure(const PluginError& error)
{
    if (error.number() != kVtiError) {
        MsgBox(error.boxText(), mb::OKOnly | mb::Exclamation, kAppTitle);
        return;
    }
    // The link's error carries no text of its own; a start that found no analyser
    // would otherwise end without a word. A stop during the search needs none.
    if (mfAbort)
        return;
    const auto diagnostics = query<ILinkDiagnostics>(mVTI);
    const QString reason = diagnostics ? valueOr([&] { return diagnostics->LastFailure(); }, QString()) : QString();
    if (!reason.isEmpty())
        MsgBox(reason, mb::OKOnly | mb::Exclamation, tr(kResponseTitle));
}

void CTestElementFrame::mfrmTestGuide_StopTest()
{
    mfStopped = true;
    requestAbort();
    ignoreErrors([&] { vti()->Abort(); });
}

void CTestElementFrame::mfrmTestGuide_AbortTest()
{
    mfrmTestGuide_StopTest();
    if (mStyle.skipBeforeAbortNavigation)
        mfSkip = true;
    setNavigation(etnAbort);
    mfSkip = true;
    mfAborted = true;
    if (mStyle.secondAbortOnAbortTest)
        ignoreErrors([&] { vti()->Abort(); });
    hideGuide();
}

void CTestElementFrame::mfrmTestGuide_NA()
{
    if (!mayMarkNotApplicable())
        return;
    setNavigation(etnNext);
    hideGuide();
    mfSkip = false;
    mfAborted = false;
    mfNA = true;
    mfStarted = true;
}

void CTestElementFrame::mfrmTestGuide_NextTest()
{
    setNavigation(etnNext);
    hideGuide();
}

void CTestElementFrame::mfrmTestGuide_Previous()
{
    setNavigation(etnPrevious);
    hideGuide();
}

void CTestElementFrame::mfrmTestGuide_Skip()
{
    if (!mayDropResult())
        return;
    setNavigation(etnSkip);
    mfSkip = true;
    mfAborted = false;
    hideGuide();
}

void CTestElementFrame::mfrmTestGuide_ItemClicked(bool)
{
}

// ---- the guide ------------------------------------------------------------------------

void CTestElementFrame::loadGuide()
{
    unloadGuide();
    mfrmTestGuide = std::make_unique<FTarvoXTestGuide>();
    FTarvoXTestGuide* g = mfrmTestGuide.get();
    QObject::connect(g, &FTarvoXTestGuide::StartTest, g, [this] {
        // A started run measures into the result made at open, even one that fails.
        mResultMadeAtOpen.reset();
        mfStopped = false;
        mfrmTestGuide_StartTest();
    });
    QObject::connect(g, &FTarvoXTestGuide::StopTest, g, [this] { mfrmTestGuide_StopTest(); });
    QObject::connect(g, &FTarvoXTestGuide::AbortTest, g, [this] { mfrmTestGuide_AbortTest(); });
    QObject::connect(g, &FTarvoXTestGuide::NA, g, [this] { mfrmTestGuide_NA(); });
    QObject::connect(g, &FTarvoXTestGuide::NextTest, g, [this] { mfrmTestGuide_NextTest(); });
    QObject::connect(g, &FTarvoXTestGuide::Previous, g, [this] { mfrmTestGuide_Previous(); });
    QObject::connect(g, &FTarvoXTestGuide::Skip, g, [this] { mfrmTestGuide_Skip(); });
    QObject::connect(g, &FTarvoXTestGuide::ItemClicked, g, [this](bool current) { mfrmTestGuide_ItemClicked(current); });
}

void CTestElementFrame::unloadGuide()
{
    if (!mfrmTestGuide)
        return;
    auto guide = std::move(mfrmTestGuide);
    QObject::disconnect(guide.get(), nullptr, nullptr, nullptr);
    guide->Unload();
}

void CTestElementFrame::hideGuide()
{
    ignoreErrors([&] {
        if (mfrmTestGuide)
            mfrmTestGuide->Hide();
    });
}

void CTestElementFrame::setStopButtonEnabled(bool enabled)
{
    ignoreErrors([&] {
        if (!mfrmTestGuide)
            return;
        auto toolbar = deref(mfrmTestGuide->xtbToolbar(), errorSource()).Item(guidebutton::Stop);
        deref(toolbar, errorSource()).SetEnabled(enabled);
    });
}

FTarvoXTestGuide& CTestElementFrame::Guide()
{
    return deref(mfrmTestGuide.get(), errorSource());
}

void CTestElementFrame::setNavigation(ETestNavigation code)
{
    ignoreErrors([&] { deref(mSetup, errorSource()).SetNavigation(code); });
}

Ptr<IStandardCollection> CTestElementFrame::selectedStandards()
{
    return deref(mSetup, errorSource()).SelectedStandards();
}

} // namespace kelto
