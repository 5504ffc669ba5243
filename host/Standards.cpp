#include "Standards.h"

#include <algorithm>
#include <cmath>

#include "host/XmlDocument.h"

#include "platform/Automation.h"
#include "platform/EscapedText.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/Report.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {

const QString kLimitSource = QStringLiteral("Kelto.Limit");
const QString kCollectionSource = QStringLiteral("Kelto.StandardCollection");
const QString kStandardSource = QStringLiteral("Kelto.Standard");
const char* const kIndexNames[2] = {"High", "Low"};

bool isPlainFormula(const QString& formula)
{
    const QString f = formula.trimmed();
    return f.isEmpty() || f.compare(QStringLiteral("Y"), Qt::CaseInsensitive) == 0;
}

QString normalisedFormula(const QString& formula)
{
    QString f;
    for (const QChar c : formula)
        if (!c.isSpace())
            f += c.toUpper();
    return f;
}

const QString kKnownFormulas = QStringLiteral("\"Y\", \"X+Y\" or \"X+(X*Y%)\"");

void checkFormula(const QString& formula, const QString& key)
{
    if (!isKnownLimitFormula(formula))
        raiseError(vberr::InvalidProcedureCall, kLimitSource,
            QStringLiteral("The formula %1 of the limit %2 is none that a limit computes (%3).").arg(quotedValue(formula), key, kKnownFormulas));
}

// The preset as a number: anything that is not one (Empty, Null, text) counts as 0.
double presetNumber(const Variant& preset)
{
    if (preset.isNumeric())
        return valueOr([&] { return preset.toDouble(); }, 0.0);
    if (preset.isString()) {
        double v = 0;
        return parseNumber(preset.toString(), &v) ? v : 0.0;
    }
    return 0.0;
}

QString limitCellText(const Ptr<ILimit>& limit, int index, const Variant& preset, const QString& format)
{
    if (!limit || !limit->HasValue(index))
        return {};
    auto number = [&](float v) { return format.isEmpty() ? singleToString(v) : formatLimit(v, format); };
    const float y = limit->Value(index);
    const QString formula = limit->Formula(index);
    if (isPlainFormula(formula))
        return number(y);
    if (auto relative = query<IRelativeLimit>(limit); relative && preset.isNumeric())
        return number(relative->CalculateValue(static_cast<float>(presetNumber(preset)), index));
    // Without a preset the formula itself is the most useful text: "X+(X*15.0%)".
    QString text = formula;
    return text.replace(QLatin1Char('Y'), number(y));
}

// Where a fault stands, for the message: " (FILE, line N)" when known.
QString at(const Ptr<IXmlElement>& element)
{
    const QString where = xmlLocation(element);
    return where.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(where);
}

Ptr<IXmlElement> made(IXmlDocument& doc, const QString& name)
{
    auto element = doc.CreateElement(name);
    if (!element)
        raiseError(vberr::ObjectNotSet, kCollectionSource, QStringLiteral("The document could not make the element \"%1\" of the standards.").arg(name));
    return element;
}

QList<Ptr<ILimit>> limitsOfKey(const Ptr<IStandard>& standard, const QString& key)
{
    QList<Ptr<ILimit>> out;
    for (const auto& limit : standard->Limits())
        if (limit->Key() == key)
            out.append(limit);
    return out;
}

} // namespace

// ---- limit ------------------------------------------------------------------

int Limit::checkedIndex(int index)
{
    if (index != elvHigh && index != elvLow)
        raiseError(vberr::SubscriptOutOfRange, kLimitSource, QStringLiteral("Limit index %1 is neither 0 (high) nor 1 (low).").arg(index));
    return index;
}

void Limit::Initialize(const QString& key, const QString& unit, const QString& highFormula, const QString& lowFormula)
{
    checkFormula(highFormula, key);
    checkFormula(lowFormula, key);
    m_key = key;
    m_unit = unit;
    m_values = {};
    m_formulas = {highFormula, lowFormula};
}

bool Limit::HasValue(int index)
{
    return m_values[checkedIndex(index)].has_value();
}

float Limit::Value(int index)
{
    const auto& v = m_values[checkedIndex(index)];
    if (!v)
        raiseError(kLimitHasNoValue, kLimitSource, QStringLiteral("The limit %1 has no %2 value.").arg(m_key, QLatin1String(kIndexNames[index])));
    return *v;
}

void Limit::SetValue(int index, float value)
{
    m_values[checkedIndex(index)] = value;
}

