#pragma once
// The pass over a text's UTF-8 bytes that comes before the XML parser: whether it
// is text that begins as XML, and whether its markup keeps within the bounds of
// XmlDocument. It skips text and quoted values at the speed of a byte search and
// builds nothing, so a file beyond a bound costs no tree.

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace kelto::host {

struct XmlBreach {
    QString what;     // "nests elements more than 64 levels deep"
    qsizetype offset; // where the text at fault starts; -1 for the text as a whole
};

// The first thing that keeps the text from being parsed within the bounds; none
// when the parser may have it. Markup that is not well-formed ends the pass: the
// parser names it, having read no further.
std::optional<XmlBreach> xmlBreach(QByteArrayView utf8);

struct TextPosition {
    qint64 line;
    qint64 column; // in characters, from 1
};
TextPosition positionOf(QByteArrayView utf8, qsizetype offset);

} // namespace kelto::host
