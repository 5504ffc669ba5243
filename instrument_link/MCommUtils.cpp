#include "MCommUtils.h"

#include <QRegularExpression>
#include <algorithm>
#include <QtNumeric>
#include <QStringList>

#include "platform/Automation.h"
#include "platform/EscapedText.h"
#include "platform/PluginError.h"

namespace kelto::MCommUtils {

void CheckPortStatus(const QString& status, const QString& portName)
{
    const QString port = portName.isEmpty() ? QStringLiteral("the analyser's port") : portName;
    if (status == QLatin1String("Connected"))
        return;
    if (status == QLatin1String("Port unavailable"))
        raiseError(kPortUnavailable, QLatin1String(kLibrary),
            QStringLiteral("%1 is in use or not permitted; close other programs using it and check the permissions.").arg(port));
    if (status == QLatin1String("Port not found"))
        raiseError(kPortNotFound, QLatin1String(kLibrary),
            QStringLiteral("%1 does not exist; check the port setting and the cable.").arg(port));
    raiseError(kPortFailure, QLatin1String(kLibrary), QStringLiteral("%1 failed: %2").arg(port, status));
}

bool ReplyComplete(const QString& text)
{
    return text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1String("\r\r"));
}

qsizetype FirstLineEnd(const QString& text, qsizetype from)
{
    const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'), from);
    const qsizetype doubleReturn = text.indexOf(QLatin1String("\r\r"), from);
    if (doubleReturn >= 0 && (lineFeed < 0 || doubleReturn + 1 < lineFeed))
        return doubleReturn + 2;
    return lineFeed < 0 ? -1 : lineFeed + 1;
}

qsizetype AnalyserLineEnd(const QString& text, qsizetype from)
{
    const qsizetype end = text.indexOf(QLatin1String("\r\n"), from);
    return end < 0 ? -1 : end + 2;
}

bool IsNoise(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\r' && u != u'\n') || u >= 0x7f;
}

namespace {

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// The text without the characters `drop` takes at either end. Not QString::trimmed:
// a byte no reply holds, a tab among them, must stay to break the line.
template <class Drop>
QString trimmedOf(const QString& text, Drop drop)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && drop(text[first]))
        ++first;
    while (last > first && drop(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

// Blanks and lone line ends around a line's text join nothing.
QString trimmedText(const QString& text)
{
    return trimmedOf(text, [](QChar c) { return c == QLatin1Char(' ') || isLineEnd(c); });
}

} // namespace

QString WithoutNoise(const QString& line)
{
    qsizetype start = 0;
    while (start < line.size() && (IsNoise(line[start]) || line[start].unicode() <= u' '))
        ++start;
    QString text;
    text.reserve(line.size());
    for (qsizetype i = 0; i < start; ++i) {
        if (!IsNoise(line[i]))
            text.append(line[i]);
    }
    text.append(QStringView(line).mid(start));
    return text;
}

QString LineText(const QString& line)
{
    QString text = WithoutNoise(line);
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    // Line ends before or after the text join nothing: they are noise.
    return trimmedText(text);
}

QString ReplyOf(const QString& line)
{
    QString text = WithoutNoise(line);
    const bool ended = text.endsWith(QLatin1String("\r\n"));
    if (ended)
        text.chop(2);
    return trimmedOf(text, isLineEnd) + (ended ? QStringLiteral("\r\n") : QString());
}

bool IsBanner(const QString& line)
{
    return line.contains(QLatin1String("Vel-Tor"));
}

namespace {

bool readingShaped(const QString& text)
{
    return startsWithNumber(text) || text.startsWith(QLatin1String("OVER"));
}

} // namespace

LineShape ShapeOf(const QString& line)
{
    const QString text = LineText(line);
    if (text.isEmpty())
        return LineShape::Blank;
    if (std::any_of(text.begin(), text.end(), isLineEnd) || std::any_of(text.begin(), text.end(), IsNoise))
        return LineShape::Broken;
    if (IsBanner(text))
        return LineShape::Banner;
    return readingShaped(text) ? LineShape::Reading : LineShape::Other;
}

QString BreakOf(const QString& text)
{
    const bool lineEnd = std::any_of(text.begin(), text.end(), isLineEnd);
    const bool byte = std::any_of(text.begin(), text.end(), IsNoise);
    return lineEnd && byte ? QStringLiteral("a lone LF or CR and a byte that no reply holds")
        : byte             ? QStringLiteral("a byte that no reply holds")
                           : QStringLiteral("a lone LF or CR");
}

OtherLineEnd LineEndedOtherwise(const QString& partial)
{
    const QString text = WithoutNoise(partial);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!isLineEnd(c))
            continue;
        const QString piece = trimmedText(text.mid(start, i - start));
        if (!piece.isEmpty() && readingShaped(piece) && std::none_of(piece.begin(), piece.end(), IsNoise)) {
            OtherLineEnd seen{c == QLatin1Char('\n') ? QStringLiteral("LF") : QStringLiteral("CR"), piece + c};
            // A CR at the end may be the first half of a CR LF still on its way.
            for (qsizetype j = i + 1, from = i + 1; j < text.size() && !seen.more; ++j) {
                if (text[j] == c && (c == QLatin1Char('\n') || j + 1 < text.size())) {
                    seen.more = !trimmedText(text.mid(from, j - from)).isEmpty();
                    from = j + 1;
                }
            }
            return seen;
        }
        start = i + 1;
    }
    return {};
}

