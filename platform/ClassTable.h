#pragma once
// Helpers for a component library's class table: each family of classes lists its
// own entries, and the library's one exported entry joins the lists the first time
// it is asked (never at load).

#include <initializer_list>
#include <vector>

#include "ComponentRuntime.h"

namespace kelto {

using ClassEntries = std::vector<ClassEntry>;

template <class T>
ObjectPtr createInstance()
{
    return std::make_shared<T>();
}

inline ClassEntries joinClassEntries(std::initializer_list<ClassEntries (*)()> families)
{
    ClassEntries joined;
    for (auto family : families) {
        const ClassEntries part = family();
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

} // namespace kelto

// Defines a library's one exported entry. The table is a static of the entry
// itself, so that each library keeps its own (an inline helper's static would be
// shared by every library that uses it).
#define KELTO_COMPONENT_CLASSES(...)                                                       \
    KELTO_COMPONENT_EXPORT kelto::ClassList kelto_component_classes()                      \
    {                                                                                      \
        static const kelto::ClassEntries all = kelto::joinClassEntries({__VA_ARGS__});     \
        return {all.data(), static_cast<int>(all.size())};                                \
    }

