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

// Defines the function that holds a library's class list. The table is a static of
// that function, so each library keeps its own; the library's one exported entry
// returns it (KELTO_COMPONENT_ENTRY), and a program that builds the library's code
// in registers it as built into the process instead.
#define KELTO_CLASS_LIST(function, ...)                                                    \
    kelto::ClassList function()                                                            \
    {                                                                                      \
        static const kelto::ClassEntries all = kelto::joinClassEntries({__VA_ARGS__});     \
        return {all.data(), static_cast<int>(all.size())};                                \
    }

// Defines a library's one exported entry: its class list.
#define KELTO_COMPONENT_ENTRY(function)                                                    \
    KELTO_COMPONENT_EXPORT kelto::ClassList kelto_component_classes()                      \
    {                                                                                      \
        return function();                                                                 \
    }
