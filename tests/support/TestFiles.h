#pragma once
// Files the tests write and read back whole, and files that are hard to use: a
// named pipe, and a disk that is full beyond a size.

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kelto {

// A report's HTML with its headings' statuses read as words: the badge and mark
// that set each look apart left out.
inline QString withPlainStatuses(QString html)
{
    static const QRegularExpression badge(QStringLiteral("<span style=\"[^\"]*\">(\u2714 |\u2718 |\\? |\u2013 )?|</span>"));
    return html.remove(badge);
}

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

inline bool isFifo(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// A named pipe for the test's lifetime. Code that wrongly opens it to read gets an
// empty pipe instead of blocking for ever: a thread opens the other end for each
// reader that comes and closes it again.
class ScopedFifo {
public:
    explicit ScopedFifo(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        if (::mkfifo(name.constData(), 0600) != 0)
            return;
        // Reaches the pipe also after a save renamed a regular file over its name.
        m_pipe = ::open(name.constData(), O_PATH | O_CLOEXEC);
        if (m_pipe < 0)
            return;
        m_writer = std::thread([this] {
            while (!m_stop) {
                const int fd = ::open(pipePath().constData(), O_WRONLY | O_CLOEXEC); // waits for a reader
                if (fd < 0)
                    return;
                ::close(fd);
            }
        });
    }
    ~ScopedFifo()
    {
        if (m_writer.joinable()) {
            m_stop = true;
            // While a reader is open the writer's open returns at once, and it sees the stop.
            const int reader = ::open(pipePath().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            m_writer.join();
            if (reader >= 0)
                ::close(reader);
        }
        if (m_pipe >= 0)
            ::close(m_pipe);
    }
    ScopedFifo(const ScopedFifo&) = delete;
    ScopedFifo& operator=(const ScopedFifo&) = delete;

    bool made() const { return m_pipe >= 0; }

private:
    QByteArray pipePath() const { return "/proc/self/fd/" + QByteArray::number(m_pipe); }

    int m_pipe = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_writer;
};

// Runs `write` as on a disk that is full beyond `bytes` of any one file: a write
// past them fails with EFBIG ("File too large") as one on a full disk fails with
// ENOSPC. The process's limit and its SIGXFSZ handling are restored afterwards.
inline void withFileSizeLimit(rlim_t bytes, const std::function<void()>& write)
{
    struct Restore {
        rlimit limit{};
        struct sigaction signal {};
        Restore()
        {
            ::getrlimit(RLIMIT_FSIZE, &limit);
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            ::sigaction(SIGXFSZ, &ignore, &signal);
        }
        ~Restore()
        {
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::sigaction(SIGXFSZ, &signal, nullptr);
        }
    } restore;
    rlimit limited = restore.limit;
    limited.rlim_cur = std::min(bytes, restore.limit.rlim_max);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    write();
}

// Counts, as the system reports them, the opens of a file by any process and the
// files renamed onto its name (a save's replacement), from the watch's start. The
// closes are watched too: the system merges an event with an identical one just
// before it, so without them a run of opens would arrive as one.
class FileUseCount {
public:
    explicit FileUseCount(const QString& file)
        : m_name(QFile::encodeName(file.section(QLatin1Char('/'), -1))), m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        const QByteArray folder = QFile::encodeName(file.section(QLatin1Char('/'), 0, -2));
        m_watching = m_fd >= 0 && ::inotify_add_watch(m_fd, folder.constData(), IN_OPEN | IN_CLOSE | IN_MOVED_TO) >= 0;
    }
    ~FileUseCount()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileUseCount(const FileUseCount&) = delete;
    FileUseCount& operator=(const FileUseCount&) = delete;

    bool watching() const { return m_watching; }
    int opens() { return collect(), m_opens; }
    int replacements() { return collect(), m_replacements; }

private:
    void collect()
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && m_name == event->name) {
                    m_opens += (event->mask & IN_OPEN) != 0;
                    m_replacements += (event->mask & IN_MOVED_TO) != 0;
                }
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    }

    QByteArray m_name;
    int m_fd;
    bool m_watching = false;
    int m_opens = 0;
    int m_replacements = 0;
};

// Sets the file's times back, as for a file last changed long ago.
inline bool ageFile(const QString& path, int seconds = 3600)
{
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) != 0)
        return false;
    const timespec times[2] = {{st.st_atim.tv_sec - seconds, 0}, {st.st_mtim.tv_sec - seconds, 0}};
    return ::utimensat(AT_FDCWD, name.constData(), times, 0) == 0;
}

} // namespace kelto
