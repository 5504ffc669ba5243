#pragma once
// The ECG waveform settings panels: which wave the analyser plays (a list of
// check boxes, exactly one ticked), for how long (a slider of 1 to 60 s mirrored
// by a read-only box, or indefinitely), and the test's test-guide settings. Three
// test types share this design.

#include <cstdint>

#include "configurations/CConfigWaveform.h"
#include "panels/XPanelBase.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QSlider;

namespace kelto {

struct TwipsRect {
    float left, top, width, height;
};

struct WavePanelDesign {
    const char* name;
    const char* frameName;
    const char* listName;
    const char* titleName;
    const char* titleText;
    const char* helpText;
    const char* const* rows; // TextRefs, row 0 first
    int rowCount;
    std::int32_t base;   // the code of row r is r + base
    bool rowByRemainder; // the row of a code: code Mod base, else code - base
    float width, height, leastHeight;
    // Layout, in twips: frames, list, and the duration controls inside the wave frame.
    float waveFrameWidth, settingsLeft, listWidth, listHeightLess;
    TwipsRect title, durationLabel, indefinite, textBox, slider, settingsLabel, help;
};

class XWaveformPanel : public XPanelBase {
public:
    void SetLocked(bool locked) override;
    // Raises a type mismatch for anything but the panel's configuration or an
    // empty object reference, and a subscript error for a wave code without a row.
    void Initialize(const Variant& inData) override;
    void SetFocus() override {}

    QListWidget* waveList() const { return m_list; }
    QSlider* durationSlider() const { return sldTimeSlider; }
    QLineEdit* durationBox() const { return txtTimeSlider; }
    QCheckBox* indefiniteBox() const { return chkIndefiniteDuration; }
    QGroupBox* waveFrame() const { return m_frame; }
    QGroupBox* settingsFrame() const { return fraTestGuideSettings; }
    QSizeF wholeTwips() const override;

protected:
    explicit XWaveformPanel(const WavePanelDesign& design);

    virtual bool takeConfig(const Variant& inData) = 0; // false: not taken
    virtual CConfigWaveform* config() const = 0;

    void layoutPanel() override;

private:
    float waveFrameGrowth() const;
    void FillWaveList();
    void SelectWave(std::int32_t code);
    void SetAllSelected(QListWidget* list, bool selected);
    std::int32_t GetDuration();

    void waveTicked(int row);
    void sliderMoved(int value);
    void durationTextChanged();
    void indefiniteClicked();

    const WavePanelDesign& m_design;
    QGroupBox* m_frame = nullptr;
    QGroupBox* fraTestGuideSettings = nullptr;
    QListWidget* m_list = nullptr;
    QWidget* lblDuration = nullptr;
    QCheckBox* chkIndefiniteDuration = nullptr;
    QLineEdit* txtTimeSlider = nullptr;
    QSlider* sldTimeSlider = nullptr;
    bool fInChange = false;
};

template <class Config>
class XWaveformConfigPanel : public XWaveformPanel {
protected:
    explicit XWaveformConfigPanel(const WavePanelDesign& design) : XWaveformPanel(design) { finishCreation(); }

    bool takeConfig(const Variant& inData) override { return takeConfiguration(inData, mConfig); }
    CConfigWaveform* config() const override { return mConfig.get(); }

    Ptr<Config> mConfig;
};

class XNormalSinusConfig : public XWaveformConfigPanel<CConfigNormalSinus> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.XNormalSinusConfig";
    XNormalSinusConfig();
};

class XArrhythmiaConfig : public XWaveformConfigPanel<CConfigArrhythmia> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.XArrhythmiaConfig";
    XArrhythmiaConfig();
};

class XPerformanceConfig : public XWaveformConfigPanel<CConfigPerformance> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.XPerformanceConfig";
    XPerformanceConfig();
};

} // namespace kelto
