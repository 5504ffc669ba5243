#pragma once
// Class creation by ProgID or class identifier. Each component library exports one
// entry, kelto_component_classes, that lists its classes; a registration file per
// library records them, so the library is loaded only when one of its classes is
// first created. Loading constructs nothing.

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>

#include "Object.h"
#include "PlatformExport.h"

namespace kelto {

struct ClassEntry {
    const char* progId;  // "KeltoTarvoXVTI.CTarvoXVti"
    const char* classId; // "{...}", may be null for classes created by ProgID only
    ObjectPtr (*create)();
};

struct ClassList {
    const ClassEntry* entries;
    int count;
};

// Signature of the one exported entry of a component library.
using ComponentEntry = ClassList (*)();
constexpr const char* kComponentEntryName = "kelto_component_classes";

struct ClassRegistration {
    QString progId;
    QUuid classId;
    QString library;      // absolute path; empty for classes built into the process
    QString registeredBy; // the registration file that names it; empty for built-in classes
};

class KELTO_PLATFORM_EXPORT ComponentRuntime {
public:
    static ComponentRuntime& instance();

    // Creates an object by ProgID (case-insensitive) or by a class id in braces.
    // Unknown names give null; a registered class whose library cannot be loaded
    // raises error 429 naming the library and the registration file, and so does a
    // name that only a damaged line of a registration file holds.
    ObjectPtr create(const QString& progIdOrClassId);
    ObjectPtr createByProgId(const QString& progId);
    ObjectPtr createByClassId(const QUuid& classId);

    template <class T>
    Ptr<T> createAs(const QString& progIdOrClassId)
    {
        return std::dynamic_pointer_cast<T>(create(progIdOrClassId));
    }

    // Classes of the process itself (the host's own services and controls, or a
    // component library's code built into a program). A registration read later
    // does not replace them.
    void registerBuiltin(const ClassList& classes);
    // Reads every "*.reg" file of a folder; later files override earlier entries,
    // but not classes built into the process. A line that is not a registration is
    // kept aside, to be named when a class it may hold is asked for.
    void loadRegistrations(const QString& folder);
    // The folder read on first use: $KELTO_COMPONENTS_DIR, else "components" beside the program.
    static QString defaultRegistrationFolder();

    QList<ClassRegistration> classes() const;

    // A class taken out of the registry: creating it gives null, as for a class that
    // was never registered, until reinstate puts it back. For tests of the callers'
    // handling of a class the host lacks.
    struct WithdrawnClass {
        int index = -1;
        ClassRegistration registration;
    };
    WithdrawnClass withdraw(const QString& progIdOrClassId);
    void reinstate(const WithdrawnClass& withdrawn);

    // Reads the class list of a library file without creating anything.
    static std::optional<ClassList> readLibraryClasses(const QString& libraryPath);
    // Writes the registration file of one library into a folder.
    static void writeRegistration(const QString& libraryPath, const QString& folder);

private:
    ComponentRuntime() = default;
    void ensureRegistrationsRead();
    int indexOf(const QString& progIdOrClassId) const;
    void add(const ClassRegistration& reg, const ClassEntry* builtin);
    ObjectPtr createAt(int index);
    // Raises 429 when a damaged registration line holds this name.
    void refuseDamaged(const QString& progIdOrClassId) const;

    struct DamagedLine {
        QString file; // absolute path of the registration file
        int line = 0; // 0: the file as a whole
        QString text;
        QString why;
    };
    QList<DamagedLine> m_damaged;

    bool m_registrationsRead = false;
    QList<ClassRegistration> m_classes;
    QList<const ClassEntry*> m_entries;       // resolved entry per class, null until loaded
    QHash<QString, int> m_byProgId;           // lower-case ProgID -> index
    QHash<QUuid, int> m_byClassId;
    QHash<QString, ClassList> m_loadedLibraries;
};

// Shorthand used throughout the plug-in.
inline ObjectPtr CreateObject(const QString& progIdOrClassId)
{
    return ComponentRuntime::instance().create(progIdOrClassId);
}

} // namespace kelto
