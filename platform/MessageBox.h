#pragma once
// The seam for message boxes. The plug-in asks through MsgBox with the automation
// button and icon flags; the host installs the handler that shows the box (a real
// dialog in the window, standard error on the command line) and tests install one
// that answers as the operator would.

#include <QString>
#include <functional>

#include "PlatformExport.h"

namespace kelto {

namespace mb {
// Buttons
constexpr int OKOnly = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5;
// Icons
constexpr int Critical = 16, Question = 32, Exclamation = 48, Information = 64;
// Answers
constexpr int OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7;
} // namespace mb

struct MessageBoxRequest {
    QString prompt;
    int flags = mb::OKOnly;
    QString title;
    int buttons() const { return flags & 0x0F; }
    int icon() const { return flags & 0x70; }
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Shows a box through the installed handler and returns the answer (mb::OK ...).
KELTO_PLATFORM_EXPORT int MsgBox(const QString& prompt, int flags = mb::OKOnly, const QString& title = QString());

// Installs a handler (empty restores the default) and returns the previous one.
// The default writes the box to standard error and answers OK (Yes, Abort, or Cancel
// for a retry box), so that nothing waits for a person.
KELTO_PLATFORM_EXPORT MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

KELTO_PLATFORM_EXPORT int firstButtonAnswer(int flags);

} // namespace kelto
