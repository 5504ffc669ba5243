#include "ComponentRuntime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QTextStream>
#include <algorithm>

#include "CheckedFile.h"
#include "PluginError.h"

namespace kelto {

namespace {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

// "libKeltoTarvoX.reg in /opt/kelto/components": the file and its folder.
QString fileInFolder(const QString& path)
{
    const QFileInfo info(path);
    return QStringLiteral("%1 in %2").arg(info.fileName(), info.absolutePath());
}

[[noreturn]] void cannotLoad(const ClassRegistration& reg, const QString& why)
{
    raiseError(vberr::CannotCreateObject, QStringLiteral("ComponentRuntime"),
        QStringLiteral("Cannot create %1: its library %2 %3 (registered by %4). Rebuild or re-register the component.")
            .arg(reg.progId, reg.library, why, fileInFolder(reg.registeredBy)));
}

// Why a line of a registration file is not a registration; empty when it is one.
QString damage(const QStringList& fields)
{
    if (fields.size() != 3)
        return QStringLiteral("it is not a ProgID, a class id and a library separated by tabs");
    if (fields[0].trimmed().isEmpty())
        return QStringLiteral("it names no ProgID");
    if (QUuid::fromString(fields[1]).isNull() && fields[1] != QUuid().toString(QUuid::WithBraces))
        return QStringLiteral("\"%1\" is not a class id").arg(fields[1].left(60));
    if (fields[2].trimmed().isEmpty())
        return QStringLiteral("it names no library");
    return QString();
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
        add({QString::fromUtf8(e.progId), e.classId ? QUuid::fromString(QLatin1String(e.classId)) : QUuid(), QString(), QString()}, &e);
    }
}

void ComponentRuntime::loadRegistrations(const QString& folder)
{
    m_registrationsRead = true;
    const QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.reg")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        const QString path = dir.absoluteFilePath(name);
        m_damaged.removeIf([&](const DamagedLine& d) { return d.file == path; });
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            m_damaged.append({path, 0, QString(), QStringLiteral("cannot be read (%1)").arg(file.errorString())});
            continue;
        }
        QTextStream in(&file);
        for (int number = 1; !in.atEnd(); ++number) {
            const QString line = in.readLine();
            if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const QStringList fields = line.split(QLatin1Char('\t'));
            if (const QString why = damage(fields); !why.isEmpty()) {
                m_damaged.append({path, number, line, QStringLiteral("is damaged: ") + why});
                continue;
            }
            add({fields[0], QUuid::fromString(fields[1]), QDir::cleanPath(dir.absoluteFilePath(fields[2])), path}, nullptr);
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
    const ClassList list = *classes;
    const QString relative = QDir(folder).relativeFilePath(lib.absoluteFilePath());
    QByteArray text;
    for (int i = 0; i < list.count; ++i) {
        const ClassEntry& e = list.entries[i];
        text += QByteArray(e.progId) + '\t' + (e.classId ? e.classId : "{00000000-0000-0000-0000-000000000000}") + '\t' + relative.toUtf8() + '\n';
    }
    // A registration cut short would lose classes for good: the earlier one is kept.
    QString reason;
    if (!saveWholeFile(QDir(folder).filePath(lib.completeBaseName() + QStringLiteral(".reg")), text, &reason))
        raiseError(vberr::CannotCreateObject, QStringLiteral("ComponentRuntime"),
            QStringLiteral("Cannot write the registration into %1: %2").arg(folder, reason));
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
                cannotLoad(reg, QStringLiteral("is missing"));
            QLibrary library(reg.library);
            const auto entry = reinterpret_cast<ComponentEntry>(library.resolve(kComponentEntryName));
            if (!entry)
                cannotLoad(reg, QStringLiteral("could not be loaded (%1)").arg(library.errorString()));
            m_loadedLibraries.insert(reg.library, entry());
        }
        const ClassList list = m_loadedLibraries.value(reg.library);
        for (int i = 0; i < list.count && !m_entries[index]; ++i) {
            if (reg.progId.compare(QString::fromUtf8(list.entries[i].progId), Qt::CaseInsensitive) == 0)
                m_entries[index] = &list.entries[i];
        }
        if (!m_entries[index])
            cannotLoad(reg, QStringLiteral("no longer provides the class"));
    }
    return m_entries[index]->create();
}

void ComponentRuntime::refuseDamaged(const QString& progIdOrClassId) const
{
    if (progIdOrClassId.isEmpty() || m_damaged.isEmpty())
        return;
    // A library's registration file is named after it ("libKeltoTarvoX.reg") and its
    // ProgIDs begin with its name ("KeltoTarvoX."): a line too damaged to name the
    // class may still be its registration. A line that names it comes first.
    const QString library = progIdOrClassId.contains(QLatin1Char('.')) ? progIdOrClassId.section(QLatin1Char('.'), 0, 0) : QString();
    auto ofItsLibrary = [&](const DamagedLine& d) {
        QString fileLibrary = QFileInfo(d.file).completeBaseName();
        if (fileLibrary.startsWith(QLatin1String("lib")))
            fileLibrary.remove(0, 3);
        return !library.isEmpty() && library.compare(fileLibrary, Qt::CaseInsensitive) == 0;
    };
    auto found = std::find_if(m_damaged.cbegin(), m_damaged.cend(),
        [&](const DamagedLine& d) { return d.text.contains(progIdOrClassId, Qt::CaseInsensitive); });
    if (found == m_damaged.cend())
        found = std::find_if(m_damaged.cbegin(), m_damaged.cend(), ofItsLibrary);
    if (found == m_damaged.cend())
        return;
    const QString where = found->line > 0 ? QStringLiteral("line %1 of %2").arg(found->line).arg(fileInFolder(found->file)) : fileInFolder(found->file);
    raiseError(vberr::CannotCreateObject, QStringLiteral("ComponentRuntime"),
        QStringLiteral("Cannot create %1: its registration, %2, %3. Register the component again (kelto-regsvr LIBRARY FOLDER), or rebuild.")
            .arg(progIdOrClassId, where, found->why));
}

ObjectPtr ComponentRuntime::createByProgId(const QString& progId)
{
    ensureRegistrationsRead();
    const int index = m_byProgId.value(progId.toLower(), -1);
    if (index < 0)
        refuseDamaged(progId);
    return index < 0 ? nullptr : createAt(index);
}

ObjectPtr ComponentRuntime::createByClassId(const QUuid& classId)
{
    ensureRegistrationsRead();
    const int index = classId.isNull() ? -1 : m_byClassId.value(classId, -1);
    if (index < 0 && !classId.isNull())
        refuseDamaged(classId.toString(QUuid::WithoutBraces));
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
