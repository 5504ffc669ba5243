#pragma once
// What every test element of the library shares: the host element base that
// keeps its state, the ITestElement members that forward to it, the run in the
// modal guide window (Perform, the guide's events, the end of the run), the
// instrument link made on first use, the run flags and the one-second tick
// window of count-downs. A test class adds its ids, configuration and result
// classes, its instruction lines and its measurement step.
//
// Elements are made through makeTestElement<T>() (or by ProgID), which runs
// Class_Initialize once the object is owned, since the limits keep their owner
// as a shared reference.

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "framework/FTimer.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/ClassTable.h"
#include "platform/Deref.h"
#include "platform/PluginError.h"
#include "platform/Variant.h"
#include "platform/interfaces/Instrument.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto {


class CTestElementFrame : public ITestElement {
public:
    ~CTestElementFrame() override;

    // Construction: a new element base holding "TarvoX", the test id and element id
    // 0, a new configuration of the class and new limits bound to this element.
    // Failures reach the creator.
    void Class_Initialize();

    // ITestElement
    QString PlugInID() override;
    std::int32_t TestID() override;
    std::int32_t ID() override;
    void SetID(std::int32_t id) override;
    Ptr<ITestElement> Parent() override;
    void SetParent(const Ptr<ITestElement>& parent) override;
    Ptr<ITestInfo> Info() override;
    Ptr<ITestFilter> Filter() override;
    Ptr<IResultData> Result() override;
    Ptr<ILimitData> Limits() override;
    Ptr<IConfigData> Configuration() override;
    void Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id) override;
    Ptr<ITestElement> Clone() override;
    void Perform(const Ptr<ITestSetup>& itsSetup) override;
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner, std::int32_t saveMode) override;
    void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) override;
    bool QuerySetParent(const Ptr<ITestElement>& parent) override;
    void Terminate() override;
    void UpdateReferences() override;
    Variant GetMeasurementList() override;

    // Library-internal copy path of Clone.
    Ptr<ITestElementBase> CloneElementBase();
    void CopyFrom(CTestElementFrame& source);

    // Handlers of the guide's events, raised while the guide is shown modally.
    virtual void mfrmTestGuide_StartTest();
    virtual void mfrmTestGuide_StopTest();
    virtual void mfrmTestGuide_AbortTest();
    virtual void mfrmTestGuide_NA();
    virtual void mfrmTestGuide_NextTest();
    virtual void mfrmTestGuide_Previous();
    virtual void mfrmTestGuide_Skip();
    virtual void mfrmTestGuide_ItemClicked(bool fCurrentItem);

    // The run state, for the library's views and tests.
    struct RunFlags {
        bool busy = false;
        bool abort = false;
        bool skip = false;
        bool started = false;
        bool na = false;
    };
    RunFlags runFlags() const { return {mfBusy, mfAbort, mfSkip, mfStarted, mfNA}; }
    FTarvoXTestGuide* guide() const { return mfrmTestGuide.get(); }
    Ptr<ITestElementBase> elementBase() const { return mElementBase; }
    Ptr<IResultData> currentResult() const { return mResult; }
    // Called (once) with each new guide right after it is loaded, before Perform shows
    // it; lets a test drive the modal window. Library-wide, empty in production.
    static void setGuideObserver(std::function<void(CTestElementFrame&, FTarvoXTestGuide&)> observer);

