#pragma once
// The host's user-interface controls that plug-in panels place on themselves.

#include <QString>

#include "../Object.h"

class QWidget;

namespace kelto {

class ITestGuideConfig;

namespace hostclass {
constexpr const char* HelpText = "KeltoView.XHelpText";
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

} // namespace kelto
