#pragma once
// Serial traffic written for people: control characters escaped ("[CRG]\r[HDR]\r"),
// so a log line or a printed reply shows exactly what went over the line.

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

} // namespace kelto
