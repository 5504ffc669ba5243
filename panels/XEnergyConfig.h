#pragma once
// The energy settings panels: the preset energy in joules of one test, and the
// test's test-guide settings. Ten test types share this design; the pulse
// repetition panel builds on it with its battery box.

#include "configurations/CConfigEnergySetting.h"
#include "panels/XPanelBase.h"

class QGroupBox;
class QLabel;
class QLineEdit;

namespace kelto {

struct EnergyPanelDesign {
    const char* name;
    float width;  // twips
    float height;
    const char* helpText;
    bool settingsFirst; // the keyboard reaches the test-guide settings before the energy
};

class XEnergyPanel : public XPanelBase {
public:
    void SetLocked(bool locked) override;
    void Initialize(const Variant& inData) override;
    void SetFocus() override;

    QLineEdit* energyBox() const { return txtEnergy; }
    QGroupBox* energyFrame() const { return fraEnergy; }
    QGroupBox* settingsFrame() const { return fraTestGuideSettings; }
    // Says under the energy controls which typed keys the box did not take.
    QLabel* refusalNote() const { return lblRefused; }
    QSizeF wholeTwips() const override;

protected:
    explicit XEnergyPanel(const EnergyPanelDesign& design);

    // The configuration, known by its class to the class that edits it.
    virtual bool takeConfig(const Variant& inData) = 0; // false: not taken
    virtual bool hasConfig() const = 0;
    virtual float presetEnergy() const = 0;
    virtual void setPresetEnergy(float energy) = 0;
    virtual Ptr<ITestGuideConfig> testGuideConfig() const = 0;
    // What a panel adds to the energy: filled and locked after the energy box.
    virtual void fillMore() {}
    virtual void lockMore(bool) {}

    void layoutPanel() override;

    QGroupBox* fraEnergy = nullptr;
    QGroupBox* fraTestGuideSettings = nullptr;
    QLineEdit* txtEnergy = nullptr;
    QLabel* lblRefused = nullptr;

private:
    float energyFrameWidth(float panelWidth) const;
    void addEnergyFrame();
    void addSettingsFrame();
    void energyEdited();
    void showRefused();
    QString m_refused; // the keys refused since the configuration was shown
};

template <class Config>
class XEnergyConfigPanel : public XEnergyPanel {
protected:
    using XEnergyPanel::XEnergyPanel;

    bool takeConfig(const Variant& inData) override { return takeConfiguration(inData, mConfig); }
    bool hasConfig() const override { return mConfig != nullptr; }
    float presetEnergy() const override { return mConfig->PresetEnergy(); }
    void setPresetEnergy(float energy) override { mConfig->SetPresetEnergy(energy); }
    Ptr<ITestGuideConfig> testGuideConfig() const override { return mConfig->TestGuideConfig(); }

    Ptr<Config> mConfig;
};

#define KELTO_ENERGY_PANEL(Name, Width, Height, SettingsFirst)                                                   \
    class X##Name##Config : public XEnergyConfigPanel<CConfig##Name> {                                          \
    public:                                                                                                      \
        static constexpr const char* kProgId = "KeltoTarvoXTest.X" #Name "Config";                             \
        X##Name##Config()                                                                                        \
            : XEnergyConfigPanel({"X" #Name "Config", Width, Height,                                             \
                  "20150::Enter the energy (in joules) to be used for this test.", SettingsFirst})              \
        {                                                                                                        \
            finishCreation();                                                                                    \
        }                                                                                                        \
    };

KELTO_ENERGY_PANEL(VFIBEnergy, 7590, 2445, false)
KELTO_ENERGY_PANEL(VTACHEnergy, 7665, 2505, false)
KELTO_ENERGY_PANEL(ChargeTime, 7665, 2490, false)
KELTO_ENERGY_PANEL(PeakVoltage, 7665, 2490, false)
KELTO_ENERGY_PANEL(OverCurrent, 7665, 2520, false)
KELTO_ENERGY_PANEL(OverVoltage, 7665, 2475, false)
KELTO_ENERGY_PANEL(SyncRPeak, 7665, 2490, false)
KELTO_ENERGY_PANEL(SyncQBase, 7665, 2520, false)
KELTO_ENERGY_PANEL(BatteryCapacity, 7665, 2445, true)
KELTO_ENERGY_PANEL(BatteryRetention, 7665, 2475, false)

#undef KELTO_ENERGY_PANEL

} // namespace kelto
