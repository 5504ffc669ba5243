#include "host/app/LinkCommands.h"

#include "host/SerialPortMap.h"
#include "host/app/CommandLine.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/EscapedText.h"
#include "platform/MessageBox.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/Instrument.h"

namespace kelto::host {

namespace {

// The port a command-line run uses, whatever the stored instrument settings say.
std::int32_t g_sessionPort = 0;

class SessionInstrumentSettings : public IInstrumentSettings {
public:
    std::int32_t GetPort(const QString&, const QString&) override { return g_sessionPort; }
};

class SessionInstrumentSetup : public IInstrumentSetup {
public:
    Ptr<IInstrumentSettings> Settings() override { return std::make_shared<SessionInstrumentSettings>(); }
};

ObjectPtr makeSessionSetup()
{
    return std::make_shared<SessionInstrumentSetup>();
}

const ClassEntry kSessionClasses[] = {
    {hostclass::InstrumentSetup, nullptr, &makeSessionSetup},
};

// A port number as it is; a device path is put on port 1 for this run.
std::int32_t portNumber(const QString& port)
{
    if (isPortNumberText(port))
        return port.trimmed().toInt();
    SerialPortMap::SetSessionPath(SerialPortMap::kFirstPort, port);
    return SerialPortMap::kFirstPort;
}

// The link's own error &H8004A462 only says that it failed: the link has told why
// (its message box, its last failure) before raising it.
bool toldAlready(const PluginError& error)
{
    return error.number() == kVtiError;
}

void printError(QTextStream& err, const PluginError& error)
{
    err << "Error #" << error.number() << " (&H" << QString::number(static_cast<std::uint32_t>(error.number()), 16).toUpper()
        << "): " << error.description() << "\n";
}

// Why the link or the query found no analyser, as they tell it.
void printUnreachable(QTextStream& err, const QString& port, const Ptr<IObject>& object)
{
    QString reason;
    if (const auto diagnostics = std::dynamic_pointer_cast<ILinkDiagnostics>(object))
        ignoreErrors([&] { reason = diagnostics->LastFailure(); });
    err << "Cannot reach the analyser on " << port << ".";
    if (!reason.isEmpty())
        err << " " << reason;
    err << "\n";
}

// The link's message boxes, on standard error among the command's own lines and
// answered as no one is there to answer them: a box that asks the operator to do
// something first (switch the analyser off) is cancelled, as no one did.
class BoxesToStandardError {
public:
    explicit BoxesToStandardError(QTextStream& err)
        : m_previous(setMessageBoxHandler([&err](const MessageBoxRequest& box) {
              const QString title = box.title.isEmpty() ? QString() : box.title + QStringLiteral(": ");
              err << title << QString(box.prompt).replace(QStringLiteral("\r\n"), QStringLiteral(" ")) << "\n";
              err.flush();
              return box.buttons() == mb::OKCancel ? mb::Cancel : firstButtonAnswer(box.flags);
          }))
    {
    }
    ~BoxesToStandardError() { setMessageBoxHandler(std::move(m_previous)); }
    BoxesToStandardError(const BoxesToStandardError&) = delete;
    BoxesToStandardError& operator=(const BoxesToStandardError&) = delete;

private:
    MessageBoxHandler m_previous;
};

QString secondsText(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 6);
}

} // namespace

int runQueryCommand(const QString& port, QTextStream& out, QTextStream& err)
{
    const std::int32_t number = portNumber(port);
    const BoxesToStandardError boxes(err);
    try {
        auto query = ComponentRuntime::instance().createAs<IKeltoVexaQuery>(QLatin1String(linkclass::TarvoXQuery));
        if (!query) {
            err << "The instrument query " << linkclass::TarvoXQuery << " is not registered; build and register KeltoTarvoXVTI.\n";
            return exitcode::Failure;
        }
        const InstrumentRecord record = query->QueryMTI(number);
        if (record.Present == 0) {
            printUnreachable(err, port, query);
            return exitcode::Failure;
        }
        out << "Analyser on " << port << ":\n";
        // What the analyser did not report is left out rather than shown blank.
        const struct {
            const char* label;
            const QString& value;
        } fields[] = {{"Type", record.MtiType}, {"Serial number", record.SerialNo}, {"Firmware", record.FWVersion}};
        for (const auto& field : fields) {
            if (!field.value.isEmpty())
                out << "  " << field.label << ": " << field.value << "\n";
        }
        out << "  Present: " << record.Present << "\n";
        return exitcode::Success;
    } catch (...) {
        printError(err, currentError());
        return exitcode::Failure;
    }
}

