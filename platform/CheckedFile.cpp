#include "CheckedFile.h"

#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelto {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Empty for a regular file; otherwise what it is, for the message.
QString notRegular(mode_t mode)
{
    if (S_ISREG(mode))
        return QString();
    const char* kind = S_ISDIR(mode) ? "a folder" : S_ISFIFO(mode) ? "a named pipe" : S_ISSOCK(mode) ? "a socket" : (S_ISCHR(mode) || S_ISBLK(mode)) ? "a device" : "a special file";
    return QStringLiteral("it is %1, not a regular file").arg(QLatin1String(kind));
}

} // namespace

bool openRegularFile(QFile& file, QIODevice::OpenMode mode, QString* reason)
{
    const QByteArray path = QFile::encodeName(file.fileName());
    // Checked before the open too: opening a serial device alone can switch its lines.
    struct stat st {};
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *reason = notRegular(st.st_mode);
        return false;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *reason = systemError(errno);
        return false;
    }
    if (::fstat(fd, &st) != 0) {
        *reason = systemError(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) { // put there after the check
        *reason = notRegular(st.st_mode);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode | QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
}

bool saveWholeFile(const QString& path, const QByteArray& bytes, QString* reason)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *reason = notRegular(st.st_mode);
        return false;
    }
    // Unbuffered, so that a write that comes back short is seen here, with its reason.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *reason = out.errorString();
        return false;
    }
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = out.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            *reason = out.errorString();
            out.cancelWriting();
            return false;
        }
        written += n;
    }
    // The file system may still refuse blocks it had promised; the save waits for them.
    if (::fsync(out.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        *reason = systemError(errno);
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        *reason = out.errorString();
        return false;
    }
    return true;
}

} // namespace kelto
