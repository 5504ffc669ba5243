#include "results/CResultSeries.h"

namespace kelto {

namespace {
const QString kChargeTime = QStringLiteral("CHTI");
const QString kEnergy = QStringLiteral("ENGY");
} // namespace

void CResultSeries::buildSeries(const QString& keyBase, const QString& captionRef, const QString& unitRef, const QString& valueFormat,
    int count, const Variant& preset)
{
    resetMeasurements();
    const QString caption = translated(captionRef);
    for (int n = 1; n <= count; ++n) {
        const QString unit = translated(unitRef);
        const Ptr<CMeasurement> measurement =
            addMeasurement(keyBase + QString::number(n), caption + QLatin1Char(' ') + QString::number(n), unit, evtNumber, valueFormat);
        if (measurement && !preset.isEmpty())
            measurement->SetPresetValue(preset);
    }
}

void CResultSeries::storeSeries(const QString& keyBase, const QStringList& replies, int count)
{
    for (int i = 0; i < count; ++i)
        storeReading(keyBase + QString::number(i + 1), replyAt(replies, i));
}

void CResultSeries::UpdateStatus(const Ptr<ITestElement>& iteOwner, const Ptr<IStandardCollection>& iscSelected, bool fNA)
{
    evaluateAgainstLimits(iteOwner, iscSelected, fNA);
}

void CResultBatteryCapacity::Initialize()
{
    buildSeries(kChargeTime, QStringLiteral("20125::Charge Time"), QStringLiteral("20201::s"), QStringLiteral("# ##0"), kPlaces, Variant());
}

void CResultBatteryCapacity::StoreResult(const QStringList& sResultData)
{
    storeSeries(kChargeTime, sResultData, kPlaces);
}

void CResultBatteryRetention::Initialize(const Ptr<CConfigBatteryRetention>&)
{
    buildSeries(kChargeTime, QStringLiteral("20125::Charge Time"), QStringLiteral("20201::s"), QStringLiteral("# ##0"), kPlaces, Variant());
}

void CResultBatteryRetention::StoreResult(const QStringList& sResultData)
{
    storeSeries(kChargeTime, sResultData, kPlaces);
}

void CResultDefibPulse::Initialize(const Ptr<CConfigDefibPulse>& cctConfigCT)
{
    // Without a configuration the series is that of a new one (mains operated), without presets.
    const int places = cctConfigCT && cctConfigCT->BatteryOperated() ? 10 : 15;
    Variant preset;
    if (cctConfigCT)
        preset = cctConfigCT->PresetEnergy();
    buildSeries(kEnergy, QStringLiteral("20140::Discharge Energy"), QStringLiteral("20200::J"), QStringLiteral("# ##0.0"), places, preset);
}

void CResultDefibPulse::StoreResult(const QStringList& sResultData, std::int16_t iValue)
{
    for (int i = 0; i <= iValue; ++i) {
        const QString reply = replyAt(sResultData, i);
        if (reply.isEmpty())
            break;
        storeReading(kEnergy + QString::number(i + 1), reply);
    }
}

} // namespace kelto
