#pragma once
// Reading and writing files (sequences, templates, the registry, reports,
// component registrations) only where a regular file is meant, and never reporting a write as
// done that was not. A named pipe would block a reader for ever, and a save that
// renames over a device or a pipe would replace it with a regular file.

#include <QByteArray>
#include <QFile>
#include <QString>

#include "PlatformExport.h"

namespace kelto {

// Opens the file for reading when it is a regular file. Otherwise false, with
// the reason: "No such file or directory", "it is a named pipe, not a regular
// file" ... The open never blocks, even on a pipe put there after the check.
KELTO_PLATFORM_EXPORT bool openRegularFile(QFile& file, QIODevice::OpenMode mode, QString* reason);

// Why a save cannot replace what the path names ("it is a folder, not a regular
// file"); empty for a regular file, or where there is nothing.
KELTO_PLATFORM_EXPORT QString notARegularFile(const QString& path);

// Why no save may replace what the path names: it is not a regular file, its links
// lead round in a loop, its mode keeps it from its owner's writes (root's saves
// included), or this user may not write it. Empty where a save may write there.
KELTO_PLATFORM_EXPORT QString notReplaceable(const QString& path);

// Writes the bytes as the file's whole content through a temporary file that
// replaces the file only when every byte reached the disk. Otherwise false, with
// the reason ("No space left on device", "it is a device, not a regular file", or
// why notReplaceable refuses it), and the earlier file is kept as it was. The file
// that replaces it takes its mode, and its owner where the system lets this user
// give it. A save stopped on the way (the process killed) can leave its temporary
// file beside the file, named "<name>.kelto-save-" and six letters or digits (the
// name cut short where the whole would be longer than the folder takes). No
// save removes such a file: nothing tells it from one that another save is writing
// at that moment, or that someone put there.
KELTO_PLATFORM_EXPORT bool saveWholeFile(const QString& path, const QByteArray& bytes, QString* reason);

} // namespace kelto
