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

// The analyser's longest reply (its banner) is a few dozen characters; a line
// longer than this before its line end means a broken or flooded line (about 1 s
// of wire time at 2400 baud). A reply of several lines may hold kMaxReplyLines.
constexpr int kMaxReplyLength = 256;
constexpr int kMaxReplyLines = 16;

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

// The link's lines end with CR LF, as the analyser's answer to "[VER]" does. Where
// the first line of the text from `from` on ends (just past its CR LF); -1 while
// none has. A lone LF or CR CR is line noise inside a line, not a line end, so
// noise never makes a line of its own or splits an answer in two.
qsizetype AnalyserLineEnd(const QString& text, qsizetype from = 0);

// The line with what line noise put into it taken out: control characters (but
// the final CR LF) and bytes that are not ASCII. The analyser sends plain ASCII.
QString WithoutNoise(const QString& line);

// What a line of the analyser's can be. Blank: nothing but noise. Reading: the
// shape of a reply that can carry a reading (a number, maybe with a unit, "OVER",
// or the maker's banner), and of the answer to "[VER]". Other: any other text,
// such as the acknowledgement of a waveform command or a status text the analyser
// sends on its own. Only a reading-shaped line is counted against the readings
// that may still come, and only such a line can be a held reading.
enum class LineShape { Blank, Reading, Other };
LineShape ShapeOf(const QString& line);
bool IsBanner(const QString& line);

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

// The device went away (an adapter unplugged, the analyser switched off), which the
// serial control raises as error 68: while the reply to `command` was awaited, or
// before `command` could go out. The link, the query and every test type say it
// alike.
constexpr std::int32_t kDeviceLost = 68;
QString DeviceLostText(const QString& port, const QString& command, bool replyAwaited = true);

} // namespace kelto::MCommUtils
