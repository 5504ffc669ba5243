#include "host/JudgementRecord.h"

#include <algorithm>
#include <QSet>
#include <optional>

#include "host/HostLog.h"
#include "host/Judgement.h"
#include "host/XmlDocument.h"
#include "platform/Automation.h"
#include "platform/Deref.h"
#include "platform/EscapedText.h"
#include "platform/PluginError.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {

const QString kSource = QStringLiteral("Kelto.JudgementRecord");
const QString kValues = QStringLiteral("Values");
const QString kPreset = QStringLiteral("Preset");
const QString kStandard = QStringLiteral("Standard");

// A reading kind of a result: the first four characters of its keys, which select
// its limits, its preset and the first reading of the kind, which the views print by.
struct ReadingKind {
    QString key;
    std::optional<float> preset;
    Ptr<IMeasurement> reading;
};

// The kind of the key; null where the result reads none of it.
const ReadingKind* kindOf(const QList<ReadingKind>& kinds, const QString& key)
{
    const auto found = std::find_if(kinds.cbegin(), kinds.cend(), [&](const ReadingKind& kind) { return kind.key == key; });
    return found == kinds.cend() ? nullptr : &*found;
}

// The kinds of the readings that limits judge, in the result's order.
QList<ReadingKind> readingKinds(const Ptr<ITestElement>& element)
{
    QList<ReadingKind> kinds;
    ignoreErrors([&] {
        for (const Ptr<IMeasurement>& reading : judgedReadings(deref(element, kSource).Result())) {
            const QString key = reading->LimitKey().left(4);
            if (kindOf(kinds, key))
                continue;
            const Variant preset = reading->PresetValue();
            std::optional<float> value;
            if (!preset.isEmpty() && !preset.isNull())
                ignoreErrors([&] { value = preset.toSingle(); });
            kinds.append({key, value, reading});
        }
    });
    return kinds;
}

// The presets of the kinds that have one, in the result's order.
QList<QPair<QString, float>> presetsOf(const QList<ReadingKind>& kinds)
{
    QList<QPair<QString, float>> presets;
    for (const ReadingKind& kind : kinds) {
        if (kind.preset)
            presets.append({kind.key, *kind.preset});
    }
    return presets;
}

QSet<QString> keysOf(const QList<ReadingKind>& kinds)
{
    QSet<QString> keys;
    for (const ReadingKind& kind : kinds)
        keys.insert(kind.key);
    return keys;
}

QList<Ptr<ILimit>> limitsOf(const Ptr<IStandard>& standard, const QSet<QString>& keys)
{
    QList<Ptr<ILimit>> limits;
    for (const Ptr<ILimit>& limit : standard ? standard->Limits() : QList<Ptr<ILimit>>()) {
        if (limit && keys.contains(limit->Key()))
            limits.append(limit);
    }
    return limits;
}

// Both judge alike: the same key, and on each side the same value and formula.
bool sameLimit(ILimit& a, ILimit& b)
{
    if (a.Key() != b.Key())
        return false;
    for (const int side : {elvHigh, elvLow}) {
        if (a.HasValue(side) != b.HasValue(side))
            return false;
        if (a.HasValue(side) && (a.Value(side) != b.Value(side) || canonicalLimitFormula(a.Formula(side)) != canonicalLimitFormula(b.Formula(side))))
            return false;
    }
    return true;
}

Ptr<IXmlElement> made(IXmlDocument& doc, const QString& name)
{
    const Ptr<IXmlElement> element = doc.CreateElement(name);
    deref(element, kSource);
    return element;
}

float presetOf(const QList<QPair<QString, float>>& presets, const QString& key)
{
    for (const auto& [presetKey, value] : presets) {
        if (presetKey == key)
            return value;
    }
    return 0; // a reading without a preset is judged with 0
}

} // namespace

JudgementRecord JudgementRecord::taken(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected)
{
    JudgementRecord record;
    record.m_values = true;
    const QList<ReadingKind> kinds = readingKinds(element);
    record.m_presets = presetsOf(kinds);
    const QSet<QString> keys = keysOf(kinds);
    ignoreErrors([&] {
        const Ptr<IStandardCollection> own = deref(deref(element, kSource).Limits(), kSource).Standards();
        for (int i = 0; own && selected && i < selected->Count(); ++i) {
            const Ptr<IStandard> chosen = selected->Item(i);
            const Ptr<IStandard> judging = chosen ? own->Find(0, chosen->AlphaName(), chosen->CompleteName()) : nullptr;
            if (!judging || record.m_standards->Find(0, judging->AlphaName(), judging->CompleteName()))
                continue;
            auto kept = std::make_shared<Standard>();
            kept->SetNames(judging->AlphaName(), judging->CompleteName(), 1);
            for (const Ptr<ILimit>& limit : limitsOf(judging, keys))
                kept->AddLimit(copyLimit(limit));
            record.m_standards->Add(kept);
        }
    });
    return record;
}

