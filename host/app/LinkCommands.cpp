#include "host/app/LinkCommands.h"

#include "host/SerialPortMap.h"
#include "platform/ComponentRuntime.h"
#include "platform/EscapedText.h"
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

struct PortArgument {
    std::int32_t number = 0;
    QString text; // as given, for messages
    QStringList rest;
};

// "--port PORT" anywhere in the arguments; a device path is put on port 1 for this run.
bool parsePort(const QStringList& args, PortArgument* port, QTextStream& err, const char* usage)
{
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--port") && i + 1 < args.size()) {
            port->text = args[++i];
        } else if (args[i].startsWith(QLatin1String("--port="))) {
            port->text = args[i].mid(7);
        } else {
            port->rest.append(args[i]);
        }
    }
    if (port->text.isEmpty()) {
        err << "usage: " << usage << "\n";
        return false;
    }
    bool isNumber = false;
    const int number = port->text.toInt(&isNumber);
    if (isNumber) {
        if (number < SerialPortMap::kFirstPort || number > SerialPortMap::kLastPort) {
            err << "Port " << port->text << " is not a serial port; use 1 to 16 or a device path.\n";
            return false;
        }
        port->number = number;
    } else {
        port->number = SerialPortMap::kFirstPort;
        SerialPortMap::SetSessionPath(port->number, port->text);
    }
    return true;
}

void useSessionPortNumber(std::int32_t number)
{
    g_sessionPort = number;
    ComponentRuntime::instance().registerBuiltin({kSessionClasses, static_cast<int>(std::size(kSessionClasses))});
}

void printError(QTextStream& err, const PluginError& error)
{
    err << "Error #" << error.number() << " (&H" << QString::number(static_cast<std::uint32_t>(error.number()), 16).toUpper()
        << "): " << error.description() << "\n";
}

} // namespace

int runQueryCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    PortArgument port;
    if (!parsePort(args, &port, err, "kelto-host query --port PORT"))
        return 2;
    try {
        auto query = ComponentRuntime::instance().createAs<IKeltoVexaQuery>(QLatin1String(linkclass::TarvoXQuery));
        if (!query) {
            err << "The instrument query " << linkclass::TarvoXQuery << " is not registered; build and register KeltoTarvoXVTI.\n";
            return 2;
        }
        const InstrumentRecord record = query->QueryMTI(port.number);
        if (record.Present == 0) {
            out << "No analyser answered on " << port.text << ".\n";
            return 1;
        }
        out << "Analyser on " << port.text << ":\n";
        out << "  Type: " << record.MtiType << "\n";
        out << "  Serial number: " << record.SerialNo << "\n";
        out << "  Firmware: " << record.FWVersion << "\n";
        out << "  Present: " << record.Present << "\n";
        return 0;
    } catch (...) {
        printError(err, currentError());
        return 1;
    }
}

int runLinkCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    PortArgument port;
    if (!parsePort(args, &port, err, "kelto-host link --port PORT COMMAND..."))
        return 2;
    useSessionPortNumber(port.number);

    Ptr<ITarvoXVTi> link;
    try {
        link = ComponentRuntime::instance().createAs<ITarvoXVTi>(QLatin1String(linkclass::TarvoXVtiId));
        if (!link) {
            err << "The instrument link " << linkclass::TarvoXVti << " is not registered; build and register KeltoTarvoXVTI.\n";
            return 2;
        }
        link->OpenChannel();
        if (link->State() != evtiIdle) {
            err << "No analyser answered on " << port.text << ".\n";
            return 1;
        }
    } catch (...) {
        err << "No analyser answered on " << port.text << ".\n";
        printError(err, currentError());
        return 1;
    }

    int status = 0;
    for (const QString& command : port.rest) {
        try {
            const Variant reply = link->SendCommand(command);
            out << escapeControls(reply.isEmpty() ? QString() : reply.toString()) << "\n";
            out.flush();
        } catch (...) {
            printError(err, currentError());
            status = 1;
            break;
        }
    }
    link->CloseChannel();
    return status;
}

bool useSessionPort(const QString& portText, QTextStream& err)
{
    PortArgument port;
    if (!parsePort({QStringLiteral("--port"), portText}, &port, err, "kelto-host [open FILE] --port PORT"))
        return false;
    useSessionPortNumber(port.number);
    return true;
}

} // namespace kelto::host
