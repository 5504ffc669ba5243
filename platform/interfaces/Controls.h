#pragma once
// User-interface glue between host and plug-in: panels (custom controls), the
// dialogs that hold them, and the host's callback.

#include <QString>

#include "../Object.h"
#include "../Variant.h"

class QWidget;

namespace kelto {

// A window handle is the widget itself; 0 (null) is no window.
using WindowHandle = QWidget*;

class ICallBack : public virtual IObject {
public:
    virtual void FireEvent(const QString& name, const VariantArray& args) = 0;
};

// A panel that the host or a dialog wrapper hosts.
class ICustomControl : public virtual IObject {
public:
    virtual Ptr<ICallBack> CallBack() = 0;
    virtual void SetCallBack(const Ptr<ICallBack>& callBack) = 0;
    virtual WindowHandle hWnd() = 0;
    virtual bool Visible() = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Locked() = 0;
    virtual void SetLocked(bool locked) = 0;
    virtual void Initialize(const Variant& inData) = 0;
    virtual void Refresh() = 0;
    virtual void SetFocus() = 0;
};

class IDialog : public virtual IObject {
public:
    virtual Ptr<ICallBack> CallBack() = 0;
    virtual void SetCallBack(const Ptr<ICallBack>& callBack) = 0;
    virtual bool IsDocked() = 0;
    virtual bool Locked() = 0;
    virtual void SetLocked(bool locked) = 0;
    virtual void Initialize(const Variant& inData) = 0;
    virtual void Hide() = 0;
    virtual void Show(std::int32_t mode = 0) = 0;
    virtual void Dock(WindowHandle parent) = 0;
    virtual void UnDock() = 0;
    virtual void Unload() = 0;
    virtual void Move(float left, float top, float width, float height) = 0; // twips
    virtual void Refresh() = 0;
    virtual void SetFocus() = 0;
};

namespace hostclass {
constexpr const char* LimitView = "KeltoView.XLimitView";
constexpr const char* CallBack = "{BE9EF4D0-AC5D-11D3-9A8E-0050DA3393D8}"; // a callback that records nothing for the host
} // namespace hostclass

// The host's limit view (also an ICustomControl panel, initialised with the limits
// of a test): one editable row per limit key. The operator list is
// "<op>Y;X+Y;X+(X*Y%)</op>" or empty for a row whose formula cannot be chosen.
class ILimitView : public virtual IObject {
public:
    virtual void AddLimitRow(const QString& key, const QString& caption, const QString& unit, const QString& operators) = 0;
};

} // namespace kelto