void Limit::ClearValue(int index)
{
    m_values[checkedIndex(index)].reset();
}

QString Limit::Formula(int index)
{
    return formula(checkedIndex(index));
}

QString Limit::formula(int index) const
{
    // A side without a formula of its own takes the other side's: the built-in limits
    // put theirs on the high side only, and a -15 % low limit must not become -15 J.
    // A side's own formula, "Y" included, always stands: a file may give the sides
    // different ones.
    const QString& own = m_formulas[checkedIndex(index)];
    return own.trimmed().isEmpty() ? m_formulas[1 - index] : own;
}

void Limit::SetFormula(int index, const QString& formula)
{
    checkedIndex(index);
    checkFormula(formula, m_key);
    m_formulas[index] = formula;
}

float Limit::limitFor(int index, double preset) const
{
    const auto& v = m_values[checkedIndex(index)];
    if (!v)
        raiseError(kLimitHasNoValue, kLimitSource, QStringLiteral("The limit %1 has no %2 value.").arg(m_key, QLatin1String(kIndexNames[index])));
    // Judged in single precision, as the readings are.
    return static_cast<float>(evaluateLimitFormula(formula(index), preset, *v));
}

void Limit::copyInto(Limit& other) const
{
    other.m_key = m_key;
    other.m_unit = m_unit;
    other.m_values = m_values;
    other.m_formulas = m_formulas;
}

Ptr<Limit> Limit::copy() const
{
    auto c = std::make_shared<Limit>();
    copyInto(*c);
    return c;
}

float Limit::CalculateValue(float preset, int index)
{
    return limitFor(index, preset);
}

QString canonicalLimitFormula(const QString& formula)
{
    const QString f = normalisedFormula(formula);
    return f.isEmpty() ? QStringLiteral("Y") : f;
}

bool isKnownLimitFormula(const QString& formula)
{
    const QString f = normalisedFormula(formula);
    return f.isEmpty() || f == QLatin1String("Y") || f == QLatin1String("X+Y") || f == QLatin1String("X+(X*Y%)");
}

std::optional<float> limitValue(const QString& text)
{
    double v = 0;
    float single = 0;
    if (parseNumber(text, &v) && valueOr([&] { single = CSng(v); return true; }, false))
        return single;
    return std::nullopt;
}

QString refusedLimitValue(int index, const QString& text, const QString& key, const QString& alphaName, const QString& where)
{
    return QStringLiteral("The %1 value %2 of the limit %3 of the standard \"%4\"%5 is not a number of at most 3.4E+38 in size with \".\" as "
                          "the decimal separator.")
        .arg(QLatin1String(kIndexNames[index == elvLow ? 1 : 0]), quotedValue(text), key, alphaName, where);
}

double evaluateLimitFormula(const QString& formula, double x, double y)
{
    const QString f = normalisedFormula(formula);
    if (f == QLatin1String("X+Y"))
        return x + y;
    if (f == QLatin1String("X+(X*Y%)"))
        return x + x * y / 100.0;
    if (f.isEmpty() || f == QLatin1String("Y"))
        return y;
    raiseError(vberr::InvalidProcedureCall, kLimitSource,
        QStringLiteral("The limit formula %1 is none that a limit computes (%2).").arg(quotedValue(formula), kKnownFormulas));
}

Ptr<ILimit> copyLimit(const Ptr<ILimit>& limit)
{
    if (!limit)
        return nullptr;
    if (auto own = std::dynamic_pointer_cast<Limit>(limit))
        return own->copy();
    auto c = std::make_shared<Limit>();
    c->Initialize(limit->Key(), limit->Unit(), limit->Formula(0), limit->Formula(1));
    for (int i : {elvHigh, elvLow})
        if (limit->HasValue(i))
            c->SetValue(i, limit->Value(i));
    return c;
}

// ---- standard ---------------------------------------------------------------

void Standard::SetNames(const QString& alphaName, const QString& completeName, std::int32_t flags)
{
    m_alpha = alphaName;
    m_complete = completeName;
    m_flags = flags;
}

Ptr<ILimit> Standard::FindLimit(const QString& key)
{
    for (const auto& limit : m_limits)
        if (limit->Key() == key)
            return limit;
    return nullptr;
}

