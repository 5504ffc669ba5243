#pragma once
// The plug-in shell's class list.

#include "platform/ClassTable.h"

namespace kelto {

ClassList shellClasses();

} // namespace kelto
