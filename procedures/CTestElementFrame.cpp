#include "procedures/CTestElementFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <algorithm>

#include "framework/CLimitData.h"
#include "framework/FTimer.h"
#include "framework/HostServices.h"
#include "framework/MMiscUtils.h"
#include "framework/guide/CMtiData2.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/Automation.h"
#include "platform/Clock.h"
#include "platform/Deref.h"
#include "platform/ComponentRuntime.h"
#include "platform/MessageBox.h"
#include "results/CResultBase.h"

namespace kelto {

namespace {

const QString kAppTitle = QStringLiteral("KeltoTarvoXTest");
const QString kResultItem = QStringLiteral("ResultItem");

// Host element-base numbers that Load and Save hand on unchanged.
constexpr std::int32_t kLoadPassOn[] = {hresult(0x8004A2C0), hresult(0x8004A2C1), hresult(0x8004A2C2), hresult(0x8004A2C8)};
constexpr std::int32_t kSavePassOn = hresult(0x8004A2CD);

std::function<void(CTestElementFrame&, FTarvoXTestGuide&)>& guideObserver()
{
    static std::function<void(CTestElementFrame&, FTarvoXTestGuide&)> observer;
    return observer;
}

// Inside a catch block: hands the error being handled on to the caller, through
// the host's reporter as the host expects.
[[noreturn]] void passOn()
{
    const auto reporter = valueOr([] { return errorReporter(); }, Ptr<IErrorReporter>());
    if (reporter)
        reporter->Raise(QString(), 0, QString(), 1);
    throw;
}

} // namespace

CTestElementFrame::CTestElementFrame() = default;

CTestElementFrame::~CTestElementFrame()
{
    // A guide or tick window still held here belongs to a run that never unwound.
    if (mfrmWaitTimer)
        mfrmWaitTimer->StopTimer();
    if (mfrmTestGuide)
        mfrmTestGuide->Unload();
}

CTestElementFrame::RunStyle CTestElementFrame::seriesRunStyle(QList<std::int16_t> stepsAfterRun)
{
    RunStyle style;
    style.fallbackResult = false;
    style.statusAfterInitialize = true;
    style.descriptionBoxOnPerformError = false;
    style.secondAbortOnAbortTest = false;
    style.ensureResultIgnoresErrors = true;
    style.showResultAfterRun = true;
    style.stepsAfterRun = std::move(stepsAfterRun);
    return style;
}

void CTestElementFrame::setGuideObserver(std::function<void(CTestElementFrame&, FTarvoXTestGuide&)> observer)
{
    guideObserver() = std::move(observer);
}

// ---- construction and the host members ----------------------------------------------

void CTestElementFrame::Class_Initialize()
{
    mElementBase = ComponentRuntime::instance().createAs<ITestElementBase>(QLatin1String(hostclass::TestElementBase));
    if (!mElementBase)
        raiseError(vberr::CannotCreateObject, errorSource(), QStringLiteral("The host's element base cannot be created."));
    mElementBase->Initialize(kOwnerWord, testId(), 0);
    mElementBase->SetConfiguration(newConfiguration());
    auto limits = std::make_shared<CLimitData>();
    limits->Initialize(self(), true);
    mElementBase->SetLimits(limits);
}

QString CTestElementFrame::PlugInID() { return deref(mElementBase, errorSource()).PlugInID(); }
std::int32_t CTestElementFrame::TestID() { return deref(mElementBase, errorSource()).TestID(); }
std::int32_t CTestElementFrame::ID() { return deref(mElementBase, errorSource()).ID(); }
void CTestElementFrame::SetID(std::int32_t id) { deref(mElementBase, errorSource()).SetID(id); }
Ptr<ITestElement> CTestElementFrame::Parent() { return deref(mElementBase, errorSource()).Parent(); }

void CTestElementFrame::SetParent(const Ptr<ITestElement>& parent)
{
    ignoreErrors([&] { deref(mElementBase, errorSource()).SetParent(parent); });
}

Ptr<ITestInfo> CTestElementFrame::Info() { return deref(mElementBase, errorSource()).Info(); }

Ptr<ITestFilter> CTestElementFrame::Filter()
{
    return valueOr([&] { return deref(mElementBase, errorSource()).Filter(); }, Ptr<ITestFilter>());
}

Ptr<IResultData> CTestElementFrame::Result() { return deref(mElementBase, errorSource()).Result(); }
Ptr<ILimitData> CTestElementFrame::Limits() { return deref(mElementBase, errorSource()).Limits(); }
Ptr<IConfigData> CTestElementFrame::Configuration() { return deref(mElementBase, errorSource()).Configuration(); }

void CTestElementFrame::Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id)
{
    ignoreErrors([&] { deref(mElementBase, errorSource()).Initialize(plugInId, testId, id); });
}