void Standard::AddLimit(const Ptr<ILimit>& limit)
{
    if (!limit)
        raiseError(vberr::ObjectNotSet, kStandardSource, QStringLiteral("No limit was given to add to the standard %1.").arg(m_alpha));
    if (m_limits.size() >= kMaxLimitsPerStandard)
        raiseError(vberr::Overflow, kStandardSource,
            QStringLiteral("The standard %1 already holds %2 limits, the most a standard can hold.").arg(m_alpha).arg(kMaxLimitsPerStandard));
    // A second limit of a key stands beside the first: both are judged.
    m_limits.append(limit);
}

void Standard::RemoveLimit(const QString& key)
{
    m_limits.removeIf([&](const Ptr<ILimit>& l) { return l->Key() == key; });
}

std::int32_t Standard::CheckValue(const QString& key, float value, const Variant& preset)
{
    const double x = presetNumber(preset);
    for (const auto& limit : m_limits) {
        if (limit->Key() != key)
            continue;
        for (int index : {elvHigh, elvLow}) {
            if (!limit->HasValue(index))
                continue;
            if (std::isnan(value))
                return emsFailed; // no number is not a pass
            const float bound = static_cast<float>(evaluateLimitFormula(limit->Formula(index), x, limit->Value(index)));
            if (index == elvHigh ? value > bound : value < bound)
                return emsFailed;
        }
    }
    return 0;
}

Ptr<IStandard> Standard::Copy()
{
    auto c = std::make_shared<Standard>();
    c->SetNames(m_alpha, m_complete, m_flags);
    for (const auto& limit : m_limits)
        c->m_limits.append(copyLimit(limit));
    return c;
}

void loadLimits(IXmlElement& element, Standard& standard)
{
    const QString alpha = standard.AlphaName();
    const auto limits = element.Children();
    int count = 0;
    for (int j = 0; j < limits->Count(); ++j) {
        const auto le = limits->Item(j);
        if (le->TagName() != QLatin1String("Limit"))
            continue;
        if (++count > kMaxLimitsPerStandard)
            raiseError(vberr::Overflow, kCollectionSource,
                QStringLiteral("The standard \"%1\"%2 holds more than %3 limits. Check that it is the right file.")
                    .arg(alpha, at(le))
                    .arg(kMaxLimitsPerStandard));
        const QString key = le->GetAttribute(QStringLiteral("Key"));
        QString formulas[2];
        std::optional<float> values[2];
        for (int index : {elvHigh, elvLow}) {
            const auto be = le->FindChild(QLatin1String(kIndexNames[index]), 0);
            if (!be)
                continue;
            formulas[index] = be->GetAttribute(QStringLiteral("Formula"));
            // A formula that cannot be computed would be judged as its bare value.
            if (!isKnownLimitFormula(formulas[index]))
                raiseError(vberr::InvalidProcedureCall, kCollectionSource,
                    QStringLiteral("The %1 formula %2 of the limit %3 of the standard \"%4\"%5 is none that a limit computes (%6). "
                                   "Correct it in the file or remove it.")
                        .arg(QLatin1String(kIndexNames[index]), quotedValue(formulas[index]), key, alpha, at(be), kKnownFormulas));
            const QString text = be->GetAttribute(QStringLiteral("Value"));
            if (text.isEmpty())
                continue;
            // A value that cannot be read would leave its side unjudged, and every
            // reading would pass it: the standard is refused instead.
            values[index] = limitValue(text);
            if (values[index])
                continue;
            double v = 0;
            raiseError(parseNumber(text, &v) ? vberr::Overflow : vberr::TypeMismatch, kCollectionSource,
                refusedLimitValue(index, text, key, alpha, at(be)) + QStringLiteral(" Correct it in the file or remove it."));
        }
        auto limit = std::make_shared<Limit>();
        limit->Initialize(key, le->GetAttribute(QStringLiteral("Unit")), formulas[0], formulas[1]);
        for (int index : {elvHigh, elvLow})
            if (values[index])
                limit->SetValue(index, *values[index]);
        standard.AddLimit(limit);
    }
}

void saveLimits(IXmlDocument& doc, IStandard& standard, IXmlElement& element)
{
    for (const auto& limit : standard.Limits()) {
        auto le = made(doc, QStringLiteral("Limit"));
        le->SetAttribute(QStringLiteral("Key"), limit->Key());
        le->SetAttribute(QStringLiteral("Unit"), limit->Unit());
        const auto ownLimit = std::dynamic_pointer_cast<Limit>(limit);
        for (int index : {elvHigh, elvLow}) {
            const bool hasValue = limit->HasValue(index);
            // Each side's formula as it was given: a file keeps what it held.
            const QString formula = ownLimit ? ownLimit->ownFormula(index) : limit->Formula(index);
            if (!hasValue && formula.isEmpty())
                continue;
            auto be = made(doc, QLatin1String(kIndexNames[index]));
            if (hasValue)
                be->SetAttribute(QStringLiteral("Value"), singleToExactString(limit->Value(index)));
            if (!formula.isEmpty())
                be->SetAttribute(QStringLiteral("Formula"), formula);
            le->AppendChild(be);
        }
        element.AppendChild(le);
    }
}