JudgementRecord JudgementRecord::read(IXmlElement& judged, const Ptr<ITestElement>& element)
{
    JudgementRecord record;
    record.m_values = judged.GetAttribute(kValues) == QLatin1String("True");
    // Each preset is a row of the report: a record holds one for each kind of reading.
    const qsizetype kinds = readingKinds(element).size();
    QSet<QString> keys;
    const auto children = judged.Children();
    for (int i = 0; i < children->Count(); ++i) {
        const Ptr<IXmlElement> child = children->Item(i);
        if (record.m_values && child->TagName() == kPreset) {
            const QString key = child->GetAttribute(QStringLiteral("Key"));
            if (keys.contains(key))
                raiseError(vberr::InvalidProcedureCall, kSource,
                    QStringLiteral("The preset %1 that judged the result (%2) is given a second time. Remove one of them in the file.")
                        .arg(quotedValue(key), xmlLocation(child)));
            keys.insert(key);
            if (keys.size() > kinds)
                raiseError(vberr::Overflow, kSource,
                    QStringLiteral("The presets that judged the result (%1) are more than the %2 its readings take, one for each kind "
                                   "of reading. Check that it is the right file.")
                        .arg(xmlLocation(child))
                        .arg(kinds));
            record.m_presets.append({key, storedSingle(child->GetAttribute(QStringLiteral("Value")),
                                              QStringLiteral("The preset %1 that judged the result (%2)").arg(quotedValue(key), xmlLocation(child)), kSource)});
            continue;
        }
        if (child->TagName() != kStandard)
            continue;
        const QString alpha = child->GetAttribute(QStringLiteral("Alpha"));
        const QString complete = child->GetAttribute(QStringLiteral("Complete"));
        if (record.m_standards->Find(0, alpha, complete))
            continue;
        auto standard = std::make_shared<Standard>();
        standard->SetNames(alpha, complete, 1);
        if (record.m_values)
            loadLimits(*child, *standard);
        record.m_standards->Add(standard);
    }
    return record;
}

Ptr<IXmlElement> JudgementRecord::write(IXmlDocument& doc) const
{
    const Ptr<IXmlElement> judged = made(doc, kElement);
    if (m_values)
        judged->SetAttribute(kValues, QStringLiteral("True"));
    for (const auto& [key, value] : m_presets) {
        const Ptr<IXmlElement> preset = made(doc, kPreset);
        preset->SetAttribute(QStringLiteral("Key"), key);
        preset->SetAttribute(QStringLiteral("Value"), singleToExactString(value));
        judged->AppendChild(preset);
    }
    for (int i = 0; i < m_standards->Count(); ++i) {
        const Ptr<IStandard> standard = m_standards->Item(i);
        const Ptr<IXmlElement> named = made(doc, kStandard);
        named->SetAttribute(QStringLiteral("Alpha"), standard->AlphaName());
        named->SetAttribute(QStringLiteral("Complete"), standard->CompleteName());
        if (m_values)
            saveLimits(doc, *standard, *named);
        judged->AppendChild(named);
    }
    return judged;
}

Ptr<IStandardCollection> JudgementRecord::standards() const
{
    auto names = std::make_shared<StandardCollection>();
    for (int i = 0; i < m_standards->Count(); ++i) {
        auto named = std::make_shared<Standard>();
        named->SetNames(m_standards->Item(i)->AlphaName(), m_standards->Item(i)->CompleteName(), 1);
        names->Add(named);
    }
    return names;
}

bool JudgementRecord::differsFrom(const Ptr<ITestElement>& element) const
{
    if (!m_values)
        return false;
    const QList<ReadingKind> kinds = readingKinds(element);
    const QList<QPair<QString, float>> presets = presetsOf(kinds);
    if (presets.size() != m_presets.size())
        return true;
    for (const auto& [key, value] : m_presets) {
        if (!presets.contains(qMakePair(key, value)))
            return true;
    }
    const QSet<QString> keys = keysOf(kinds);
    const Ptr<IStandardCollection> own = valueOr([&] { return deref(deref(element, kSource).Limits(), kSource).Standards(); }, Ptr<IStandardCollection>());
    for (int i = 0; i < m_standards->Count(); ++i) {
        const Ptr<IStandard> recorded = m_standards->Item(i);
        const QList<Ptr<ILimit>> judged = limitsOf(recorded, keys);
        const QList<Ptr<ILimit>> present = limitsOf(own ? own->Find(0, recorded->AlphaName(), recorded->CompleteName()) : nullptr, keys);
        if (judged.size() != present.size())
            return true;
        for (int j = 0; j < judged.size(); ++j) {
            if (!valueOr([&] { return sameLimit(*judged[j], *present[j]); }, false))
                return true;
        }
    }
    return false;
}

