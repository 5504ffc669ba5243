#pragma once
// Base of every component object: reference counted through std::shared_ptr, and
// asked for another of its interfaces by a checked cast that yields null when the
// object does not implement it.

#include <memory>

#include "PlatformExport.h"

namespace kelto {

class KELTO_PLATFORM_EXPORT IObject : public std::enable_shared_from_this<IObject> {
public:
    virtual ~IObject();

    // The object itself as another of its interfaces, or null.
    template <class T>
    std::shared_ptr<T> as()
    {
        return std::dynamic_pointer_cast<T>(shared_from_this());
    }
};

using ObjectPtr = std::shared_ptr<IObject>;

template <class T>
using Ptr = std::shared_ptr<T>;

// Asks any interface pointer for another interface; null in, null out.
template <class To, class From>
Ptr<To> query(const Ptr<From>& from)
{
    return std::dynamic_pointer_cast<To>(from);
}

} // namespace kelto
