#pragma once
// The configuration of the defibrillator pulse repetition test: the preset energy
// and whether the device under test runs on its battery.

#include "configurations/CConfigBase.h"

namespace kelto {

class CConfigDefibPulse : public CConfigBase {
public:
    static constexpr ConfigIdentity kIdentity{"KeltoTarvoXTest.CConfigDefibPulse", "KeltoTarvoXTest.XDefibPulseConfig"};
    static constexpr const char* kClassId = nullptr; // private to the library

    CConfigDefibPulse() : CConfigBase(kIdentity) {}

    float PresetEnergy() const { return m_presetEnergy; }
    void SetPresetEnergy(float energy) { m_presetEnergy = energy; }
    bool BatteryOperated() const { return m_batteryOperated; }
    void SetBatteryOperated(bool batteryOperated) { m_batteryOperated = batteryOperated; }

    // Makes this configuration a copy of source; a null source changes nothing.
    void CopyFrom(const CConfigDefibPulse* source);

protected:
    Ptr<CConfigBase> newInstance() const override { return std::make_shared<CConfigDefibPulse>(); }
    void copyFromSame(const CConfigBase& source) override;
    std::function<void()> readFields(const Ptr<IXmlElement>& in) override;
    void writeFields(const Ptr<IXmlElement>& out) override;
    QString reportRows(const Ptr<IReport>& report) override;

private:
    float m_presetEnergy = 100;
    bool m_batteryOperated = false;
};

} // namespace kelto
