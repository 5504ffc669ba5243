#include "MComm.h"

#include <QCoreApplication>
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

bool isWaveCommand(const QString& command)
{
    return command.startsWith(QLatin1String("[W")) && !command.startsWith(QLatin1String("[WS"));
}

// The commands whose reply the analyser prefixes with a header unless it is off.
bool takesHeader(const QString& command)
{
    return isWaveCommand(command) || startsWithAny(command, {"[C", "[O", "[B"});
}

// A request whose answer was not taken: the analyser may still answer it (at once,
// or at the next discharge or pacing, with up to `lines` lines), or may have
// dropped it.
struct EarlierRequest {
    QString command;
    Release release = Release::AtOnce;
    int lines = 1;
};

// One record for the whole program: the link cannot tell one analyser from
// another, an adapter plugged in again under another name leads to the same
// analyser, and whether it keeps a request through "[Q]" and "[VER]" is not known.
// Every request that gets an answer counts one line when it goes out and every line
// read counts one off, so `bound` is the most lines that may still come, whatever
// they answer.
struct Record {
    int bound = 0;
    QList<EarlierRequest> requests; // oldest first
};

Record& record()
{
    static Record earlier;
    return earlier;
}

// Sends a request that gets an answer: one more line may come.
void sendRequest(const QString& text)
{
    SerialControl& control = comm();
    if (control.PortOpen())
        ++record().bound;
    control.Output(text);
}

void countLineRead()
{
    Record& r = record();
    r.bound = std::max(0, r.bound - 1);
    if (r.bound == 0)
        r.requests.clear();
}

void noteEarlier(const QString& command, Release release, int lines)
{
    if (record().bound > 0 && lines > 0)
        record().requests.append({command, release, lines});
}

// Reads what the port holds. Every line that ends in it is one fewer that may
// still come; `ended` gets those lines.
QString readInput(QStringList* ended = nullptr)
{
    Module& m = module();
    const QString chunk = comm().Input();
    m.msLineText += chunk;
    qsizetype start = 0;
    for (qsizetype end = MCommUtils::FirstLineEnd(m.msLineText); end >= 0; end = MCommUtils::FirstLineEnd(m.msLineText, start)) {
        if (ended)
            ended->append(m.msLineText.mid(start, end - start));
        start = end;
        countLineRead();
    }
    m.msLineText.remove(0, start);
    return chunk;
}