protected:
    CTestElementFrame();

    // Where the run of a class departs from the common one.
    struct RunStyle {
        // Perform stores a new, uninitialised result when EnsureResult left none.
        bool fallbackResult = true;
        // Perform shows the result status after the guide's Initialize, not before.
        bool statusAfterInitialize = false;
        // The error handler of Perform first shows the bare description.
        bool descriptionBoxOnPerformError = true;
        // AbortTest calls the link's Abort once more after StopTest.
        bool secondAbortOnAbortTest = true;
        // AbortTest marks the run skipped before it tells the setup to abort.
        bool skipBeforeAbortNavigation = false;
        // StartTest marks the steps and shows the status text before the running mode.
        bool stepsBeforeRunningMode = false;
        // StartTest disables the toolbar's Stop item (201).
        bool disableStopButton = true;
        // EnsureResult ignores its errors instead of passing them on.
        bool ensureResultIgnoresErrors = false;
        // The popup StartTest shows while the channel opens.
        QString startPopupText = QString::fromUtf8("20175::Please wait\u2026 ");
        // The instruction steps marked while the run lasts.
        QList<std::int16_t> stepsDuringRun = {};
        // The first "[CRG]" of a run asks for the analyser's header too.
        bool headerOnFirstCommand = false;
        // The guide shows the run's own result again when the run ends.
        bool showResultAfterRun = false;
        // The instruction steps marked again when StartTest ends.
        QList<std::int16_t> stepsAfterRun = {1, 2, 3};
        // The dialog flag CopyFrom binds a clone's limits with.
        bool limitsDialog = true;
    };
    RunStyle mStyle;
    // The run of the series tests (battery capacity, battery retention, pulse
    // repetition), which measure into a fresh result and show it as it grows.
    static RunStyle seriesRunStyle(QList<std::int16_t> stepsAfterRun);

    // --- What a class supplies -------------------------------------------------
    virtual std::int32_t testId() const = 0;
    // The location of the errors Load, Save and Clone report.
    virtual QString errorSource() const = 0;
    virtual Ptr<IConfigData> newConfiguration() = 0;
    // A new result of the class; initialised from the element's configuration when asked.
    virtual Ptr<IResultData> newResult(bool initialize) = 0;
    // Lays out a result of the class afresh from the element's configuration; its
    // status, comment and record stay. Nothing for a result of another class.
    virtual void initializeResult(const Ptr<IResultData>& result) = 0;
    virtual bool isOwnResult(const Ptr<IResultData>& result) const = 0;
    virtual void updateResultStatus(const Ptr<IResultData>& result, const Ptr<IStandardCollection>& selected, bool fNA) = 0;
    // A new, constructed element of the same class.
    virtual Ptr<CTestElementFrame> newElement() const = 0;
    // Rows of GetMeasurementList: key and caption TextRef.
    virtual QList<std::pair<QString, QString>> measurementRows() const = 0;
    // The numbered instruction lines (translated) as a text array in a variant.
    virtual Variant GetInstructions() = 0;
    // The measurement step: the channel is open and idle and no stop was asked.
    virtual void PerformMeasurement() = 0;
    // Called by Perform right after the guide's Initialize, before the modal show.
    virtual void guideInitialized() {}

    // --- The run -----------------------------------------------------------------
    virtual void EnsureResult(bool fForce);
    // Load of a "ResultItem": a fresh result to read it into (EnsureResult(True)).
    virtual void loadResultItem() { EnsureResult(true); }
    virtual void FinishTest(const Ptr<CMtiData2>& mti);
    // Tails of the two error handlers, with the error that ended the run.
    virtual void performFailed(const PluginError& error);
    virtual void startTestFailed(const PluginError& error);
    // What a failed start tells the operator: the "Error #" box, or, for the link's
    // own error when no analyser could be reached, why not and what to check.
    void tellStartFailure(const PluginError& error);
    // The result a run measures into: beside an evaluated result a fresh one, which the
    // element takes only once the run has judged a reading in it (settleRunResult); else
    // the held one laid out afresh from the configuration and shown. The element base
    // holding no result is error 91.
    void prepareRunResult(FTarvoXTestGuide& guide);
    // The run measures into a result the element does not hold (yet).
    bool runResultPending() const { return mElementBase && mResult != mElementBase->Result(); }
    // How a run left the result: no verdict stands, the evaluated result held before it
    // stands, or the run judged a reading of its own.
    enum class RunEnd { NoVerdict, KeptEarlier, Judged };
    // Ends a run's claim on the result: with takeJudged, a fresh result holding a judged
    // reading replaces the element's, and the run is the one that judged it.
    RunEnd settleRunResult(bool takeJudged);
    // The analyser the run that just ended measured with, as the MTI tab shows it now:
    // the one a result it judged keeps should a later run of the guide judge nothing.
    void noteRunAnalyser(FTarvoXTestGuide& guide);
    // The analyser the result that stands keeps, whatever the tab names at Next: that of
    // the earlier run of this guide that judged it, when a later run judged nothing; null
    // where Next records the tab's.
    // The guide says so where its tab names another (FTarvoXTestGuide::SetKeptAnalyser).
    Ptr<CMtiData2> keptAnalyser();
    // The tail of a run that measured: keeps its analyser, settles the result, shows the
    // verdict that stands (the run's result too, with showResult) and says which, and
    // offers Next wherever a verdict stands, a run stopped after it judged included.
    RunEnd endRun(FTarvoXTestGuide& guide, bool showResult);
    // Puts on the guide's status line what a run left: whether the earlier result stands
    // after a run that judged nothing, that a stop after the readings came left the run's
    // verdict, or that no verdict stands; clears it after a run whose verdict shows.
    void showRunEnd(FTarvoXTestGuide& guide, RunEnd end);
    // Skip drops the result; Abort drops only what was measured since the guide opened.
    void dropSkippedResult();
    // Before a skip: true when the result it would drop holds no verdict, or the
    // operator agrees to drop it.
    bool mayDropResult();
    // Before N/A: true unless the result holds a passed or failed verdict the operator
    // keeps when asked.
    bool mayMarkNotApplicable();
    // The status of the result the element holds, and its verdict as the guide names it.
    std::int32_t heldStatus(QString* named);
    // Creates, binds and loads the guide of one Perform.
    void loadGuide();
    void unloadGuide();
    void hideGuide();
    // The guide's toolbar item 201 enabled or not; ignored when there is no guide.
    void setStopButtonEnabled(bool enabled);
    // The guide of the running Perform; error 91 outside one.
    FTarvoXTestGuide& Guide();
    // Sets the setup's navigation code; nothing without a setup.
    void setNavigation(ETestNavigation code);

    // The instrument link, created on first use (error 429 when it cannot be made).
    Ptr<ITarvoXVTi> vti();
    // Sets mfAbort and wakes the waits that test it.
    void requestAbort();

    // --- Count-downs -------------------------------------------------------------
    // One-second ticks to mfrmWaitTimer_Timer until StopWaitTimer.
    void StartWaitTimer();
    void StopWaitTimer();
    // Ends a series measurement that failed: its window stops ticking (the ticks
    // would go on aborting the link of the next run), the operator may go on and is
    // told that the readings the run took (mSeriesReadings) are not stored, and an
    // error other than the link's own (already shown to the operator) is reported.
    void seriesMeasurementFailed(const PluginError& error);
    // After a short pause, asks the operator to discharge ("Defibrillate Now",
    // flashing) and polls the reading until it comes or the run is stopped.
    QString pollDischargeReading(const std::function<QString()>& readMeasurement);
    virtual void mfrmWaitTimer_Timer() {}
    // Pumps the message queue (on the clock seam) until done() holds.
    static void waitUntil(const std::function<bool()>& done);
    // Handles the events that are pending now, once.
    static void pumpEvents();
    // One tone per recorded discharge; returns at once.
    static void Beep(std::int32_t frequency, std::int32_t durationMs);

    // --- Helpers -------------------------------------------------------------------
    // A TextRef in the user's language with "%%1".. filled; empty when the translator fails.
    static QString tr(const QString& textRef, const VariantArray& params = {});
    // Preset energy as the whole number the instruction lines show (halves to even).
    static std::int32_t wholeEnergy(float joules);
    // The three energy instruction lines shared by the defibrillator tests.
    static QStringList energyInstructionLines(float presetJoules);
    static Variant linesVariant(const QStringList& lines);
    // "OVER" replies carry no reading; "Vel-Tor" is the analyser maker's banner.
    static bool isOverRange(const QString& reply) { return reply.left(4) == QLatin1String("OVER"); }
    static bool isBanner(const QString& reply) { return reply.left(7) == QLatin1String("Vel-Tor"); }
    // A link reply as text: empty for an Empty reply (an exchange aborted before the answer).
    static QString replyText(const Variant& reply);
    // Title of the boxes that tell the operator about the analyser's answers.
    static inline const QString kResponseTitle = QStringLiteral("20192::Kelto Plug-In Tarvo response");
    // The element as the host sees it.
    Ptr<ITestElement> self() { return as<ITestElement>(); }
    Ptr<IStandardCollection> selectedStandards();

    Ptr<ITestElementBase> mElementBase;
    Ptr<ITestSetup> mSetup;
    Ptr<ITarvoXVTi> mVTI;
    Ptr<IResultData> mResult;
    std::unique_ptr<FTarvoXTestGuide> mfrmTestGuide;
    std::unique_ptr<FTimer> mfrmWaitTimer;
    bool mfBusy = false;
    bool mfAbort = false;
    bool mfSkip = false;
    bool mfStarted = false;
    bool mfNA = false;
    // The skip was the operator's confirmed Abort; set and cleared with mfSkip.
    bool mfAborted = false;
    // The operator stopped the run begun last (mfAbort also ends a run on its own).
    bool mfStopped = false;
    // The run that ended last left no verdict, as the guide said: Next judges nothing.
    bool mfNoVerdict = false;
    // Readings the running series measurement has taken; a run stores them only
    // when it ends without an error.
    int mSeriesReadings = 0;
    // The evaluated result the element held when the guide opened (null for none), which
    // an Abort gives back.
    Ptr<IResultData> mResultAtOpen;
    // The result Perform made for a guide that opened on an element without one, until
    // the guide starts a run.
    Ptr<IResultData> mResultMadeAtOpen;
    // The result a run of this guide judged and the element took. A later start that
    // judges no reading leaves it the element's, and the guide's end still hands it
    // over with its analyser, so that what judged it is recorded.
    Ptr<IResultData> mJudgedHere;
    // The analyser of the run that ended last, and of the run that judged mJudgedHere.
    Ptr<CMtiData2> mRunMti;
    Ptr<CMtiData2> mJudgedMti;

