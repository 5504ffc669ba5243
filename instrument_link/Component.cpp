// The one exported entry of the KeltoTarvoXVTI library: its class list.

#include "platform/ComponentRuntime.h"

namespace {

const kelto::ClassEntry* classTable(int* count)
{
    static const kelto::ClassEntry classes[] = {
        {nullptr, nullptr, nullptr}, // end marker; the classes are listed above it
    };
    *count = static_cast<int>(std::size(classes)) - 1;
    return classes;
}

} // namespace

KELTO_COMPONENT_EXPORT kelto::ClassList kelto_component_classes()
{
    int count = 0;
    const kelto::ClassEntry* entries = classTable(&count);
    return {entries, count};
}
