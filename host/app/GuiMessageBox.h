#pragma once

namespace kelto {
struct MessageBoxRequest;
}

namespace kelto::host {

// Shows the plug-in's message boxes as real dialogs of the window.
void installGuiMessageBoxes();
// One such box, modal until it is answered; the button pressed.
int showGuiMessageBox(const MessageBoxRequest& request);

} // namespace kelto::host
