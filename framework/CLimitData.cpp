#include "framework/CLimitData.h"

#include "framework/CMeasurement.h"
#include "framework/FDialogWrapper.h"
#include "framework/HostServices.h"
#include "framework/MMiscUtils.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/interfaces/Controls.h"
#include "platform/interfaces/TestElement.h"

namespace kelto {

namespace {

const QString kPercentFormula = QStringLiteral("X+(X*Y%)");

struct BuiltInLimit {
    const char* key;
    const char* unit;
    const char* formula;
};

// The limits a new standard of a test type starts with; the values come later
// from the template, the limit dialog or a stored test.
QList<BuiltInLimit> builtInLimits(std::int32_t testId)
{
    switch (testId) {
    case 100:
    case 200: return {{"ENGY", "20200::J", "X+(X*Y%)"}};
    case 300:
    case 1400:
    case 1500: return {{"CHTI", "20201::s", ""}};
    case 400: return {{"PEAV", "20207::V", ""}};
    case 500: return {{"OVRC", "20208::A", ""}};
    case 600: return {{"OVRV", "20207::V", ""}};
    case 700:
    case 800: return {{"SYNT", "20202::ms", ""}};
    case 1200: return {{"PACR", "20205::ppm", ""}, {"PULC", "20204::mA", ""}, {"PULW", "20202::ms", ""}, {"PULV", "20203::mV", ""}};
    case 1300: return {{"SENS", "20202::ms", ""}, {"PACE", "20202::ms", ""}};
    case 1600: return {{"ENGY", "20200::J", ""}, {"PLSC", "20209::None", ""}};
    default: return {};
    }
}

struct DialogRow {
    const char* key;
    const char* caption;
    const char* unit;
    bool operators;
};

// The rows of the limit dialog; the keys and units are those of the built-in limits.
QList<DialogRow> dialogRows(std::int32_t testId)
{
    switch (testId) {
    case 100:
    case 200: return {{"ENGY", "20120::Energy", "20200::J", true}};
    case 300:
    case 1400:
    case 1500: return {{"CHTI", "20125::Charge Time", "20201::s", false}};
    case 400: return {{"PEAV", "20121::Peak Voltage", "20207::V", false}};
    case 500: return {{"OVRC", "20122::Over Current", "20208::A", false}};
    case 600: return {{"OVRV", "20123::Over Voltage", "20207::V", false}};
    case 700:
    case 800: return {{"SYNT", "20124::Sync Time", "20202::ms", false}};
    case 1200:
        return {{"PACR", "20126::Rate", "20205::ppm", true}, {"PULC", "20127::Pulse Current", "20204::mA", true},
            {"PULW", "20128::Pulse Width", "20202::ms", false}, {"PULV", "20129::Pulse Voltage", "20203::mV", false}};
    case 1300: return {{"SENS", "20130::Sensed Rp", "20202::ms", false}, {"PACE", "20131::Paced Rp", "20202::ms", false}};
    case 1600: return {{"ENGY", "20120::Energy", "20200::J", true}, {"PLSC", "20132::Pulse Count", "20209::None", false}};
    default: return {};
    }
}

// True when the standard has a limit with a value for the key.
bool hasValuedLimit(const Ptr<IStandard>& standard, const QString& key)
{
    for (const Ptr<ILimit>& limit : standard->Limits()) {
        if (limit->Key() == key && (limit->HasValue(elvHigh) || limit->HasValue(elvLow)))
            return true;
    }
    return false;
}

Ptr<IStandardCollection> newCollection()
{
    const auto collection = ComponentRuntime::instance().createAs<IStandardCollection>(QLatin1String(hostclass::StandardCollection));
    if (!collection)
        raiseError(vberr::CannotCreateObject, QLatin1String(CLimitData::kProgId), QStringLiteral("The host's standards collection is not registered."));
    return collection;
}

} // namespace

CLimitData::~CLimitData()
{
    // Holders of the collection (a result view) see it emptied with the limits.
    if (m_standards)
        ignoreErrors([&] { m_standards->Clear(); });
}

void CLimitData::Initialize(const Ptr<ITestElement>& owner, bool hasDialog)
{
    m_owner = owner;
    m_hasDialog = hasDialog;
}

void CLimitData::CopyFrom(const Ptr<ILimitData>& other)
{
    if (!other)
        return;
    const Ptr<IStandardCollection> source = other->Standards();
    m_standards = nullptr;
    if (source)
        m_standards = source->Clone();
}

Ptr<ILimitData> CLimitData::Clone()
{
    try {
        auto copy = std::make_shared<CLimitData>();
        copy->CopyFrom(as<ILimitData>());
        copy->m_hasDialog = m_hasDialog;
        return copy;
    } catch (...) {
        errorReporter()->ReportError(currentError(), QLatin1String(kProgId));
        return nullptr;
    }
}

// ---- standards ------------------------------------------------------------------

void CLimitData::AddLimit(const Ptr<IStandard>& standard, const QString& key, const QString& unit, const QString& formula)
{
    const auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::Limit));
    if (!limit)
        raiseError(vberr::CannotCreateObject, QLatin1String(kProgId), QStringLiteral("The host's limit class is not registered."));
    limit->Initialize(key, unit, QString(), QString());
    if (!formula.isEmpty())
        limit->SetFormula(elvHigh, formula);
    standard->AddLimit(limit);
}

