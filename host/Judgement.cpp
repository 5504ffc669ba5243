#include "host/Judgement.h"

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

bool takesLimits(const Ptr<IMeasurement>& reading)
{
    const Ptr<IMeasurement2> asked = query<IMeasurement2>(reading);
    return asked && (asked->SupportsLimit(elvHigh) || asked->SupportsLimit(elvLow));
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

QString noLimitsNote()
{
    return QStringLiteral("no limits: not judged");
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

QString unrecordedJudgementNote(const Ptr<ITestElement>& element)
{
    const bool passed = valueOr([&] { return deref(deref(element).Result()).Status() == emsPassed; }, false);
    const Ptr<IStandardCollection> own = valueOr([&] { return deref(element->Limits()).Standards(); }, Ptr<IStandardCollection>());
    return passed && judgedByNoLimit(element, own) ? noLimitsNote() : unrecordedNote();
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

} // namespace kelto::host
