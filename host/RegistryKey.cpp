#include "RegistryKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>
#include <map>

#include "platform/CheckedFile.h"
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

// What the registry file holds, or why it cannot be used.
struct FileContent {
    Store store;
    QString problem; // empty when the file is usable (or absent)
};

FileContent parseFile(const QString& path)
{
    FileContent content;
    QFile file(path);
    if (!file.exists())
        return content;
    QString reason;
    if (!openRegularFile(file, QIODevice::ReadOnly | QIODevice::Text, &reason)) {
        content.problem = QStringLiteral("it cannot be read: %1").arg(reason);
        return content;
    }
    QTextStream in(&file);
    StoredKey* current = nullptr;
    int lineNumber = 0;
    auto refuse = [&](const QString& why) {
        content.problem = QStringLiteral("line %1 %2").arg(lineNumber).arg(why);
        content.store.clear();
        return content;
    };
    while (!in.atEnd()) {
        const QString line = in.readLine();
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
            return refuse(QStringLiteral("has a value of unknown type \"%1\"").arg(type));
        if (!whole)
            return refuse(QStringLiteral("has a number that is not a 32-bit whole number"));
        const QString name = unescape(line.left(eq));
        current->values[name.toLower()] = {name, type, text};
    }
    return content;
}

// The registry of this session. A file that cannot be read or parsed is never
// written over, and a file that cannot be written is not tried again: from then
// on the session keeps its settings in memory, starting from the defaults (or
// from what it had read), and says so once.
struct Session {
    QString path;
    bool inMemory = false;
    Store memory;
};

Session& session()
{
    static Session current;
    const QString path = RegistryStore::filePath();
    if (current.path != path)
        current = Session{path, false, {}};
    return current;
}

void warn(const QString& text)
{
    HostLog::instance().add({LogEntry::Warning, 0, QStringLiteral("Registry"), text, 0});
}

Store readStore()
{
    Session& s = session();
    if (s.inMemory)
        return s.memory;
    FileContent content = parseFile(s.path);
    if (content.problem.isEmpty())
        return content.store;
    s.inMemory = true;
    s.memory.clear();
    warn(QStringLiteral("The registry file %1 is not used: %2. Kelto runs with default settings and leaves the file as it is; "
                        "settings changed now will not be kept. Repair or remove the file.")
             .arg(s.path, content.problem));
    return s.memory;
}

void writeStore(const Store& store)
{
    Session& s = session();
    if (s.inMemory) {
        s.memory = store;
        return;
    }
    QDir().mkpath(QFileInfo(s.path).absolutePath());
    QString text;
    for (const auto& [lower, key] : store) {
        text += QLatin1Char('[') + key.path + QStringLiteral("]\n");
        for (const auto& [n, v] : key.values)
            text += escape(v.name) + QLatin1Char('=') + v.type + QLatin1Char(':') + escape(v.text) + QLatin1Char('\n');
    }
    QString reason;
    if (saveWholeFile(s.path, text.toUtf8(), &reason))
        return;
    s.inMemory = true;
    s.memory = store;
    warn(QStringLiteral("Cannot write the registry file %1: %2. Settings changed in this session will not be kept; the file keeps its earlier "
                        "settings. Check the file, its folder's permissions and the free space.")
             .arg(s.path, reason));
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
        writeStore(store);
}

bool RegistryStore::value(const QString& key, const QString& name, Variant* out) const
{
    const Store store = readStore();
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
    Store store = readStore();
    const auto k = store.find(key.toLower());
    if (k == store.end())
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
    auto existing = k->second.values.find(name.toLower());
    if (existing != k->second.values.end())
        stored.name = existing->second.name;
    k->second.values[name.toLower()] = stored;
    writeStore(store);
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
