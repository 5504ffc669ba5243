#pragma once
// Rules of the analyser's serial protocol shared by the link and the instrument
// query, so that both agree on when a reply is complete and which analyser
// versions are good enough.

#include <QString>
#include <cstdint>
#include <optional>

namespace kelto::MCommUtils {

// Errors of the serial control's status text.
constexpr std::int32_t kPortNotFound = 8002;
constexpr std::int32_t kPortUnavailable = 8005;
constexpr std::int32_t kPortFailure = 8020;

constexpr const char* kLibrary = "KeltoTarvoXVTI";

// The analyser's longest reply (its banner) is a few dozen characters; more than
// this means a broken or flooded line (about 1 s of wire time at 2400 baud).
constexpr int kMaxReplyLength = 256;

// Raises the error of a status text other than "Connected".
void CheckPortStatus(const QString& status, const QString& portName = QString());

// One line-end rule: a reply is complete when it ends with LF (CR LF included)
// or with CR CR, which older analysers send.
bool ReplyComplete(const QString& text);
// Where the first line of the text ends by that rule (just past its LF or CR CR);
// -1 while no line has ended.
qsizetype FirstLineEnd(const QString& text);

// What the link makes of the reply collected so far from `chunks` reads: waits for
// more, takes it, or gives up on a reply longer than kMaxReplyLength.
enum class ReplyState { Incomplete, Complete, TooLong };
ReplyState JudgeReply(const QString& text, int chunks, int expectedChunks);

struct Version {
    int major = 0;
    int minor = 0;
};

// The version at the start of a reply ("2.13", leading blanks allowed); none for
// a reply that does not begin with digits, a point and digits.
std::optional<Version> ParseVersion(const QString& reply);

// The oldest analyser firmware the link works with is 2.11, compared as numbers.
bool VersionAccepted(const QString& reply);

// Traffic as it appears in the link log: "[CRG]\r[HDR]\r".
QString EscapeTraffic(const QString& text);

// Why a port failed the version handshake, naming the port and what to check; the
// link and the query say it alike.
QString NoAnswerText(const QString& port, const QString& handshake, int milliseconds);
QString VersionRefusedText(const QString& port, const QString& handshake, const QString& reply);

} // namespace kelto::MCommUtils
