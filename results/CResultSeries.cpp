#include "results/CResultSeries.h"

#include <algorithm>

namespace kelto {

namespace {
const QString kChargeTime = QStringLiteral("CHTI");
const QString kEnergy = QStringLiteral("ENGY");
} // namespace

void CResultSeries::buildSeries(const QString& keyBase, const QString& captionRef, const QString& unitRef, const QString& valueFormat,
    int count, const Variant& preset)
{
    resetMeasurements();
    m_keyBase = keyBase;
    m_caption = translated(captionRef);
    m_unitRef = unitRef;
    m_valueFormat = valueFormat;
    m_preset = preset;
    for (int n = 1; n <= count; ++n)
        addPlace(n);
}

void CResultSeries::addPlace(int n)
{
    const Ptr<CMeasurement> measurement = addMeasurement(m_keyBase + QString::number(n), m_caption + QLatin1Char(' ') + QString::number(n),
        translated(m_unitRef), evtNumber, m_valueFormat);
    if (measurement && !m_preset.isEmpty())
        measurement->SetPresetValue(m_preset);
}

int CResultSeries::placeOf(const QString& key) const
{
    if (m_keyBase.isEmpty() || !key.startsWith(m_keyBase, Qt::CaseInsensitive))
        return 0;
    const QString digits = key.mid(m_keyBase.size());
    bool ok = false;
    const int n = digits.toInt(&ok);
    // "ENGY07" or "ENGY+7" name no place: the list would not find them under it.
    if (!ok || QString::number(n) != digits || n < 1 || n > m_mostPlaces)
        return 0;
    return n;
}

void CResultSeries::fitToStored(const Ptr<IXmlElementList>& children)
{
    if (m_mostPlaces <= 0 || !mcolMeasurements || !children)
        return;
    int stored = 0;
    for (int i = 0; i < children->Count(); ++i) {
        const Ptr<IXmlElement> child = children->Item(i);
        if (child && child->TagName() == QLatin1String("Measurement"))
            stored = std::max(stored, placeOf(child->GetAttribute(QStringLiteral("Key"))));
    }
    // Without saved readings (no run, or not applicable) the configured size stays.
    if (stored == 0)
        return;
    mcolMeasurements->truncate(stored);
    for (int n = mcolMeasurements->count() + 1; n <= stored; ++n)
        addPlace(n);
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
    const int places = cctConfigCT && cctConfigCT->BatteryOperated() ? kBatteryPlaces : kMainsPlaces;
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