bool JudgementRecord::limitsAnyOf(const Ptr<ITestElement>& element, const QList<Ptr<IMeasurement>>& readings) const
{
    if (!m_values)
        return !judgedByNoLimit(element, standards());
    QSet<QString> keys;
    for (const Ptr<IMeasurement>& reading : readings)
        keys.insert(valueOr([&] { return reading->LimitKey().left(4); }, QString()));
    for (int i = 0; i < m_standards->Count(); ++i) {
        for (const Ptr<ILimit>& limit : limitsOf(m_standards->Item(i), keys)) {
            if (limit->HasValue(elvHigh) || limit->HasValue(elvLow))
                return true;
        }
    }
    return false;
}

Ptr<IStandardCollection> JudgementRecord::judgingLimits() const
{
    auto standards = std::make_shared<StandardCollection>();
    for (int i = 0; i < m_standards->Count(); ++i) {
        const Ptr<IStandard> recorded = m_standards->Item(i);
        auto judging = std::make_shared<Standard>();
        judging->SetNames(recorded->AlphaName(), recorded->CompleteName(), 1);
        for (const Ptr<ILimit>& limit : recorded->Limits()) {
            auto value = std::make_shared<Limit>();
            value->Initialize(limit->Key(), limit->Unit(), QString(), QString());
            for (const int side : {elvHigh, elvLow}) {
                if (limit->HasValue(side))
                    value->SetValue(side, deref(query<IRelativeLimit>(limit), kSource).CalculateValue(presetOf(m_presets, limit->Key()), side));
            }
            judging->AddLimit(value);
        }
        standards->Add(judging);
    }
    return standards;
}

bool JudgementRecord::contradicts(const Ptr<ITestElement>& element, const QString& statusText) const
{
    if (!m_values)
        return false;
    // What cannot be asked proves nothing.
    return valueOr(
        [&] {
            const Ptr<IResultData> result = deref(element, kSource).Result();
            const std::int32_t status = deref(result, kSource).Status();
            if (status != emsPassed && status != emsFailed)
                return false;
            // Judged by the element's own class of limits, holding the recorded standards
            // with each side at the value it judged by.
            const Ptr<ILimitData> judging = deref(element->Limits(), kSource).Clone();
            deref(judging, kSource);
            const Ptr<IStandardCollection> held = judging->Standards();
            const Ptr<IStandardCollection> recorded = judgingLimits();
            if (!held && recorded->Count() > 0)
                return false;
            if (held) {
                held->Clear();
                for (int i = 0; i < recorded->Count(); ++i)
                    held->Add(recorded->Item(i));
            }
            const Ptr<IStandardCollection> selected = standards();
            const QList<Ptr<IMeasurement>> readings = judgedReadings(result);
            // The operator's verdict on a waveform is no limit's to contradict.
            if (readings.isEmpty())
                return false;
            bool anyFails = false;
            bool failedReadingPasses = false;
            for (const Ptr<IMeasurement>& reading : readings) {
                // A judgement that cannot be made is no pass, as in a run.
                const bool fails = valueOr(
                    [&] {
                        const Ptr<IStandardCollection> failed = judging->FindFailedStandards(reading, selected);
                        return failed && failed->Count() > 0;
                    },
                    true);
                const std::int32_t own = reading->Status();
                if (own == emsPassed && fails)
                    return true;
                failedReadingPasses = failedReadingPasses || (own == emsFailed && !fails);
                anyFails = anyFails || fails;
            }
            if (status == emsPassed)
                return anyFails || failedReadingPasses;
            return statusText.isEmpty() && (!anyFails || failedReadingPasses);
        },
        false);
}

