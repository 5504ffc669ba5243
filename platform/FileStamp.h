#pragma once
// What a program last read from or wrote to a file, so that before it writes the
// file again it can tell whether someone else (another window, another program)
// has written it since: the file's size and a hash of its bytes. Only the bytes
// decide, as a time stamp may stay the same through a change (a write within its
// resolution, a copy that keeps it) or change without one.

#include <QByteArray>
#include <QString>

#include "PlatformExport.h"

namespace kelto {

class KELTO_PLATFORM_EXPORT FileStamp {
public:
    FileStamp() = default;
    // The file as it holds these bytes, read from it or written to it just now.
    FileStamp(const QString& path, const QByteArray& bytes);

    bool isNull() const { return m_path.isEmpty(); }
    // Whether the path names the stamped file.
    bool isOf(const QString& path) const;
    // Whether the file now holds other bytes; a file that is gone holds none that a
    // write would lose. When it has changed, *how says when it was last written, or
    // why it can no longer be read.
    bool changed(QString* how) const;

private:
    QString m_path;
    qint64 m_size = 0;
    QByteArray m_digest;
};

} // namespace kelto
