#pragma once
// The pacer settings panels: the pacer load adapter, the pacing rate and the
// pacing amplitude of a pacer test, and the test's test-guide settings. Two test
// types share this design.

#include <QStringList>

#include "configurations/CConfigPacer.h"
#include "panels/XPanelBase.h"

class QComboBox;
class QGroupBox;
class QLineEdit;

namespace kelto {

struct PacerPanelDesign {
    const char* name;
    float width; // twips
    float height;
    const char* rateText; // shown only until a configuration is given
    const char* amplitudeText;
    float amplitudeLabelWidth;
    bool settingsFirst; // keyboard order: settings, amplitude, rate, load instead of load, rate, amplitude, settings
};

class XPacerPanel : public XPanelBase {
public:
    // The loads in Ohms, in the order of the list; LoadIndex is a position in it.
    static const QStringList& loads();

    void SetLocked(bool locked) override;
    void Initialize(const Variant& inData) override;
    void SetFocus() override {}

    QComboBox* loadList() const { return cboLoad; }
    QLineEdit* rateBox() const { return txtPresetPacerRate; }
    QLineEdit* amplitudeBox() const { return txtPresetPacerAmplitude; }
    QGroupBox* pacerFrame() const { return fraPacer; }
    QGroupBox* settingsFrame() const { return fraTestGuideSettings; }
    QGroupBox* emptyFrame() const { return fraEmpty; }
    QSizeF wholeTwips() const override;

protected:
    explicit XPacerPanel(const PacerPanelDesign& design);

    virtual bool takeConfig(const Variant& inData) = 0; // false: not taken
    virtual CConfigPacer* config() const = 0;

    void layoutPanel() override;

private:
    float pacerFrameWidth() const;
    void addPacerFrame(const PacerPanelDesign& design);
    void addSettingsFrame();
    void FillLoadList();
    void loadSelected();
    void rateEdited();
    void amplitudeEdited();

    QGroupBox* fraPacer = nullptr;
    QGroupBox* fraTestGuideSettings = nullptr;
    QGroupBox* fraEmpty = nullptr;
    QComboBox* cboLoad = nullptr;
    QLineEdit* txtPresetPacerRate = nullptr;
    QLineEdit* txtPresetPacerAmplitude = nullptr;
};

template <class Config>
class XPacerConfigPanel : public XPacerPanel {
protected:
    explicit XPacerConfigPanel(const PacerPanelDesign& design) : XPacerPanel(design) { finishCreation(); }

    bool takeConfig(const Variant& inData) override { return takeConfiguration(inData, mConfig); }
    CConfigPacer* config() const override { return mConfig.get(); }

    Ptr<Config> mConfig;
};

class XPacerParameterConfig : public XPacerConfigPanel<CConfigPacerParameter> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.XPacerParameterConfig";
    XPacerParameterConfig() : XPacerConfigPanel({"XPacerParameterConfig", 10710, 3270, "", "", 2535, false}) {}
};

class XPacerRefractoryConfig : public XPacerConfigPanel<CConfigPacerRefractory> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.XPacerRefractoryConfig";
    XPacerRefractoryConfig() : XPacerConfigPanel({"XPacerRefractoryConfig", 10785, 3360, "70", "50", 2415, true}) {}
};

} // namespace kelto
