#include "results/CResultWaveform.h"

#include <iterator>

namespace kelto {

namespace {

const char* const kArrhythmiaWaves[] = {
    "20380::Atrial Fibrillation", "20381::Atrial Flutter", "20382::Atrial Tachycardia", "20383::PVC1", "20384::Run",
    "20385::R on T", "20386::Idioventricular", "20387::Ventricular Tachycardia", "20388::Ventricular Fibrillation",
};

const char* const kPerformanceWaves[] = {
    "20390::Pulse 30 BPM", "20391::Pulse 60 BPM", "20392::Square wave 0.125 Hz", "20393::Square wave 2 Hz", "20394::Sine 10 Hz",
    "20395::Sine 40 Hz", "20396::Sine 50 Hz", "20397::Sine 60 Hz", "20398::Sine 100 Hz", "20399::Triangle 2 Hz",
};

const char* const kNormalSinusWaves[] = {
    "20370::30 BPM", "20371::60 BPM", "20372::120 BPM", "20373::180 BPM", "20374::240 BPM",
};

} // namespace

const WaveformResultInfo CResultArrhythmia::kInfo{
    {"KeltoTarvoXTest.CResultArrhythmia", "KeltoTarvoXTest.CResultArrhythmia", "20265::Loading Arrhythmia Wave Test result data"},
    "ARR", 200, kArrhythmiaWaves, static_cast<int>(std::size(kArrhythmiaWaves))};

const WaveformResultInfo CResultPerformance::kInfo{
    {"KeltoTarvoXTest.CResultPerformance", "KeltoTarvoXTest.CResultPerformance", "20274::Loading Performance Wave Test result data"},
    "PERF", 300, kPerformanceWaves, static_cast<int>(std::size(kPerformanceWaves))};

const WaveformResultInfo CResultNormalSinus::kInfo{
    {"KeltoTarvoXTest.CResultNormalSinus", "KeltoTarvoXTest.CResultNormalSinus", "20254::Loading Normal Sinus Wave Test result data"},
    "NSW", 100, kNormalSinusWaves, static_cast<int>(std::size(kNormalSinusWaves))};

QString CResultWaveform::descriptionOf(const WaveformResultInfo& info, std::int32_t waveType)
{
    const std::int64_t index = static_cast<std::int64_t>(waveType) - info.firstCode;
    if (index < 0 || index >= info.descriptionCount)
        return {};
    return QString::fromLatin1(info.descriptions[index]);
}

void CResultWaveform::build(std::int32_t waveType, bool known)
{
    resetMeasurements();
    // The description stays a display text; the measurement translates it when shown.
    const QString description = known ? descriptionOf(m_info, waveType) : QString();
    addMeasurement(QString::fromLatin1(m_info.key), description, QString(), evtBoolean, QString());
}

void CResultWaveform::UpdateStatus(const Ptr<ITestElement>& iteOwner, bool fNA)
{
    if (fNA) {
        mlStatus = emsNotApplicable;
        if (mcolMeasurements) {
            for (const Ptr<CMeasurement>& measurement : mcolMeasurements->items()) {
                measurement->SetStatus(emsNone);
                measurement->SetValue(Variant());
            }
        }
    } else {
        mlStatus = emsNone;
        if (mcolMeasurements) {
            for (const Ptr<CMeasurement>& measurement : mcolMeasurements->items()) {
                if (measurement->Status() == emsPassed) {
                    mlStatus = emsPassed;
                } else if (measurement->Status() == emsFailed) {
                    mlStatus = emsFailed;
                    break;
                }
            }
        }
    }
    UpdateServiceRecord(filterOf(iteOwner));
}

} // namespace kelto
