#include "host/app/CommandLine.h"

#include <QCommandLineParser>
#include <QLocale>
#include <cmath>

#include "host/BasicServices.h"
#include "host/SerialPortMap.h"
#include "host/app/SequenceReport.h"

namespace kelto::host {

namespace {

enum OptionBit { kPort = 1, kTimeout = 2, kOutput = 4 };

struct CommandEntry {
    const char* name; // "" for the window
    Invocation::Command command;
    int minArguments;
    int maxArguments; // -1: any number
    int options;      // the options it takes
    int required;     // the options it needs
    const char* usage;
};

const CommandEntry kCommands[] = {
    {"", Invocation::Window, 0, 0, kPort, 0, "kelto-host [--port PORT]"},
    {"open", Invocation::Open, 1, 1, kPort, 0, "kelto-host open FILE [--port PORT]"},
    {"tests", Invocation::Tests, 0, 0, 0, 0, "kelto-host tests"},
    {"classes", Invocation::Classes, 0, 0, 0, 0, "kelto-host classes"},
    {"version", Invocation::Version, 0, 0, 0, 0, "kelto-host version"},
    {"query", Invocation::Query, 0, 0, kPort, kPort, "kelto-host query --port PORT"},
    {"link", Invocation::Link, 0, -1, kPort | kTimeout, kPort, "kelto-host link --port PORT [--timeout SECONDS] COMMAND..."},
    {"report", Invocation::Report, 1, 1, kOutput, kOutput, "kelto-host report SEQUENCE_FILE --output FILE"},
};

// A reply may take at most a day; longer is surely a typing mistake.
constexpr double kMaxTimeoutSeconds = 86400;

const char* const kDescription =
    "The Kelto host stand-in with the TarvoX plug-in: runs test sequences in its window,\n"
    "checks the line to the Tarvo analyser and writes test reports.\n"
    "\n"
    "Commands:\n"
    "  (none)                    Open the host window.\n"
    "  open FILE                 Open the host window with the test sequence FILE.\n"
    "  tests                     List the plug-in's test types.\n"
    "  classes                   List the component classes the host can create.\n"
    "  version                   Print the version.\n"
    "  query --port PORT         Ask whether a Tarvo analyser answers on PORT.\n"
    "  link --port PORT [--timeout SECONDS] COMMAND...\n"
    "                            Open the channel to the analyser, send each COMMAND\n"
    "                            (for example \"[CRG]\") and print its reply, escaped,\n"
    "                            one line each.\n"
    "  report SEQUENCE_FILE --output FILE\n"
    "                            Write the test report of a saved sequence; FILE ends\n"
    "                            in .html or .pdf.\n"
    "\n"
    "PORT is a serial port number 1 to 16 or a device path such as /dev/ttyUSB0.";

const char* const kExitCodes =
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  failure: no analyser on the port (the reason is given), no reply in time,\n"
    "     a file that cannot be read or written, a plug-in that cannot start\n"
    "  2  usage error: an unknown command or option, a missing or wrong argument\n";

struct Parser {
    QCommandLineParser parser;
    // Qt's own help option would add --help-all, which only QCommandLineParser::process() serves.
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Print this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Print the version and exit.")};
    QCommandLineOption port{QStringLiteral("port"),
        QStringLiteral("The analyser's serial port, a number 1 to 16 or a device path (window, open, query, link)."), QStringLiteral("PORT")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
        QStringLiteral("link: seconds to wait for each reply before the command is aborted (default 10; 0 waits without "
                       "limit)."),
        QStringLiteral("SECONDS")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("report: the report file, .html or .pdf."),
        QStringLiteral("FILE")};

    Parser()
    {
        parser.setApplicationDescription(QLatin1String(kDescription));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(port);
        parser.addOption(timeout);
        parser.addOption(output);
        parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("One of the commands above; none opens the window."),
            QStringLiteral("[command]"));
        parser.addPositionalArgument(QStringLiteral("arguments"), QStringLiteral("The command's arguments."), QStringLiteral("[arguments...]"));
    }
};

const CommandEntry* findCommand(const QString& name)
{
    for (const CommandEntry& entry : kCommands) {
        if (name == QLatin1String(entry.name))
            return &entry;
    }
    return nullptr;
}

bool checkPort(const QString& text, QString* error)
{
    if (text.isEmpty()) {
        *error = QStringLiteral("--port needs a port number 1 to 16 or a device path.");
        return false;
    }
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber && (number < SerialPortMap::kFirstPort || number > SerialPortMap::kLastPort)) {
        *error = QStringLiteral("Port %1 is not a serial port; use 1 to 16 or a device path.").arg(text);
        return false;
    }
    return true;
}