Ptr<ITestElement> JudgementRecord::judgedElement(const Ptr<ITestElement>& element) const
{
    const Ptr<ITestElement> copy = deref(element, kSource).Clone();
    auto doc = std::make_shared<XmlDocument>();
    const Ptr<IXmlElement> result = deref(element->Result(), kSource).Save(doc);
    deref(result, kSource);
    deref(copy, kSource).Load(result, nullptr);
    takePresets(copy, result);
    const Ptr<IXmlElement> limits = judgingLimits()->Save(doc);
    deref(limits, kSource).SetTagName(QStringLiteral("ExpectedResult"));
    deref(copy->Limits(), kSource).Load(limits, nullptr);
    return copy;
}

void JudgementRecord::takePresets(const Ptr<ITestElement>& copy, const Ptr<IXmlElement>& result) const
{
    IConfigData& config = deref(copy->Configuration(), kSource);
    auto doc = std::make_shared<XmlDocument>();
    const Ptr<IXmlElement> settings = config.Save(doc);
    deref(settings, kSource);
    const auto children = settings->Children();
    // A setting that does not take a value it is tried with keeps its own, unsaid.
    const HostLog::Quiet quiet;
    for (const auto& preset : m_presets) {
        // Not a structured binding: lambdas take these.
        const QString& key = preset.first;
        const float value = preset.second;
        const auto presetNow = [&] {
            const QList<ReadingKind> kinds = readingKinds(copy);
            const ReadingKind* kind = kindOf(kinds, key);
            return kind ? kind->preset : std::nullopt;
        };
        const std::optional<float> present = presetNow();
        // The setting that gives the kind its preset holds it now; changed, the copy's
        // result, laid out afresh from the settings, shows whether it was that one.
        for (int i = 0; present && *present != value && i < children->Count(); ++i) {
            const Ptr<IXmlElement> setting = children->Item(i);
            const QString text = setting->Text();
            if (!valueOr([&] { return storedSingle(text, key) == *present; }, false))
                continue;
            const auto settle = [&](const QString& held) {
                setting->SetText(held);
                config.Load(settings, nullptr);
                copy->Load(result, nullptr);
            };
            settle(singleToExactString(value));
            if (presetNow() == value)
                break;
            settle(text);
        }
    }
}

QList<QStringList> JudgementRecord::presetCells(const Ptr<ITestElement>& element) const
{
    const QList<ReadingKind> kinds = readingKinds(element);
    QList<QStringList> cells;
    for (const auto& preset : m_presets) {
        const QString& key = preset.first;
        const float value = preset.second;
        const ReadingKind* kind = kindOf(kinds, key);
        const Ptr<IMeasurement> reading = kind ? kind->reading : nullptr;
        const QString caption = reading ? valueOr([&] { return reading->Description(); }, key) : key;
        const QString format = reading ? valueOr([&] { return reading->ValueFormat(); }, QString()) : QString();
        cells.append({caption.isEmpty() ? key : caption, format.isEmpty() ? singleToString(value) : formatLimit(value, format),
            reading ? valueOr([&] { return reading->Unit(); }, QString()) : QString()});
    }
    return cells;
}

QString JudgementRecord::describe(const Ptr<ITestElement>& element) const
{
    QStringList lines;
    for (const QStringList& preset : presetCells(element))
        lines << QStringLiteral("%1: preset %2 %3").arg(preset[0], preset[1], preset[2]).trimmed();
    const QList<ReadingKind> kinds = readingKinds(element);
    const Ptr<IStandardCollection> judging = judgingLimits();
    for (int i = 0; i < judging->Count(); ++i) {
        const Ptr<IStandard> standard = judging->Item(i);
        QStringList limits;
        for (const Ptr<ILimit>& limit : standard->Limits()) {
            const ReadingKind* kind = kindOf(kinds, limit->Key());
            const QString format = kind ? valueOr([&] { return kind->reading->ValueFormat(); }, QString()) : QString();
            const QString caption = kind ? valueOr([&] { return kind->reading->Description(); }, limit->Key()) : limit->Key();
            QStringList sides;
            for (const int side : {elvHigh, elvLow}) {
                if (limit->HasValue(side))
                    sides << QStringLiteral("%1 %2 %3")
                                 .arg(side == elvHigh ? QStringLiteral("high") : QStringLiteral("low"),
                                     format.isEmpty() ? singleToString(limit->Value(side)) : formatLimit(limit->Value(side), format), limit->Unit())
                                 .trimmed();
            }
            if (!sides.isEmpty())
                limits << QStringLiteral("%1 %2").arg(caption, sides.join(QStringLiteral(", ")));
        }
        lines << QStringLiteral("%1: %2").arg(standard->AlphaName(), limits.isEmpty() ? QStringLiteral("no limits") : limits.join(QStringLiteral("; ")));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace kelto::host
