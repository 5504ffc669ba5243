#pragma once
// Rules of the analyser's serial protocol shared by the link and the instrument
// query, so that both agree on when a reply is complete and which analyser
// versions are good enough.

#include <QString>
#include <cstdint>

namespace kelto::MCommUtils {

// Errors of the serial control's status text.
constexpr std::int32_t kPortNotFound = 8002;
constexpr std::int32_t kPortUnavailable = 8005;
constexpr std::int32_t kPortFailure = 8020;

constexpr const char* kLibrary = "KeltoTarvoXVTI";

// The analyser did answer, but its reply cannot be told apart from a late answer
// to an earlier request.
constexpr std::int32_t kReplyUncertain = 8030;
// The analyser's lines do not end with CR LF, so the link cannot read them.
constexpr std::int32_t kLinesUnread = 8031;

// The analyser's longest reply (its banner) is a few dozen characters; a line
// longer than this before its line end means a broken or flooded line (about 1 s
// of wire time at 2400 baud). A reply of several lines may hold kMaxReplyLines.
constexpr int kMaxReplyLength = 256;
constexpr int kMaxReplyLines = 16;
// A held reading is not asked for while more answers than this to earlier requests
// may still come: each would cost a copy of the command on the wire.
constexpr int kMaxEarlierAnswers = 16;

// Raises the error of a status text other than "Connected".
void CheckPortStatus(const QString& status, const QString& portName = QString());

// The instrument query's line-end rule: a reply is complete when it ends with LF
// (CR LF included) or with CR CR, which older analysers send.
bool ReplyComplete(const QString& text);
// Where the first line of the text from `from` on ends by that rule (just past its
// LF or CR CR); -1 while no line has ended.
qsizetype FirstLineEnd(const QString& text, qsizetype from = 0);

// What the link makes of the reply collected so far from `chunks` reads: waits for
// more, takes it, or gives up on a line that grows past kMaxReplyLength without a
// line end, or a reply longer than kMaxReplyLines lines.
enum class ReplyState { Incomplete, Complete, TooLong };
ReplyState JudgeReply(const QString& text, int chunks, int expectedChunks);

// Readings the analyser holds until something reaches its input: a discharge of
// the defibrillator, or the pacer's pulses. Every other command it answers at once.
enum class Release { AtOnce, Discharge, Pacing };
Release ReleaseOf(const QString& command);
// The held readings of one kind.
const QStringList& HeldReadings(Release release);
// "[nrg]\r" and "[NRG]" are the command "[NRG]".
QString CommandWord(const QString& command);
// Waveform commands ("[W01]" to "[W24]") and their stop ("[WSP]"), which the analyser
// acknowledges; a waveform command is one of them but the stop.
bool IsAcknowledged(const QString& command);
bool IsWaveCommand(const QString& command);

// The link's lines end with CR LF, as the analyser's answer to "[VER]" does. Where
// the first line of the text from `from` on ends (just past its CR LF); -1 while
// none has. A lone LF or CR is not a line end: it never makes a line of its own or
// splits an answer in two.
qsizetype AnalyserLineEnd(const QString& text, qsizetype from = 0);

// A byte that no reply holds: a control character other than CR and LF, DEL, or a
// byte that is not ASCII. The analyser sends plain ASCII.
bool IsNoise(QChar c);
// The line with such bytes taken out where they stand before its text. From its
// first character on they stay, as a lone CR or LF does (see Broken): a byte
// damaged inside a reading, or at its end ("9" NUL for "95"), leaves a line that
// must not read as another number.
QString WithoutNoise(const QString& line);

// What a line of the analyser's can be. Blank: nothing but noise. Broken: line
// noise joined two pieces of text with a lone LF or CR between them ("-" LF
// "15.04"), or a byte that no reply holds stands after its first character
// ("2" 0xB0 ".5"); it is no reply of any shape, since it may be two, or one
// damaged. Reading: a reply that
// can carry a reading, beginning with a number by the results' leading-number rule
// ("104.2J" among them) or with "OVER"; the answer to "[VER]" has this shape too.
// Banner: the maker's banner, the answer of a model that lacks a test. Other: any
// other text, such as a waveform command's acknowledgement ("OK") or a status the
// analyser sends on its own ("E07").
enum class LineShape { Blank, Broken, Reading, Banner, Other };
LineShape ShapeOf(const QString& line);
// What broke a broken line's text, in a technician's words: "a lone LF or CR", "a
// byte that no reply holds", or both.
QString BreakOf(const QString& text);
bool IsBanner(const QString& line);
// The text of a line as it is quoted and compared: noise and the line end taken
// out, blanks around it and lone line ends before or after its text too.
QString LineText(const QString& line);
// The reply a line carries, as handed to the caller: noise taken out, and lone line
// ends before or after its text, with its CR LF.
QString ReplyOf(const QString& line);

// Input that has not ended with CR LF but holds a reply-shaped text ended by a lone
// LF or CR, as an analyser sends that ends its lines otherwise: "LF" or "CR", and
// the text; empty when it holds none. `more`: another text ended the same way
// follows it, so the analyser ends its lines so.
struct OtherLineEnd {
    QString end;
    QString text;
    bool more = false;
};
OtherLineEnd LineEndedOtherwise(const QString& partial);

// The link's version rule: the first four characters of the reply compared as text
// with "2.11", greater or equal passes. So 2.11 to 9.99 pass, 2.5 among them, and
// 2.10, 1.99 and 10.0 do not. A reply that does not begin with a digit is no
// version at all (a maker's banner, line noise).
bool VersionAccepted(const QString& reply);
// The instrument query's rule: the first four characters read as a number other
// than 0. So 2.13, 10.0, 2.10 and 1.99 are found; letters and a bare CR LF are not.
bool VersionFound(const QString& reply);

// Traffic as it appears in the link log: "[CRG]\r[HDR]\r".
QString EscapeTraffic(const QString& text);

// Why a port failed the version handshake, naming the port and what to check; the
// link and the query say it alike.
QString NoAnswerText(const QString& port, const QString& handshake, int milliseconds);
QString VersionRefusedText(const QString& port, const QString& handshake, const QString& reply);
QString NoVersionText(const QString& port, const QString& handshake, const QString& reply);
// The device answered with a text that ends with a lone LF or CR, not CR LF.
QString OtherLineEndText(const QString& port, const QString& command, const OtherLineEnd& seen);
// The device answered with a line longer than any reply (its beginning is quoted),
// or with a text it did not end within the time-out.
QString LineTooLongText(const QString& port, const QString& command, const QString& line);
QString NoLineEndText(const QString& port, const QString& command, const QString& text, int milliseconds);

// The device went away (an adapter unplugged, the analyser switched off), which the
// serial control raises as error 68: while the reply to `command` was awaited, or
// before `command` could go out. The link, the query and every test type say it
// alike.
constexpr std::int32_t kDeviceLost = 68;
QString DeviceLostText(const QString& port, const QString& command, bool replyAwaited = true);

} // namespace kelto::MCommUtils