Ptr<ITestElement> CTestElementFrame::Clone()
{
    try {
        auto copy = newElement();
        copy->CopyFrom(*this);
        return copy;
    } catch (...) {
        ignoreErrors([&] { errorReporter()->ReportError(currentError(), errorSource()); });
        return nullptr;
    }
}

Ptr<ITestElementBase> CTestElementFrame::CloneElementBase()
{
    return valueOr([&] { return deref(mElementBase, errorSource()).CloneBase(); }, Ptr<ITestElementBase>());
}

void CTestElementFrame::CopyFrom(CTestElementFrame& source)
{
    ignoreErrors([&] { deref(mElementBase, errorSource()).Terminate(); });
    mElementBase.reset();
    mElementBase = source.CloneElementBase();
    if (!mElementBase)
        return;
    ignoreErrors([&] {
        auto limits = query<CLimitData>(mElementBase->Limits());
        deref(limits, errorSource()).Initialize(self(), mStyle.limitsDialog);
    });
}

void CTestElementFrame::Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log)
{
    try {
        const QString name = deref(in, errorSource()).TagName();
        if (name == kResultItem)
            loadResultItem();
        deref(mElementBase, errorSource()).Load(in, log);
    } catch (...) {
        const PluginError error = currentError();
        if (std::find(std::begin(kLoadPassOn), std::end(kLoadPassOn), error.number()) != std::end(kLoadPassOn))
            passOn();
        ignoreErrors([&] { errorReporter()->ReportError(error, errorSource()); });
    }
}

Ptr<IXmlElement> CTestElementFrame::Save(const Ptr<IXmlDocument>& owner, std::int32_t saveMode)
{
    try {
        return deref(mElementBase, errorSource()).Save(owner, saveMode);
    } catch (...) {
        const PluginError error = currentError();
        if (error.number() == kSavePassOn)
            passOn();
        ignoreErrors([&] { errorReporter()->ReportError(error, errorSource()); });
        return nullptr;
    }
}

void CTestElementFrame::PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup)
{
    ignoreErrors([&] { deref(mElementBase, errorSource()).PrintReport(report, setup); });
}

bool CTestElementFrame::QuerySetParent(const Ptr<ITestElement>&)
{
    return true;
}

void CTestElementFrame::Terminate()
{
    ignoreErrors([&] { deref(mElementBase, errorSource()).Terminate(); });
}

void CTestElementFrame::UpdateReferences()
{
    ignoreErrors([&] {
        auto limits = deref(mElementBase, errorSource()).Limits();
        if (limits)
            deref(limits->Standards(), errorSource()).SetOwner(self());
    });
}

