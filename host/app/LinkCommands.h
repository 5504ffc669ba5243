#pragma once
// The technician's line checks of kelto-host, against the analyser on a port:
//   kelto-host query --port PORT
//   kelto-host link --port PORT [--timeout SECONDS] COMMAND...
// PORT is a port number (1 to 16) or a device path, checked by the command line.
// Message boxes have no one to answer them here: they go to standard error,
// answered OK. Failures go to standard error, saying why and what to check; a
// port given as a device path is named by that path.

#include <QStringList>
#include <QTextStream>

namespace kelto::host {

// Prints the analyser record, exit 0; or why no analyser answered, exit 1.
int runQueryCommand(const QString& port, QTextStream& out, QTextStream& err);

// Opens the channel, sends each command, prints each reply escaped on a line of
// its own, closes the channel. A reply that does not come within timeoutMs (0: no
// limit) aborts the link. A failure prints the reason and exits 1, and so does a
// command the analyser's model does not support (it answers with its banner); no
// command is sent after either.
int runLinkCommand(const QString& port, const QStringList& commands, int timeoutMs, QTextStream& out, QTextStream& err);

// The port the plug-in uses for the rest of this run, whatever the stored
// instrument settings say: a port number (1 to 16) or a device path.
void useSessionPort(const QString& port);

} // namespace kelto::host