// ---- collection -------------------------------------------------------------

Ptr<IStandard> StandardCollection::Item(int index)
{
    if (index < 0 || index >= m_standards.size())
        raiseError(vberr::SubscriptOutOfRange, kCollectionSource, QStringLiteral("There is no standard number %1 (the collection holds %2).").arg(index).arg(m_standards.size()));
    return m_standards[index];
}

int StandardCollection::indexOf(const QString& alphaName, const QString& completeName) const
{
    return m_first.value(Names(alphaName, completeName), -1);
}

Ptr<IStandard> StandardCollection::Find(std::int32_t, const QString& alphaName, const QString& completeName)
{
    const int index = indexOf(alphaName, completeName);
    return index < 0 ? nullptr : m_standards[index];
}

void StandardCollection::append(const Ptr<IStandard>& standard)
{
    const Names names(standard->AlphaName(), standard->CompleteName());
    m_standards.append(standard);
    if (!m_first.contains(names))
        m_first.insert(names, static_cast<int>(m_standards.size() - 1));
}

void StandardCollection::Add(const Ptr<IStandard>& standard)
{
    if (!standard)
        raiseError(vberr::ObjectNotSet, kCollectionSource, QStringLiteral("No standard was given to add."));
    append(standard);
}

void StandardCollection::Clear()
{
    m_standards.clear();
    m_first.clear();
}

Ptr<IStandardCollection> StandardCollection::Clone()
{
    auto c = std::make_shared<StandardCollection>();
    for (const auto& s : m_standards)
        c->append(s->Copy());
    // No owner: the element that takes the copy binds it to itself.
    return c;
}

void StandardCollection::Load(const Ptr<IXmlElement>& element, const Ptr<IProtocolLog>&)
{
    if (!element)
        raiseError(vberr::ObjectNotSet, kCollectionSource, QStringLiteral("No element was given to read the standards from."));
    const auto standards = element->Children();
    for (int i = 0; i < standards->Count(); ++i) {
        const auto se = standards->Item(i);
        if (se->TagName() != QLatin1String("Standard"))
            continue;
        auto standard = std::make_shared<Standard>();
        const QString alpha = se->GetAttribute(QStringLiteral("Alpha"));
        const QString complete = se->GetAttribute(QStringLiteral("Complete"));
        // A standard is chosen, judged and shown by its names: of two with the same
        // names only one could ever be used, and the other's limits would be ignored.
        if (m_first.contains(Names(alpha, complete)))
            raiseError(vberr::InvalidProcedureCall, kCollectionSource,
                QStringLiteral("The standard \"%1\" (%2)%3 is given a second time. Join the limits of both into one standard, or rename one, in the file.")
                    .arg(alpha.left(80), complete.left(80), at(se)));
        // A standard stored without flags has none.
        const QString flags = se->GetAttribute(QStringLiteral("Flags"));
        standard->SetNames(alpha, complete,
            flags.isEmpty() ? 0 : storedLong(flags, QStringLiteral("The Flags of standard \"%1\"").arg(alpha), kCollectionSource));
        loadLimits(*se, *standard);
        append(standard);
    }
}

Ptr<IXmlElement> StandardCollection::Save(const Ptr<IXmlDocument>& doc)
{
    if (!doc)
        raiseError(vberr::ObjectNotSet, kCollectionSource, QStringLiteral("No document was given to write the standards into."));
    auto root = doc->CreateElement(QStringLiteral("Standards"));
    if (!root)
        return nullptr;
    // What is written must open again: a second standard of the same names would not.
    if (m_first.size() != m_standards.size()) {
        for (int i = 0; i < m_standards.size(); ++i) {
            const Ptr<IStandard>& s = m_standards[i];
            if (indexOf(s->AlphaName(), s->CompleteName()) != i)
                raiseError(vberr::InvalidProcedureCall, kCollectionSource,
                    QStringLiteral("The limits hold the standard \"%1\" (%2) twice; remove one before saving.").arg(s->AlphaName(), s->CompleteName()));
        }
    }
    for (const auto& standard : m_standards) {
        auto se = made(*doc, QStringLiteral("Standard"));
        se->SetAttribute(QStringLiteral("Alpha"), standard->AlphaName());
        se->SetAttribute(QStringLiteral("Complete"), standard->CompleteName());
        auto own = std::dynamic_pointer_cast<Standard>(standard);
        se->SetAttribute(QStringLiteral("Flags"), QString::number(own ? own->flags() : 0));
        saveLimits(*doc, *standard, *se);
        root->AppendChild(se);
    }
    return root;
}

