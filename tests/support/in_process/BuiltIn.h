#pragma once
// Registers the classes of a component library whose code is built into this test
// program as built in, before main: the runtime then creates them from that code
// and never loads the shared library of the same classes beside it.

#include "platform/ComponentRuntime.h"

#define KELTO_BUILT_IN(classList)                                                          \
    namespace {                                                                            \
    const bool kBuiltIn = (kelto::ComponentRuntime::instance().registerBuiltin(classList()), true); \
    }
