#include "XmlScan.h"

#include <QVarLengthArray>
#include <algorithm>
#include <cstring>

#include "host/XmlDocument.h"

namespace kelto::host {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameStart(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || c == '_' || c == ':' || u >= 0x80;
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Where the bytes stop being UTF-8 text: a NUL, or bytes of no UTF-8 character;
// -1 when they are text throughout.
qsizetype firstNonText(QByteArrayView data, bool* nul)
{
    const qsizetype size = data.size();
    for (qsizetype i = 0; i < size;) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c == 0) {
            *nul = true;
            return i;
        }
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        char32_t least = 0;
        char32_t code = 0;
        if ((c & 0xE0) == 0xC0) {
            more = 1, least = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2, least = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3, least = 0x10000, code = c & 0x07;
        } else {
            return i;
        }
        if (i + more >= size)
            return i;
        for (int k = 1; k <= more; ++k) {
            const auto b = static_cast<unsigned char>(data[i + k]);
            if ((b & 0xC0) != 0x80)
                return i;
            code = (code << 6) | (b & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += more + 1;
    }
    return -1;
}

// A quoted value's length in characters, a reference ("&amp;") counting as one.
qsizetype charactersOf(QByteArrayView value)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '&') {
            i = std::max(i, value.indexOf(';', i));
            ++count;
        } else {
            count += (static_cast<unsigned char>(value[i]) & 0xC0) != 0x80;
        }
    }
    return count;
}

// The attribute name before the "=" at `at`.
QByteArrayView nameBefore(QByteArrayView data, qsizetype at)
{
    qsizetype end = at;
    while (end > 0 && isBlank(data[end - 1]))
        --end;
    qsizetype start = end;
    while (start > 0 && isNameChar(data[start - 1]))
        --start;
    return data.sliced(start, end - start);
}

// The names people read: a test's and a standard's.
bool isName(QByteArrayView attribute)
{
    return attribute == "Name" || attribute == "Alpha" || attribute == "Complete";
}

std::optional<XmlBreach> textBreach(QByteArrayView data)
{
    bool nul = false;
    if (const qsizetype at = firstNonText(data, &nul); at >= 0)
        return XmlBreach{nul ? QStringLiteral("is not UTF-8, UTF-16 or UTF-32 text: it holds a NUL character") : QStringLiteral("is not UTF-8, UTF-16 or UTF-32 text"), at};
    qsizetype start = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < data.size() && isBlank(data[start]))
        ++start;
    if (start == data.size())
        return XmlBreach{QStringLiteral("holds no XML: it is empty or blank"), -1};
    if (data[start] != '<')
        return XmlBreach{QStringLiteral("is not XML: it does not begin with \"<\""), start};
    return std::nullopt;
}

