#pragma once
// Hostile XML for the tests of the readers' bounds.

#include <QByteArray>

namespace kelto {

// An element nested `levels` deep inside an optional wrapper: "<a><a>...</a></a>".
inline QByteArray deeplyNested(int levels, const QByteArray& open = {}, const QByteArray& close = {})
{
    QByteArray xml = open;
    xml.reserve(open.size() + close.size() + levels * 7);
    for (int i = 0; i < levels; ++i)
        xml += "<a>";
    for (int i = 0; i < levels; ++i)
        xml += "</a>";
    return xml + close;
}

} // namespace kelto
