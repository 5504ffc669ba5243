// The one exported entry of the KeltoTarvoXTest library: its class list.

#include "framework/ClassLists.h"

KELTO_COMPONENT_CLASSES(&kelto::frameworkClasses, &kelto::configurationClasses, &kelto::resultClasses, &kelto::procedureClasses, &kelto::panelClasses)

