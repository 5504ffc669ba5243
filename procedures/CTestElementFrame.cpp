// The test element's construction, the ITestElement members it hands on to its
// element base (load, save and clone among them) and the helpers of its texts.

#include "procedures/CTestElementFrame.h"

#include <algorithm>

#include "framework/CLimitData.h"
#include "framework/FTimer.h"
#include "framework/HostServices.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/Automation.h"
#include "platform/Deref.h"
#include "platform/ComponentRuntime.h"

namespace kelto {

namespace {

const QString kResultItem = QStringLiteral("ResultItem");

// Host element-base numbers that Load and Save hand on unchanged.
constexpr std::int32_t kLoadPassOn[] = {hresult(0x8004A2C0), hresult(0x8004A2C1), hresult(0x8004A2C2), hresult(0x8004A2C8)};
constexpr std::int32_t kSavePassOn = hresult(0x8004A2CD);

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
    style.skipBeforeAbortNavigation = true;
    style.stepsBeforeRunningMode = true;
    style.ensureResultIgnoresErrors = true;
    style.showResultAfterRun = true;
    style.stepsAfterRun = std::move(stepsAfterRun);
    return style;
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
