#include "panels/XDefibPulseConfig.h"

#include <QCheckBox>
#include <QGroupBox>

#include "platform/PluginError.h"

namespace kelto {

XDefibPulseConfig::XDefibPulseConfig()
    : XEnergyConfigPanel({"XDefibPulseConfig", 7665, 2445,
          "20155::Select energy according to 'Energy select' settings on the defibrillator and select battery presence status.", true})
{
    chkBatteryOperated = addCheckBox(fraEnergy, QStringLiteral("chkBatteryOperated"), QStringLiteral("20101::Battery Operated "),
        QRectF(240, 1200, 1935, 375));
    QPalette palette = chkBatteryOperated->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Highlight));
    chkBatteryOperated->setPalette(palette);
    // toggled: the operator's clicks and the panel's own filling alike.
    QObject::connect(chkBatteryOperated, &QCheckBox::toggled, context(), [this] { batteryOperatedChanged(); });
    finishCreation();
}

void XDefibPulseConfig::fillMore()
{
    // A change here writes the same value back, unannounced.
    chkBatteryOperated->setChecked(mConfig->BatteryOperated());
}

void XDefibPulseConfig::lockMore(bool locked)
{
    chkBatteryOperated->setEnabled(!locked);
}

void XDefibPulseConfig::batteryOperatedChanged()
{
    ignoreErrors([&] {
        if (mConfig)
            mConfig->SetBatteryOperated(chkBatteryOperated->isChecked());
    });
    if (!mfUpdating)
        tellHost();
}

} // namespace kelto
