#pragma once
// What every settings panel shares: the ICustomControl plumbing, the host's
// test-guide settings control and help strip, telling the host "Change", the
// input rules of its boxes, and placing controls by their design size in twips.

#include <QHash>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/Variant.h"
#include "platform/interfaces/Controls.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace kelto {

class IHelpText;
class ITestGuideConfig;
class ITestGuideSettings;

class XPanelBase : public ICustomControl {
public:
    ~XPanelBase() override;

    Ptr<ICallBack> CallBack() override { return mCallBack; }
    void SetCallBack(const Ptr<ICallBack>& callBack) override { mCallBack = callBack; }
    WindowHandle hWnd() override { return m_widget; }
    bool Visible() override;
    void SetVisible(bool visible) override;
    bool Locked() override { return mfLocked; }
    void Refresh() override;

    // The host controls on the panel; null when the host could not make them.
    Ptr<ITestGuideSettings> testGuideSettings() const { return m_testGuide; }
    Ptr<IHelpText> helpText() const { return m_helpText; }
    // A control's place and size in twips, relative to its parent.
    QRectF twipsGeometry(const QWidget* control) const;
    // Where the platform's font needs more room than the design gave a caption:
    // the width (twips) a control or frame takes at least, 0 where the design
    // holds, and how far a control was moved right to make that room.
    float leastWidth(const QWidget* control) const { return m_fit.value(control).width; }
    float captionShift(const QWidget* control) const { return m_fit.value(control).shift; }
    // The least size (twips) at which every frame shows whole; a container that
    // is smaller should scroll. The panel's window gives it as its minimum size hint.
    virtual QSizeF wholeTwips() const { return {}; }

protected:
    class Events;
    enum class TextStyle { Heading, Plain, Unit };

    XPanelBase(const QString& name, float designWidth, float designHeight);

    // Ends the creation: translates the captions, fits them and lays the panel out.
    void finishCreation();
    // Run on every resize of the panel.
    virtual void layoutPanel() = 0;

    // Calls the host back with "Change" when it has given a callback.
    void tellHost();

    // The panel's inner size in twips.
    QSizeF innerTwips() const;
    int toPixelsX(float twips) const;
    int toPixelsY(float twips) const;
    float toTwipsX(int pixels) const;
    // Both place a control as designed, moved and widened as its captions need.
    void place(QWidget* control, float left, float top, float width, float height) const;
    void moveTo(QWidget* control, float left, float top) const; // keeps the size

    QGroupBox* addFrame(QWidget* parent, const QString& name, const QRectF& twips);
    QLabel* addLabel(QWidget* parent, const QString& name, const QString& textRef, const QRectF& twips, TextStyle style);
    QLineEdit* addTextBox(QWidget* parent, const QString& name, const QRectF& twips, const QString& designText);
    QCheckBox* addCheckBox(QWidget* parent, const QString& name, const QString& textRef, const QRectF& twips);
    // The host's test-guide settings control; its operator changes are told to the
    // host unless the panel is filling itself.
    void addTestGuideSettings(QWidget* parent, const QRectF& twips);
    void addHelpText(const QString& textRef, const QRectF& twips);

    void initTestGuideSettings(const Ptr<ITestGuideConfig>& settings);
    void lockTestGuideSettings(bool lock);
    // Lets the help strip place itself for a panel of that height (twips); returns
    // the strip's top, or the height when there is no strip.
    float fitHelpText(float height);

    // Only the digits and backspace may be typed (navigation keys still work); a
    // printable character refused is handed to `refused`.
    void acceptDigitsOnly(QWidget* control, std::function<void(QChar)> refused = {});
    void onClick(QWidget* control, std::function<void()> handler);
    void selectAllOnFocus(QLineEdit* box);

    QObject* context() const;

    QPointer<QWidget> m_widget; // the wrapper window owns it once the panel is added
    Ptr<ICallBack> mCallBack;
    bool mfUpdating = false;
    bool mfLocked = false;

private:
    struct Fit {
        float width = 0; // twips
        float shift = 0;
    };
    void fitCaptions();
    void fitFrame(QWidget* frame);

    std::unique_ptr<Events> m_events;
    QHash<const QWidget*, Fit> m_fit;
    Ptr<ITestGuideSettings> m_testGuide;
    Ptr<IHelpText> m_helpText;
};

// Takes a panel's configuration from Initialize's argument: an empty object
// reference clears it; another class, or no object at all, is not taken (false).
template <class Config>
bool takeConfiguration(const Variant& inData, Ptr<Config>& into)
{
    if (!inData.isObject())
        return false;
    if (inData.isNothing()) {
        into.reset();
        return true;
    }
    Ptr<Config> config = inData.toInterface<Config>();
    if (!config)
        return false;
    into = config;
    return true;
}

} // namespace kelto