private:
    void performRun(const Ptr<ITestSetup>& itsSetup);
    void startTestRun();
};

// Gives a test class its ids, configuration class and result class.
template <class Self, class TConfig, class TResult>
class TestElementClass : public CTestElementFrame {
protected:
    std::int32_t testId() const override { return Self::kTestId; }
    QString errorSource() const override { return QString::fromLatin1(Self::kProgId); }
    Ptr<IConfigData> newConfiguration() override { return std::make_shared<TConfig>(); }

    Ptr<IResultData> newResult(bool initialize) override
    {
        auto result = std::make_shared<TResult>();
        result->SetOwner(self());
        if (initialize)
            initializeResult(result);
        return result;
    }
    void initializeResult(const Ptr<IResultData>& result) override
    {
        auto typed = query<TResult>(result);
        if (!typed)
            return;
        if constexpr (requires { typed->Initialize(); })
            typed->Initialize();
        else
            typed->Initialize(typedConfig());
    }
    bool isOwnResult(const Ptr<IResultData>& result) const override { return dynamic_cast<TResult*>(result.get()) != nullptr; }
    void updateResultStatus(const Ptr<IResultData>& result, const Ptr<IStandardCollection>& selected, bool fNA) override
    {
        auto typed = query<TResult>(result);
        if (!typed)
            return;
        if constexpr (requires { typed->UpdateStatus(self(), selected, fNA); })
            typed->UpdateStatus(self(), selected, fNA);
        else
            typed->UpdateStatus(self(), fNA);
    }
    Ptr<CTestElementFrame> newElement() const override;

