#include "framework/CMeasurement.h"

#include <cmath>

#include "platform/Deref.h"

#include "framework/HostServices.h"
#include "platform/Automation.h"
#include "platform/EscapedText.h"

namespace kelto {

namespace {

const QString kNoSync = QStringLiteral("NOSYNC");
const QString kSource = QStringLiteral("CMeasurement");

bool isNoSync(const Variant& value)
{
    return value.isString() && value.toString() == kNoSync;
}

// Passes the plug-in's own numbers on unchanged; hands any other error to the host.
void handleOwnOrReport(std::initializer_list<std::int32_t> ownNumbers, const QString& source)
{
    const PluginError error = currentError();
    for (std::int32_t own : ownNumbers) {
        if (error.number() == own)
            errorReporter()->Raise(QString(), 0, QString(), 1);
    }
    errorReporter()->ReportError(error, source);
}

} // namespace

QString formatWithPattern(const Variant& value, const QString& format)
{
    if (value.isEmpty() || value.isNull())
        return {};
    if (value.isString()) {
        double number = 0;
        if (format.isEmpty() || !parseNumber(value.toString(), &number))
            return value.toString();
        return formatNumber(number, format);
    }
    if (format.isEmpty())
        return value.toString();
    return formatNumber(value.toDouble(), format);
}

bool CMeasurement::numericReading(const Variant& value, float* number)
{
    if (value.isEmpty() || value.isNull())
        return false;
    try {
        *number = value.toSingle();
        return !std::isnan(*number);
    } catch (...) {
        return false;
    }
}

void CMeasurement::Initialize(const QString& key, const QString& description, const QString& unit, std::int32_t valueType)
{
    m_key = key;
    m_description = description;
    m_unit = unit;
    m_valueType = valueType;
}

QString CMeasurement::Description()
{
    return valueOr([&] { return translate(m_description); }, QString());
}

// ---- text of values -----------------------------------------------------------

QString CMeasurement::FormatValue(const Variant& value, const QList<float>& bounds)
{
    if (value.isEmpty() || value.isNull())
        return {};
    if (m_key.left(2) == QLatin1String("::") && m_valueType == evtBoolean)
        return {};
    // The plain charge time may carry its unit in the text; its leading number counts.
    const Variant shown = m_key == QLatin1String("CHTI") ? Variant(Val(value.toString())) : value;
    double reading = 0;
    if (bounds.isEmpty() || m_valueFormat.isEmpty() || !parseNumber(shown.toString(), &reading))
        return formatWithPattern(shown, m_valueFormat);
    return formatJudged(reading, bounds, m_valueFormat);
}

void CMeasurement::GetDisplayValue(QString& value, std::int32_t& status)
{
    value.clear();
    ignoreErrors([&] {
        if (m_valueType == evtNumber || m_valueType == evtRefractory)
            value = valueFormatter()->Format(m_value);
        else if (m_valueType == evtBoolean)
            // A verdict not yet given is no "False".
            value = m_value.isEmpty() ? QString() : (!m_value.isNull() && m_value.toBool() ? QStringLiteral("True") : QStringLiteral("False"));
        else
            value = m_value.toString();
    });
    status = m_status;
}

QString CMeasurement::GetReportRow(const Ptr<IReport>& report, const QList<float>& bounds)
{
    // A report whose flags cannot be read gets no row.
    std::int32_t flags = 0;
    try {
        flags = deref(report, kSource).Flags();
    } catch (...) {
        return {};
    }
    if ((flags & reportflag::FailedItemsOnly) != 0 && m_status != emsFailed)
        return {};
    QString caption;
    QString preset;
    QString value;
    // The indent belongs to the caption: a caption that cannot be had leaves the cell empty.
    ignoreErrors([&] { caption = QStringLiteral("      ") + report->Translate(kOwnerWord, m_description, {}); });
    ignoreErrors([&] { preset = FormatValue(m_presetValue); });
    ignoreErrors([&] { value = FormatValue(m_value, bounds); });
    return QLatin1Char('|') + caption + QLatin1Char('|') + preset + QLatin1Char('|') + value + QLatin1Char('|') + m_unit + QLatin1Char(';');
}

// ---- evaluation -------------------------------------------------------------------

bool CMeasurement::UpdateStatus(const Ptr<ILimitData>& limits, const Ptr<IStandardCollection>& selected)
{
    try {
        const Ptr<IStandardCollection> failed = deref(limits, kSource).FindFailedStandards(as<IMeasurement>(), selected);
        m_status = failed && failed->Count() > 0 ? emsFailed : emsPassed;
        return true;
    } catch (...) {
        // Limits that cannot be asked judge nothing, and no judgement is no pass.
        m_status = emsFailed;
        return false;
    }
}

bool CMeasurement::FindLimitValue(std::int32_t hiLo, const Ptr<IStandard>& standard, bool calculate, float& limit, QString& unit)
{
    // Numbered series keys (CHTI7, ENGY3) use the limit of their first four characters.
    const QString key4 = LimitKey().left(4);
    bool found = false;
    for (const Ptr<ILimit>& candidate : deref(standard, kSource).Limits()) {
        if (candidate->Key() != key4 || !candidate->HasValue(hiLo))
            continue;
        float value = 0;
        QString valueUnit;
        const Ptr<IRelativeLimit> relative = query<IRelativeLimit>(candidate);
        if (relative && calculate) {
            value = relative->CalculateValue(m_presetValue.toSingle(), hiLo);
            valueUnit = m_unit;
        } else {
            value = candidate->Value(hiLo);
            // A percentage formula stores the percentage, not a value in the unit.
            valueUnit = candidate->Formula(hiLo).contains(QLatin1Char('%')) ? QStringLiteral("%") : m_unit;
        }
        const bool stricter = hiLo == elvHigh ? value < limit : hiLo == elvLow ? value > limit : false;
        if (!found || stricter) {
            limit = value;
            unit = valueUnit;
            found = true;
        }
    }
    return found;
}

Variant CMeasurement::GetLimitValue(const Ptr<IStandard>& standard, std::int32_t hiLo, std::int32_t format)
{
    try {
        float limit = 0;
        QString unit;
        if (!FindLimitValue(hiLo, standard, (format & eff::Calculate) != 0, limit, unit))
            return {};
        if ((format & eff::Text) == 0)
            return limit;
        QString text = m_valueFormat.isEmpty() ? formatWithPattern(limit, m_valueFormat) : formatLimit(limit, m_valueFormat);
        if (format & eff::Unit)
            text += QLatin1Char(' ') + unit;
        return text;
    } catch (...) {
        return {};
    }
}

Variant CMeasurement::GetResultValue(std::int32_t format)
{
    try {
        if ((format & eff::Text) == 0)
            return m_value;
        QString text = FormatValue(m_value);
        if ((format & eff::Unit) && !m_unit.isEmpty())
            text += QLatin1Char(' ') + m_unit;
        return text;
    } catch (...) {
        errorReporter()->ReportError(currentError(), QStringLiteral("CMeasurement"));
        return {};
    }
}

bool CMeasurement::SupportsLimit(std::int32_t)
{
    return m_valueType == evtNumber || m_valueType == evtRefractory;
}

float CMeasurement::CalculateLimitValue(const Ptr<ILimit>& limit, std::int32_t hiLo)
{
    try {
        if (const Ptr<IRelativeLimit> relative = query<IRelativeLimit>(limit))
            return relative->CalculateValue(m_presetValue.toSingle(), hiLo);
        return deref(limit, kSource).Value(hiLo);
    } catch (...) {
        return 0;
    }
}

std::int32_t CMeasurement::CheckLimit(const Ptr<ILimit>& limit)
{
    const float value = m_value.toSingle();
    // The bounds the run judges by: a preset that is no number counts as 0, and a
    // limit that cannot be computed raises, since it judges nothing.
    float preset = 0;
    ignoreErrors([&] { preset = m_presetValue.toSingle(); });
    const Ptr<IRelativeLimit> relative = query<IRelativeLimit>(limit);
    for (int side : {elvHigh, elvLow}) {
        if (!limit->HasValue(side))
            continue;
        const float bound = relative ? relative->CalculateValue(preset, side) : limit->Value(side);
        if (side == elvHigh ? value > bound : value < bound)
            return emsFailed;
    }
    return 0;
}

std::int32_t CMeasurement::ValidateLimits(const Ptr<IStandard>& standard)
{
    if (!standard)
        return 0;
    // Judged as the run judges (the limits' FindFailedStandards): what fails there
    // never validates here.
    try {
        float number = 0;
        const bool numeric = numericReading(m_value, &number);
        // The limits the status is judged by, those of the first four characters: a
        // numbered reading (CHTI7, ENGY11) beyond its series' limit must not validate.
        const QString key = LimitKey();
        const QString key4 = key.left(4);
        // A numbered charge time without a discharge fails whatever the limits say.
        if (key4 == QLatin1String("CHTI") && key.size() >= 5 && (!numeric || number == 0))
            return emsFailed;
        for (const Ptr<ILimit>& limit : standard->Limits()) {
            if (limit->Key() != key4)
                continue;
            // No reading is no pass against a limit that has a value.
            const bool fails = numeric ? CheckLimit(limit) == emsFailed : limit->HasValue(elvHigh) || limit->HasValue(elvLow);
            if (fails)
                return emsFailed;
        }
        return 0;
    } catch (...) {
        // A limit that cannot be judged is no pass, as it is none in the run.
        return emsFailed;
    }
}

// ---- "Measurement" element ----------------------------------------------------------

Ptr<IXmlElement> CMeasurement::Save(const Ptr<IXmlDocument>& owner)
{
    if (m_key.isEmpty())
        return nullptr;
    try {
        const Ptr<IXmlElement> element = deref(owner, QLatin1String(kProgId)).CreateElement(QStringLiteral("Measurement"));
        if (!element)
            errorReporter()->Raise(kOwnerWord, errCannotCreate, QLatin1String(kProgId), 4);
        element->SetAttribute(QStringLiteral("Key"), m_key);
        if (!m_description.isEmpty())
            element->AddTextElement(QStringLiteral("Description"), m_description);
        // Stored with the text type; Load turns it back into a number measurement.
        if (isNoSync(m_value))
            m_valueType = evtText;
        if (const Ptr<IXmlElement> value = xmlValueCodec()->WriteValue(owner, m_value, m_valueType))
            element->AppendChild(value);
        if (!m_unit.isEmpty())
            element->AddTextElement(QStringLiteral("Unit"), m_unit);
        if (const Ptr<IXmlElement> status = xmlValueCodec()->WriteStatus(owner, m_status, m_statusText))
            element->AppendChild(status);
        return element;
    } catch (...) {
        handleOwnOrReport({errBadElement, errCannotCreate}, QLatin1String(kProgId));
        return nullptr;
    }
}

void CMeasurement::Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log)
{
    std::int32_t logId = 0;
    try {
        if (log)
            logId = log->Begin(kOwnerWord, QString());
        if (deref(in, QLatin1String(kProgId)).TagName() != QLatin1String("Measurement"))
            errorReporter()->Raise(kOwnerWord, errBadElement, QLatin1String(kProgId), 4);
        // The key is checked before anything is taken over, so a refused load changes nothing.
        const QString key = in->GetAttribute(QStringLiteral("Key"));
        if (key.isEmpty()) {
            if (logId != 0)
                log->Message(QStringLiteral("Can not load a measurement because its key is missing"), errBadElement, 2, {});
            errorReporter()->Raise(kOwnerWord, errBadElement, QLatin1String(kProgId), 2);
        }
        m_key = key;
        const Ptr<IXmlElementList> children = in->Children();
        const int count = deref(children, QLatin1String(kProgId)).Count();
        for (int i = 0; i < count; ++i) {
            const Ptr<IXmlElement> child = children->Item(i);
            const QString name = deref(child, QLatin1String(kProgId)).TagName();
            if (name == QLatin1String("Description")) {
                m_description = child->Text();
            } else if (name == QLatin1String("Value")) {
                Variant value;
                std::int32_t type = 0;
                xmlValueCodec()->ReadValue(child, value, type);
                // A reading kept as text is "NOSYNC" or a number; any other text would
                // print as 0, or as nothing, beside the stored status.
                if (double number = 0; value.isString() && !isNoSync(value) && !parseNumber(value.toString(), &number))
                    raiseError(vberr::TypeMismatch, QLatin1String(kProgId),
                        QStringLiteral("The value %1 of the measurement %2 cannot be read (a number, or NOSYNC, is expected). Correct it in the "
                                       "file or remove it.")
                            .arg(quotedValue(value.toString()), key));
                m_value = value;
                m_valueType = isNoSync(value) ? evtNumber : type;
            } else if (name == QLatin1String("Unit")) {
                m_unit = child->Text();
            } else if (name == QLatin1String("Status")) {
                std::int32_t status = 0;
                QString text;
                xmlValueCodec()->ReadStatus(child, status, text);
                m_status = status;
                m_statusText = text;
            }
        }
        if (logId != 0)
            log->End(logId);
    } catch (...) {
        if (logId != 0)
            ignoreErrors([&] { log->End(logId); });
        handleOwnOrReport({errBadElement, errCannotCreate}, QLatin1String(kProgId));
    }
}

} // namespace kelto
