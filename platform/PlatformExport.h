#pragma once

#if defined(KELTO_PLATFORM_BUILD)
#define KELTO_PLATFORM_EXPORT __attribute__((visibility("default")))
#else
#define KELTO_PLATFORM_EXPORT
#endif
// Component libraries export exactly one symbol: their class list.
#define KELTO_COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))
