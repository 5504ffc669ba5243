#pragma once
// The host's registry on a per-user file store. Key and value names are compared
// without regard to case, as the registry does: "Software\Quilo\kelto\TarvoX" and
// "Software\Quilo\Kelto\TarvoX" are one key. The file is
// $KELTO_REGISTRY_FILE, else "kelto/registry.ini" in the user's configuration folder.
//
// The file is never written over blindly: one that exists but cannot be read, is
// no regular file (a named pipe, a device), is larger than a registry file can be
// or is not a registry file (UTF-8 text of keys and values) is left as it is, and
// one that cannot be written in full is not tried again. The session then keeps
// its settings in memory (a file it could not read counts as empty, so the
// defaults apply) and the host log warns once, naming the file.

#include "platform/interfaces/HostServices.h"

namespace kelto::host {

class RegistryStore {
public:
    // A registry file holds a few keys of short values, well under a kilobyte, and
    // each change rewrites and syncs it whole: a larger file is not used, and a
    // change that would make one is not written.
    static constexpr qint64 kMaxRegistryBytes = 1024 * 1024;

    static QString filePath();
    // The file is read once and again only when it has changed, and written
    // atomically when a value changes: every key object sees the others' writes.
    bool keyExists(const QString& key) const;
    void createKey(const QString& key);
    bool value(const QString& key, const QString& name, Variant* out) const;
    void setValue(const QString& key, const QString& name, const Variant& value);
    QStringList subKeys(const QString& key) const;
};

class RegistryKey : public IRegistryKey {
public:
    void OpenKey(std::int32_t root, const QString& path) override;
    void CreateKey(std::int32_t root, const QString& path) override;
    bool KeyExists() override;
    Variant GetValue(const QString& name) override;
    void SetValue(const QString& name, const Variant& value) override;
    QStringList SubKeys() override;

private:
    QString m_key; // root-qualified path, empty until opened
    RegistryStore m_store;
};

} // namespace kelto::host
