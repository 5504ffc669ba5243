// Classes of this family that are created by ProgID or class id.

#include "framework/ClassLists.h"
#include "panels/XDefibPulseConfig.h"
#include "panels/XEnergyConfig.h"
#include "panels/XPacerConfig.h"
#include "panels/XWaveformConfig.h"

namespace kelto {

namespace {

// Panels are created by ProgID only, by their configuration's dialog.
template <class T>
ClassEntry panelEntry()
{
    return {T::kProgId, nullptr, &createInstance<T>};
}

} // namespace

ClassEntries panelClasses()
{
    return {
        panelEntry<XVFIBEnergyConfig>(),
        panelEntry<XVTACHEnergyConfig>(),
        panelEntry<XChargeTimeConfig>(),
        panelEntry<XPeakVoltageConfig>(),
        panelEntry<XOverCurrentConfig>(),
        panelEntry<XOverVoltageConfig>(),
        panelEntry<XSyncRPeakConfig>(),
        panelEntry<XSyncQBaseConfig>(),
        panelEntry<XBatteryCapacityConfig>(),
        panelEntry<XBatteryRetentionConfig>(),
        panelEntry<XDefibPulseConfig>(),
        panelEntry<XNormalSinusConfig>(),
        panelEntry<XArrhythmiaConfig>(),
        panelEntry<XPerformanceConfig>(),
        panelEntry<XPacerParameterConfig>(),
        panelEntry<XPacerRefractoryConfig>(),
    };
}

} // namespace kelto
