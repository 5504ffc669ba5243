#pragma once
// A host that lacks a class: the class is taken out of the component runtime for
// the life of this object, so creating it gives null as for a class never
// registered, and is put back afterwards.

#include <QString>

#include "platform/ComponentRuntime.h"

namespace kelto {

class MissingClass {
public:
    explicit MissingClass(const QString& progIdOrClassId) : m_withdrawn(ComponentRuntime::instance().withdraw(progIdOrClassId)) {}
    explicit MissingClass(const char* progIdOrClassId) : MissingClass(QString::fromLatin1(progIdOrClassId)) {}
    ~MissingClass() { ComponentRuntime::instance().reinstate(m_withdrawn); }
    MissingClass(const MissingClass&) = delete;
    MissingClass& operator=(const MissingClass&) = delete;

    // False when no such class was registered to begin with.
    bool withdrawn() const { return m_withdrawn.index >= 0; }

private:
    ComponentRuntime::WithdrawnClass m_withdrawn;
};

// A host whose class is a stand-in: the class is withdrawn and the stand-in made
// under its ProgID for the life of this object.
class ReplacedClass {
public:
    ReplacedClass(const char* progId, ObjectPtr (*create)()) : m_original(progId), m_entry{progId, nullptr, create}
    {
        ComponentRuntime::instance().registerBuiltin({&m_entry, 1});
    }
    // The stand-in goes first; the original comes back as m_original ends.
    ~ReplacedClass() { ComponentRuntime::instance().withdraw(QString::fromLatin1(m_entry.progId)); }
    ReplacedClass(const ReplacedClass&) = delete;
    ReplacedClass& operator=(const ReplacedClass&) = delete;

private:
    MissingClass m_original;
    ClassEntry m_entry;
};

} // namespace kelto
