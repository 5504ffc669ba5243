// The one exported entry of the KeltoTarvoXTest library: its class list.

#include "framework/ClassLists.h"

KELTO_COMPONENT_ENTRY(kelto::testLibraryClasses)
