// Drives a kelto-host window in a program of its own, as an operator would, from
// commands on its standard input: Qt loads it as a generic plug-in at the start of
// the program (QT_QPA_GENERIC_PLUGINS=keltowindowdriver), so that the program
// itself stays as shipped. One command a line; each is answered by "ok <window
// title>" on standard output, after a line "box: <text>" for each message box it
// brought up (line breaks as "\n"):
//   add TESTID      adds a test of that type to the sequence ("Add to sequence")
//   save ANSWER     File, Save; a box is answered with its button ANSWER (OK, Cancel ...)
//   quit            ends the program without a question

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGenericPlugin>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <unistd.h>

namespace {

class Driver : public QObject {
public:
    Driver() : m_input(STDIN_FILENO, QSocketNotifier::Read, this)
    {
        connect(&m_input, &QSocketNotifier::activated, this, [this] { readInput(); });
        // A box shows modally, inside the command that brought it up.
        m_boxes.setInterval(0);
        connect(&m_boxes, &QTimer::timeout, this, [this] { answerBox(); });
    }

private:
    void readInput()
    {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            m_input.setEnabled(false);
            return;
        }
        m_pending.append(buffer, n);
        for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(m_pending.left(end)).trimmed();
            m_pending.remove(0, end + 1);
            run(line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 1));
        }
    }

    void run(const QString& command, const QString& argument)
    {
        QMainWindow* window = mainWindow();
        if (command == QLatin1String("quit")) {
            QCoreApplication::exit(0);
            return;
        }
        if (window && command == QLatin1String("add")) {
            auto* types = window->findChild<QTreeWidget*>();
            for (int i = 0; types && i < types->topLevelItemCount(); ++i) {
                if (types->topLevelItem(i)->data(0, Qt::UserRole).toString() == argument)
                    types->setCurrentItem(types->topLevelItem(i));
            }
            for (auto* button : window->findChildren<QPushButton*>())
                if (button->text() == QLatin1String("Add to sequence"))
                    button->click();
        } else if (window && command == QLatin1String("save")) {
            m_answer = argument;
            m_boxes.start();
            for (QAction* action : window->findChildren<QAction*>())
                if (action->text() == QLatin1String("&Save"))
                    action->trigger();
            m_boxes.stop();
        }
        say(QStringLiteral("ok ") + (window ? window->windowTitle() : QString()));
    }

    void answerBox()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible())
                continue;
            say(QStringLiteral("box: ") + box->text().replace(QLatin1Char('\n'), QLatin1String("\\n")));
            for (QAbstractButton* button : box->buttons())
                if (button->text().remove(QLatin1Char('&')) == m_answer)
                    button->click();
            return;
        }
    }

    static QMainWindow* mainWindow()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<QMainWindow*>(widget))
                return window;
        return nullptr;
    }

    static void say(const QString& line)
    {
        std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
        std::fflush(stdout);
    }

    QSocketNotifier m_input;
    QByteArray m_pending;
    QTimer m_boxes;
    QString m_answer;
};

} // namespace

class WindowDriverPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "WindowDriver.json")
public:
    // The application owns what a generic plug-in creates, and deletes it after its
    // own children: a parent would delete it a second time.
    QObject* create(const QString&, const QString&) override { return new Driver; }
};

#include "WindowDriver.moc"
