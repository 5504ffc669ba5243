#pragma once
// The one checked dereference. An automation call through a reference that holds
// nothing fails with "Object variable not set" (91); every use of a host object, a
// created class or a lookup result goes through deref so that such a call is an
// error the caller handles as it handles any other, never a crash.

#include <QString>

#include "platform/Object.h"
#include "platform/PluginError.h"

namespace kelto {

// The object behind a reference; raises error 91 with source when there is none.
template <class T>
T& deref(const Ptr<T>& object, const QString& source = QString())
{
    if (!object)
        raiseError(vberr::ObjectNotSet, source);
    return *object;
}

template <class T>
T& deref(T* object, const QString& source = QString())
{
    if (!object)
        raiseError(vberr::ObjectNotSet, source);
    return *object;
}

} // namespace kelto
