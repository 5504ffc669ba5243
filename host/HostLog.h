#pragma once
// The host's log: errors the plug-in reports, the host's own warnings and
// protocol-log entries. Kept in memory for the session (the window and tests read
// it) and echoed to the "kelto.host" logging category, whose protocol entries are
// off unless the logging rules turn them on.

#include <QList>
#include <QString>
#include <cstdint>

namespace kelto::host {

struct LogEntry {
    enum Kind { ReportedError, ProtocolBegin, ProtocolEnd, ProtocolMessage, Warning };
    Kind kind;
    std::int32_t number = 0; // error number, or the protocol entry id
    QString source;
    QString text;
    int level = 0;
};

class HostLog {
public:
    static HostLog& instance();
    void add(const LogEntry& entry);
    const QList<LogEntry>& entries() const { return m_entries; }
    QList<LogEntry> reportedErrors() const { return ofKind(LogEntry::ReportedError); }
    QList<LogEntry> warnings() const { return ofKind(LogEntry::Warning); }
    QList<LogEntry> ofKind(LogEntry::Kind kind) const;
    void clear() { m_entries.clear(); }

    // While one lives, reported errors are kept but not echoed: the code that holds
    // it names them itself, with where they come from (a sequence item's file and line).
    class Quiet {
    public:
        Quiet() { ++HostLog::instance().m_quiet; }
        ~Quiet() { --HostLog::instance().m_quiet; }
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;
    };

private:
    QList<LogEntry> m_entries;
    int m_quiet = 0;
};

} // namespace kelto::host
