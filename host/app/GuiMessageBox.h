#pragma once

namespace kelto::host {

// Shows the plug-in's message boxes as real dialogs of the window.
void installGuiMessageBoxes();

} // namespace kelto::host
