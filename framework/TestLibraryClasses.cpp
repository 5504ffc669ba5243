// The test library's class list: its families' lists joined.

#include "framework/ClassLists.h"

KELTO_CLASS_LIST(kelto::testLibraryClasses, &kelto::frameworkClasses, &kelto::configurationClasses, &kelto::resultClasses,
    &kelto::procedureClasses, &kelto::panelClasses)
