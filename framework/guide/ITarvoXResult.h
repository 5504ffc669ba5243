#pragma once
// The interface between the test guide and its result views, and what the guide
// needs of any control it embeds: the control's widget and its events.

#include <QString>
#include <functional>

#include "platform/Object.h"
#include "platform/Variant.h"

class QWidget;

namespace kelto {

class ILimitData;
class IResultData;

namespace tarvoxclass {
constexpr const char* ITarvoXResult = "{C5167228-F9C1-4D3D-A4A6-9603F0205F10}";
constexpr const char* XChargeResult = "KeltoTarvoXTest.XChargeResult";
constexpr const char* XTestResult = "KeltoTarvoXTest.XTestResult";
constexpr const char* XDetailedResult = "KeltoTarvoXTest.XDetailedResult";
} // namespace tarvoxclass

class ITarvoXResult : public virtual IObject {
public:
    virtual void SetLimits(const Ptr<ILimitData>& limits) = 0;
    virtual void Clear() = 0;
    virtual void ShowTestResult(const Ptr<IResultData>& result) = 0;
    // Names the limits do not hold keep the limits shown; empty names clear them.
    virtual void SelectStandard(const QString& alphaName, const QString& completeName, bool calculate) = 0;
};

// Any event of an embedded control, by name with its arguments.
using ObjectEventHandler = std::function<void(const QString& name, const VariantArray& params)>;

// A control that a window adds at run time. The object owns its widget until a
// window takes the widget over.
class IEmbeddedControl : public virtual IObject {
public:
    virtual QWidget* widget() = 0;
    virtual void SetObjectEventHandler(ObjectEventHandler handler) = 0; // empty stops the events
};

} // namespace kelto
