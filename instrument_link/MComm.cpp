#include "MComm.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <algorithm>
#include <utility>

#include "MCommUtils.h"
#include "SerialControl.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/MessageBox.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"

namespace kelto::MComm {

bool gfQueryPrompted = false;

namespace {

constexpr std::int32_t kDeviceUnavailable = 68;
constexpr std::int32_t kPermissionDenied = 70;
const QString kLineSettings = QStringLiteral("2400,N,8,1");
const QString kBanner = QStringLiteral("Vel-Tor");
const QString kStopWaveCommand = QStringLiteral("[WSP]\r");

enum class WaitEnd { Complete, Aborted, Lost, TimedOut, Overflow };

QString source()
{
    return QLatin1String(MCommUtils::kLibrary);
}

// Runs one operation of a step; errors other than 70 mark the step as failed.
template <class F>
void attempt(bool& failed, F&& operation)
{
    try {
        operation();
    } catch (...) {
        if (currentError().number() != kPermissionDenied)
            failed = true;
    }
}

template <class F>
void skipErrors(F&& operation)
{
    try {
        operation();
    } catch (...) {
    }
}

bool startsWithAny(const QString& command, std::initializer_list<const char*> prefixes)
{
    for (const char* prefix : prefixes) {
        if (command.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

using MCommUtils::Release;

// A request that went out and whose answer was not taken: the analyser may still
// answer it (at once, or at the next discharge or pacing), or may have dropped it.
struct EarlierRequest {
    QString command;
    Release release = Release::AtOnce;
};
using PortRecord = QList<EarlierRequest>;

// Kept per port for the whole program, whichever link object sent the request, and
// through closing and opening the port: whether the analyser keeps a request through
// "[Q]" and "[VER]" is not known.
QHash<QString, PortRecord>& records()
{
    static QHash<QString, PortRecord> byPort;
    return byPort;
}

PortRecord& portRecord()
{
    return records()[module().msPortKey];
}

QString portKey(const QString& device)
{
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

bool recordHolds(const PortRecord& record, const QString& command)
{
    return std::any_of(record.begin(), record.end(), [&](const EarlierRequest& r) { return r.command == command; });
}

// Earlier requests whose answers need not come at this command's release: each may
// bring one line at any time.
int straysFor(const PortRecord& record, Release release)
{
    return static_cast<int>(std::count_if(record.begin(), record.end(), [&](const EarlierRequest& r) { return r.release != release; }));
}

QStringList commandsOf(const PortRecord& record)
{
    QStringList commands;
    for (const EarlierRequest& r : record) {
        if (!commands.contains(r.command))
            commands.append(r.command);
    }
    return commands;
}

[[noreturn]] void raiseUncertain(const QString& command, const QStringList& earlier)
{
    raiseError(MCommUtils::kReplyUncertain, source(),
        QStringLiteral("The analyser's answer to %1 on %2 cannot be told apart from a late answer to an earlier request that was cut "
                       "short (%3), so no reading was taken. Repeat the test; if this comes again, switch the analyser off and on "
                       "and restart the program.")
            .arg(command.trimmed(), comm().DisplayName(), earlier.join(QStringLiteral(", "))));
}

// Input that comes after every owed answer: owed lines are dropped as they end,
// and whatever follows the last of them is handed on.
QString freshInput(const QString& chunk)
{
    Module& m = module();
    if (m.miOwedAnswers <= 0)
        return chunk;
    m.msOwedText += chunk;
    while (m.miOwedAnswers > 0) {
        const qsizetype end = MCommUtils::FirstLineEnd(m.msOwedText);
        if (end < 0)
            return QString();
        m.msOwedText.remove(0, end);
        --m.miOwedAnswers;
    }
    return std::exchange(m.msOwedText, QString());
}

// Collects reply chunks until the reply is complete, the link is aborted or lost,
// the reply outgrows the buffer, or the deadline (when not negative) passes.
WaitEnd collectReply(QString& text, std::int16_t& chunks, qint64 deadline)
{
    Module& m = module();
    SerialControl& control = comm();
    Clock& clock = Clock::instance();
    while (true) {
        if (control.ReceivedCount() > 0) {
            const QString fresh = freshInput(control.Input());
            if (!fresh.isEmpty()) {
                text += fresh;
                ++chunks;
            }
        }
        if (m.msOwedText.size() > MCommUtils::kMaxReplyLength)
            return WaitEnd::Overflow;
        const MCommUtils::ReplyState reply = MCommUtils::JudgeReply(text, chunks, m.miExpectedChunks);
        if (reply == MCommUtils::ReplyState::TooLong)
            return WaitEnd::Overflow;
        if (reply == MCommUtils::ReplyState::Complete)
            return WaitEnd::Complete;
        if (m.mfLinkAbort)
            return WaitEnd::Aborted;
        if (control.Lost())
            return WaitEnd::Lost;
        qint64 remaining = 60000;
        if (deadline >= 0) {
            remaining = deadline - clock.nowMs();
            if (remaining <= 0)
                return WaitEnd::TimedOut;
        }
        clock.wait(remaining, [&] { return m.mfLinkAbort || control.Lost() || control.ReceivedCount() > 0; });
    }
}

// Reads the lines of one burst: the complete lines that follow one another with
// less than kBurstSettleMs of silence; owed lines are dropped first.
WaitEnd collectBurst(QStringList& lines)
{
    Module& m = module();
    SerialControl& control = comm();
    Clock& clock = Clock::instance();
    QString text;
    qint64 lastInput = clock.nowMs();
    while (true) {
        if (control.ReceivedCount() > 0) {
            text += freshInput(control.Input());
            lastInput = clock.nowMs();
        }
        if (m.msOwedText.size() > MCommUtils::kMaxReplyLength || MCommUtils::JudgeReply(text, 0, 1) == MCommUtils::ReplyState::TooLong)
            return WaitEnd::Overflow;
        const bool settling = MCommUtils::ReplyComplete(text);
        if (settling && clock.nowMs() - lastInput >= kBurstSettleMs) {
            for (qsizetype start = 0, end = 0; (end = MCommUtils::FirstLineEnd(text, start)) >= 0; start = end)
                lines.append(text.mid(start, end - start));
            return WaitEnd::Complete;
        }
        if (m.mfLinkAbort)
            return WaitEnd::Aborted;
        if (control.Lost())
            return WaitEnd::Lost;
        const qint64 remaining = settling ? lastInput + kBurstSettleMs - clock.nowMs() : 60000;
        clock.wait(remaining, [&] { return m.mfLinkAbort || control.Lost() || control.ReceivedCount() > 0; });
    }
}

// Takes a held reading's answer while earlier requests may still be answered. The
// command went out followed by its sentinels, held readings of the same kind that
// no earlier request asked for; the analyser answers held readings in the order it
// took them, all of one kind at one discharge (or pacing), so the command's answer
// is the line before the sentinels' in the burst that brings them. Earlier requests
// answered at once come before it; those of the other kind come in bursts of their
// own, never longer than the strays they can be. What cannot be told apart fails.
WaitEnd takeFromBursts(const QString& command)
{
    Module& m = module();
    const Release release = MCommUtils::ReleaseOf(command);
    const QString word = MCommUtils::CommandWord(command);
    PortRecord& record = portRecord();
    const QStringList earlier = commandsOf(record);
    int strays = straysFor(record, release);
    const qsizetype sentinels = m.msSentinels.size();
    // A request of the same word still held may take the new one in, and answer in
    // its place: before the readings held since, not after them.
    const bool mayMerge = recordHolds(record, word) && std::any_of(record.begin(), record.end(), [&](const EarlierRequest& r) {
        return r.release == release && r.command != word;
    });
    auto answered = [&] {
        record.removeIf([&](const EarlierRequest& r) { return r.release == release || r.release == Release::AtOnce; });
    };
    while (true) {
        QStringList lines;
        const WaitEnd end = collectBurst(lines);
        if (end != WaitEnd::Complete)
            return end;
        const qsizetype n = lines.size();
        if (n <= strays) {
            strays -= static_cast<int>(n); // late answers to earlier requests, nothing else
            continue;
        }
        const bool released = n > sentinels;
        if (released && !(mayMerge && n > sentinels + 1)) {
            m.msResults = lines[n - 1 - sentinels];
            answered();
            return WaitEnd::Complete;
        }
        if (released) {
            m.mfUnanswered = false; // the discharge came: everything held was answered
            answered();
        }
        raiseUncertain(command, earlier);
    }
}

// Held readings to send after the command, so that its answer can be told from
// late answers to earlier requests; none while no earlier request may be answered.
QStringList sentinelsFor(const QString& command)
{
    const Release release = MCommUtils::ReleaseOf(command);
    if (release == Release::AtOnce)
        return {};
    const PortRecord& record = portRecord();
    if (record.isEmpty())
        return {};
    // More sentinels than strays, so that a burst of late answers alone is shorter.
    const int wanted = std::max(1, straysFor(record, release));
    const QString word = MCommUtils::CommandWord(command);
    QStringList chosen;
    for (const QString& candidate : MCommUtils::HeldReadings(release)) {
        if (chosen.size() < wanted && candidate != word && !recordHolds(record, candidate))
            chosen.append(candidate);
    }
    if (chosen.size() < wanted)
        raiseUncertain(command, commandsOf(record));
    return chosen;
}

// After an exchange: a command that went out and whose answer was not taken.
void noteUnanswered()
{
    Module& m = module();
    if (!m.mfUnanswered)
        return;
    m.mfUnanswered = false;
    const QString& command = m.msPendingCommand;
    if (command.startsWith(QLatin1String("[W")) && !command.startsWith(QLatin1String("[WS"))) {
        // Stopped after the waveform command went out: its answer is owed, and the
        // analyser may be playing the waveform already.
        if (m.mfLinkAbort) {
            ++m.miOwedAnswers;
            m.msOwedCommand = command.trimmed();
            m.mfStopWave = true;
        }
        return;
    }
    PortRecord& record = portRecord();
    const Release release = MCommUtils::ReleaseOf(command);
    record.append({MCommUtils::CommandWord(command), release});
    for (const QString& sentinel : m.msSentinels)
        record.append({sentinel, release});
}

void forgetOwedAnswers()
{
    Module& m = module();
    m.miOwedAnswers = 0;
    m.msOwedText.clear();
}

// Owed answers that have not come when the port closes may come after it is opened
// again, or never: from then on they are earlier requests of unknown fate. The rest
// of a line already begun is lost with the port.
void settleOwedAnswers()
{
    Module& m = module();
    if (m.miOwedAnswers > 0 && comm().PortOpen())
        skipErrors([] { freshInput(comm().Input()); });
    const int unknown = m.miOwedAnswers - (m.msOwedText.isEmpty() ? 0 : 1);
    if (!m.msPortKey.isEmpty()) {
        for (int i = 0; i < unknown; ++i)
            portRecord().append({m.msOwedCommand, Release::AtOnce});
    }
    forgetOwedAnswers();
    m.msPortKey.clear();
}

// Unread input answers nothing sent from here on: its whole lines are dropped, and
// the rest of a line already begun is owed, to be dropped when it ends.
void dropStaleInput()
{
    Module& m = module();
    const QString stale = freshInput(comm().Input());
    qsizetype lineStart = 0;
    for (qsizetype end = MCommUtils::FirstLineEnd(stale); end >= 0; end = MCommUtils::FirstLineEnd(stale, lineStart))
        lineStart = end;
    if (lineStart < stale.size()) {
        m.msOwedText = stale.mid(lineStart);
        ++m.miOwedAnswers;
    }
}

bool isWaveCommand(const QString& command)
{
    return command.startsWith(QLatin1String("[W")) && !command.startsWith(QLatin1String("[WS"));
}

// The commands whose reply the analyser prefixes with a header unless it is off.
bool takesHeader(const QString& command)
{
    return isWaveCommand(command) || startsWithAny(command, {"[C", "[O", "[B"});
}

void showNotSupported()
{
    Module& m = module();
    QString text = QStringLiteral("This test is not supported on this model of the Tarvo");
    QString title = QStringLiteral("Kelto Plug-In Tarvo response");
    skipErrors([&] {
        auto translator = ComponentRuntime::instance().createAs<ITextTranslator>(QLatin1String(hostclass::TextTranslator));
        text = translator->Translate(QStringLiteral("TarvoX"), QStringLiteral("20193::This test is not supported on this model of the Tarvo"));
        title = translator->Translate(QStringLiteral("TarvoX"), QStringLiteral("20192::Kelto Plug-In Tarvo response"));
    });
    MsgBox(text, mb::OKOnly | mb::Information, title);
    m.mfLinkAbort = true;
    m.mfNotSupported = true;
}

std::int32_t readCommTimeOut()
{
    std::int32_t value = 0;
    skipErrors([&] {
        auto key = ComponentRuntime::instance().createAs<IRegistryKey>(QLatin1String(hostclass::RegistryKey));
        key->OpenKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        value = key->GetValue(QStringLiteral("CommTimeOut")).toLong();
    });
    return value > 0 ? value : kDefaultCommTimeOut;
}

void closeControl()
{
    skipErrors([] { comm().SetPortOpen(false); });
}

// Opens the port and checks the analyser's version; the next event, or the
// closing state when the port does not open or does not answer well.
std::int16_t connectStep()
{
    Module& m = module();
    SerialControl& control = comm();
    bool failed = false;

    pause(kConnectPauseMs);
    attempt(failed, [&] { control.SetPortNumber(m.miPort); });
    attempt(failed, [&] { control.SetSettings(kLineSettings); });
    attempt(failed, [&] { control.SetPortOpen(true); });
    attempt(failed, [&] { MCommUtils::CheckPortStatus(control.StatusText(), control.DisplayName()); });
    Delay(kOpenSettleMs);
    if (gfQueryPrompted) {
        attempt(failed, [&] { control.SetPortOpen(false); });
        attempt(failed, [&] { control.SetPortOpen(true); });
    }
    if (failed) {
        m.msLastFailure = control.OpenFailure();
        if (m.msLastFailure.isEmpty())
            m.msLastFailure = QStringLiteral("%1 could not be opened (%2).").arg(control.DisplayName(), control.StatusText());
        m.miLinkState = lsClosing;
        return leStep;
    }

    // A stale reply in the input must not pass for the answer to this request; what
    // the analyser owed before the port was opened is on the port's record.
    m.msPortKey = portKey(control.DevicePath());
    forgetOwedAnswers();
    skipErrors([&] { control.DiscardInput(); });
    m.miChunkCount = 0;
    attempt(failed, [&] { control.Output(m.msHandshake + QLatin1Char('\n')); });
    QString reply;
    const WaitEnd end = collectReply(reply, m.miChunkCount, Clock::instance().nowMs() + m.miCommTimeOut);
    m.miChunkCount = 0;
    if (end == WaitEnd::Aborted)
        return leStep; // the abort ends the machine's loop
    if (end == WaitEnd::TimedOut || end == WaitEnd::Lost) {
        // A silent port is not the analyser: move on instead of waiting for ever.
        m.msLastFailure = end == WaitEnd::Lost ? MCommUtils::DeviceLostText(control.DisplayName(), m.msHandshake)
                                               : MCommUtils::NoAnswerText(control.DisplayName(), m.msHandshake, m.miCommTimeOut);
        m.miLinkState = lsClosing;
        return leStep;
    }
    if (end == WaitEnd::Complete && MCommUtils::VersionAccepted(reply))
        return leConnected;
    if (++m.miHandshakeAttempts >= kHandshakeAttempts) {
        m.msLastFailure = MCommUtils::VersionRefusedText(control.DisplayName(), m.msHandshake, reply);
        m.miLinkState = lsClosing;
    }
    return leStep;
}

bool headerFollows(const QString& command)
{
    return (takesHeader(command) && module().miHeaderOff == 0) || command.startsWith(QLatin1String("[PR"));
}

void sendStep()
{
    Module& m = module();
    SerialControl& control = comm();
    bool ignored = false;
    pause(kSendPauseMs);
    attempt(ignored, [&] { dropStaleInput(); });
    const QString& command = m.msPendingCommand;
    bool sent = false;
    attempt(ignored, [&] {
        control.Output(command);
        sent = true;
    });
    m.mfUnanswered = sent;
    if (headerFollows(command))
        attempt(ignored, [&] { control.Output(QStringLiteral("[HDR]\r")); });
    for (const QString& sentinel : m.msSentinels) {
        attempt(ignored, [&] { control.Output(sentinel + m.msTerminator); });
        if (headerFollows(sentinel))
            attempt(ignored, [&] { control.Output(QStringLiteral("[HDR]\r")); });
    }
}

void receiveStep()
{
    Module& m = module();
    Clock& clock = Clock::instance();
    const QString command = m.msPendingCommand;
    const bool stopWave = command.startsWith(QLatin1String("[WS"));
    const bool timed = takesHeader(command) || command.startsWith(QLatin1String("[PR"));

    m.msResults.clear();
    m.miChunkCount = 0;
    m.mfTimerFired = false;
    const qint64 start = clock.nowMs();
    const WaitEnd end = m.msSentinels.isEmpty() ? collectReply(m.msResults, m.miChunkCount, stopWave ? start + kStopWaveGiveUpMs : -1)
                                                : takeFromBursts(command);
    if (end == WaitEnd::Complete)
        m.mfUnanswered = false;
    switch (end) {
    case WaitEnd::Overflow:
        raiseError(vberr::Overflow, source(),
            QStringLiteral("The analyser's reply to %1 on %2 has a line of more than %3 characters or more than %4 lines. Check the "
                           "cable and the analyser's settings.")
                .arg(command.trimmed(), comm().DisplayName())
                .arg(MCommUtils::kMaxReplyLength)
                .arg(MCommUtils::kMaxReplyLines));
    case WaitEnd::Lost:
        raiseError(kDeviceUnavailable, source(),
            QStringLiteral("%1 went away while waiting for the reply to %2. Check the cable and the analyser, then start again.")
                .arg(comm().DisplayName(), command.trimmed()));
    case WaitEnd::TimedOut:
        m.mfLinkAbort = true; // the analyser does not always answer a stop
        break;
    default:
        break;
    }
    m.mfTimerFired = timed && clock.nowMs() - start >= kLateReplyMs;
    const bool bannerLate = m.mfTimerFired && m.msResults.contains(kBanner);

    if (startsWithAny(command, {"[C", "[O", "[B", "[PR"})) {
        if (bannerLate)
            showNotSupported();
    } else if (command.startsWith(QLatin1String("[W"))) {
        if (m.mfTimerFired) {
            if (bannerLate)
                showNotSupported();
        } else if (end == WaitEnd::Complete) {
            // A waveform command answered in time is sent once more. The exchange ends
            // with the resend, so that a Stop finds the link free; the resent copy's
            // answer is owed and dropped by whichever exchange it reaches.
            Delay(kResendDelayMs);
            if (!stopWave && m.mfLinkAbort) {
                m.mfStopWave = true; // stopped in the pause: not resent, but stopped
            } else if (!stopWave) {
                skipErrors([&] {
                    comm().Output(m.msPendingCommand);
                    ++m.miOwedAnswers;
                    m.msOwedCommand = command.trimmed();
                });
            }
        }
    }
    if (!m.mfLinkAbort)
        m.mfTimerFired = false;
}

} // namespace

Module& module()
{
    static Module state;
    return state;
}

SerialControl& comm()
{
    static QPointer<SerialControl> control;
    if (!control)
        control = new SerialControl(QCoreApplication::instance());
    return *control;
}

void Delay(std::int32_t milliseconds)
{
    pause(milliseconds);
}

void ForgetEarlierRequests()
{
    records().clear();
}

std::int16_t InitComm()
{
    Module& m = module();
    m.miCommTimeOut = readCommTimeOut();
    m.mfNotSupported = false;
    m.miLinkState = lsClosed;
    m.miExpectedChunks = 1;
    m.miHeaderOff = 0;
    m.msTerminator = QStringLiteral("\r");
    m.msHandshake = QStringLiteral("[VER]");
    m.msLastFailure.clear();
    settleOwedAnswers();
    ProcessEvent(leStep);
    if (comm().PortOpen())
        closeControl();
    return m.miLinkState;
}

std::int16_t OpenPort(std::int16_t port)
{
    Module& m = module();
    std::int16_t result = kOpenFailed;
    try {
        if (m.miPort > 0)
            ClosePort();
        m.miPort = port;
        result = kOpenAborted;
        if (!m.mfLinkAbort) {
            const std::int16_t state = ProcessEvent(leOpen);
            if (!m.mfLinkAbort)
                result = state == lsIdle ? kOpenDone : kOpenFailed;
        }
    } catch (...) {
        result = kOpenFailed;
    }
    if (result == kOpenFailed)
        ClosePort();
    if (result == kOpenAborted)
        m.miPort = 0; // the aborted connect has closed the port
    return result;
}

void ClosePort()
{
    Module& m = module();
    settleOwedAnswers();
    skipErrors([] { ProcessEvent(leClose); });
    // Whatever state the machine was left in, the port does not stay open.
    closeControl();
    m.miLinkState = lsClosed;
    m.miPort = 0;
}

namespace {

// One exchange; whatever ends it, a command whose answer was not taken is noted.
std::int16_t exchange()
{
    Module& m = module();
    m.mfUnanswered = false;
    try {
        const std::int16_t state = ProcessEvent(leSend);
        noteUnanswered();
        return state;
    } catch (...) {
        noteUnanswered();
        throw;
    }
}

} // namespace

std::int16_t SendCommand(QString command)
{
    Module& m = module();
    if (!command.endsWith(m.msTerminator))
        command += m.msTerminator;
    m.msPendingCommand = command;
    m.mfStopWave = false;
    m.msSentinels.clear();
    if (m.miLinkState == lsIdle)
        m.msSentinels = sentinelsFor(command);
    const std::int16_t state = exchange();
    if (!m.mfStopWave)
        return state;
    // The analyser may be playing the waveform already: the stop goes out as an
    // exchange of its own, and the abort stands for the caller.
    m.mfStopWave = false;
    const QString results = m.msResults;
    m.msPendingCommand = kStopWaveCommand;
    m.msSentinels.clear();
    std::int16_t stopState = state;
    skipErrors([&] { stopState = exchange(); });
    m.msPendingCommand = command;
    m.msResults = results;
    m.mfLinkAbort = true;
    return stopState;
}

std::int16_t GetResults(QString& text)
{
    Module& m = module();
    const std::int16_t state = ProcessEvent(leGetResults);
    if (state == lsIdle)
        text = m.msResults;
    m.msLastResult = text;
    return state;
}

std::int16_t ProcessEvent(std::int16_t event)
{
    Module& m = module();
    m.mfLinkAbort = false;
    bool done = false;
    auto next = [&](std::int16_t state, std::int16_t nextEvent) {
        m.miLinkState = state;
        event = nextEvent;
    };
    try {
        while (!done && !m.mfLinkAbort) {
            switch (m.miLinkState) {
            case lsClosed:
                if (event == leOpen) {
                    m.miHandshakeAttempts = 0;
                    next(lsConnecting, leStep);
                } else {
                    done = true;
                }
                break;
            case lsConnecting:
                if (event == leStep)
                    event = connectStep();
                else if (event == leConnected)
                    next(lsIdle, leStep);
                else if (event == leClose)
                    next(lsClosing, leStep);
                else
                    done = true;
                break;
            case lsIdle:
                if (event == leSend)
                    next(lsSending, leStep);
                else if (event == leClose)
                    next(lsClosing, leStep);
                else
                    done = true;
                break;
            case lsSending:
                if (event == leStep) {
                    sendStep();
                    event = leNext;
                } else if (event == leNext) {
                    next(lsReceiving, leStep);
                } else if (event == leClose) {
                    next(lsClosing, leStep);
                } else {
                    done = true;
                }
                break;
            case lsReceiving:
                if (event == leStep) {
                    receiveStep();
                    event = leConnected;
                } else if (event == leConnected) {
                    next(lsIdle, leStep);
                } else if (event == leClose) {
                    next(lsClosing, leStep);
                } else {
                    done = true;
                }
                break;
            case lsClosing:
                if (event == leStep) {
                    closeControl();
                    event = leNext;
                } else if (event == leNext) {
                    next(lsClosed, leStep);
                } else {
                    done = true;
                }
                break;
            default:
                done = true;
            }
        }
    } catch (...) {
        // A failed exchange leaves the port open and the link ready for the next
        // command or the close; the caller gets the error.
        m.miLinkState = lsIdle;
        throw;
    }
    if (m.mfLinkAbort) {
        if (m.miLinkState == lsConnecting || m.miLinkState == lsClosing) {
            // An abort while connecting leaves no half-open port behind.
            closeControl();
            m.miLinkState = lsClosed;
        } else if (m.miLinkState != lsClosed) {
            m.miLinkState = lsIdle;
        }
    }
    return m.miLinkState;
}

} // namespace kelto::MComm
