#include "host/app/GuiMessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/MessageBox.h"

namespace kelto::host {

int showGuiMessageBox(const MessageBoxRequest& request)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(request.title.isEmpty() ? QStringLiteral("Kelto") : request.title);
    QString text = request.prompt;
    box.setText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    switch (request.icon()) {
    case mb::Critical: box.setIcon(QMessageBox::Critical); break;
    case mb::Question: box.setIcon(QMessageBox::Question); break;
    case mb::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case mb::Information: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    QList<Choice> choices;
    switch (request.buttons()) {
    case mb::OKCancel: choices = {{QMessageBox::Ok, mb::OK}, {QMessageBox::Cancel, mb::Cancel}}; break;
    case mb::AbortRetryIgnore: choices = {{QMessageBox::Abort, mb::Abort}, {QMessageBox::Retry, mb::Retry}, {QMessageBox::Ignore, mb::Ignore}}; break;
    case mb::YesNoCancel: choices = {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}, {QMessageBox::Cancel, mb::Cancel}}; break;
    case mb::YesNo: choices = {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}}; break;
    case mb::RetryCancel: choices = {{QMessageBox::Retry, mb::Retry}, {QMessageBox::Cancel, mb::Cancel}}; break;
    default: choices = {{QMessageBox::Ok, mb::OK}}; break;
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice& c : choices)
        buttons |= c.button;
    box.setStandardButtons(buttons);
    const auto clicked = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const Choice& c : choices) {
        if (c.button == clicked)
            return c.answer;
    }
    // Closed with the window's close button: the box's cancel answer, else its only one.
    return request.buttons() == mb::OKOnly ? mb::OK : request.buttons() == mb::YesNo ? mb::No : mb::Cancel;
}

void installGuiMessageBoxes()
{
    setMessageBoxHandler(&showGuiMessageBox);
}

} // namespace kelto::host
