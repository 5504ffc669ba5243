#include "ComponentRuntime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QSaveFile>
#include <QTextStream>

#include "PluginError.h"

namespace kelto {

namespace {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

[[noreturn]] void cannotLoad(const QString& library, const QString& progId, const QString& why)
{
    raiseError(vberr::CannotCreateObject, QStringLiteral("ComponentRuntime"),
        QStringLiteral("Cannot create %1: its library %2 %3. Rebuild or re-register the component.")
            .arg(progId, library, why));
}

} // namespace

ComponentRuntime& ComponentRuntime::instance()
{
    static ComponentRuntime runtime;
    return runtime;
}

QString ComponentRuntime::defaultRegistrationFolder()
{
    const QString fromEnv = qEnvironmentVariable("KELTO_COMPONENTS_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return programFolder() + QStringLiteral("/components");
}

void ComponentRuntime::ensureRegistrationsRead()
{
    if (m_registrationsRead)
        return;
    m_registrationsRead = true;
    loadRegistrations(defaultRegistrationFolder());
}

void ComponentRuntime::add(const ClassRegistration& reg, const ClassEntry* builtin)
{
    int index = m_byProgId.value(reg.progId.toLower(), -1);
    if (index < 0 && !reg.classId.isNull())
        index = m_byClassId.value(reg.classId, -1);
    if (index < 0) {
        index = m_classes.size();
        m_classes.append(reg);
        m_entries.append(builtin);
    } else if (!builtin && m_classes[index].library.isEmpty() && m_entries[index]) {
        // A class built into the process keeps its code: loading its library as well
        // would give the process a second copy of that library's code and state.
        return;
    } else {
        m_classes[index] = reg;
        m_entries[index] = builtin;
    }
    if (!reg.progId.isEmpty())
        m_byProgId.insert(reg.progId.toLower(), index);
    if (!reg.classId.isNull())
        m_byClassId.insert(reg.classId, index);
}

void ComponentRuntime::registerBuiltin(const ClassList& classes)
{
    for (int i = 0; i < classes.count; ++i) {
        const ClassEntry& e = classes.entries[i];
        add({QString::fromUtf8(e.progId), e.classId ? QUuid::fromString(QLatin1String(e.classId)) : QUuid(), QString()}, &e);
    }
}

void ComponentRuntime::loadRegistrations(const QString& folder)
{
    m_registrationsRead = true;
    const QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.reg")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QTextStream in(&file);
        while (!in.atEnd()) {
            const QStringList fields = in.readLine().split(QLatin1Char('\t'));
            if (fields.size() != 3 || fields[0].startsWith(QLatin1Char('#')))
                continue;
            add({fields[0], QUuid::fromString(fields[1]), QDir::cleanPath(dir.absoluteFilePath(fields[2]))}, nullptr);
        }
    }
}

QList<ClassRegistration> ComponentRuntime::classes() const
{
    const_cast<ComponentRuntime*>(this)->ensureRegistrationsRead();
    return m_classes;
}

std::optional<ClassList> ComponentRuntime::readLibraryClasses(const QString& libraryPath)
{
    if (!QFileInfo::exists(libraryPath))
        return std::nullopt;
    QLibrary library(libraryPath);
    const auto entry = reinterpret_cast<ComponentEntry>(library.resolve(kComponentEntryName));
    if (!entry)
        return std::nullopt;
    // The library stays loaded: its class table and factories live in it.
    return entry();
}

void ComponentRuntime::writeRegistration(const QString& libraryPath, const QString& folder)
{
    const std::optional<ClassList> classes = readLibraryClasses(libraryPath);
    if (!classes)
        raiseError(vberr::CannotCreateObject, QStringLiteral("ComponentRuntime"),
            QStringLiteral("%1 is not a component library (no %2 entry).").arg(libraryPath, QLatin1String(kComponentEntryName)));
    QDir().mkpath(folder);
    const QFileInfo lib(libraryPath);
    QSaveFile out(QDir(folder).filePath(lib.completeBaseName() + QStringLiteral(".reg")));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
        raiseError(vberr::CannotCreateObject, QStringLiteral("ComponentRuntime"),
            QStringLiteral("Cannot write the registration into %1: %2").arg(folder, out.errorString()));
    const ClassList list = *classes;
    QTextStream ts(&out);
    const QString relative = QDir(folder).relativeFilePath(lib.absoluteFilePath());
    for (int i = 0; i < list.count; ++i) {
        const ClassEntry& e = list.entries[i];
        ts << e.progId << '\t' << (e.classId ? e.classId : "{00000000-0000-0000-0000-000000000000}") << '\t' << relative << '\n';
    }
    ts.flush();
    out.commit();
}

int ComponentRuntime::indexOf(const QString& progIdOrClassId) const
{
    const QString name = progIdOrClassId.trimmed();
    if (name.startsWith(QLatin1Char('{'))) {
        const QUuid classId = QUuid::fromString(name);
        return classId.isNull() ? -1 : m_byClassId.value(classId, -1);
    }
    return m_byProgId.value(name.toLower(), -1);
}

ComponentRuntime::WithdrawnClass ComponentRuntime::withdraw(const QString& progIdOrClassId)
{
    ensureRegistrationsRead();
    const int index = indexOf(progIdOrClassId);
    if (index < 0)
        return {};
    const ClassRegistration& reg = m_classes[index];
    if (!reg.progId.isEmpty())
        m_byProgId.remove(reg.progId.toLower());
    if (!reg.classId.isNull())
        m_byClassId.remove(reg.classId);
    return {index, reg};
}

void ComponentRuntime::reinstate(const WithdrawnClass& withdrawn)
{
    if (withdrawn.index < 0 || withdrawn.index >= m_classes.size())
        return;
    const ClassRegistration& reg = withdrawn.registration;
    if (!reg.progId.isEmpty() && !m_byProgId.contains(reg.progId.toLower()))
        m_byProgId.insert(reg.progId.toLower(), withdrawn.index);
    if (!reg.classId.isNull() && !m_byClassId.contains(reg.classId))
        m_byClassId.insert(reg.classId, withdrawn.index);
}

ObjectPtr ComponentRuntime::createAt(int index)
{
    const ClassRegistration& reg = m_classes[index];
    if (!m_entries[index]) {
        if (!m_loadedLibraries.contains(reg.library)) {
            if (!QFileInfo::exists(reg.library))
                cannotLoad(reg.library, reg.progId, QStringLiteral("is missing"));
            QLibrary library(reg.library);
            const auto entry = reinterpret_cast<ComponentEntry>(library.resolve(kComponentEntryName));
            if (!entry)
                cannotLoad(reg.library, reg.progId, QStringLiteral("could not be loaded (%1)").arg(library.errorString()));
            m_loadedLibraries.insert(reg.library, entry());
        }
        const ClassList list = m_loadedLibraries.value(reg.library);
        for (int i = 0; i < list.count && !m_entries[index]; ++i) {
            if (reg.progId.compare(QString::fromUtf8(list.entries[i].progId), Qt::CaseInsensitive) == 0)
                m_entries[index] = &list.entries[i];
        }
        if (!m_entries[index])
            cannotLoad(reg.library, reg.progId, QStringLiteral("no longer provides the class"));
    }
    return m_entries[index]->create();
}

ObjectPtr ComponentRuntime::createByProgId(const QString& progId)
{
    ensureRegistrationsRead();
    const int index = m_byProgId.value(progId.toLower(), -1);
    return index < 0 ? nullptr : createAt(index);
}

ObjectPtr ComponentRuntime::createByClassId(const QUuid& classId)
{
    ensureRegistrationsRead();
    const int index = classId.isNull() ? -1 : m_byClassId.value(classId, -1);
    return index < 0 ? nullptr : createAt(index);
}

ObjectPtr ComponentRuntime::create(const QString& progIdOrClassId)
{
    const QString name = progIdOrClassId.trimmed();
    if (name.startsWith(QLatin1Char('{')))
        return createByClassId(QUuid::fromString(name));
    return createByProgId(name);
}

} // namespace kelto
