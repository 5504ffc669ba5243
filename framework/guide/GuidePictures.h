#pragma once
// The test library's own bitmaps, loaded by resource name: the popup's pictures
// "TI:WAIT" and "TI:SHOCK" (48 x 48), the identity tab's "TAB_MTIDATA_1" and
// "TAB_MTIDATA_2" (32 x 32 on pure red, the tab's mask colour) and the grid's
// check boxes "CHK:UNCHECK" and "CHK:CHECK".

#include <QPixmap>
#include <QString>

namespace kelto::guide {

// Raises error 326 naming the resource when the library has no bitmap of that name.
QPixmap LoadResPicture(const QString& name);

} // namespace kelto::guide
