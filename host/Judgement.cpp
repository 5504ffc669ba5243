#include "host/Judgement.h"

#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "host/JudgementRecord.h"
#include "host/Standards.h"
#include "platform/Deref.h"
#include "platform/PluginError.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {

bool hasValue(const Ptr<ILimit>& limit)
{
    return limit && (limit->HasValue(elvHigh) || limit->HasValue(elvLow));
}

// Whether a standard of the element with the names of one of the selection has a
// limit value for the key (readings are judged by the first four characters).
bool limitedBy(const Ptr<IStandardCollection>& own, const Ptr<IStandardCollection>& selected, const QString& key4)
{
    // Led by the element's own standards: the selection may name thousands, and it
    // is asked for every element. The first standard of each names is the judged one.
    for (int i = 0; i < own->Count(); ++i) {
        const Ptr<IStandard> standard = own->Item(i);
        if (!standard || !selected->Find(0, standard->AlphaName(), standard->CompleteName())
            || own->Find(0, standard->AlphaName(), standard->CompleteName()) != standard)
            continue;
        for (const Ptr<ILimit>& limit : standard->Limits()) {
            if (limit && limit->Key() == key4 && hasValue(limit))
                return true;
        }
    }
    return false;
}

// A reading that holds a number (not Empty, Null, "NOSYNC" or NaN).
bool hasNumber(const Variant& value)
{
    if (value.isEmpty() || value.isNull())
        return false;
    const double number = valueOr([&] { return value.toDouble(); }, std::nan(""));
    return !std::isnan(number);
}

// Every reading but the operator's verdict: not by whether it takes a limit now, since
// a save leaves a "NOSYNC" reading typed as text, and a file may give any type.
bool takesLimits(const Ptr<IMeasurement>& reading)
{
    return reading && reading->ValueType() != evtBoolean;
}

// The waveform checks, whose verdict is the operator's tick and no limit's.
bool judgedByOperator(const Ptr<ITestElement>& element)
{
    const std::int32_t testId = valueOr([&] { return deref(element).TestID(); }, 0);
    return testId == 900 || testId == 1000 || testId == 1100;
}

} // namespace

QList<Ptr<IMeasurement>> judgedReadings(const Ptr<IResultData>& result)
{
    QList<Ptr<IMeasurement>> readings;
    for (int i = 1; i <= deref(result).MeasurementCount(); ++i) {
        if (const Ptr<IMeasurement> reading = result->Measurement(Variant(i)); takesLimits(reading))
            readings.append(reading);
    }
    return readings;
}

QString unrecordedNote()
{
    return QStringLiteral("judged against unrecorded standards");
}

QString judgedWithOtherNote()
{
    return QStringLiteral("judged with other settings or limits");
}

QString contradictedNote()
{
    return QStringLiteral("its readings give another verdict");
}

QString ShownResult::text() const
{
    return reason.isEmpty() ? word : QStringLiteral("%1 (%2)").arg(word, reason);
}

QString ShownResult::badge() const
{
    switch (look) {
    case ResultLook::Passed: return QStringLiteral("Passed");
    case ResultLook::Failed: return QStringLiteral("Failed");
    case ResultLook::NotJudged: return QStringLiteral("Not judged");
    case ResultLook::NotApplicable: return QStringLiteral("N/A");
    case ResultLook::None:
    case ResultLook::NotEvaluated: break;
    }
    return QString();
}

QColor lookColour(ResultLook look)
{
    switch (look) {
    case ResultLook::Passed: return QColor(0x2e, 0x8b, 0x57);
    case ResultLook::Failed: return QColor(0xc6, 0x28, 0x28);
    case ResultLook::NotJudged: return QColor(0xff, 0xc1, 0x07);
    case ResultLook::NotApplicable: return QColor(0xbd, 0xbd, 0xbd);
    case ResultLook::None:
    case ResultLook::NotEvaluated: break;
    }
    return QColor();
}

ShownResult shownResult(const Ptr<ITestElement>& element, std::int32_t status, const Judging& judging)
{
    // Why no limit judges its readings, said before a run too.
    const auto unlimited = [&](const Ptr<IStandardCollection>& standards, bool judged) {
        if (standards && standardsJudging(element, standards)->Count() == 0)
            return judged ? QStringLiteral("no standard judged it") : QStringLiteral("no standard judges it");
        return QStringLiteral("no limits for its readings");
    };
    switch (status) {
    case emsNone: {
        const bool told = judging.standards && judgedByNoLimit(element, judging.standards);
        return {QStringLiteral("not evaluated"), told ? unlimited(judging.standards, false) : QString(), ResultLook::NotEvaluated};
    }
    case emsNotApplicable: return {QStringLiteral("not applicable"), QString(), ResultLook::NotApplicable};
    case emsFailed: {
        const bool unrecorded = !judging.standards && !judging.other && holdsJudgedReadings(element);
        return {QStringLiteral("failed"), !judging.otherNote.isEmpty() ? judging.otherNote : unrecorded ? unrecordedNote() : QString(), ResultLook::Failed};
    }
    case emsPassed: break;
    default: return {QString::number(status), QString(), ResultLook::None};
    }
    // The operator's verdict on a waveform is its judgement.
    if (judgedByOperator(element))
        return {QStringLiteral("passed"), judging.otherNote, ResultLook::Passed};
    // Any other pass stands only on readings a limit judged: none, or none that can be
    // read, is no evidence.
    const QList<Ptr<IMeasurement>> readings = valueOr([&] { return judgedReadings(deref(element).Result()); }, QList<Ptr<IMeasurement>>());
    if (readings.isEmpty())
        return {QStringLiteral("not judged"), QStringLiteral("no reading to judge"), ResultLook::NotJudged};
    // A place no discharge reached, or a reply that carried no reading, passed only
    // because nothing limited it: the run said it failed.
    int missing = 0;
    for (const Ptr<IMeasurement>& reading : readings)
        missing += valueOr([&] { return hasNumber(reading->value()) ? 0 : 1; }, 1);
    const Ptr<IStandardCollection> own = valueOr([&] { return deref(element->Limits()).Standards(); }, Ptr<IStandardCollection>());
    // Nothing records what judged it: where the element's own standards give its
    // readings no limit, nothing can have judged them.
    const Ptr<IStandardCollection> judgedBy = judging.standards ? judging.standards : own;
    const bool limited = judging.other ? judging.other->limitsAnyOf(element, readings) : !judgedByNoLimit(element, judgedBy);
    QStringList why;
    // A pass its own record does not bear out was judged by nothing that stands.
    if (judging.otherNote == contradictedNote())
        why << contradictedNote();
    if (!limited)
        why << unlimited(judging.standards, true);
    if (missing > 0)
        why << (missing == 1 ? QStringLiteral("no reading at 1 place") : QStringLiteral("no reading at %1 places").arg(missing));
    if (!why.isEmpty())
        return {QStringLiteral("not judged"), why.join(QStringLiteral("; ")), ResultLook::NotJudged};
    return {QStringLiteral("passed"), !judging.otherNote.isEmpty() ? judging.otherNote : judging.standards || judging.other ? QString() : unrecordedNote(),
        ResultLook::Passed};
}

