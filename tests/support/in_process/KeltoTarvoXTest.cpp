// The test library's classes, built into the test program.

#include "framework/ClassLists.h"
#include "tests/support/in_process/BuiltIn.h"

KELTO_BUILT_IN(kelto::testLibraryClasses)
