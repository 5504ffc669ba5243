// The one exported entry of the KeltoTarvoXVTI library: its class list.

#include "CTarvoXQuery.h"
#include "CTarvoXVTi.h"
#include "platform/ClassTable.h"

namespace {

kelto::ClassEntries classes()
{
    return {
        {kelto::linkclass::TarvoXVti, kelto::linkclass::TarvoXVtiId, &kelto::createInstance<kelto::CTarvoXVTi>},
        {kelto::linkclass::TarvoXQuery, kelto::linkclass::TarvoXQueryId, &kelto::createInstance<kelto::CTarvoXQuery>},
    };
}

} // namespace

KELTO_COMPONENT_CLASSES(&classes)

