#include "host/app/CommandLine.h"

#include <QCommandLineParser>
#include <QLocale>
#include <QRegularExpression>
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
    "                            (a word in square brackets, such as \"[CRG]\") and print\n"
    "                            its reply, escaped, one line each.\n"
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
    "     a command the analyser's model does not support, a file that cannot be\n"
    "     read or written, a plug-in that cannot start\n"
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

    bool takesValue(const QString& name) const
    {
        for (const QCommandLineOption* option : {&port, &timeout, &output}) {
            if (option->names().contains(name))
                return true;
        }
        return false;
    }

    // The option a name stands for, "--port" or "-o", as it may be typed.
    bool isOption(const QString& argument) const
    {
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        for (const QCommandLineOption* option : {&help, &version, &port, &timeout, &output}) {
            for (const QString& n : option->names()) {
                if (name == (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n)
                    return true;
            }
        }
        return false;
    }
};

// The argument as typed that Qt's parser found no option in: "-style" rather than
// the letters s, t, y, l and e it reads a single-dash word as.
QString unknownOptionArgument(const QStringList& arguments, const Parser& p)
{
    const QStringList unknown = p.parser.unknownOptionNames();
    bool valueNext = false;
    for (const QString& argument : arguments) {
        if (valueNext) {
            valueNext = false;
            continue;
        }
        if (argument == QLatin1String("--"))
            break;
        if (!argument.startsWith(QLatin1Char('-')) || argument.size() < 2)
            continue;
        if (argument.startsWith(QLatin1String("--"))) {
            const QString name = argument.mid(2).section(QLatin1Char('='), 0, 0);
            if (unknown.contains(name))
                return argument;
            valueNext = p.takesValue(name) && !argument.contains(QLatin1Char('='));
            continue;
        }
        // Single-dash letters: a letter that takes a value takes the rest of the word.
        for (qsizetype i = 1; i < argument.size(); ++i) {
            const QString letter = argument.mid(i, 1);
            if (unknown.contains(letter))
                return argument;
            if (p.takesValue(letter)) {
                valueNext = i + 1 == argument.size();
                break;
            }
        }
    }
    return unknown.value(0);
}

// An analyser command is a word in square brackets, "[CRG]": anything else the
// analyser never answers, and the link would wait for nothing.
bool isCommandWord(const QString& text, QString* error)
{
    static const QRegularExpression word(QStringLiteral("^\\[[A-Za-z0-9]+\\]$"));
    static const QRegularExpression bare(QStringLiteral("^[A-Za-z0-9]+$"));
    if (word.match(text).hasMatch())
        return true;
    if (bare.match(text).hasMatch())
        *error = QStringLiteral("\"%1\" is not an analyser command; write it in square brackets: \"[%1]\".").arg(text);
    else
        *error = QStringLiteral("\"%1\" is not an analyser command; a command is a word in square brackets, such as \"[CRG]\".").arg(text);
    return false;
}

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
    bool inRange = false;
    const int number = text.trimmed().toInt(&inRange);
    if (isPortNumberText(text) && (!inRange || number < SerialPortMap::kFirstPort || number > SerialPortMap::kLastPort)) {
        *error = QStringLiteral("Port %1 is not a serial port; use 1 to 16 or a device path.").arg(text);
        return false;
    }
    return true;
}

bool parseTimeout(const QString& text, int* milliseconds, QString* error)
{
    bool ok = false;
    const double seconds = QLocale::c().toDouble(text, &ok);
    // "-0" is no time at all, not 0 (no limit).
    if (!ok || !std::isfinite(seconds) || std::signbit(seconds) || seconds > kMaxTimeoutSeconds) {
        *error = QStringLiteral("--timeout takes seconds from 0 to %1 (0 waits without limit), not \"%2\".").arg(kMaxTimeoutSeconds).arg(text);
        return false;
    }
    const auto ms = static_cast<int>(std::llround(seconds * 1000));
    *milliseconds = seconds > 0 ? std::max(ms, 1) : 0;
    return true;
}

} // namespace

bool isPortNumberText(const QString& port)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*[+-]?[0-9]+\\s*$"));
    return digits.match(port).hasMatch();
}

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
        const QString unknown = unknownOptionArgument(arguments, p);
        *error = unknown.isEmpty() ? p.parser.errorText() : QStringLiteral("Unknown option '%1'.").arg(unknown);
        return false;
    }
    // "--port --timeout 3" gives --port the value "--timeout": an option is never a value.
    for (const QCommandLineOption* option : {&p.port, &p.timeout, &p.output}) {
        const QString value = p.parser.value(*option);
        if (p.parser.isSet(*option) && p.isOption(value)) {
            *error = QStringLiteral("Missing value after '--%1': '%2' is an option.").arg(option->names().constLast(), value);
            return false;
        }
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
    if (entry->command == Invocation::Link) {
        if (rest.isEmpty()) {
            *error = QStringLiteral("link needs a COMMAND to send, such as \"[VER]\". Usage: %1").arg(QLatin1String(entry->usage));
            return false;
        }
        for (const QString& command : rest) {
            if (!isCommandWord(command, error))
                return false;
        }
        result.commands = rest;
    }
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
