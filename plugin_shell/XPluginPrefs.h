#pragma once
// The preferences panel: the communication time-out and the pacer refractory
// time-out of the plug-in settings, on two tabs. Each change goes straight into
// the settings object and is announced to the host with "Change"; the registry is
// written only when the host saves the settings.

#include <QPointer>
#include <QWidget>

#include "platform/interfaces/Controls.h"

class QLabel;
class QStackedWidget;
class QTabBar;

namespace kelto {

class CTarvoXSetup;
class IHelpText;
class UpDown;

class XPluginPrefs : public ICustomControl {
public:
    static constexpr const char* kProgId = "KeltoTarvoX.XPluginPrefs";

    XPluginPrefs();
    ~XPluginPrefs() override;

    Ptr<ICallBack> CallBack() override { return micbPipe; }
    void SetCallBack(const Ptr<ICallBack>& callBack) override { micbPipe = callBack; }
    WindowHandle hWnd() override { return m_widget; }
    bool Visible() override;
    void SetVisible(bool visible) override;
    bool Locked() override { return mfLocked; }
    void SetLocked(bool locked) override;
    void Initialize(const Variant& inData) override;
    void Refresh() override;
    void SetFocus() override;

    // The controls, for the host's tests.
    QTabBar* tabStrip() const { return tbsTabStrip; }
    QWidget* page(int index) const;
    QLabel* commsLabel() const { return lblComms; }
    QLabel* pacerRefractoryLabel() const { return lblPacRefTime; }
    UpDown* commsUpDown() const { return updCommTimeOut; }
    UpDown* pacerRefractoryUpDown() const { return updPacRefTime; }

private:
    QWidget* makePage(const QString& title, const QString& help, const QString& caption, QLabel*& value, UpDown*& upDown,
        int minimum, int maximum, int step, const QString& unit);
    void labelChanged(QLabel* label);
    void announceChange();
    void tabClicked(int index);

    QPointer<QWidget> m_widget; // the wrapper window owns it once the panel is added
    QTabBar* tbsTabStrip = nullptr;
    QList<QWidget*> pboPictureBoxes;
    QList<Ptr<IHelpText>> m_helpTexts;
    QLabel* lblComms = nullptr;
    QLabel* lblPacRefTime = nullptr;
    UpDown* updCommTimeOut = nullptr;
    UpDown* updPacRefTime = nullptr;

    Ptr<CTarvoXSetup> mShellSetup;
    Ptr<ICallBack> micbPipe;
    bool mfLocked = false;
    bool mfLoading = false;
    bool mfCreating = false;
    int miCurrentTab = 0;
};

} // namespace kelto
