#include "RegistryKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>
#include <map>

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

Store readStore()
{
    Store store;
    QFile file(RegistryStore::filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return store;
    QTextStream in(&file);
    StoredKey* current = nullptr;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString path = line.mid(1, line.size() - 2);
            current = &store[path.toLower()];
            current->path = path;
        } else if (current && line.contains(QLatin1Char('='))) {
            const int eq = line.indexOf(QLatin1Char('='));
            const QString name = unescape(line.left(eq));
            const QString rest = line.mid(eq + 1);
            const int colon = rest.indexOf(QLatin1Char(':'));
            if (colon < 0)
                continue;
            current->values[name.toLower()] = {name, rest.left(colon), unescape(rest.mid(colon + 1))};
        }
    }
    return store;
}

void writeStore(const Store& store)
{
    const QString path = RegistryStore::filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        raiseError(hosterr::RegistryCannotOpen, QStringLiteral("RegistryKey"),
            QStringLiteral("Cannot write the registry file %1: %2").arg(path, file.errorString()));
    QTextStream out(&file);
    for (const auto& [lower, key] : store) {
        out << '[' << key.path << "]\n";
        for (const auto& [n, v] : key.values)
            out << escape(v.name) << '=' << v.type << ':' << escape(v.text) << '\n';
    }
    out.flush();
    if (!file.commit())
        raiseError(hosterr::RegistryCannotOpen, QStringLiteral("RegistryKey"),
            QStringLiteral("Cannot write the registry file %1: %2").arg(path, file.errorString()));
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
        *out = Variant(static_cast<std::int32_t>(v->second.text.toLongLong()));
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