    // The configuration as the class's own; a configuration of another class is a type mismatch.
    Ptr<TConfig> typedConfig()
    {
        const auto configuration = mElementBase ? mElementBase->Configuration() : nullptr;
        auto typed = query<TConfig>(configuration);
        if (configuration && !typed)
            raiseError(vberr::TypeMismatch, errorSource(), QStringLiteral("Type mismatch"));
        return typed;
    }
    // The configured preset energy in joules.
    float presetEnergy() { return deref(typedConfig()).PresetEnergy(); }

    // A single reading: stored in the run's result, evaluated against the selected
    // standards and shown in the guide.
    void storeSingleReading(const QString& reply)
    {
        auto result = typedResult();
        deref(result).StoreResult(reply);
        result->UpdateStatus(self(), selectedStandards(), false);
        Guide().ShowTestResult(result);
    }

    template <class T>
    T& deref(const Ptr<T>& object)
    {
        return kelto::deref(object, errorSource());
    }

    // The run's result (mResult) as the class's own; null when it is none.
    Ptr<TResult> typedResult() const { return query<TResult>(mResult); }
};

// A new element of class T, constructed.
template <class T>
Ptr<T> makeTestElement()
{
    auto element = std::make_shared<T>();
    element->Class_Initialize();
    return element;
}

// Creation function for a class table entry.
template <class T>
ObjectPtr createTestElement()
{
    return makeTestElement<T>();
}

template <class Self, class TConfig, class TResult>
Ptr<CTestElementFrame> TestElementClass<Self, TConfig, TResult>::newElement() const
{
    return makeTestElement<Self>();
}

} // namespace kelto
