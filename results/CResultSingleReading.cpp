#include "results/CResultSingleReading.h"

namespace kelto {

void CResultSingleReading::build(const Variant& preset)
{
    resetMeasurements();
    const QString caption = translated(QString::fromLatin1(m_info.caption));
    const QString unit = translated(QString::fromLatin1(m_info.unit));
    const Ptr<CMeasurement> measurement =
        addMeasurement(QString::fromLatin1(m_info.key), caption, unit, evtNumber, QString::fromLatin1(m_info.valueFormat));
    if (measurement && !preset.isEmpty())
        measurement->SetPresetValue(preset);
}

void CResultSingleReading::StoreResult(const QString& sResultData)
{
    if (sResultData.isEmpty())
        return;
    const Ptr<CMeasurement> measurement = FindMeasurement(QString::fromLatin1(m_info.key));
    if (!measurement)
        return;
    // The analyser answers "OVER" when it found no R wave to synchronise with.
    if (m_info.syncRule && sResultData.left(4) == QLatin1String("OVER"))
        measurement->SetValue(QStringLiteral("NOSYNC"));
    else
        measurement->SetValue(readingOf(sResultData));
}

void CResultSingleReading::UpdateStatus(const Ptr<ITestElement>& iteOwner, const Ptr<IStandardCollection>& iscSelected, bool fNA)
{
    evaluateAgainstLimits(iteOwner, iscSelected, fNA);
}

} // namespace kelto