Variant CTestElementFrame::GetMeasurementList()
{
    VariantArray rows;
    for (const auto& [key, caption] : measurementRows()) {
        QString translated;
        ignoreErrors([&, &text = caption] { translated = textTranslator()->Translate(kOwnerWord, text, {}); });
        rows.append(Variant(VariantArray{Variant(key), Variant(translated)}));
    }
    return Variant(rows);
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
    EnsureResult(false);
    auto& base = deref(mElementBase, errorSource());
    bool fHasResult = false;
    if (mStyle.fallbackResult) {
        if (!base.Result())
            base.SetResult(newResult(false));
        else
            fHasResult = base.Result()->Status() != 0;
    } else {
        fHasResult = mResult && mResult->Status() != 0;
    }
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
        ignoreErrors([&] { deref(mElementBase, errorSource()).SetResult(nullptr); });
        return;
    }
    if (!((mfStarted && !mfAbort) || mfNA))
        return;
    Ptr<IResultData> result = valueOr([&] { return deref(mElementBase, errorSource()).Result(); }, Ptr<IResultData>());
    if (!result || !isOwnResult(result))
        return;
    ignoreErrors([&] { updateResultStatus(result, selectedStandards(), mfNA); });
    ignoreErrors([&] {
        Ptr<CMtiData2> identity = mti;
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
    auto& guide = Guide();
    auto& base = deref(mElementBase, errorSource());
    const auto held = base.Result();
    // A run always measures into a result of its own class; an evaluated one is replaced.
    if (!held || held->Status() != 0) {
        EnsureResult(true);
        guide.ShowTestResult(mResult);
        guide.ShowResultStatus(mResult);
    }
    if (mStyle.headerOnFirstCommand)
        vti()->TestCount(0);
    guide.SetToolbarMode(2, false);
    guide.SetActiveSteps(mStyle.stepsDuringRun);
    guide.SetStatusText(QStringLiteral("20180::Test in progress"));
    guide.ShowPopup(QStringLiteral("TI:WAIT"), mStyle.startPopupText, false);
    if (mStyle.disableStopButton)
        setStopButtonEnabled(false);
    vti()->OpenChannel();
    if (vti()->State() == evtiIdle && !mfAbort)
        PerformMeasurement();
    vti()->CloseChannel();
    guide.HidePopup();
    if (mStyle.showResultAfterRun)
        guide.ShowTestResult(mResult);
    guide.SetStatusText(QString());
    guide.ShowResultStatus(mStyle.showResultAfterRun ? mResult : base.Result());
    guide.SetToolbarMode(1, !mfAbort);
    guide.SetActiveSteps(mStyle.stepsAfterRun);
    mfBusy = false;
}

void CTestElementFrame::startTestFailed(const PluginError& error)
{
    ignoreErrors([&] {
        if (mfrmTestGuide)
            mfrmTestGuide->HidePopup();
    });
    ignoreErrors([&] { vti()->CloseChannel(); });
    ignoreErrors([&] {
        if (mfrmTestGuide)
            mfrmTestGuide->SetToolbarMode(1, false);
    });
    ignoreErrors([&] {
        if (mfrmTestGuide)
            mfrmTestGuide->SetStatusText(QString());
    });
    mfStarted = false;
    mfBusy = false;
    if (error.number() != kVtiError)
        MsgBox(error.boxText(), mb::OKOnly | mb::Exclamation, kAppTitle);
}

void CTestElementFrame::mfrmTestGuide_StopTest()
{
    requestAbort();
    ignoreErrors([&] { vti()->Abort(); });
}

void CTestElementFrame::mfrmTestGuide_AbortTest()
{
    mfrmTestGuide_StopTest();
    setNavigation(etnAbort);
    mfSkip = true;
    if (mStyle.secondAbortOnAbortTest)
        ignoreErrors([&] { vti()->Abort(); });
    hideGuide();
}

void CTestElementFrame::mfrmTestGuide_NA()
{
    setNavigation(etnNext);
    hideGuide();
    mfSkip = false;
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
    setNavigation(etnSkip);
    mfSkip = true;
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
    QObject::connect(g, &FTarvoXTestGuide::StartTest, g, [this] { mfrmTestGuide_StartTest(); });
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

// ---- the link and waits ------------------------------------------------------------------

Ptr<ITarvoXVTi> CTestElementFrame::vti()
{
    if (!mVTI) {
        mVTI = query<ITarvoXVTi>(CreateObject(QLatin1String(linkclass::TarvoXVtiId)));
        if (!mVTI)
            raiseError(vberr::CannotCreateObject, errorSource(),
                QStringLiteral("The instrument link %1 cannot be created. Check that the KeltoTarvoXVTI library is installed and registered.")
                    .arg(QLatin1String(linkclass::TarvoXVti)));
    }
    return mVTI;
}

void CTestElementFrame::requestAbort()
{
    mfAbort = true;
    Clock::instance().wake();
}

void CTestElementFrame::StartWaitTimer()
{
    StopWaitTimer();
    mfrmWaitTimer = std::make_unique<FTimer>();
    QObject::connect(mfrmWaitTimer.get(), &FTimer::Timer, mfrmWaitTimer.get(), [this] {
        ignoreErrors([&] { mfrmWaitTimer_Timer(); });
        // The loops waiting on the tick's flags look at them now.
        Clock::instance().wake();
    });
    mfrmWaitTimer->StartTimer(1000);
}

void CTestElementFrame::StopWaitTimer()
{
    if (!mfrmWaitTimer)
        return;
    FTimer* timer = mfrmWaitTimer.release();
    ignoreErrors([&] { timer->StopTimer(); });
    QObject::disconnect(timer, nullptr, nullptr, nullptr);
    // A tick handler may be the one stopping its timer.
    timer->deleteLater();
}

QString CTestElementFrame::pollDischargeReading(const std::function<QString()>& readMeasurement)
{
    vti()->Wait(50);
    QString reply;
    if (!mfAbort) {
        FTarvoXTestGuide& guide = Guide();
        guide.SetActiveSteps({});
        guide.ShowPopup(QStringLiteral("TI:SHOCK"), QStringLiteral("20170::Defibrillate Now"), true);
        do {
            reply = readMeasurement();
        } while (reply.isEmpty() && !mfAbort);
        guide.HidePopup();
    }
    return reply;
}

void CTestElementFrame::seriesMeasurementFailed(const PluginError& error)
{
    mfAbort = true;
    StopWaitTimer();
    ignoreErrors([&] { Guide().HidePopup(); });
    ignoreErrors([&] { Guide().EnableNextButton(true); });
    if (error.number() != kVtiError)
        ignoreErrors([&] { errorReporter()->ReportError(error, errorSource()); });
}

void CTestElementFrame::waitUntil(const std::function<bool()>& done)
{
    while (!done())
        Clock::instance().wait(1000, done);
}

void CTestElementFrame::pumpEvents()
{
    QCoreApplication::processEvents();
}

void CTestElementFrame::Beep(std::int32_t, std::int32_t)
{
    QApplication::beep();
}

// ---- helpers ----------------------------------------------------------------------------

QString CTestElementFrame::tr(const QString& textRef, const VariantArray& params)
{
    return valueOr([&] { return textTranslator()->Translate(kOwnerWord, textRef, params); }, QString());
}

std::int32_t CTestElementFrame::wholeEnergy(float joules)
{
    return CLng(joules);
}

QStringList CTestElementFrame::energyInstructionLines(float presetJoules)
{
    QStringList lines;
    QString energy;
    ignoreErrors([&] { energy = QString::number(wholeEnergy(presetJoules)); });
    lines << tr(QStringLiteral("20230::1. Set defibrillator to %%1J."), {Variant(energy)})
          << tr(QStringLiteral("20231::2. Set range to 'High' on the TarvoX."))
          << tr(QStringLiteral("20232::3. Click 'Start' to begin the test."));
    return lines;
}

QString CTestElementFrame::replyText(const Variant& reply)
{
    if (reply.isEmpty() || reply.isNull())
        return QString();
    return valueOr([&] { return reply.toString(); }, QString());
}

Variant CTestElementFrame::linesVariant(const QStringList& lines)
{
    VariantArray array;
    for (const QString& line : lines)
        array.append(Variant(line));
    return Variant(array);
}

} // namespace kelto
