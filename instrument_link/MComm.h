#pragma once
// The analyser's serial protocol: an event-driven state machine over the link's
// serial control. One link per process: its state, port and flags are shared by
// every link object. Waits run the event loop through the clock seam; a reply
// wait wakes when data arrive, on an abort, or when the device goes away.

#include <QString>
#include <cstdint>
#include <functional>

namespace kelto {
class SerialControl;
}
namespace kelto::MAnswers {
class SwitchOffWatch;
}

namespace kelto::MComm {

enum ELinkState : std::int16_t {
    lsClosed = 0,
    lsConnecting = 1,
    lsIdle = 2,
    lsSending = 3,
    lsReceiving = 5,
    lsClosing = 8,
};

enum ELinkEvent : std::int16_t {
    leOpen = 0,
    leSend = 1,
    leGetResults = 2,
    leClose = 3,
    leConnected = 10,
    leNext = 12,
    leStep = 13,
};

// Results of OpenPort.
constexpr std::int16_t kOpenAborted = 0;
constexpr std::int16_t kOpenDone = 2;
constexpr std::int16_t kOpenFailed = 7;

constexpr int kConnectPauseMs = 300;
constexpr int kOpenSettleMs = 100;
constexpr int kSendPauseMs = 100;
constexpr int kResendDelayMs = 100;
// A reply to a waveform, charge, output, battery or pacer command that takes this
// long is late; only a late reply can carry the not-supported banner.
constexpr int kLateReplyMs = 1200;
// "[WS" (stop waveform) waits this long for its reply, then gives up.
constexpr int kStopWaveGiveUpMs = 1000;
// A port that answers "[VER]" with something other than a good version gets this
// many tries before the open fails.
constexpr int kHandshakeAttempts = 3;
// Handshake reply time when "CommTimeOut" is missing or not positive.
constexpr int kDefaultCommTimeOut = 1000;

struct Module {
    std::int16_t miLinkState = lsClosed;
    std::int16_t miPort = 0;
    bool mfLinkAbort = false;
    bool mfNotSupported = false;
    std::int16_t miHeaderOff = 0;
    bool mfTimerFired = false;
    QString msTerminator = QStringLiteral("\r");
    QString msHandshake = QStringLiteral("[VER]");
    QString msPendingCommand;
    QString msResults;
    std::int16_t miChunkCount = 0;
    std::int16_t miExpectedChunks = 1;
    std::int32_t miCommTimeOut = kDefaultCommTimeOut;
    QString msLastResult;
    int miHandshakeAttempts = 0;
    // Why the last open failed, naming the port, for messages to the operator.
    QString msLastFailure;
    // Within one exchange: the command went out and its answer has not been taken;
    // and whether the link must stop the waveform before the call returns.
    bool mfUnanswered = false;
    bool mfStopWave = false;
    // The copies of the command that went out in this exchange.
    std::int16_t miCopies = 0;
};

Module& module();
// The link's serial control (created on first use, lives with the application).
SerialControl& comm();

// Set by the instrument query when it had to prompt the operator; the next connect
// then opens its port a second time.
extern bool gfQueryPrompted;

std::int16_t InitComm();
std::int16_t OpenPort(std::int16_t port);
void ClosePort();
std::int16_t SendCommand(QString command);
std::int16_t GetResults(QString& text);
std::int16_t ProcessEvent(std::int16_t event);
// A fixed pause that pumps events; no abort shortens it.
void Delay(std::int32_t milliseconds);

// Forgets the requests that may still be answered, as once the analyser was
// switched off and on; ForgetAnalyser also what the link learnt of the analyser, as
// at the program's start.
void ForgetEarlierRequests();
void ForgetAnalyser();

// Readings (reading-shaped lines) that may still come in answer to earlier requests,
// and what they are in a technician's words: "the answer to an earlier request
// ([NRG])", "up to 2 answers to earlier requests ([NRG], [VER])".
int ReadingsThatMayCome();
QString EarlierAnswersText(int answers);

// Where the link tells what it saw while it waits for a reading and goes on
// waiting (a line it cannot read): the caller's status line. Empty: nowhere.
void SetNotice(std::function<void(const QString&)> notice);

// After error 8030: what the link sees of the analyser while the operator acts.
enum class Watched { NoAnswerYet, Answering, Silent, AnsweringAgain, Lost, Stopped };
// Asks "[VER]" on the open port and waits the reply time-out for an answer, then
// asks as often as the proof needs (see MAnswers::SwitchOffWatch), also while a box
// is shown, until EndWatch.
void BeginWatch();
// Asks at once, as when the operator says the analyser is switched off or on; with
// `whileNeeded`, only while the proof needs more asks (not where the watch already
// sees it switched off): an ask it cannot take in would stay counted, though the
// operator then switches it on.
void AskWatch(bool whileNeeded = false);
// Waits until the watch sees `goal` (Answering, Silent or AnsweringAgain), the device goes
// away, a Stop, `milliseconds` pass, or (with `untilLine`) a line comes, and says
// what it sees then.
Watched WaitWatch(Watched goal, int milliseconds, bool untilLine = false);
// What the watch has seen, while it watches; null otherwise.
const MAnswers::SwitchOffWatch* Watching();
// Stops asking. Where the analyser was seen answering, then silent, then answering
// again, and `forget` (the operator's word that it was switched off and on), the
// earlier requests are forgotten: switched off, it forgot what it held.
bool EndWatch(bool forget);

} // namespace kelto::MComm
