#pragma once
// The class lists of the test library's families; each is defined in its folder's Classes.cpp.

#include "platform/ClassTable.h"

namespace kelto {

ClassEntries frameworkClasses();
ClassEntries configurationClasses();
ClassEntries resultClasses();
ClassEntries procedureClasses();
ClassEntries panelClasses();

} // namespace kelto
