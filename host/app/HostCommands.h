#pragma once
// The kelto-host commands that use the plug-in.

#include <QString>
#include <QTextStream>

namespace kelto::host {

// "tests": one line per test type, id and translated name; exit 0, or the plug-in's
// error and a non-zero exit when it could not be initialised.
int runTestsCommand(QTextStream& out, QTextStream& err);

// The window, optionally with a sequence file opened.
int runWindow(const QString& file);

} // namespace kelto::host
