#include "results/CResultBase.h"

#include "framework/CLimitData.h"
#include "framework/FDialogWrapper.h"
#include "framework/HostServices.h"
#include "platform/Automation.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/interfaces/Controls.h"
#include "platform/interfaces/Report.h"

namespace kelto {

namespace {

const QString kResultItem = QStringLiteral("ResultItem");
const QString kMti = QStringLiteral("MTI");
const QString kStatus = QStringLiteral("Status");
const QString kComment = QStringLiteral("Comment");
const QString kServiceRecord = QStringLiteral("ServiceRecord");
const QString kMeasurement = QStringLiteral("Measurement");
const QString kKey = QStringLiteral("Key");
const QString kDetailedResultPanel = QStringLiteral("KeltoTarvoXTest.XDetailedResult");
const QString kLimitsUnreadable = QStringLiteral("20196::The limits of the test could not be read; the run is not passed.");

constexpr std::int32_t kFixedColumns = 560 + 2240 + 560;

} // namespace

// ---- keyed list -------------------------------------------------------------------

Ptr<CMeasurement> MeasurementList::item(int position) const
{
    if (position < 1 || position > count())
        return nullptr;
    return m_items[position - 1];
}

int MeasurementList::positionOf(const QString& key) const
{
    if (key.isEmpty())
        return 0;
    for (int i = 0; i < count(); ++i) {
        if (m_items[i]->Key().compare(key, Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

bool MeasurementList::add(const Ptr<CMeasurement>& measurement)
{
    if (!measurement || measurement->Key().isEmpty() || positionOf(measurement->Key()) != 0)
        return false;
    m_items.append(measurement);
    return true;
}

void MeasurementList::truncate(int count)
{
    if (count >= 0 && count < this->count())
        m_items.resize(count);
}

// ---- result object -------------------------------------------------------------

CResultBase::CResultBase(const ResultIdentity& identity) : m_identity(identity) {}

CResultBase::~CResultBase() = default;

QString CResultBase::translated(const QString& textRef)
{
    return valueOr([&] { return translate(textRef); }, QString());
}

void CResultBase::resetMeasurements()
{
    mcolMeasurements = std::make_shared<MeasurementList>();
}

Ptr<CMeasurement> CResultBase::addMeasurement(const QString& key, const QString& caption, const QString& unit, std::int32_t valueType,
    const QString& valueFormat)
{
    auto measurement = std::make_shared<CMeasurement>();
    measurement->Initialize(key, caption, unit, valueType);
    if (!valueFormat.isEmpty())
        measurement->SetValueFormat(valueFormat);
    if (!mcolMeasurements || !mcolMeasurements->add(measurement))
        return nullptr;
    return measurement;
}

Ptr<CMeasurement> CResultBase::FindMeasurement(const QString& key) const
{
    return mcolMeasurements ? mcolMeasurements->find(key) : nullptr;
}

Ptr<IMeasurement> CResultBase::Measurement(const Variant& key)
{
    try {
        if (!mcolMeasurements)
            return nullptr;
        if (key.isString())
            return mcolMeasurements->find(key.toString());
        if (key.isNumeric())
            return mcolMeasurements->item(key.toLong());
    } catch (...) {
    }
    return nullptr;
}

std::int32_t CResultBase::MeasurementCount()
{
    return mcolMeasurements ? mcolMeasurements->count() : 0;
}

Variant CResultBase::readingOf(const QString& reply)
{
    try {
        if (!startsWithNumber(reply))
            return Variant::null();
        return Val(reply);
    } catch (...) {
        // A number beyond the range of a Double is no reading either.
        return Variant::null();
    }
}

void CResultBase::storeReading(const QString& key, const QString& reply)
{
    if (reply.isEmpty())
        return;
    if (const Ptr<CMeasurement> measurement = FindMeasurement(key))
        measurement->SetValue(readingOf(reply));
}

QString CResultBase::replyAt(const QStringList& replies, int index)
{
    return index >= 0 && index < replies.size() ? replies[index] : QString();
}

// ---- evaluation ------------------------------------------------------------------

Ptr<ITestFilter> CResultBase::filterOf(const Ptr<ITestElement>& owner)
{
    return valueOr([&] { return owner ? owner->Filter() : nullptr; }, Ptr<ITestFilter>());
}

void CResultBase::evaluateAgainstLimits(const Ptr<ITestElement>& iteOwner, const Ptr<IStandardCollection>& iscSelected, bool fNA)
{
    if (iteOwner)
        m_owner = iteOwner;
    if (fNA) {
        mlStatus = emsNotApplicable;
    } else {
        bool failed = false;
        bool unjudged = false;
        if (mcolMeasurements) {
            for (const Ptr<CMeasurement>& measurement : mcolMeasurements->items()) {
                const Ptr<ILimitData> limits = valueOr([&] { return deref(iteOwner, location()).Limits(); }, Ptr<ILimitData>());
                if (!measurement->UpdateStatus(limits, iscSelected))
                    unjudged = true;
                if (measurement->Status() == emsFailed)
                    failed = true;
            }
        }
        // A run that could not be judged is never passed; it is kept, with its
        // readings, as failed and says why.
        mlStatus = failed || unjudged ? emsFailed : emsPassed;
        msStatusText = unjudged ? translated(kLimitsUnreadable) : QString();
    }
    UpdateServiceRecord(filterOf(iteOwner));
}

void CResultBase::UpdateServiceRecord(const Ptr<ITestFilter>& itf)
{
    std::int32_t flags = 0;
    if (itf)
        ignoreErrors([&] { flags = itf->Flags(); });
    if ((flags & ITestFilter::ServiceRecordFlag) == 0 || mlStatus == emsNone)
        return;
    QString code;
    QString values;
    if (mlStatus == emsNotApplicable) {
        code = QStringLiteral("NA");
    } else if (mcolMeasurements) {
        for (const Ptr<CMeasurement>& measurement : mcolMeasurements->items()) {
            QString display;
            std::int32_t status = emsNone;
            ignoreErrors([&] { measurement->GetDisplayValue(display, status); });
            if (status == emsFailed)
                code = QStringLiteral("F");
            if (!display.isEmpty())
                values += QLatin1Char('/') + display;
        }
    }
    // A record that cannot be made leaves the one held, which still gets this verdict.
    if (const auto record = valueOr([] { return query<IServiceRecord>(CreateObject(QLatin1String(hostclass::ServiceRecord))); },
            Ptr<IServiceRecord>()))
        mobjServiceRecord = record;
    ignoreErrors([&] { deref(mobjServiceRecord, location()).Fill(itf, code, values); });
}

// ---- detailed-result dialog ----------------------------------------------------------

Ptr<IDialog> CResultBase::CreateDialog()
{
    try {
        auto dialog = std::make_shared<FDialogWrapper>();
        // Until the panel is installed the dialog holds none.
        dialog->CreateSetupCtrl(kDetailedResultPanel);
        dialog->Initialize(Variant(shared_from_this()));
        return dialog;
    } catch (...) {
        return nullptr;
    }
}

// ---- "ResultItem" element -------------------------------------------------------------

Ptr<IXmlElement> CResultBase::Save(const Ptr<IXmlDocument>& owner)
{
    try {
        if (!owner)
            raiseError(vberr::ObjectNotSet, location(), QStringLiteral("No document was given to save the result into."));
        const Ptr<IXmlElement> element = owner->CreateElement(kResultItem);
        if (!element)
            errorReporter()->Raise(kOwnerWord, resulterr::NoElement, location(), 3);
        if (mlMTIID > 0)
            element->SetAttribute(kMti, valueFormatter()->Format(Variant(mlMTIID)));
        // A part that comes back without an element is left out; a measurement has
        // already reported why.
        if (const Ptr<IXmlElement> status = xmlValueCodec()->WriteStatus(owner, mlStatus, msStatusText))
            element->AppendChild(status);
        if (!msComment.isEmpty())
            element->AddTextElement(kComment, msComment);
        if (mobjServiceRecord) {
            if (const Ptr<IXmlElement> record = mobjServiceRecord->Save(owner))
                element->AppendChild(record);
        }
        if (mlStatus != emsNone && mlStatus != emsNotApplicable && mcolMeasurements) {
            for (const Ptr<CMeasurement>& measurement : mcolMeasurements->items()) {
                if (const Ptr<IXmlElement> saved = measurement->Save(owner))
                    element->AppendChild(saved);
            }
        }
        return element;
    } catch (...) {
        const PluginError error = currentError();
        if (error.number() == resulterr::NoElement)
            errorReporter()->Raise(QString(), 0, QString(), 1);
        ignoreErrors([&] { errorReporter()->ReportError(error, location()); });
        return nullptr;
    }
}

void CResultBase::Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log)
{
    std::int32_t logId = 0;
    try {
        if (log)
            logId = log->Begin(translate(QString::fromLatin1(m_identity.loadProgress)), QString());
        if (!in)
            raiseError(vberr::ObjectNotSet, location(), QStringLiteral("No \"ResultItem\" element was given to load."));
        if (in->TagName() != kResultItem)
            errorReporter()->Raise(kOwnerWord, resulterr::WrongElement, location(), 4);

        // Each part takes effect as it is read: a load that fails part-way keeps what
        // came before the failing child.
        const QString mtiText = in->GetAttribute(kMti);
        if (!mtiText.isEmpty())
            mlMTIID = storedLong(mtiText, QStringLiteral("The %1 of the result item").arg(kMti), location());
        msComment.clear();
        msStatusText.clear();
        mlStatus = emsNone;

        const Ptr<IXmlElementList> children = in->Children();
        const int count = deref(children, location()).Count();
        fitToStored(children);
        for (int i = 0; i < count; ++i) {
            const Ptr<IXmlElement> child = children->Item(i);
            const QString name = deref(child, location()).TagName();
            if (name == kComment) {
                msComment = child->Text();
            } else if (name == kStatus) {
                xmlValueCodec()->ReadStatus(child, mlStatus, msStatusText);
            } else if (name == kServiceRecord) {
                const Ptr<IServiceRecord> next = query<IServiceRecord>(CreateObject(QLatin1String(hostclass::ServiceRecord)));
                if (!next)
                    raiseError(vberr::CannotCreateObject, location(), QStringLiteral("The host's service record cannot be created."));
                mobjServiceRecord = next;
                next->Load(child, log);
            } else if (name == kMeasurement) {
                // The measurement held in the list reads its element: whoever holds it sees the values.
                const QString key = child->GetAttribute(kKey);
                const Ptr<CMeasurement> measurement = FindMeasurement(key);
                if (!measurement)
                    raiseError(vberr::InvalidProcedureCall, location(),
                        QStringLiteral("The result has no measurement \"%1\"; check that the result item belongs to this test.").arg(key));
                try {
                    measurement->Load(child, log);
                } catch (const PluginError& refused) {
                    // A measurement that refuses its element keeps what it had read; the load goes on.
                    if (refused.number() != CMeasurement::errBadElement)
                        throw;
                }
            }
        }

        if (logId != 0)
            log->End(logId);
    } catch (...) {
        const PluginError error = currentError();
        if (logId != 0)
            ignoreErrors([&] { log->End(logId); });
        if (error.number() == resulterr::WrongElement)
            errorReporter()->Raise(QString(), 0, QString(), 1);
        ignoreErrors([&] { errorReporter()->ReportError(error, location()); });
    }
}

// ---- report table ------------------------------------------------------------------

std::int32_t CResultBase::reportColumnWidth(std::int32_t reportWidth)
{
    // Whole-number division truncates toward zero, also below the fixed columns' width.
    return (reportWidth - kFixedColumns) / 4;
}

QString CResultBase::reportColumnFormat(std::int32_t width)
{
    const QString w = QString::number(width);
    return QStringLiteral("<+560|<2240|>+") + w + QStringLiteral("|>+") + w + QStringLiteral("|^+") + w + QStringLiteral("|<+!") + w
        + QStringLiteral("|<+560;");
}

void CResultBase::GetReportHeader(const Ptr<IReport>& report, QString& format, QString& header)
{
    const char* refs[4] = {"312::Result:", "20136::Preset Value", "231::Value", "234::Unit"};
    QString cells[4];
    for (int i = 0; i < 4; ++i)
        ignoreErrors([&] { cells[i] = report->Translate(kOwnerWord, QString::fromLatin1(refs[i]), {}); });
    std::int32_t width = 0;
    ignoreErrors([&] { width = reportColumnWidth(report->Width(10)); });
    header = QStringLiteral("|{\\i\\b ") + cells[0] + QStringLiteral("}|{\\i\\b ") + cells[1] + QStringLiteral("}|{\\i\\b ") + cells[2]
        + QStringLiteral("}|{\\i\\b ") + cells[3] + QStringLiteral("};");
    format = reportColumnFormat(width);
}

QString CResultBase::GetReportRows(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup)
{
    QString rows;
    if (!report || !mcolMeasurements)
        return rows;
    // Each reading is printed beside the limits of the standards the report is
    // printed with, and must not read otherwise than it was judged against them.
    Ptr<CLimitData> limits;
    Ptr<IStandardCollection> selected;
    ignoreErrors([&] { limits = query<CLimitData>(deref(m_owner.lock(), location()).Limits()); });
    ignoreErrors([&] { selected = deref(setup, location()).SelectedStandards(); });
    for (const Ptr<CMeasurement>& measurement : mcolMeasurements->items()) {
        QList<float> bounds;
        ignoreErrors([&] { bounds = limits ? limits->JudgingBounds(measurement, selected) : bounds; });
        ignoreErrors([&] { rows += measurement->GetReportRow(report, bounds); });
    }
    return rows;
}

void CResultBase::PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup)
{
    if (!report)
        return;
    QString format;
    QString header;
    ignoreErrors([&] { GetReportHeader(report, format, header); });
    QString rows;
    ignoreErrors([&] { rows = GetReportRows(report, setup); });
    if (rows.isEmpty())
        return;
    ignoreErrors([&] { report->TableSettingA(7); });
    ignoreErrors([&] { report->TableSettingB(std::int16_t(0)); });
    ignoreErrors([&] { report->TableSettingC(1); });
    ignoreErrors([&] { report->PrintTable(format, header, rows, 0, 0, 0); });
}

} // namespace kelto