[[noreturn]] void raiseUncertain(const QString& command)
{
    QStringList earlier;
    for (const EarlierRequest& r : record().requests) {
        if (!earlier.contains(r.command))
            earlier.append(r.command);
    }
    raiseError(MCommUtils::kReplyUncertain, source(),
        QStringLiteral("No reading was taken for %1 on %2: the analyser's answer cannot be told from late answers to earlier "
                       "requests that were cut short%3. Switch the analyser off and on, then press OK.")
            .arg(command.trimmed(), comm().DisplayName(),
                earlier.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(earlier.join(QStringLiteral(", ")))));
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
            const QString fresh = freshInput(readInput());
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

// Lines of earlier requests that may come on their own, before this command's
// release: answers to commands answered at once, and held readings of the other kind.
int straysFor(Release release)
{
    int lines = 0;
    for (const EarlierRequest& r : record().requests)
        lines += r.release != release ? r.lines : 0;
    return std::min(lines, record().bound);
}

// Lines that came on their own while a held reading waited are taken to be strays.
void forgetStrays(Release release, int lines)
{
    QList<EarlierRequest>& requests = record().requests;
    for (auto it = requests.begin(); it != requests.end() && lines > 0;) {
        if (it->release == release) {
            ++it;
            continue;
        }
        const int taken = std::min(lines, it->lines);
        it->lines -= taken;
        lines -= taken;
        it = it->lines == 0 ? requests.erase(it) : it + 1;
    }
}

// Takes a held reading while k answers to earlier requests may still come. The
// command went out k+1 times. The analyser answers one line a request, held
// readings of one kind in the order asked, and commands answered at once before any
// later request's answer; so the first k lines may be late answers and line k+1
// answers one of the copies, however the discharge fell on the copies. The lines of
// one discharge follow one another within the reply time-out: when line k+1 does
// not, the analyser does not answer as the rule needs, and nothing is taken. Lines
// that may have come on their own (strays) only start that time anew.
WaitEnd takeHeldReading(const QString& command)
{
    Module& m = module();
    SerialControl& control = comm();
    Clock& clock = Clock::instance();
    const Release release = MCommUtils::ReleaseOf(command);
    const int earlier = m.miEarlierAnswers;
    const int strays = straysFor(release);
    int lines = 0;
    int forgotten = 0;
    qint64 deadline = -1;
    while (true) {
        if (control.ReceivedCount() > 0) {
            QStringList ended;
            readInput(&ended);
            for (const QString& line : ended) {
                if (++lines == earlier + 1) {
                    m.msResults = line;
                    return WaitEnd::Complete;
                }
                if (deadline < 0)
                    deadline = clock.nowMs() + m.miCommTimeOut;
            }
        }
        if (m.msLineText.size() > MCommUtils::kMaxReplyLength)
            return WaitEnd::Overflow;
        if (m.mfLinkAbort)
            return WaitEnd::Aborted;
        if (control.Lost())
            return WaitEnd::Lost;
        if (deadline >= 0 && clock.nowMs() >= deadline) {
            if (lines > strays)
                raiseUncertain(command);
            forgetStrays(release, lines - forgotten);
            forgotten = lines;
            deadline = -1;
        }
        const qint64 remaining = deadline < 0 ? 60000 : deadline - clock.nowMs();
        clock.wait(remaining, [&] { return m.mfLinkAbort || control.Lost() || control.ReceivedCount() > 0; });
    }
}

// A held reading was taken: earlier requests of its kind, and those answered at
// once, have been answered or never will be; the other copies may still be.
void heldReadingTaken(const QString& command)
{
    const Release release = MCommUtils::ReleaseOf(command);
    record().requests.removeIf([&](const EarlierRequest& r) { return r.release == release || r.release == Release::AtOnce; });
    noteEarlier(MCommUtils::CommandWord(command), release, module().miCopies - 1);
}

void forgetOwedAnswers()
{
    Module& m = module();
    m.miOwedAnswers = 0;
    m.msOwedText.clear();
}

// Owed answers may come whenever a held reading is awaited, and after the port was
// opened again, or never: from then on they are earlier requests of unknown fate.
void owedAnswersToRecord()
{
    Module& m = module();
    noteEarlier(m.msOwedCommand, Release::AtOnce, m.miOwedAnswers);
    forgetOwedAnswers();
}

// After an exchange: a command that went out and whose answer was not taken.
void noteUnanswered()
{
    Module& m = module();
    if (!m.mfUnanswered)
        return;
    m.mfUnanswered = false;
    const QString& command = m.msPendingCommand;
    if (isWaveCommand(command)) {
        // Stopped after the waveform command went out: its answer is owed, and the
        // analyser may be playing the waveform already.
        if (m.mfLinkAbort) {
            ++m.miOwedAnswers;
            m.msOwedCommand = command.trimmed();
            m.mfStopWave = true;
        }
        return;
    }
    noteEarlier(MCommUtils::CommandWord(command), MCommUtils::ReleaseOf(command), std::max<int>(1, m.miCopies));
}

// Before the port closes, what came is read; the rest of a line already begun is
// lost with the port.
void settleOwedAnswers()
{
    Module& m = module();
    if (comm().PortOpen())
        skipErrors([] { freshInput(readInput()); });
    owedAnswersToRecord();
    m.msLineText.clear();
}

// Unread input answers nothing sent from here on: its lines are counted off, owed
// lines first. The rest of a line begun is a line like any other when it ends, to
// be dropped before a reply is taken, or noise where no answer may come.
void readStaleInput(bool held)
{
    Module& m = module();
    freshInput(readInput());
    const bool begun = !m.msLineText.isEmpty();
    m.msLineText.clear();
    m.msOwedText.clear();
    if (begun && !held && m.miOwedAnswers == 0 && record().bound > 0)
        ++m.miOwedAnswers;
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

    // A stale reply in the input must not pass for the answer to this request.
    skipErrors([] { readStaleInput(false); });
    m.miChunkCount = 0;
    attempt(failed, [&] { sendRequest(m.msHandshake + QLatin1Char('\n')); });
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
    const QString& command = m.msPendingCommand;
    const bool held = MCommUtils::ReleaseOf(command) != Release::AtOnce;
    attempt(ignored, [&] { readStaleInput(held); });
    m.miEarlierAnswers = 0;
    m.miCopies = 0;
    if (held) {
        // Each earlier answer that may still come costs a copy of the command.
        if (record().bound > kMaxEarlierAnswers)
            raiseUncertain(command);
        owedAnswersToRecord();
        m.miEarlierAnswers = static_cast<std::int16_t>(record().bound);
    }
    for (int copy = 0; copy <= m.miEarlierAnswers; ++copy) {
        attempt(ignored, [&] {
            sendRequest(command);
            ++m.miCopies;
        });
        if (headerFollows(command))
            attempt(ignored, [&] { control.Output(QStringLiteral("[HDR]\r")); });
    }
    m.mfUnanswered = m.miCopies > 0;
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
    const WaitEnd end = m.miEarlierAnswers > 0 ? takeHeldReading(command)
                                               : collectReply(m.msResults, m.miChunkCount, stopWave ? start + kStopWaveGiveUpMs : -1);
    if (end == WaitEnd::Complete) {
        m.mfUnanswered = false;
        if (MCommUtils::ReleaseOf(command) != Release::AtOnce)
            heldReadingTaken(command);
    }
    switch (end) {
    case WaitEnd::Overflow:
        raiseError(vberr::Overflow, source(),
            QStringLiteral("The analyser's reply to %1 on %2 has a line of more than %3 characters or more than %4 lines. Check the "
                           "cable and the analyser's settings.")
                .arg(command.trimmed(), comm().DisplayName())
                .arg(MCommUtils::kMaxReplyLength)
                .arg(MCommUtils::kMaxReplyLines));
    case WaitEnd::Lost:
        raiseError(MCommUtils::kDeviceLost, source(), MCommUtils::DeviceLostText(comm().DisplayName(), command.trimmed()));
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
                    sendRequest(m.msPendingCommand);
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
    record() = {};
    forgetOwedAnswers();
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
    const std::int16_t state = exchange();
    if (!m.mfStopWave)
        return state;
    // The analyser may be playing the waveform already: the stop goes out as an
    // exchange of its own, and the abort stands for the caller.
    m.mfStopWave = false;
    const QString results = m.msResults;
    m.msPendingCommand = kStopWaveCommand;
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
