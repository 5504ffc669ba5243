#pragma once
// The instrument link's class list.

#include "platform/ClassTable.h"

namespace kelto {

ClassList linkClasses();

} // namespace kelto