void CLimitData::CreateTestLimits(const Ptr<IStandard>& standard, std::int32_t testId)
{
    for (const BuiltInLimit& row : builtInLimits(testId)) {
        ignoreErrors([&] {
            AddLimit(standard, QLatin1String(row.key), translate(QLatin1String(row.unit)), QLatin1String(row.formula));
        });
    }
}

Ptr<IStandard> CLimitData::CreateStandard(const QString& alphaName, const QString& completeName)
{
    try {
        // A standard is known by its names: a second one of the same names would
        // never be judged, and a file holding both is refused.
        if (m_standards)
            if (const Ptr<IStandard> held = m_standards->Find(0, alphaName, completeName))
                return held;
        const Ptr<ITestElement> owner = Owner();
        Ptr<IStandard> standard;
        // The template's standard of these names comes first.
        if (owner)
            standard = MMiscUtils::LoadStandard(owner->TestID(), alphaName, completeName);
        if (!standard) {
            const auto fresh = ComponentRuntime::instance().createAs<IStandard>(QLatin1String(hostclass::Standard));
            if (!fresh)
                raiseError(vberr::CannotCreateObject, QLatin1String(kProgId), QStringLiteral("The host's standard class is not registered."));
            fresh->SetNames(alphaName, completeName, 1);
            if (!owner)
                raiseError(vberr::ObjectNotSet, QLatin1String(kProgId),
                    QStringLiteral("The limits belong to no test element, so the built-in limits of the standard %1 are unknown.").arg(alphaName));
            CreateTestLimits(fresh, owner->TestID());
            standard = fresh;
        }
        if (!m_standards)
            m_standards = newCollection();
        m_standards->Add(standard);
        return standard;
    } catch (...) {
        if (currentError().number() == errStandardObjects)
            errorReporter()->Raise(QString(), 0, QString(), 1);
        errorReporter()->ReportError(currentError(), QStringLiteral("CLimitData"));
        return nullptr;
    }
}

// ---- evaluation ---------------------------------------------------------------------

Ptr<IStandardCollection> CLimitData::FindFailedStandards(const Ptr<IMeasurement>& measurement, const Ptr<IStandardCollection>& selected)
{
    // Errors of the host objects reach the caller: a judgement that cannot be made is
    // no pass, and the caller keeps the run as failed and says why. Only the reading
    // itself may be unreadable: no number counts as 0 and fails where it is limited.
    if (!measurement || !selected || !m_standards || m_standards->Count() == 0)
        return nullptr;

    const QString key = measurement->Key();
    const QString key4 = key.left(4);
    float value = 0;
    bool numeric = false;
    ignoreErrors([&] { numeric = CMeasurement::numericReading(measurement->value(), &value); });
    if (!numeric)
        value = 0;
    float preset = 0;
    ignoreErrors([&] { preset = measurement->PresetValue().toSingle(); });
    // A numbered charge time without a discharge fails whatever the limits say.
    const bool missingSeriesCharge = key4 == QLatin1String("CHTI") && key.size() >= 5 && (!numeric || value == 0);

    const Ptr<IStandardCollection> failed = newCollection();
    const int count = selected->Count();
    for (int i = 0; i < count; ++i) {
        const Ptr<IStandard> wanted = selected->Item(i);
        if (!wanted)
            continue; // a place of the selection that gives no standard
        const Ptr<IStandard> own = m_standards->Find(0, wanted->AlphaName(), wanted->CompleteName());
        if (!own)
            continue; // a selected standard the test has no limits for
        bool fails = own->CheckValue(key4, value, Variant(preset)) == emsFailed || missingSeriesCharge;
        // No reading (empty, "NOSYNC") is no pass where the standard limits the key.
        if (!numeric && !fails)
            fails = hasValuedLimit(own, key4);
        if (fails)
            failed->Add(own);
    }
    return failed->Count() == 0 ? nullptr : failed;
}

