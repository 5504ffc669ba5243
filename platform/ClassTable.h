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

inline ClassList joinClassLists(std::initializer_list<ClassEntries (*)()> families)
{
    static const ClassEntries all = [&] {
        ClassEntries joined;
        for (auto family : families) {
            const ClassEntries part = family();
            joined.insert(joined.end(), part.begin(), part.end());
        }
        return joined;
    }();
    return {all.data(), static_cast<int>(all.size())};
}

} // namespace kelto
