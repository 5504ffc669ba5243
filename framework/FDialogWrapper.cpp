#include "framework/FDialogWrapper.h"

#include <QWidget>
#include <algorithm>
#include <functional>

#include "platform/ComponentRuntime.h"
#include "platform/PluginError.h"

namespace kelto {

namespace {

const QString kControlName = QStringLiteral("isc");
constexpr double kTwipsPerInch = 1440.0;

// The wrapper's window: hidden, and handing its focus on to the panel.
class WrapperWindow : public QWidget {
public:
    explicit WrapperWindow(std::function<void()> onFocus) : m_onFocus(std::move(onFocus)) {}

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QWidget::focusInEvent(event);
        m_onFocus();
    }

private:
    std::function<void()> m_onFocus;
};

// Re-parenting hides a widget in Qt; the window system keeps it as it was.
void reparent(QWidget* widget, QWidget* parent)
{
    if (!widget || !parent || widget->parentWidget() == parent)
        return;
    const bool hidden = widget->isHidden();
    widget->setParent(parent);
    if (!hidden)
        widget->show();
}

void moveInTwips(QWidget* widget, float left, float top, float width, float height)
{
    if (!widget)
        return;
    const double dpiX = widget->logicalDpiX();
    const double dpiY = widget->logicalDpiY();
    auto px = [](float twips, double dpi) { return qRound(twips * dpi / kTwipsPerInch); };
    widget->setGeometry(px(left, dpiX), px(top, dpiY), std::max(0, px(width, dpiX)), std::max(0, px(height, dpiY)));
}

} // namespace

FDialogWrapper::FDialogWrapper()
    : m_window(new WrapperWindow([this] { SetFocus(); }))
{
}

FDialogWrapper::~FDialogWrapper()
{
    // Released without Unload: the panel still must not outlive its window.
    if (m_window)
        Unload();
}

ObjectPtr FDialogWrapper::CreateSetupCtrl(const QString& setupCtrl)
{
    if (setupCtrl.isEmpty())
        return mctlSetup;
    try {
        if (mctlSetup || !m_window)
            return nullptr; // the name "isc" is taken
        ObjectPtr control = CreateObject(setupCtrl);
        if (!control)
            return nullptr;
        auto panel = query<ICustomControl>(control);
        QWidget* widget = panel ? panel->hWnd() : nullptr;
        if (widget) {
            // Like any control added at run time, the panel starts hidden.
            widget->hide();
            widget->setParent(m_window);
            widget->setObjectName(kControlName);
        }
        mctlSetup = control;
        m_controlWidget = widget;
        if (!panel)
            return nullptr;
        miscSetup = panel;
        return mctlSetup;
    } catch (...) {
        return nullptr;
    }
}

QWidget* FDialogWrapper::panelWindow()
{
    return miscSetup ? miscSetup->hWnd() : nullptr;
}

Ptr<ICallBack> FDialogWrapper::CallBack()
{
    return valueOr([&] { return miscSetup ? miscSetup->CallBack() : nullptr; }, Ptr<ICallBack>());
}

void FDialogWrapper::SetCallBack(const Ptr<ICallBack>& callBack)
{
    ignoreErrors([&] {
        if (miscSetup)
            miscSetup->SetCallBack(callBack);
    });
}

bool FDialogWrapper::Locked()
{
    return valueOr([&] { return miscSetup && miscSetup->Locked(); }, false);
}

void FDialogWrapper::SetLocked(bool locked)
{
    ignoreErrors([&] {
        if (miscSetup)
            miscSetup->SetLocked(locked);
    });
}

void FDialogWrapper::Initialize(const Variant& inData)
{
    ignoreErrors([&] {
        if (miscSetup)
            miscSetup->Initialize(inData);
    });
}

void FDialogWrapper::Hide()
{
    QWidget* target = mfDocked ? m_controlWidget.data() : m_window.data();
    if (target)
        target->hide();
}

void FDialogWrapper::Show(std::int32_t)
{
    // The wrapper window itself is never shown.
    if (mfDocked && m_controlWidget)
        m_controlWidget->show();
}

void FDialogWrapper::Dock(WindowHandle parent)
{
    if (!parent)
        return;
    ignoreErrors([&] { reparent(panelWindow(), parent); });
    mfDocked = true;
}

void FDialogWrapper::UnDock()
{
    ignoreErrors([&] { reparent(panelWindow(), m_window); });
}

void FDialogWrapper::Unload()
{
    if (mfDocked)
        UnDock();
    // Destroying the window destroys the panel's widget with it.
    delete m_window.data();
}

void FDialogWrapper::Move(float left, float top, float width, float height)
{
    moveInTwips(mfDocked ? m_controlWidget.data() : m_window.data(), left, top, width, height);
}

void FDialogWrapper::Refresh()
{
    ignoreErrors([&] {
        if (miscSetup)
            miscSetup->Refresh();
    });
}

void FDialogWrapper::SetFocus()
{
    ignoreErrors([&] {
        if (miscSetup)
            miscSetup->SetFocus();
    });
}

} // namespace kelto
