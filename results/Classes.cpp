// Classes of this family that are created by ProgID or class id.

#include "framework/ClassLists.h"

namespace kelto {

ClassEntries resultClasses()
{
    return {};
}

} // namespace kelto
