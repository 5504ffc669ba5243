#include <gtest/gtest.h>

#include "ResultTestSupport.h"
#include "results/CResultSeries.h"

using namespace kelto;
using namespace kelto::resulttest;

namespace {

QStringList keysOf(CResultBase& result)
{
    QStringList keys;
    for (int i = 1; i <= result.MeasurementCount(); ++i)
        keys << result.Measurement(Variant(i))->Key();
    return keys;
}

QStringList expectedKeys(const QString& base, int count)
{
    QStringList keys;
    for (int n = 1; n <= count; ++n)
        keys << base + QString::number(n);
    return keys;
}

// Values of the places in order: the number, "-" for an empty place.
QString valuesOf(CResultBase& result)
{
    QStringList out;
    for (int i = 1; i <= result.MeasurementCount(); ++i) {
        const Variant v = result.Measurement(Variant(i))->value();
        out << (v.isEmpty() ? QStringLiteral("-") : v.isNull() ? QStringLiteral("null") : v.toString());
    }
    return out.join(QLatin1Char(' '));
}

QStringList numbers(int count)
{
    QStringList replies;
    for (int i = 1; i <= count; ++i)
        replies << QString::number(i) + QStringLiteral(".5");
    return replies;
}

} // namespace

TEST(SeriesResult, batteryCapacityHasTwentyNumberedChargeTimes)
{
    CResultBatteryCapacity result;
    result.Initialize();
    EXPECT_EQ(keysOf(result), expectedKeys(QStringLiteral("CHTI"), 20));
    const Ptr<CMeasurement> seventh = result.FindMeasurement(QStringLiteral("CHTI7"));
    EXPECT_EQ(seventh->RawDescription(), QStringLiteral("Charge Time 7"));
    EXPECT_EQ(seventh->Unit(), QStringLiteral("s"));
    EXPECT_EQ(seventh->ValueFormat(), QStringLiteral("# ##0"));
    EXPECT_TRUE(seventh->PresetValue().isEmpty());
    EXPECT_EQ(result.Measurement(Variant(3)), result.Measurement(Variant("CHTI3")));
}

TEST(SeriesResult, batteryStoreLeavesGapsForEmptyTextsAndReadsNoFurtherThanItsPlaces)
{
    QStringList replies = numbers(21);
    replies[2].clear();
    replies[3].clear();
    replies[20] = QStringLiteral("99"); // the extra slot is never read
    CResultBatteryCapacity result;
    result.Initialize();
    result.StoreResult(replies);
    EXPECT_EQ(valuesOf(result),
        QStringLiteral("1.5 2.5 - - 5.5 6.5 7.5 8.5 9.5 10.5 11.5 12.5 13.5 14.5 15.5 16.5 17.5 18.5 19.5 20.5"));

    // A short array stores what it has; the rest keep their values.
    result.StoreResult({QStringLiteral("0"), QString(), QStringLiteral("OVER")});
    EXPECT_TRUE(valuesOf(result).startsWith(QStringLiteral("0 2.5 null - 5.5")));
}

TEST(SeriesResult, pulseStoreEndsAtTheFirstEmptyText)
{
    QStringList replies = numbers(16);
    replies[2].clear();
    auto config = std::make_shared<CConfigDefibPulse>();
    CResultDefibPulse result;
    result.Initialize(config);
    result.StoreResult(replies, 14);
    EXPECT_EQ(valuesOf(result), QStringLiteral("1.5 2.5 - - - - - - - - - - - - -"));

    // Up to iValue only, and places beyond the series are dropped.
    CResultDefibPulse shortRun;
    shortRun.Initialize(config);
    shortRun.StoreResult(numbers(16), 1);
    EXPECT_EQ(valuesOf(shortRun), QStringLiteral("1.5 2.5 - - - - - - - - - - - - -"));
    shortRun.StoreResult(numbers(20), 19);
    EXPECT_EQ(shortRun.MeasurementCount(), 15);
    EXPECT_TRUE(valuesOf(shortRun).endsWith(QStringLiteral("15.5")));
}

TEST(SeriesResult, pulseSeriesSizeAndPresetFollowTheConfiguration)
{
    auto config = std::make_shared<CConfigDefibPulse>();
    CResultDefibPulse mains;
    mains.Initialize(config);
    EXPECT_EQ(keysOf(mains), expectedKeys(QStringLiteral("ENGY"), 15));
    EXPECT_EQ(mains.FindMeasurement(QStringLiteral("ENGY15"))->PresetValue(), Variant(100.0f));
    EXPECT_EQ(mains.FindMeasurement(QStringLiteral("ENGY2"))->RawDescription(), QStringLiteral("Discharge Energy 2"));
    EXPECT_EQ(mains.FindMeasurement(QStringLiteral("ENGY2"))->ValueFormat(), QStringLiteral("# ##0.0"));

    config->SetBatteryOperated(true);
    config->SetPresetEnergy(150);
    CResultDefibPulse battery;
    battery.Initialize(config);
    EXPECT_EQ(keysOf(battery), expectedKeys(QStringLiteral("ENGY"), 10));
    EXPECT_EQ(battery.FindMeasurement(QStringLiteral("ENGY10"))->PresetValue(), Variant(150.0f));
}

TEST(SeriesResult, initializeAgainEmptiesTheSeries)
{
    CResultBatteryRetention result;
    result.Initialize(nullptr);
    EXPECT_EQ(keysOf(result), expectedKeys(QStringLiteral("CHTI"), 15));
    result.StoreResult(numbers(16));
    result.Initialize(nullptr);
    EXPECT_EQ(valuesOf(result), QStringLiteral("- - - - - - - - - - - - - - -"));
}

TEST(SeriesResult, aBatteryPlaceLeftAtZeroFailsTheRun)
{
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 20.0f}})}, 1);
    QStringList replies = numbers(15);
    CResultBatteryRetention result;
    result.Initialize(nullptr);
    result.StoreResult(replies);
    result.UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result.Status(), emsPassed);
    EXPECT_EQ(result.ServiceRecord()->Values().count(QLatin1Char('/')), 15);

    replies[6] = QStringLiteral("0");
    result.StoreResult(replies);
    result.UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result.Status(), emsFailed);
    EXPECT_EQ(result.FindMeasurement(QStringLiteral("CHTI7"))->Status(), emsFailed);
    EXPECT_EQ(result.FindMeasurement(QStringLiteral("CHTI8"))->Status(), emsPassed) << "every place is judged";
    EXPECT_EQ(result.ServiceRecord()->Codes(), QStringLiteral("F"));
}

TEST(SeriesResult, anOverRangePulseFailsAMaximumEnergy)
{
    // Stored as 0 an over-range discharge would pass the maximum.
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("ENGY"), 120.0f}})});
    QStringList replies(15, QStringLiteral("100"));
    auto config = std::make_shared<CConfigDefibPulse>();
    CResultDefibPulse result;
    result.Initialize(config);
    result.StoreResult(replies, 14);
    result.UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result.Status(), emsPassed);

    replies[0] = QStringLiteral("OVER");
    result.StoreResult(replies, 14);
    result.UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_TRUE(result.FindMeasurement(QStringLiteral("ENGY1"))->Value().isNull());
    EXPECT_EQ(result.FindMeasurement(QStringLiteral("ENGY1"))->Status(), emsFailed);
    EXPECT_EQ(result.Status(), emsFailed);
}
