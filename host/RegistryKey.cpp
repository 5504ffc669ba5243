#include "RegistryKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <ctime>
#include <map>
#include <optional>
#include <sys/stat.h>

#include "platform/CheckedFile.h"
#include "platform/EscapedText.h"
#include "HostLog.h"

namespace kelto::host {

namespace {

// One value: its name as written, its type ("dword" or "sz") and text.
struct StoredValue {
    QString name;
    QString type;
    QString text;
};

struct StoredKey {
    QString path;
    std::map<QString, StoredValue> values; // by lower-case name
};

using Store = std::map<QString, StoredKey>; // by lower-case path

QString escape(QString text)
{
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\n'), QStringLiteral("\\n")).replace(QLatin1Char('\r'), QStringLiteral("\\r"));
}

QString unescape(const QString& text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar c = text[++i];
            out.append(c == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : c == QLatin1Char('r') ? QChar(QLatin1Char('\r')) : c);
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

// What identifies one content of the file without reading it. File times move
// in steps of a clock tick, so a file modified within the last seconds may change
// again unseen: its stamp is not trusted, and it is read again at the next use.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool settled = true;

    bool sameAs(const FileStamp& other) const
    {
        return settled && other.settled && exists == other.exists && device == other.device && inode == other.inode && size == other.size
            && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec && changed.tv_sec == other.changed.tv_sec
            && changed.tv_nsec == other.changed.tv_nsec;
    }
};

FileStamp stampOf(const struct stat& st)
{
    constexpr time_t kSettledSeconds = 2;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    FileStamp stamp{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, true};
    stamp.settled = now.tv_sec - st.st_mtim.tv_sec > kSettledSeconds;
    return stamp;
}

FileStamp stampOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileStamp{};
    return stampOf(st);
}

// What the registry file holds, or why it cannot be used.
struct FileContent {
    Store store;
    FileStamp stamp; // of what was read
    QString problem; // empty when the file is usable (or absent)
};

// Each line as the file holds it, without its line end; a line that is not UTF-8
// text would be written back changed, so the file is not used.
QStringList linesOf(const QByteArray& bytes, QString* problem)
{
    // Stateless: a character cut short at the end of a line or of the file is no text
    // either, and that is the line named.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    if (decoder.hasError()) {
        *problem = QStringLiteral("it is not UTF-8 text");
        const QList<QByteArray> lines = bytes.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QStringDecoder line(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = line(lines[i]);
            if (line.hasError()) {
                *problem = QStringLiteral("line %1 is not UTF-8 text").arg(i + 1);
                break;
            }
        }
        return {};
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

FileContent parseFile(const QString& path)
{
    FileContent content;
    QFile file(path);
    if (!file.exists())
        return content;
    QString reason;
    if (!openRegularFile(file, QIODevice::ReadOnly, &reason)) {
        content.problem = QStringLiteral("it cannot be read: %1").arg(reason);
        return content;
    }
    struct stat st {};
    if (::fstat(file.handle(), &st) == 0)
        content.stamp = stampOf(st);
    // Read no further than the bound, even from a file growing meanwhile.
    const QByteArray bytes = file.read(RegistryStore::kMaxRegistryBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        content.problem = QStringLiteral("it cannot be read: %1").arg(file.errorString());
        return content;
    }
    if (bytes.size() > RegistryStore::kMaxRegistryBytes) {
        content.problem = QStringLiteral("it is too large to be a registry file (%1 bytes; the limit is %2 MiB)")
                              .arg(qMax(qint64(bytes.size()), qint64(st.st_size)))
                              .arg(RegistryStore::kMaxRegistryBytes / (1024 * 1024));
        return content;
    }
    StoredKey* current = nullptr;
    int lineNumber = 0;
    auto refuse = [&](const QString& why) {
        content.problem = QStringLiteral("line %1 %2").arg(lineNumber).arg(why);
        content.store.clear();
        return content;
    };
    const QStringList lines = linesOf(bytes, &content.problem);
    if (!content.problem.isEmpty())
        return content;
    for (const QString& line : lines) {
        ++lineNumber;
        if (line.trimmed().isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString keyPath = line.mid(1, line.size() - 2);
            current = &content.store[keyPath.toLower()];
            current->path = keyPath;
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        const int colon = line.indexOf(QLatin1Char(':'), eq + 1);
        if (!current || eq < 0 || colon < 0)
            return refuse(QStringLiteral("is not a registry key or value"));
        const QString type = line.mid(eq + 1, colon - eq - 1);
        const QString text = unescape(line.mid(colon + 1));
        bool whole = true;
        if (type == QLatin1String("dword"))
            text.toInt(&whole);
        else if (type != QLatin1String("sz"))
            return refuse(QStringLiteral("has a value of unknown type %1").arg(escapeInvisible(quotedValue(type))));
        if (!whole)
            return refuse(QStringLiteral("has a number that is not a 32-bit whole number"));
        const QString name = unescape(line.left(eq));
        current->values[name.toLower()] = {name, type, text};
    }
    return content;
}

// The registry of this session, read once and again only when the file has
// changed. A file that cannot be read or parsed is never written over, and a file
// that cannot be written is not tried again: from then on the session keeps its
// settings in memory, starting from the defaults (or from what it had read), and
// says so once.
struct Session {
    QString path;
    bool inMemory = false;
    Store memory;                   // the settings, as last read or written
    std::optional<FileStamp> stamp; // of the file they came from; none until it is read
};

Session& session()
{
    static Session current;
    const QString path = RegistryStore::filePath();
    if (current.path != path)
        current = Session{path, false, {}, std::nullopt};
    return current;
}

void warn(const QString& text)
{
    HostLog::instance().add({LogEntry::Warning, 0, QStringLiteral("Registry"), text, 0});
}

const Store& readStore()
{
    Session& s = session();
    if (s.inMemory || (s.stamp && s.stamp->sameAs(stampOf(s.path))))
        return s.memory;
    FileContent content = parseFile(s.path);
    s.memory = std::move(content.store);
    if (content.problem.isEmpty()) {
        s.stamp = content.stamp;
        return s.memory;
    }
    s.inMemory = true;
    s.memory.clear();
    warn(QStringLiteral("The registry file %1 is not used: %2. Kelto runs with default settings and leaves the file as it is; "
                        "settings changed now will not be kept. Repair or remove the file.")
             .arg(s.path, content.problem));
    return s.memory;
}

void writeStore(Store store)
{
    Session& s = session();
    if (s.inMemory) {
        s.memory = std::move(store);
        return;
    }
    QDir().mkpath(QFileInfo(s.path).absolutePath());
    QString text;
    for (const auto& [lower, key] : store) {
        text += QLatin1Char('[') + key.path + QStringLiteral("]\n");
        for (const auto& [n, v] : key.values)
            text += escape(v.name) + QLatin1Char('=') + v.type + QLatin1Char(':') + escape(v.text) + QLatin1Char('\n');
    }
    const QByteArray bytes = text.toUtf8();
    QString reason;
    QString check = QStringLiteral("Check the file, its folder's permissions and the free space.");
    // Written, a file beyond the bound would not be used again.
    if (bytes.size() > RegistryStore::kMaxRegistryBytes) {
        reason = QStringLiteral("it would hold %1 bytes, more than a registry file may (%2 MiB)").arg(bytes.size()).arg(RegistryStore::kMaxRegistryBytes / (1024 * 1024));
        check = QStringLiteral("Shorten the setting that was changed.");
    } else if (saveWholeFile(s.path, bytes, &reason)) {
        s.memory = std::move(store);
        s.stamp = stampOf(s.path);
        return;
    }
    s.inMemory = true;
    s.memory = std::move(store);
    warn(QStringLiteral("Cannot write the registry file %1: %2. Settings changed in this session will not be kept; the file keeps its earlier "
                        "settings. %3")
             .arg(s.path, reason, check));
}

QString rootName(std::int32_t root)
{
    return root == hkey::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER") : QStringLiteral("HKEY_LOCAL_MACHINE");
}

QString normalise(std::int32_t root, QString path)
{
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    while (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    return rootName(root) + QLatin1Char('\\') + path;
}

} // namespace

QString RegistryStore::filePath()
{
    const QString fromEnv = qEnvironmentVariable("KELTO_REGISTRY_FILE");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/kelto/registry.ini");
}

bool RegistryStore::keyExists(const QString& key) const
{
    return readStore().count(key.toLower()) > 0;
}

void RegistryStore::createKey(const QString& key)
{
    Store store = readStore();
    // Creating a key creates its parents, as the registry does.
    const QStringList parts = key.split(QLatin1Char('\\'));
    QString path;
    bool changed = false;
    for (const QString& part : parts) {
        path = path.isEmpty() ? part : path + QLatin1Char('\\') + part;
        if (path == parts.first())
            continue;
        auto& entry = store[path.toLower()];
        if (entry.path.isEmpty()) {
            entry.path = path;
            changed = true;
        }
    }
    if (changed)
        writeStore(std::move(store));
}

bool RegistryStore::value(const QString& key, const QString& name, Variant* out) const
{
    const Store& store = readStore();
    const auto k = store.find(key.toLower());
    if (k == store.end())
        return false;
    const auto v = k->second.values.find(name.toLower());
    if (v == k->second.values.end())
        return false;
    if (v->second.type == QLatin1String("dword"))
        *out = Variant(std::int32_t(v->second.text.toInt())); // checked when the file was read
    else
        *out = Variant(v->second.text);
    return true;
}

void RegistryStore::setValue(const QString& key, const QString& name, const Variant& value)
{
    const Store& current = readStore();
    const auto k = current.find(key.toLower());
    if (k == current.end())
        raiseError(hosterr::RegistryCannotOpen, QStringLiteral("RegistryKey"), QStringLiteral("The registry key %1 does not exist.").arg(key));
    StoredValue stored;
    stored.name = name;
    switch (value.type()) {
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
        stored.type = QStringLiteral("dword");
        stored.text = QString::number(value.toLong());
        break;
    default:
        stored.type = QStringLiteral("sz");
        stored.text = value.toString();
    }
    const auto existing = k->second.values.find(name.toLower());
    if (existing != k->second.values.end()) {
        if (existing->second.type == stored.type && existing->second.text == stored.text)
            return; // the file holds it already: nothing is written
        stored.name = existing->second.name;
    }
    Store store = current;
    store[key.toLower()].values[name.toLower()] = stored;
    writeStore(std::move(store));
}

QStringList RegistryStore::subKeys(const QString& key) const
{
    const QString prefix = key.toLower() + QLatin1Char('\\');
    QStringList out;
    for (const auto& [lower, k] : readStore()) {
        if (lower.startsWith(prefix) && !lower.mid(prefix.size()).contains(QLatin1Char('\\')))
            out.append(k.path.mid(prefix.size()));
    }
    return out;
}

void RegistryKey::OpenKey(std::int32_t root, const QString& path)
{
    m_key = normalise(root, path);
}

void RegistryKey::CreateKey(std::int32_t root, const QString& path)
{
    m_key = normalise(root, path);
    m_store.createKey(m_key);
}

bool RegistryKey::KeyExists()
{
    return !m_key.isEmpty() && m_store.keyExists(m_key);
}

Variant RegistryKey::GetValue(const QString& name)
{
    if (m_key.isEmpty())
        raiseError(hosterr::RegistryNotOpen, QStringLiteral("RegistryKey"), QStringLiteral("No registry key is open."));
    Variant v;
    if (!m_store.value(m_key, name, &v))
        raiseError(hosterr::RegistryValueMissing, QStringLiteral("RegistryKey"),
            QStringLiteral("The registry value \"%1\" does not exist in %2.").arg(name, m_key));
    return v;
}

void RegistryKey::SetValue(const QString& name, const Variant& value)
{
    if (m_key.isEmpty())
        raiseError(hosterr::RegistryNotOpen, QStringLiteral("RegistryKey"), QStringLiteral("No registry key is open."));
    m_store.setValue(m_key, name, value);
}

QStringList RegistryKey::SubKeys()
{
    return m_key.isEmpty() ? QStringList() : m_store.subKeys(m_key);
}

} // namespace kelto::host
