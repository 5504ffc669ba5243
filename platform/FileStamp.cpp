#include "FileStamp.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include "CheckedFile.h"

namespace kelto {

namespace {

QByteArray digestOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

} // namespace

FileStamp::FileStamp(const QString& path, const QByteArray& bytes)
    : m_path(QFileInfo(path).absoluteFilePath()), m_size(bytes.size()), m_digest(digestOf(bytes))
{
}

bool FileStamp::isOf(const QString& path) const
{
    return !isNull() && QFileInfo(path) == QFileInfo(m_path);
}

bool FileStamp::changed(QString* how) const
{
    const QFileInfo info(m_path);
    if (isNull() || (!info.exists() && !info.isSymLink()))
        return false;
    QFile file(m_path);
    QString reason;
    if (!openRegularFile(file, QIODevice::ReadOnly, &reason)) {
        *how = QStringLiteral("it can no longer be read (%1)").arg(reason);
        return true;
    }
    // A file of another size holds other bytes: it is not read.
    const bool same = file.size() == m_size && digestOf(file.readAll()) == m_digest && file.error() == QFileDevice::NoError;
    if (!same)
        *how = QStringLiteral("it was written at %1").arg(info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    return !same;
}

} // namespace kelto
