#pragma once
// Files the tests write and read back whole.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kelto {

// Writes the bytes as the whole file; false when it cannot.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The whole file, or "<unreadable>".
inline QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace kelto