bool holdsJudgedReadings(const Ptr<ITestElement>& element)
{
    return valueOr(
        [&] {
            const Ptr<IResultData> result = deref(element).Result();
            if (!result || (result->Status() != emsPassed && result->Status() != emsFailed))
                return false;
            return !judgedReadings(result).isEmpty();
        },
        false);
}

bool judgedByNoLimit(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected)
{
    // What cannot be read is not claimed either way.
    return valueOr(
        [&] {
            const Ptr<IResultData> result = deref(element).Result();
            if (!result)
                return false;
            const Ptr<ILimitData> limits = element->Limits();
            const Ptr<IStandardCollection> own = limits ? limits->Standards() : nullptr;
            const QList<Ptr<IMeasurement>> readings = judgedReadings(result);
            for (const Ptr<IMeasurement>& reading : readings) {
                if (own && selected && limitedBy(own, selected, reading->LimitKey().left(4)))
                    return false;
            }
            return !readings.isEmpty();
        },
        false);
}

Ptr<IStandardCollection> standardsJudging(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected)
{
    auto judging = std::make_shared<StandardCollection>();
    ignoreErrors([&] {
        const Ptr<IStandardCollection> own = deref(deref(element).Limits()).Standards();
        for (int i = 0; own && selected && i < selected->Count(); ++i) {
            const Ptr<IStandard> chosen = selected->Item(i);
            if (!chosen || !own->Find(0, chosen->AlphaName(), chosen->CompleteName()))
                continue;
            auto named = std::make_shared<Standard>();
            named->SetNames(chosen->AlphaName(), chosen->CompleteName(), 1);
            judging->Add(named);
        }
    });
    return judging;
}

Ptr<IStandardCollection> standardsHeldBy(const QList<Ptr<ITestElement>>& elements)
{
    auto held = std::make_shared<StandardCollection>();
    for (const Ptr<ITestElement>& element : elements) {
        ignoreErrors([&] {
            const Ptr<IStandardCollection> standards = deref(deref(element).Limits()).Standards();
            for (int i = 0; standards && i < standards->Count(); ++i) {
                const Ptr<IStandard> standard = standards->Item(i);
                if (!standard || held->Find(0, standard->AlphaName(), standard->CompleteName()))
                    continue;
                auto named = std::make_shared<Standard>();
                named->SetNames(standard->AlphaName(), standard->CompleteName(), 1);
                held->Add(named);
            }
        });
    }
    return held;
}

QList<OfferedStandard> standardsOffered(const Ptr<ITestElement>& element, const QList<Ptr<ITestElement>>& prototypes)
{
    QSet<QString> keys;
    ignoreErrors([&] {
        const Variant rows = deref(element).GetMeasurementList();
        for (const Variant& row : rows.toArray())
            keys.insert(row.toArray().value(0).toString().left(4));
    });
    const std::int32_t testId = valueOr([&] { return element->TestID(); }, -1);
    QList<OfferedStandard> offered;
    for (const Ptr<ITestElement>& prototype : prototypes) {
        ignoreErrors([&] {
            const Ptr<IStandardCollection> standards = deref(deref(prototype).Limits()).Standards();
            const bool sameType = prototype->TestID() == testId;
            for (int i = 0; standards && i < standards->Count(); ++i) {
                const Ptr<IStandard> standard = standards->Item(i);
                bool limits = false;
                for (const Ptr<ILimit>& limit : sameType ? standard->Limits() : QList<Ptr<ILimit>>())
                    limits = limits || (limit && keys.contains(limit->Key()) && hasValue(limit));
                const auto held = std::find_if(offered.begin(), offered.end(), [&](const OfferedStandard& o) {
                    return o.alphaName == standard->AlphaName() && o.completeName == standard->CompleteName();
                });
                if (held == offered.end())
                    offered.append({standard->AlphaName(), standard->CompleteName(), limits});
                else
                    held->limitsReadings = held->limitsReadings || limits;
            }
        });
    }
    std::stable_partition(offered.begin(), offered.end(), [](const OfferedStandard& o) { return o.limitsReadings; });
    return offered;
}

} // namespace kelto::host
