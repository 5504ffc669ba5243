#include "MessageBox.h"

#include <cstdio>

namespace kelto {

namespace {

int writeToStandardError(const MessageBoxRequest& request)
{
    const QString title = request.title.isEmpty() ? QString() : request.title + QStringLiteral(": ");
    QString prompt = request.prompt;
    prompt.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    std::fprintf(stderr, "%s%s\n", qPrintable(title), qPrintable(prompt));
    return firstButtonAnswer(request.flags);
}

MessageBoxHandler& handler()
{
    static MessageBoxHandler h;
    return h;
}

} // namespace

int firstButtonAnswer(int flags)
{
    switch (flags & 0x0F) {
    case mb::AbortRetryIgnore: return mb::Abort;
    case mb::YesNoCancel:
    case mb::YesNo: return mb::Yes;
    case mb::RetryCancel: return mb::Cancel; // never retry for ever without a person
    default: return mb::OK;
    }
}

int MsgBox(const QString& prompt, int flags, const QString& title)
{
    const MessageBoxRequest request{prompt, flags, title};
    return handler() ? handler()(request) : writeToStandardError(request);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler h)
{
    MessageBoxHandler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

} // namespace kelto
