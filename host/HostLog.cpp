#include "HostLog.h"

#include <QLoggingCategory>

// Warnings and reported errors only: the protocol entries, which every loaded
// result makes, are shown with QT_LOGGING_RULES="kelto.host.*=true".
Q_LOGGING_CATEGORY(lcHost, "kelto.host", QtWarningMsg)

namespace kelto::host {

HostLog& HostLog::instance()
{
    static HostLog log;
    return log;
}

void HostLog::add(const LogEntry& entry)
{
    m_entries.append(entry);
    switch (entry.kind) {
    case LogEntry::ReportedError:
        if (m_quiet == 0)
            qCWarning(lcHost).noquote() << "Error" << entry.number << "in" << entry.source << ":" << entry.text;
        break;
    case LogEntry::Warning:
        qCWarning(lcHost).noquote() << entry.text;
        break;
    case LogEntry::ProtocolMessage:
        qCInfo(lcHost).noquote() << entry.text << "(" << entry.number << ")";
        break;
    default:
        qCDebug(lcHost).noquote() << entry.text;
    }
}

QList<LogEntry> HostLog::ofKind(LogEntry::Kind kind) const
{
    QList<LogEntry> out;
    for (const LogEntry& e : m_entries) {
        if (e.kind == kind)
            out.append(e);
    }
    return out;
}

} // namespace kelto::host
