#pragma once
// The host dialog around one settings, limits or result panel. The panel is a
// component created by ProgID that implements ICustomControl; its widget is kept
// as a hidden child of the wrapper's own window (which is never shown) until the
// host docks it into a window of its own. No member raises to the host.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/interfaces/Controls.h"

namespace kelto {

class FDialogWrapper : public IDialog {
public:
    FDialogWrapper();
    ~FDialogWrapper() override;

    // Adds the panel of that ProgID under the control name "isc" and returns it;
    // null when it cannot be added (unknown ProgID, not a panel, a panel already
    // there). An empty ProgID adds nothing and returns the panel already held.
    ObjectPtr CreateSetupCtrl(const QString& setupCtrl);
    // The hidden wrapper window; null once unloaded.
    QWidget* window() const { return m_window; }

    // IDialog (also the wrapper's own Initialize, used by the limits)
    Ptr<ICallBack> CallBack() override;
    void SetCallBack(const Ptr<ICallBack>& callBack) override;
    bool IsDocked() override { return mfDocked; }
    bool Locked() override;
    void SetLocked(bool locked) override;
    void Initialize(const Variant& inData) override;
    void Hide() override;
    void Show(std::int32_t mode = 0) override;
    void Dock(WindowHandle parent) override;
    void UnDock() override;
    void Unload() override;
    void Move(float left, float top, float width, float height) override; // twips
    void Refresh() override;
    void SetFocus() override;

private:
    QWidget* panelWindow();

    QPointer<QWidget> m_window;
    ObjectPtr mctlSetup;              // the control added as "isc"
    QPointer<QWidget> m_controlWidget; // its widget, which the window owns while it lives
    Ptr<ICustomControl> miscSetup;
    bool mfDocked = false;
};

} // namespace kelto