QList<float> CLimitData::JudgingBounds(const Ptr<IMeasurement>& measurement, const Ptr<IStandardCollection>& selected)
{
    QList<float> bounds;
    if (!measurement || !selected || !m_standards)
        return bounds;
    const QString key4 = measurement->Key().left(4);
    float preset = 0;
    ignoreErrors([&] { preset = measurement->PresetValue().toSingle(); });
    for (int i = 0; i < selected->Count(); ++i) {
        const Ptr<IStandard> wanted = selected->Item(i);
        const Ptr<IStandard> own = wanted ? m_standards->Find(0, wanted->AlphaName(), wanted->CompleteName()) : nullptr;
        for (const Ptr<ILimit>& limit : own ? own->Limits() : QList<Ptr<ILimit>>()) {
            if (!limit || limit->Key() != key4)
                continue;
            const Ptr<IRelativeLimit> relative = query<IRelativeLimit>(limit);
            for (const int side : {elvHigh, elvLow}) {
                if (limit->HasValue(side))
                    bounds.append(relative ? relative->CalculateValue(preset, side) : limit->Value(side));
            }
        }
    }
    return bounds;
}

// ---- "ExpectedResult" element and report ---------------------------------------------

void CLimitData::Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log)
{
    try {
        if (!in)
            raiseError(vberr::ObjectNotSet, QLatin1String(kProgId), QStringLiteral("No element was given to read the limits from."));
        if (in->TagName() != QLatin1String("ExpectedResult"))
            errorReporter()->Raise(QString(), errBadElement, QLatin1String(kProgId), 1);
        // Read into a new collection: a reading that fails keeps the previous standards.
        const Ptr<IStandardCollection> fresh = newCollection();
        fresh->Load(in, log);
        m_standards = fresh->Count() == 0 ? nullptr : fresh;
    } catch (...) {
        if (currentError().number() == errBadElement)
            errorReporter()->Raise(QString(), 0, QString(), 1);
        errorReporter()->ReportError(currentError(), QLatin1String(kProgId));
    }
}

Ptr<IXmlElement> CLimitData::Save(const Ptr<IXmlDocument>& owner)
{
    if (!m_standards)
        return nullptr;
    const Ptr<IXmlElement> element = m_standards->Save(owner);
    if (element)
        element->SetTagName(QStringLiteral("ExpectedResult"));
    return element;
}

void CLimitData::PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup)
{
    try {
        if (!m_standards || m_standards->Count() <= 0)
            return;
        const Variant table = MMiscUtils::GetMeasurementTable(report, Owner());
        // The limits printed are those of the run's standards: without a run there is nothing to print.
        m_standards->PrintReport(report, deref(setup, QLatin1String(kProgId)).SelectedStandards(), table);
    } catch (...) {
        errorReporter()->ReportError(currentError(), QLatin1String(kProgId));
    }
}

// ---- limit dialog ---------------------------------------------------------------------

void CLimitData::ParseLimitsToDialog(const Ptr<IObject>& limitView, std::int32_t testId)
{
    const Ptr<ILimitView> view = query<ILimitView>(limitView);
    if (!view)
        raiseError(vberr::ObjectNotSet, QLatin1String(kProgId), QStringLiteral("The limit view does not take limit rows."));
    const QString operators = QStringLiteral("<op>") + QStringLiteral("Y") + QLatin1Char(';') + QStringLiteral("X+Y") + QLatin1Char(';')
        + kPercentFormula + QStringLiteral("</op>");
    for (const DialogRow& row : dialogRows(testId)) {
        const QString caption = translate(QLatin1String(row.caption));
        const QString unit = translate(QLatin1String(row.unit));
        view->AddLimitRow(QLatin1String(row.key), caption, unit, row.operators ? operators : QString());
    }
}

Ptr<IDialog> CLimitData::CreateDialog()
{
    if (!m_hasDialog)
        return nullptr;
    Ptr<FDialogWrapper> wrapper;
    try {
        wrapper = std::make_shared<FDialogWrapper>();
        const ObjectPtr view = wrapper->CreateSetupCtrl(QLatin1String(hostclass::LimitView));
        if (!view) {
            wrapper->Unload();
            return nullptr;
        }
        const Ptr<ITestElement> owner = Owner();
        if (!owner)
            raiseError(vberr::ObjectNotSet, QLatin1String(kProgId), QStringLiteral("The limits belong to no test element."));
        ParseLimitsToDialog(view, owner->TestID());
        wrapper->Initialize(Variant(as<ILimitData>()));
        return wrapper;
    } catch (...) {
        // Nothing reaches the host; the half-made dialog goes with its window.
        if (wrapper)
            ignoreErrors([&] { wrapper->Unload(); });
        return nullptr;
    }
}

} // namespace kelto