void StandardCollection::PrintReport(const Ptr<IReport>& report, const Ptr<IStandardCollection>& selected, const Variant& measurementTable)
{
    if (!report || !measurementTable.isArray())
        return;
    // Without a selection every standard of the test is printed.
    QList<Ptr<IStandard>> standards;
    if (!selected) {
        standards = m_standards;
    } else if (const auto chosen = std::dynamic_pointer_cast<StandardCollection>(selected)) {
        // In the order of the selection, at the cost of our own standards: a report
        // asks each of a sequence's elements with the same, possibly long, selection.
        QList<QPair<int, Ptr<IStandard>>> placed;
        for (int i = 0; i < m_standards.size(); ++i) {
            const Ptr<IStandard>& own = m_standards[i];
            const int place = chosen->indexOf(own->AlphaName(), own->CompleteName());
            if (place >= 0 && indexOf(own->AlphaName(), own->CompleteName()) == i)
                placed.append({place, own});
        }
        std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& p : placed)
            standards.append(p.second);
    } else {
        for (int i = 0; i < selected->Count(); ++i) {
            const auto s = selected->Item(i);
            if (auto own = s ? Find(0, s->AlphaName(), s->CompleteName()) : nullptr)
                standards.append(own);
        }
    }
    if (standards.isEmpty())
        return;

    const QString owner = QStringLiteral("Kelto");
    auto tr = [&](const char* text) { return valueOr([&] { return report->Translate(owner, QString::fromUtf8(text)); }, QString::fromUtf8(text)); };

    QString rows;
    // Rows of the table: (key, caption, number format, measurement).
    for (const Variant& row : measurementTable.toArray()) {
        if (!row.isArray() || row.toArray().size() < 3)
            continue;
        const VariantArray& cells = row.toArray();
        const QString key = cells[0].toString();
        const QString caption = cells[1].toString();
        const QString format = cells[2].toString();
        Variant preset;
        if (cells.size() > 3 && cells[3].isObject())
            if (auto m = cells[3].toInterface<IMeasurement>())
                ignoreErrors([&] { preset = m->PresetValue(); });
        for (const auto& standard : standards) {
            // Every limit of the key is judged, so every one is printed; numbered keys
            // share the limits of their stem.
            QList<Ptr<ILimit>> limits = limitsOfKey(standard, key);
            if (limits.isEmpty())
                limits = limitsOfKey(standard, key.left(4));
            for (const auto& limit : limits) {
                QString high, low;
                ignoreErrors([&] { high = limitCellText(limit, elvHigh, preset, format); });
                ignoreErrors([&] { low = limitCellText(limit, elvLow, preset, format); });
                rows += QStringLiteral("|      ") + caption + QLatin1Char('|') + standard->AlphaName() + QLatin1Char('|') + high + QLatin1Char('|')
                        + low + QLatin1Char('|') + limit->Unit() + QLatin1Char(';');
            }
        }
    }
    if (rows.isEmpty())
        return;

    std::int32_t w = 0;
    ignoreErrors([&] { w = (report->Width(10) - 2800) / 4; });
    const QString ws = QString::number(w);
    const QString format = QStringLiteral("<+560|<2240|<+%1|>+%1|>+%1|^+%1;").arg(ws);
    const QString header = QStringLiteral("|{\\i\\b %1}|{\\i\\b %2}|{\\i\\b %3}|{\\i\\b %4}|{\\i\\b %5};")
                               .arg(tr("Limits"), tr("Standard"), tr("High limit"), tr("Low limit"), tr("Unit"));
    ignoreErrors([&] { report->TableSettingA(7); });
    ignoreErrors([&] { report->TableSettingB(0); });
    ignoreErrors([&] { report->TableSettingC(1); });
    report->PrintTable(format, header, rows, 0, 0, 0);
}

} // namespace kelto::host
