#pragma once
// The pulse repetition panel: the energy panel's design with one box more, for a
// defibrillator that runs on its battery during the test.

#include "configurations/CConfigDefibPulse.h"
#include "panels/XEnergyConfig.h"

class QCheckBox;

namespace kelto {

class XDefibPulseConfig : public XEnergyConfigPanel<CConfigDefibPulse> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.XDefibPulseConfig";

    XDefibPulseConfig();

    QCheckBox* batteryOperatedBox() const { return chkBatteryOperated; }

protected:
    void fillMore() override;
    void lockMore(bool locked) override;

private:
    void batteryOperatedChanged();

    QCheckBox* chkBatteryOperated = nullptr;
};

} // namespace kelto
