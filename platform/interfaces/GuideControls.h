#pragma once
// The host's controls that a test guide window is built from: the guide toolbar,
// the tabbed content pane with its tab objects, the numbered instruction list and
// the host's picture source. Colours are the host's 32-bit colour values: &H00BBGGRR,
// or a system colour &H800000nn.

#include <QColor>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <functional>

#include "../Object.h"
#include "../Variant.h"

class QWidget;

namespace kelto {

class ITestElement;
class ITestSetup;

namespace hostclass {
constexpr const char* TgToolbar = "keltoTGCL2.XTgToolbar";
constexpr const char* TgContentPane = "keltoTGCL2.XTgContentPane";
constexpr const char* TgTab = "{F37D86A2-883D-4C99-ABFB-D65590E1759D}";
constexpr const char* TestWizard = "keltoView.XTestWizard";
constexpr const char* PictureSource = "Kelto.PictureSource";
} // namespace hostclass

namespace olecolor {
constexpr std::int32_t Window = static_cast<std::int32_t>(0x80000005);
constexpr std::int32_t WindowText = static_cast<std::int32_t>(0x80000008);
constexpr std::int32_t ButtonFace = static_cast<std::int32_t>(0x8000000F);
constexpr std::int32_t InfoBackground = static_cast<std::int32_t>(0x80000018);
constexpr std::int32_t Red = 255;

// The colour a host colour value stands for; system colours map to the usual light theme.
QColor toQColor(std::int32_t color);
} // namespace olecolor

// ---- guide toolbar -------------------------------------------------------------

class ITgToolbarItem : public virtual IObject {
public:
    virtual std::int32_t ID() = 0;
    virtual bool Enabled() = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Checked() = 0;
};

class ITgStatusCaption : public virtual IObject {
public:
    virtual QString Text() = 0;
    virtual void SetText(const QString& text) = 0;
    virtual std::int16_t Status() = 0; // EMeasurementStatus
    virtual void SetStatus(std::int16_t status) = 0;
    // The status as the host shows it, with the reason it gives beside it ("not judged
    // (no standard judged it)"); empty while it shows none.
    virtual QString Verdict() = 0;
};

// The standard chosen in the toolbar's selector.
class ITgStandardItem : public virtual IObject {
public:
    virtual QString AlphaName() = 0;
    virtual QString CompleteName() = 0;
    virtual bool Calculate() = 0; // relative limits calculated from the preset value
};

// Events of the toolbar; an empty function is not called.
struct TgToolbarEvents {
    // The flag is set for the button's ordinary click and clear for the menu's
    // "repeat the test", which asks the main button for a new start.
    std::function<void(const Ptr<ITgToolbarItem>& button, bool flag)> ButtonClick;
    std::function<void()> Resize;
    std::function<void()> StandardChanged;
};

// Buttons by id: 101 abort, 102 previous, 103 next, 201 stop, 202 the main button
// (start, stop or next by run state), 301 not applicable, 302 skip.
class ITgToolbar : public virtual IObject {
public:
    virtual QWidget* widget() = 0;
    virtual Ptr<ITgToolbarItem> Item(std::int32_t id) = 0; // null for an unknown id
    virtual Ptr<ITgStatusCaption> StatusCaption() = 0;
    // Null until a test is attached; empty names while no standard judges the test.
    virtual Ptr<ITgStandardItem> StandardItem() = 0;
    // Fills the standard selector with the standards of the run's selection that
    // judge the test.
    virtual void AttachTest(const Ptr<ITestElement>& element, const Ptr<ITestSetup>& setup) = 0;
    // 0 idle (main button starts), 1 running (main button stops), 2 idle with a
    // result (main button goes on to the next test).
    virtual void SetRunState(std::int32_t state) = 0;
    virtual void SetOptions(std::int32_t& flags, std::int32_t count) = 0;
    virtual void ShowMenu() = 0;
    virtual void SetRunFlags(const Variant& reserved, bool running, bool locked) = 0;
    virtual void Advise(TgToolbarEvents events) = 0; // replaces the earlier ones
};

// ---- content pane ---------------------------------------------------------------

class ITgTab : public virtual IObject {
public:
    virtual QPixmap Picture() = 0;
    virtual void SetPicture(const QPixmap& picture) = 0;
    virtual QPixmap Picture2() = 0; // the picture of the selected tab
    virtual void SetPicture2(const QPixmap& picture) = 0;
    virtual std::int32_t MaskColor() = 0; // shown transparent in the pictures
    virtual void SetMaskColor(std::int32_t color) = 0;
    virtual std::int32_t BackColor() = 0;
    virtual void SetBackColor(std::int32_t color) = 0;
    virtual QString Caption() = 0;
    virtual void SetCaption(const QString& caption) = 0;
};

// The tabbed area of a guide window. Its first tab shows the instruction list
// (details pane) above the result view; further tabs hold one control each.
class ITgContentPane : public virtual IObject {
public:
    virtual QWidget* widget() = 0;
    virtual void AttachTest(const Ptr<ITestElement>& element, const Ptr<ITestSetup>& setup) = 0;
    virtual QWidget* ResultView() = 0;
    virtual void SetResultView(QWidget* view) = 0;
    virtual QWidget* DetailsPane() = 0;
    virtual void SetDetailsPane(QWidget* pane) = 0;
    virtual std::int16_t AddTab(const Ptr<ITgTab>& tab, QWidget* control) = 0; // from 0
    virtual void AttachForm(QWidget* window) = 0;
    virtual void DetachForm(QWidget* window) = 0;
    virtual void ReleaseAll() = 0; // drops every object and control it was given
    // Called after the pane has laid its parts out: the result view's rectangle in pixels.
    virtual void AdviseLayout(std::function<void(float left, float top, float width, float height)> onLayout) = 0;
};

// ---- instruction list ---------------------------------------------------------

// Numbered instruction lines ("1." for the line at index 0); marked steps stand out.
class IXTestWizard : public virtual IObject {
public:
    virtual QWidget* widget() = 0;
    // A Variant holding an array of texts (or one text); replaces the lines shown.
    virtual void SetInstructions(const Variant& lines) = 0;
    // True shows the lines as one plain message (no numbers, no marks).
    virtual void SetMessageMode(bool message) = 0;
    // A Variant holding an array of step numbers from 1 (or one number); empty marks none.
    virtual void SetActiveSteps(const Variant& steps) = 0;
    virtual std::int32_t BackColor() = 0;
    virtual void SetBackColor(std::int32_t color) = 0;
};

// ---- pictures ---------------------------------------------------------------------

class IPictureSource : public virtual IObject {
public:
    // The host's picture of that id (101: the guide window's icon); raises 326 when unknown.
    virtual QPixmap Picture(std::int32_t id) = 0;
};

namespace olecolor {
inline QColor toQColor(std::int32_t color)
{
    const auto value = static_cast<std::uint32_t>(color);
    if (value & 0x80000000u) {
        switch (value & 0xFF) {
        case 0x05: return QColor(Qt::white);
        case 0x08: return QColor(Qt::black);
        case 0x0F: return QColor(240, 240, 240);
        case 0x18: return QColor(255, 255, 225);
        default: return QColor(Qt::gray);
        }
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF), static_cast<int>((value >> 16) & 0xFF));
}
} // namespace olecolor

} // namespace kelto
