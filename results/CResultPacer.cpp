#include "results/CResultPacer.h"

namespace kelto {

void CResultPacer::UpdateStatus(const Ptr<ITestElement>& iteOwner, const Ptr<IStandardCollection>& iscSelected, bool fNA)
{
    evaluateAgainstLimits(iteOwner, iscSelected, fNA);
}

void CResultPacer::storeByIndex(const QStringList& replies, const QStringList& keys)
{
    for (int i = 0; i < keys.size(); ++i)
        storeReading(keys[i], replyAt(replies, i));
}

void CResultPacerParameter::Initialize(const Ptr<CConfigPacerParameter>& ccpConfigPP)
{
    resetMeasurements();
    // Captions stay display texts; the measurement translates them when shown.
    const Ptr<CMeasurement> rate =
        addMeasurement(QStringLiteral("PACR"), QStringLiteral("20126::Rate"), translated(QStringLiteral("20205::ppm")), evtNumber, QStringLiteral("# ##0"));
    if (rate && ccpConfigPP)
        rate->SetPresetValue(ccpConfigPP->PacerRate());
    const Ptr<CMeasurement> current = addMeasurement(QStringLiteral("PULC"), QStringLiteral("20127::Pulse Current"),
        translated(QStringLiteral("20204::mA")), evtNumber, QStringLiteral("# ##0.0"));
    if (current && ccpConfigPP)
        current->SetPresetValue(ccpConfigPP->PacerAmplitude());
    addMeasurement(QStringLiteral("PULW"), QStringLiteral("20128::Pulse Width"), translated(QStringLiteral("20202::ms")), evtNumber,
        QStringLiteral("# ##0.0"));
    addMeasurement(QStringLiteral("PULV"), QStringLiteral("20129::Pulse Voltage"), translated(QStringLiteral("20203::mV")), evtNumber,
        QStringLiteral("# ##0.0"));
}

void CResultPacerParameter::StoreResult(const QStringList& sResultData)
{
    storeByIndex(sResultData, {QStringLiteral("PACR"), QStringLiteral("PULC"), QStringLiteral("PULW"), QStringLiteral("PULV")});
}

void CResultPacerRefractory::Initialize(const Ptr<CConfigPacerRefractory>&)
{
    resetMeasurements();
    addMeasurement(QStringLiteral("SENS"), QStringLiteral("20130::Sensed Rp"), translated(QStringLiteral("20202::ms")), evtRefractory,
        QStringLiteral("# ##0.0"));
    addMeasurement(QStringLiteral("PACE"), QStringLiteral("20131::Paced Rp"), translated(QStringLiteral("20202::ms")), evtRefractory,
        QStringLiteral("# ##0.0"));
}

void CResultPacerRefractory::StoreResult(const QStringList& sResultData)
{
    // The analyser is asked for the paced period first; the list shows the sensed one first.
    storeByIndex(sResultData, {QStringLiteral("PACE"), QStringLiteral("SENS")});
}

} // namespace kelto
