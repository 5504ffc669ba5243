#pragma once
// The host's user-interface controls that plug-in panels place on themselves.

#include <QString>
#include <functional>

#include "../Object.h"
#include "../Variant.h"

class QWidget;

namespace kelto {

class ITestGuideConfig;

namespace hostclass {
constexpr const char* HelpText = "KeltoView.XHelpText";
constexpr const char* TestGuideSettings = "KeltoView.XTestGuideSettings";
} // namespace hostclass

// A strip of help text at the foot of a panel.
class IHelpText : public virtual IObject {
public:
    virtual QWidget* widget() = 0;
    virtual void SetText(const QString& text) = 0;
    virtual QString Text() = 0;
    // Places the strip at the foot of a parent of the given height (twips), as high
    // as its text needs at its width; height then holds the space left above it.
    virtual void FitToHeight(float& height) = 0;
    virtual float Top() = 0; // twips, the strip's upper edge
};

// The editor of a configuration's test-guide settings: it edits the settings
// object it is given in place.
class ITestGuideSettings : public virtual IObject {
public:
    virtual QWidget* widget() = 0;
    // inData holds the ITestGuideConfig to edit; anything else leaves nothing to edit.
    virtual void Initialize(const Variant& inData) = 0;
    virtual bool Locked() = 0;
    virtual void SetLocked(bool locked) = 0;
    // The Change event: called after each change the operator makes, never for Initialize.
    virtual void SetOnChange(std::function<void()> onChange) = 0;
};

} // namespace kelto
