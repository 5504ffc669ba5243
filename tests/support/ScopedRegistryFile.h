#pragma once
// Points the host's registry at a file of the test's own for the test's lifetime,
// so that what one test does to its file never reaches another.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace kelto {

class ScopedRegistryFile {
public:
    explicit ScopedRegistryFile(const QString& path) : m_previous(qgetenv("KELTO_REGISTRY_FILE"))
    {
        qputenv("KELTO_REGISTRY_FILE", path.toLocal8Bit());
    }
    ~ScopedRegistryFile() { qputenv("KELTO_REGISTRY_FILE", m_previous); }
    ScopedRegistryFile(const ScopedRegistryFile&) = delete;
    ScopedRegistryFile& operator=(const ScopedRegistryFile&) = delete;

private:
    QByteArray m_previous;
};

} // namespace kelto
