#pragma once
// The technician's line checks of kelto-host, against the analyser on a port:
//   kelto-host query --port PORT
//   kelto-host link --port PORT COMMAND...
// PORT is a port number (1 to 16) or a device path. Message boxes have no one to
// answer them here: they go to standard error, answered OK.

#include <QStringList>
#include <QTextStream>

namespace kelto::host {

// Prints the analyser record, exit 0; or that no analyser answered, exit 1.
int runQueryCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// Opens the channel, sends each command, prints each reply escaped on a line of
// its own, closes the channel. A failure prints the error and exits non-zero.
int runLinkCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// The port the plug-in uses for the rest of this run, whatever the stored
// instrument settings say: a port number (1 to 16) or a device path.
bool useSessionPort(const QString& portText, QTextStream& err);

} // namespace kelto::host
