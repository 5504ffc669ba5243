#pragma once
// The command line of kelto-host, read with Qt's parser:
//
//   kelto-host [--port PORT]                      the window
//   kelto-host open FILE [--port PORT]            the window with a test sequence
//   kelto-host tests | classes | version          what the host and the plug-in hold
//   kelto-host query --port PORT                  does an analyser answer on PORT?
//   kelto-host link --port PORT [--timeout S] COMMAND...   analyser commands, one reply a line
//   kelto-host report SEQUENCE_FILE --output FILE         the test report as HTML or PDF
//
// Exit codes: 0 success, 1 failure, 2 usage error.

#include <QString>
#include <QStringList>

namespace kelto::host {

namespace exitcode {
constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int Usage = 2;
} // namespace exitcode

struct Invocation {
    enum Command { Window, Open, Tests, Classes, Version, Query, Link, Report, Help };

    Command command = Window;
    QString file;          // open: the sequence; report: the sequence to print
    QString port;          // as given: a number 1..16 or a device path
    QStringList commands;  // link: the analyser commands
    int timeoutMs = 10000; // link: per reply; 0 waits without limit
    QString output;        // report: the report file

    // Only the window needs a screen.
    bool needsScreen() const { return command == Window || command == Open; }
};

// Reads the arguments (without the program name). False with a message naming
// what is wrong when they are not a valid command line.
bool parseCommandLine(const QStringList& arguments, Invocation* invocation, QString* error);

// A --port given as a number ("3", "+03"), however large, rather than a device path.
bool isPortNumberText(const QString& port);

// The help: every command and option, and the exit codes.
QString helpText();
// "kelto-host 3.0.0".
QString versionText();

} // namespace kelto::host
