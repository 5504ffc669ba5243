// The one exported entry of the KeltoTarvoXTest library: its class list.

#include "framework/ClassLists.h"

KELTO_COMPONENT_EXPORT kelto::ClassList kelto_component_classes()
{
    using namespace kelto;
    return joinClassLists({&frameworkClasses, &configurationClasses, &resultClasses, &procedureClasses, &panelClasses});
}
