// Classes of this family that are created by ProgID or class id. The battery-capacity,
// pulse repetition and pacer configurations are private: only their test elements make them.

#include "configurations/CConfigEnergySetting.h"
#include "configurations/CConfigWaveform.h"
#include "framework/ClassLists.h"

namespace kelto {

namespace {

const char* progIdOf(const ConfigIdentity& identity)
{
    return identity.progId;
}

const char* progIdOf(const WaveConfigInfo& info)
{
    return info.identity.progId;
}

template <class T>
ClassEntry configEntry()
{
    return {progIdOf(T::kIdentity), T::kClassId, &createInstance<T>};
}

} // namespace

ClassEntries configurationClasses()
{
    return {
        configEntry<CConfigVFIBEnergy>(),
        configEntry<CConfigVTACHEnergy>(),
        configEntry<CConfigChargeTime>(),
        configEntry<CConfigPeakVoltage>(),
        configEntry<CConfigOverCurrent>(),
        configEntry<CConfigOverVoltage>(),
        configEntry<CConfigSyncRPeak>(),
        configEntry<CConfigSyncQBase>(),
        configEntry<CConfigBatteryRetention>(),
        configEntry<CConfigNormalSinus>(),
        configEntry<CConfigArrhythmia>(),
        configEntry<CConfigPerformance>(),
    };
}

} // namespace kelto
