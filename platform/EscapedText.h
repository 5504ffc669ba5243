#pragma once
// Serial traffic written for people: control characters escaped ("[CRG]\r[HDR]\r"),
// so a log line or a printed reply shows exactly what went over the line. A file's
// text quoted in a message keeps its letters and escapes only what would not show.

#include <QString>

namespace kelto {

inline QString escapeControls(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\r': out += QLatin1String("\\r"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\\': out += QLatin1String("\\\\"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

// "\x00" for a NUL and any other character that prints as nothing or moves the text.
inline QString escapeInvisible(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c == '\\')
            out += QLatin1String("\\\\");
        else if (c != ' ' && !QChar::isPrint(c))
            out += QStringLiteral("\\x%1").arg(static_cast<uint>(c), 2, 16, QLatin1Char('0'));
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out;
}

// A text of a file or of the line as a message quotes it: in double quotes and, past
// 40 characters, cut with "…" and followed by its length, so that a value of
// megabytes makes no message of megabytes and a cut one is not taken for the whole:
// "123…" (8000000 characters).
inline QString quotedValue(const QString& text)
{
    constexpr qsizetype kShown = 40;
    if (text.size() <= kShown)
        return QLatin1Char('"') + text + QLatin1Char('"');
    // A character of two UTF-16 units is shown whole or not at all.
    const qsizetype shown = text.at(kShown - 1).isHighSurrogate() ? kShown - 1 : kShown;
    return QStringLiteral("\"%1%2\" (%3 characters)").arg(text.left(shown), QString(QChar(0x2026)), QString::number(text.size()));
}

} // namespace kelto