bool parseTimeout(const QString& text, int* milliseconds, QString* error)
{
    bool ok = false;
    const double seconds = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > kMaxTimeoutSeconds) {
        *error = QStringLiteral("--timeout takes seconds from 0 to %1 (0 waits without limit), not \"%2\".").arg(kMaxTimeoutSeconds).arg(text);
        return false;
    }
    const auto ms = static_cast<int>(std::llround(seconds * 1000));
    *milliseconds = seconds > 0 ? std::max(ms, 1) : 0;
    return true;
}

} // namespace

bool parseCommandLine(const QStringList& arguments, Invocation* invocation, QString* error)
{
    Parser p;
    const bool parsed = p.parser.parse(QStringList{QStringLiteral("kelto-host")} + arguments);
    // Asking for help or the version is never a mistake.
    if (p.parser.isSet(p.help)) {
        invocation->command = Invocation::Help;
        return true;
    }
    if (p.parser.isSet(p.version)) {
        invocation->command = Invocation::Version;
        return true;
    }
    if (!parsed) {
        *error = p.parser.errorText();
        return false;
    }

    const QStringList positional = p.parser.positionalArguments();
    const QString name = positional.value(0);
    const CommandEntry* entry = findCommand(name);
    if (!entry) {
        *error = QStringLiteral("Unknown command \"%1\".").arg(name);
        return false;
    }
    const QStringList rest = positional.mid(1);
    const int count = static_cast<int>(rest.size());
    if (count < entry->minArguments || (entry->maxArguments >= 0 && count > entry->maxArguments)) {
        *error = QStringLiteral("Wrong arguments. Usage: %1").arg(QLatin1String(entry->usage));
        return false;
    }
    const struct {
        OptionBit bit;
        const QCommandLineOption& option;
    } options[] = {{kPort, p.port}, {kTimeout, p.timeout}, {kOutput, p.output}};
    for (const auto& o : options) {
        const QString optionName = QStringLiteral("--") + o.option.names().constLast();
        if (p.parser.isSet(o.option) && !(entry->options & o.bit)) {
            *error = QStringLiteral("%1 is not an option of %2. Usage: %3")
                         .arg(optionName, name.isEmpty() ? QStringLiteral("the window") : name, QLatin1String(entry->usage));
            return false;
        }
        if (!p.parser.isSet(o.option) && (entry->required & o.bit)) {
            *error = QStringLiteral("%1 needs %2. Usage: %3").arg(name, optionName, QLatin1String(entry->usage));
            return false;
        }
    }

    Invocation result;
    result.command = entry->command;
    if (p.parser.isSet(p.port)) {
        result.port = p.parser.value(p.port);
        if (!checkPort(result.port, error))
            return false;
    }
    if (p.parser.isSet(p.timeout) && !parseTimeout(p.parser.value(p.timeout), &result.timeoutMs, error))
        return false;
    if (entry->command == Invocation::Open || entry->command == Invocation::Report)
        result.file = rest.value(0);
    if (entry->command == Invocation::Link)
        result.commands = rest;
    if (entry->command == Invocation::Report) {
        result.output = p.parser.value(p.output);
        if (reportFormatOf(result.output) == ReportFormat::Unknown) {
            *error = QStringLiteral("The report file \"%1\" must end in .html or .pdf.").arg(result.output);
            return false;
        }
    }
    *invocation = result;
    return true;
}

QString helpText()
{
    Parser p;
    return p.parser.helpText() + QLatin1String(kExitCodes);
}

QString versionText()
{
    return QStringLiteral("kelto-host %1").arg(QLatin1String(HostVersion::kVersion));
}

} // namespace kelto::host
