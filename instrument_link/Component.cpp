// The one exported entry of the KeltoTarvoXVTI library: its class list.

#include "platform/ClassTable.h"

namespace {

kelto::ClassEntries classes()
{
    return {};
}

} // namespace

KELTO_COMPONENT_EXPORT kelto::ClassList kelto_component_classes()
{
    return kelto::joinClassLists({&classes});
}