ReplyState JudgeReply(const QString& text, int chunks, int expectedChunks)
{
    // Each line is bounded, with its line end: a line may end where it likes below
    // the bound, whatever came before it.
    qsizetype lineStart = 0;
    int lines = 0;
    for (qsizetype end = FirstLineEnd(text); end >= 0; end = FirstLineEnd(text, lineStart)) {
        if (end - lineStart > kMaxReplyLength + 2 || ++lines > kMaxReplyLines)
            return ReplyState::TooLong;
        lineStart = end;
    }
    // A CR at the end may be the first half of the line end.
    if (text.size() - lineStart - (text.endsWith(QLatin1Char('\r')) ? 1 : 0) > kMaxReplyLength)
        return ReplyState::TooLong;
    return chunks >= expectedChunks && ReplyComplete(text) ? ReplyState::Complete : ReplyState::Incomplete;
}

Release ReleaseOf(const QString& command)
{
    const QString word = CommandWord(command);
    for (Release release : {Release::Discharge, Release::Pacing}) {
        if (HeldReadings(release).contains(word))
            return release;
    }
    return Release::AtOnce;
}

const QStringList& HeldReadings(Release release)
{
    static const QStringList discharge{QStringLiteral("[NRG]"), QStringLiteral("[PVT]"), QStringLiteral("[EVT]"), QStringLiteral("[OVT]"),
        QStringLiteral("[OCR]"), QStringLiteral("[STP]"), QStringLiteral("[STB]"), QStringLiteral("[CRG]")};
    static const QStringList pacing{QStringLiteral("[PAW]"), QStringLiteral("[PAV]"), QStringLiteral("[PAC]"), QStringLiteral("[BPM]"),
        QStringLiteral("[PRP]"), QStringLiteral("[SRP]")};
    static const QStringList none;
    return release == Release::Discharge ? discharge : release == Release::Pacing ? pacing : none;
}

QString CommandWord(const QString& command)
{
    return command.trimmed().toUpper();
}

bool IsAcknowledged(const QString& command)
{
    return CommandWord(command).startsWith(QLatin1String("[W"));
}

bool IsWaveCommand(const QString& command)
{
    return IsAcknowledged(command) && !CommandWord(command).startsWith(QLatin1String("[WS"));
}

bool VersionAccepted(const QString& reply)
{
    if (reply.isEmpty() || reply.front() < QLatin1Char('0') || reply.front() > QLatin1Char('9'))
        return false;
    return QStringView(reply).left(4).compare(u"2.11", Qt::CaseSensitive) >= 0;
}

bool VersionFound(const QString& reply)
{
    bool ok = false;
    const double version = reply.left(4).trimmed().toDouble(&ok);
    return ok && qIsFinite(version) && version != 0;
}

QString EscapeTraffic(const QString& text)
{
    return escapeControls(text);
}

QString NoAnswerText(const QString& port, const QString& handshake, int milliseconds)
{
    return QStringLiteral("No answer to %1 from %2 within %3 ms. Check that the analyser is switched on and shows its main "
                          "menu, and that its cable is on this port.")
        .arg(handshake, port)
        .arg(milliseconds);
}

QString VersionRefusedText(const QString& port, const QString& handshake, const QString& reply)
{
    return QStringLiteral("The device on %1 answered %2 with %3, which is not a Tarvo version from 2.11 to 9.99 (the first "
                          "four characters are compared with \"2.11\" as text: 2.5 passes, 2.10 and 10.0 do not). Check that this "
                          "port leads to the analyser and which firmware it has.")
        .arg(port, handshake, quotedValue(EscapeTraffic(reply)));
}

QString NoVersionText(const QString& port, const QString& handshake, const QString& reply)
{
    const QString text = LineText(reply);
    if (ShapeOf(reply) == LineShape::Broken && !text.isEmpty() && text.front().isDigit())
        return QStringLiteral("The device on %1 answered %2 with %3, a line that line noise broke with %4 inside it, so it is no "
                              "version. Check the cable, and that this port leads to the analyser.")
            .arg(port, handshake, quotedValue(EscapeTraffic(reply)), BreakOf(text));
    return QStringLiteral("The device on %1 answered %2 with %3, which does not begin with a version number. Check that this "
                          "port leads to the analyser.")
        .arg(port, handshake, quotedValue(EscapeTraffic(reply)));
}

QString OtherLineEndText(const QString& port, const QString& command, const OtherLineEnd& seen)
{
    return QStringLiteral("%1 sent %2 after %3: a line that ends with %4 alone. The link reads only lines that end with CR LF, as "
                          "the analyser ends them. Check that this port leads to the analyser and how the analyser ends its lines.")
        .arg(port, quotedValue(EscapeTraffic(seen.text)), command, seen.end);
}

QString LineTooLongText(const QString& port, const QString& command, const QString& line)
{
    constexpr qsizetype kShown = 20;
    return QStringLiteral("The device on %1 answered %2 with a line of more than %3 characters, which no Tarvo reply is; it begins "
                          "\"%4\u2026\". Check that this port leads to the analyser and that both ends use 2400 baud, 8 data bits, "
                          "no parity and 1 stop bit.")
        .arg(port, command)
        .arg(kMaxReplyLength)
        .arg(EscapeTraffic(WithoutNoise(line).left(kShown)));
}

QString NoLineEndText(const QString& port, const QString& command, const QString& text, int milliseconds)
{
    return QStringLiteral("The device on %1 answered %2 with %3 and no line end (CR LF) within %4 ms. Check that this port leads to "
                          "the analyser and how the analyser ends its lines.")
        .arg(port, command, quotedValue(EscapeTraffic(WithoutNoise(text))))
        .arg(milliseconds);
}

QString DeviceLostText(const QString& port, const QString& command, bool replyAwaited)
{
    const QString when = replyAwaited ? QStringLiteral("while waiting for the reply to %1") : QStringLiteral("before %1 could be sent");
    return QStringLiteral("%1 went away %2. Check the cable and the analyser, then start again.").arg(port, when.arg(command));
}

} // namespace kelto::MCommUtils