int runLinkCommand(const QString& port, const QStringList& commands, int timeoutMs, QTextStream& out, QTextStream& err)
{
    useSessionPort(port);
    const BoxesToStandardError boxes(err);

    Ptr<ITarvoXVTi> link;
    bool told = false; // the link told what came that it cannot take
    try {
        link = ComponentRuntime::instance().createAs<ITarvoXVTi>(QLatin1String(linkclass::TarvoXVtiId));
        if (!link) {
            err << "The instrument link " << linkclass::TarvoXVti << " is not registered; build and register KeltoTarvoXVTI.\n";
            return exitcode::Failure;
        }
        if (const auto notices = std::dynamic_pointer_cast<ILinkNotice>(link)) {
            const auto toStandardError = [&err](const QString& text) {
                err << text << "\n";
                err.flush();
            };
            notices->SetNoticeHandler([&told, toStandardError](const QString& text) {
                told = true;
                toStandardError(text);
            });
            notices->SetCheckHandler(toStandardError);
        }
        link->OpenChannel();
        if (link->State() != evtiIdle) {
            printUnreachable(err, port, link);
            return exitcode::Failure;
        }
    } catch (...) {
        const PluginError error = currentError();
        printUnreachable(err, port, link);
        if (!toldAlready(error))
            printError(err, error);
        return exitcode::Failure;
    }

    // The link itself waits for a reply as long as the operator lets it; here no one
    // is there to press Abort, so a timer does.
    bool timedOut = false;
    const std::unique_ptr<ClockTimer> timer = Clock::instance().createTimer();
    timer->setCallback([&] {
        timer->stop();
        timedOut = true;
        link->Abort();
    });

    int status = exitcode::Success;
    for (const QString& command : commands) {
        try {
            timedOut = false;
            told = false;
            if (timeoutMs > 0)
                timer->start(timeoutMs);
            const Variant reply = link->SendCommand(command);
            timer->stop();
            const QString text = reply.isEmpty() ? QString() : reply.toString();
            if (timedOut && text.isEmpty()) {
                err << "No reply to " << command << " from the analyser on " << port << " within " << secondsText(timeoutMs);
                // What came is said above; a silent analyser may be off or off its menu.
                if (told)
                    err << " s that the link could take: the analyser sent what the lines above say. The command was aborted; give a "
                           "longer --timeout (0 waits without limit) where its reply was still to come.\n";
                else
                    err << " s; the command was aborted. Check that the analyser is switched on and shows its main menu, or give a "
                           "longer --timeout (0 waits without limit).\n";
                link->SetmfTimeOut(true); // a silent analyser gets no quit either
                status = exitcode::Failure;
                break;
            }
            out << escapeControls(text) << "\n";
            out.flush();
            // The analyser answered with its banner: this model lacks the command, and
            // the link has said so. The flag holds until the channel is opened again,
            // so the commands after it could not be judged.
            if (link->TestStop()) {
                err << "The analyser on " << port << " does not support " << command << " on this model; no further command was sent.\n";
                status = exitcode::Failure;
                break;
            }
        } catch (...) {
            timer->stop();
            const PluginError error = currentError();
            if (!toldAlready(error))
                printError(err, error);
            status = exitcode::Failure;
            break;
        }
    }
    link->CloseChannel();
    return status;
}

void useSessionPort(const QString& port)
{
    g_sessionPort = portNumber(port);
    ComponentRuntime::instance().registerBuiltin({kSessionClasses, static_cast<int>(std::size(kSessionClasses))});
}

} // namespace kelto::host
