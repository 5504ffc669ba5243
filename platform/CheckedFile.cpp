#include "CheckedFile.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <utility>

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

QString notARegularFile(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? notRegular(st.st_mode) : QString();
}

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

namespace {

// "<name>.kelto-save-" and six letters or digits: a save's temporary file.
constexpr char kSaveTag[] = ".kelto-save-";
constexpr int kSaveRandom = 6;

// The file a save replaces: a symbolic link is followed, so that it stays a link.
QByteArray replacedFile(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 32 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return QFile::encodeName(info.isSymLink() ? path : info.filePath());
}

// Why the file that stands there may not be replaced: its mode keeps it from its
// owner's writes (an archived, read-only file), whoever saves, root included; or this
// user may not write it. A rename needs leave to write the folder only, so without
// this a save would replace what the user could not have written.
QString keptFile(const QByteArray& file, const struct stat& st)
{
    if (!(st.st_mode & S_IWUSR))
        return QStringLiteral("the file is read-only (mode %1)").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
    if (::faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) != 0)
        return QStringLiteral("this user may not write the file (%1)").arg(systemError(errno));
    return QString();
}

QByteArray folderOf(const QByteArray& file)
{
    const qsizetype slash = file.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : file.left(slash);
}

// The file's name is cut short where the temporary name would be longer than the
// folder takes (a name of 238 bytes or more where names may have 255), before a
// whole character.
QByteArray temporaryName(const QByteArray& file)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const qsizetype slash = file.lastIndexOf('/');
    const long longest = ::pathconf(folderOf(file).constData(), _PC_NAME_MAX);
    const qsizetype room = (longest > 0 ? longest : 255) - qsizetype(sizeof kSaveTag - 1) - kSaveRandom;
    qsizetype end = file.size();
    if (end - (slash + 1) > room) {
        end = slash + 1 + std::max<qsizetype>(room, 0);
        while (end > slash + 1 && (file[end] & 0xC0) == 0x80) // a byte inside a character
            --end;
    }
    QByteArray name = file.left(end) + kSaveTag;
    for (int i = 0; i < kSaveRandom; ++i)
        name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
    return name;
}

// The temporary file of one save, removed unless the save renamed it over the file.
struct Temporary {
    int fd = -1;
    QByteArray name; // empty while the file is unnamed
    bool unnamed = false;
    ~Temporary()
    {
        if (fd >= 0)
            ::close(fd);
        if (!name.isEmpty())
            ::unlink(name.constData());
    }
};

// Opens the temporary file in the file's folder. Where the system allows, it has
// no name until every byte is on the disk, so that a save stopped while it writes
// leaves nothing behind.
bool openTemporary(const QByteArray& file, mode_t mode, Temporary* out)
{
    static const bool procFs = ::access("/proc/self/fd", X_OK) == 0; // linkat names an unnamed file through it
    if (procFs) {
        out->fd = ::open(folderOf(file).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        out->unnamed = out->fd >= 0;
        if (out->unnamed)
            return true;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryName(file);
        out->fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
        if (out->fd >= 0) {
            out->name = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Gives the unnamed temporary file its name, beside the file.
bool nameTemporary(const QByteArray& file, Temporary* temporary)
{
    const QByteArray handle = "/proc/self/fd/" + QByteArray::number(temporary->fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryName(file);
        if (::linkat(AT_FDCWD, handle.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            temporary->name = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// The file a save of the path writes (a symbolic link followed), and how it stands.
struct Target {
    QByteArray file;
    bool exists = false;
    struct stat earlier {};
};

// False, with the reason, where no save may replace what the path names.
bool targetOf(const QString& path, Target* target, QString* reason)
{
    if (const QString kind = notARegularFile(path); !kind.isEmpty()) {
        *reason = kind;
        return false;
    }
    target->file = replacedFile(path);
    target->exists = ::stat(target->file.constData(), &target->earlier) == 0;
    // Links that lead round in a loop name no file a save could write.
    if (!target->exists && errno != ENOENT) {
        *reason = systemError(errno);
        return false;
    }
    *reason = target->exists ? keptFile(target->file, target->earlier) : QString();
    return reason->isEmpty();
}

} // namespace

QString notReplaceable(const QString& path)
{
    Target target;
    QString reason;
    targetOf(path, &target, &reason);
    return reason;
}

bool saveWholeFile(const QString& path, const QByteArray& bytes, QString* reason)
{
    Target target;
    if (!targetOf(path, &target, reason))
        return false;
    const QByteArray& file = target.file;
    // Private until it has the earlier file's owner and permissions.
    Temporary temporary;
    if (!openTemporary(file, target.exists ? 0600 : 0666, &temporary)) {
        *reason = systemError(errno);
        return false;
    }
    if (target.exists) {
        // The owner stays where the system allows it (root's save of a user's file),
        // else the group where this user is in it; before the mode, as a change of
        // owner clears set-id bits.
        if (::fchown(temporary.fd, target.earlier.st_uid, target.earlier.st_gid) != 0
            && ::fchown(temporary.fd, uid_t(-1), target.earlier.st_gid) != 0) {
            // The new file is this user's own, in this user's group.
        }
        ::fchmod(temporary.fd, target.earlier.st_mode & 07777);
    }
    // A write that comes back short is tried again, and then fails with its reason.
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n = ::write(temporary.fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *reason = systemError(n < 0 ? errno : EIO);
            return false;
        }
        written += n;
    }
    // The file system may still refuse blocks it had promised; the save waits for them.
    if (::fsync(temporary.fd) != 0 && errno != EINVAL && errno != EROFS) {
        *reason = systemError(errno);
        return false;
    }
    if (temporary.unnamed && !nameTemporary(file, &temporary)) {
        *reason = systemError(errno);
        return false;
    }
    const int fd = std::exchange(temporary.fd, -1);
    if (::close(fd) != 0 && errno != EINTR) {
        *reason = systemError(errno);
        return false;
    }
    if (::rename(temporary.name.constData(), file.constData()) != 0) {
        *reason = systemError(errno);
        return false;
    }
    temporary.name.clear();
    return true;
}

} // namespace kelto
