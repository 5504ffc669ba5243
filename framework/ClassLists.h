#pragma once
// The class lists of the test library's families, each defined in its folder's
// Classes.cpp, and the library's whole list that joins them.

#include "platform/ClassTable.h"

namespace kelto {

ClassEntries frameworkClasses();
ClassEntries configurationClasses();
ClassEntries resultClasses();
ClassEntries procedureClasses();
ClassEntries panelClasses();

ClassList testLibraryClasses();

} // namespace kelto
