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

} // namespace kelto