// The parsers could not be trusted with a text's markup first: a document type
// declaration costs them the square of its declarations, a tag the square of its
// attributes and nesting the square of its depth. For well-formed XML the counts
// are the DOM's.
std::optional<XmlBreach> markupBreach(QByteArrayView data)
{
    using Bounds = XmlDocument;
    const auto startsAt = [&](qsizetype i, const char* text) { return data.sliced(i).startsWith(text); };
    // An XML declaration is no node; a byte order mark may stand before it.
    const qsizetype declaration = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    QVarLengthArray<QByteArrayView, Bounds::kMaxXmlDepth> open; // the names of the elements open
    qint64 nodes = 0;
    qint64 items = 0;
    qint64 standards = 0;
    qint64 limits = 0;
    qint64 readings = 0; // of the result open
    qsizetype i = 0;
    while ((i = data.indexOf('<', i)) >= 0) {
        const qsizetype tag = i;
        const char* end = nullptr;
        if (startsAt(i, "<!--") || startsAt(i, "<![CDATA[")) {
            end = data[i + 2] == '-' ? "-->" : "]]>";
            ++nodes;
        } else if (startsAt(i, "<?")) {
            end = "?>";
            nodes += !(i == declaration && startsAt(i, "<?xml") && i + 5 < data.size() && isBlank(data[i + 5]));
        } else if (startsAt(i, "</")) {
            end = ">";
            if (!open.isEmpty())
                open.removeLast();
        } else if (startsAt(i, "<!DOCTYPE")) {
            return XmlBreach{QStringLiteral("has a document type declaration (<!DOCTYPE), which none of the host's files holds"), tag};
        } else if (i + 1 >= data.size() || !isNameStart(data[i + 1])) {
            return std::nullopt; // no markup of well-formed XML: the parser names it
        }
        if (end) {
            i = data.indexOf(end, i + 2);
            if (i < 0)
                return std::nullopt;
            i += qsizetype(std::strlen(end));
        } else {
            // A start tag: each "=" outside quoted values begins an attribute value.
            qsizetype after = i + 1;
            while (after < data.size() && isNameChar(data[after]))
                ++after;
            const QByteArrayView name = data.sliced(i + 1, after - i - 1);
            int attributes = 0;
            QByteArrayView attribute;
            for (i = after; i < data.size(); ++i) {
                const char c = data[i];
                if (c == '"' || c == '\'') {
                    const qsizetype close = data.indexOf(c, i + 1);
                    if (close < 0)
                        return std::nullopt;
                    if (isName(attribute) && close - i - 1 > Bounds::kMaxNameChars
                        && charactersOf(data.sliced(i + 1, close - i - 1)) > Bounds::kMaxNameChars)
                        return XmlBreach{QStringLiteral("has a name longer than %1 characters").arg(Bounds::kMaxNameChars), i + 1};
                    i = close;
                } else if (c == '=') {
                    if (++attributes > Bounds::kMaxXmlAttributes)
                        return XmlBreach{QStringLiteral("has an element with more than %1 attributes").arg(Bounds::kMaxXmlAttributes), tag};
                    attribute = nameBefore(data, i);
                } else if (c == '>') {
                    break;
                }
            }
            if (i >= data.size())
                return std::nullopt;
            if (open.size() + 1 > Bounds::kMaxXmlDepth)
                return XmlBreach{QStringLiteral("nests elements more than %1 levels deep").arg(Bounds::kMaxXmlDepth), tag};
            // Counted before a tree holds them: each costs the plug-in an object, and the report its lines.
            const bool item = name == "Item" && open.size() == 1 && open[0] == "TestSequence";
            if (item && ++items > Bounds::kMaxItems)
                return XmlBreach{QStringLiteral("holds more than %1 test items").arg(Bounds::kMaxItems), tag};
            if (name == "Standard" && ++standards > Bounds::kMaxStandards)
                return XmlBreach{QStringLiteral("holds more than %1 standards").arg(Bounds::kMaxStandards), tag};
            if (name == "Limit" && ++limits > Bounds::kMaxLimits)
                return XmlBreach{QStringLiteral("holds more than %1 limits").arg(Bounds::kMaxLimits), tag};
            if (name == "ResultItem")
                readings = 0;
            const bool reading = name == "Measurement" && !open.isEmpty() && open.last() == "ResultItem";
            if (reading && ++readings > Bounds::kMaxReadings)
                return XmlBreach{QStringLiteral("holds a result of more than %1 readings").arg(Bounds::kMaxReadings), tag};
            if (data[i - 1] != '/') // an empty element closes itself
                open.append(name);
            nodes += 1 + attributes;
            ++i;
        }
        if (nodes > Bounds::kMaxXmlNodes)
            return XmlBreach{QStringLiteral("holds more than %1 elements, attributes and other XML nodes").arg(Bounds::kMaxXmlNodes), tag};
    }
    return std::nullopt;
}

} // namespace

std::optional<XmlBreach> xmlBreach(QByteArrayView utf8)
{
    if (auto breach = textBreach(utf8))
        return breach;
    return markupBreach(utf8);
}

TextPosition positionOf(QByteArrayView data, qsizetype offset)
{
    const QByteArrayView before = data.first(offset);
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    qint64 column = 1;
    for (qsizetype i = lineStart; i < offset; ++i)
        column += (static_cast<unsigned char>(data[i]) & 0xC0) != 0x80; // UTF-8 continuation bytes are no characters
    return {before.count('\n') + 1, column};
}

} // namespace kelto::host
