#pragma once
// What the tests ask of a failing call: the number of the error it raised.

#include <cstdint>
#include <functional>

#include "platform/PluginError.h"

namespace kelto {

// Runs a statement and gives the number of the PluginError it raised, 0 when none.
inline std::int32_t errorNumberOf(const std::function<void()>& statement)
{
    try {
        statement();
    } catch (const PluginError& e) {
        return e.number();
    }
    return 0;
}

// Runs a statement and gives the description of the PluginError it raised, empty when none.
inline QString errorTextOf(const std::function<void()>& statement)
{
    try {
        statement();
    } catch (const PluginError& e) {
        return e.description();
    }
    return QString();
}

} // namespace kelto
