#pragma once
// The detail panel of a test result: a title and the result's comment, read-only.
// It keeps neither the result nor the host's callback.

#include <QPointer>
#include <QWidget>

#include "platform/interfaces/Controls.h"

class QLabel;
class QPlainTextEdit;

namespace kelto {

class XDetailedResult : public ICustomControl {
public:
    XDetailedResult();
    ~XDetailedResult() override;

    Ptr<ICallBack> CallBack() override { return nullptr; }
    void SetCallBack(const Ptr<ICallBack>&) override {}
    WindowHandle hWnd() override { return m_widget; }
    bool Visible() override;
    void SetVisible(bool visible) override;
    bool Locked() override { return false; }
    void SetLocked(bool) override {}
    void Initialize(const Variant& inData) override;
    void Refresh() override;
    void SetFocus() override;

    QLabel* title() const { return lblTitle; }
    QPlainTextEdit* comment() const { return txtComment; }

private:
    void layout();

    QPointer<QWidget> m_widget; // the wrapper window owns it once the panel is added
    QLabel* lblTitle = nullptr;
    QPlainTextEdit* txtComment = nullptr;
};

} // namespace kelto
