#include "MComm.h"

#include <QCoreApplication>
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

using MCommUtils::LineShape;
using MCommUtils::Release;

bool isWaveCommand(const QString& command)
{
    return command.startsWith(QLatin1String("[W")) && !command.startsWith(QLatin1String("[WS"));
}

// Waveform commands and their stop, which the analyser acknowledges.
bool isAcknowledged(const QString& command)
{
    return command.startsWith(QLatin1String("[W"));
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
    // A command answered at once is answered before any later request's answer: once
    // a later one has been, its own comes no more on its own, if it comes at all.
    bool settled = false;
};

// One record for the whole program: the link cannot tell one analyser from
// another, an adapter plugged in again under another name leads to the same
// analyser, and whether it keeps a request through "[Q]" and "[VER]" is not known.
// Every request whose answer may look like a reading counts one line when it goes
// out, and every reading-shaped line read counts one off, so `readings` is the most
// such lines that may still come, whatever they answer. Noise and other text never
// count: counting too many costs copies of a command, too few a false reading.
struct Record {
    int readings = 0;
    QList<EarlierRequest> requests; // what they may answer, for the operator and the time-out
    // Acknowledgements of waveform commands still owed: the next at-once replies drop
    // them first, however late they come.
    int owedAcks = 0;
    QString owedCommand;
    // The analyser acknowledges waveform commands with a word ("OK"), never taken
    // for a reading. Once it acknowledged one with a number, acknowledgements count
    // among the readings that may still come.
    bool acksLookLikeReadings = false;
    // After error 8030: the device on which the analyser must be seen silent, and
    // then answering again, before the earlier requests are forgotten.
    QString resetDevice;
    bool silenceSeen = false;
};

Record& record()
{
    static Record earlier;
    return earlier;
}

// What has been read from the port and not yet taken.
struct Line {
    QString text; // noise removed, CR LF kept
    LineShape shape = LineShape::Other;
};
struct Received {
    QString partial; // a line that has not ended yet; kept while the port is closed
    bool partialIsStale = false; // it began before the running request went out
    QList<Line> lines;
};

Received& received()
{
    static Received input;
    return input;
}

bool answerMayBeReading(const QString& command)
{
    return !isAcknowledged(command) || record().acksLookLikeReadings;
}

// Sends a request that gets an answer.
void sendRequest(const QString& text)
{
    SerialControl& control = comm();
    if (control.PortOpen() && answerMayBeReading(text))
        ++record().readings;
    control.Output(text);
}

void noteEarlier(const QString& command, Release release, int lines)
{
    Record& r = record();
    if (r.readings <= 0 || lines <= 0 || command.isEmpty())
        return;
    for (EarlierRequest& e : r.requests) {
        if (e.command == command && e.release == release) {
            e.lines = std::min(e.lines + lines, r.readings);
            e.settled = false;
            return;
        }
    }
    r.requests.append({command, release, std::min(lines, r.readings)});
}

void lineEnded(const QString& text)
{
    Received& in = received();
    Record& r = record();
    const bool stale = std::exchange(in.partialIsStale, false);
    const LineShape shape = MCommUtils::ShapeOf(text);
    if (shape == LineShape::Blank)
        return;
    if (shape == LineShape::Reading) {
        r.readings = std::max(0, r.readings - 1);
        if (r.readings == 0)
            r.requests.clear();
    }
    const bool owed = r.owedAcks > 0 && (shape == LineShape::Other || r.acksLookLikeReadings);
    if (owed)
        --r.owedAcks;
    if (!stale && !owed)
        in.lines.append({text, shape});
}

// Reads what the port holds; each line that ends is counted by its shape and handed
// on, unless it is noise, began before the running request went out, or is an
// acknowledgement still owed. True when something came.
bool readInput()
{
    Received& in = received();
    const QString chunk = comm().Input();
    in.partial += chunk;
    qsizetype start = 0;
    for (qsizetype end = MCommUtils::AnalyserLineEnd(in.partial); end >= 0; end = MCommUtils::AnalyserLineEnd(in.partial, start)) {
        lineEnded(MCommUtils::WithoutNoise(in.partial.mid(start, end - start)));
        start = end;
    }
    in.partial.remove(0, start);
    return !chunk.isEmpty();
}

// Input that came before a request goes out answers nothing sent from here on: its
// lines are counted and dropped, and so is the line begun, when it ends, unless it
// is only noise so far.
void readStaleInput()
{
    readInput();
    Received& in = received();
    in.lines.clear();
    if (MCommUtils::ShapeOf(in.partial) == LineShape::Blank)
        in.partial.clear();
    else
        in.partialIsStale = true;
}

// A line that outgrew the bound is dropped, and its rest with it when it ends.
WaitEnd overflowed()
{
    Received& in = received();
    in.partial.clear();
    in.partialIsStale = true;
    return WaitEnd::Overflow;
}

QString earlierNames()
{
    QStringList names;
    for (const EarlierRequest& r : record().requests) {
        if (!names.contains(r.command))
            names.append(r.command);
    }
    return names.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(names.join(QStringLiteral(", ")));
}

// No reading is taken: the analyser may still hold the earlier requests, and only
// switching it off makes it forget them.
[[noreturn]] void raiseUncertain(const QString& command, bool tooMany)
{
    Record& r = record();
    r.resetDevice = comm().DevicePath();
    r.silenceSeen = false;
    const QString earlier = QStringLiteral("up to %1 answers to earlier requests left unanswered%2 may still come")
                                .arg(r.readings)
                                .arg(earlierNames());
    const QString why = tooMany ? QStringLiteral("%1, more than the link sends the command again for. The analyser may have "
                                                 "dropped them, but only switching it off makes sure.")
                                      .arg(earlier)
                                : QStringLiteral("the lines that came do not show which one answers it, since %1. The analyser "
                                                 "forgets them when it is switched off.")
                                      .arg(earlier);
    raiseError(MCommUtils::kReplyUncertain, source(),
        QStringLiteral("No reading was taken for %1 on %2: %3 Switch it off, then press OK.").arg(command.trimmed(), comm().DisplayName(), why));
}

void settleAtOnce()
{
    for (EarlierRequest& r : record().requests)
        r.settled = r.settled || r.release == Release::AtOnce;
}

bool waitForInput(qint64 remaining)
{
    Module& m = module();
    SerialControl& control = comm();
    return Clock::instance().wait(remaining, [&] { return m.mfLinkAbort || control.Lost() || control.ReceivedCount() > 0; });
}

// Waits for the reply of a command answered at once: the first line that is not
// noise, until the link is aborted or lost, the line outgrows the bound, or the
// deadline (when not negative) passes.
WaitEnd collectReply(QString& text, std::int16_t& chunks, qint64 deadline)
{
    Module& m = module();
    SerialControl& control = comm();
    Clock& clock = Clock::instance();
    Received& in = received();
    while (true) {
        if (control.ReceivedCount() > 0 && readInput())
            ++chunks;
        if (!in.lines.isEmpty()) {
            text = in.lines.takeFirst().text;
            settleAtOnce();
            return WaitEnd::Complete;
        }
        if (in.partial.size() > MCommUtils::kMaxReplyLength)
            return overflowed();
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
        waitForInput(remaining);
    }
}

// Lines of earlier requests that may come on their own, before this command's
// release: answers to commands answered at once, and held readings of the other kind.
int straysFor(Release release)
{
    int lines = 0;
    for (const EarlierRequest& r : record().requests)
        lines += r.release != release && !r.settled ? r.lines : 0;
    return std::min(lines, record().readings);
}

// Lines that came on their own while a held reading waited are taken to be strays.
void forgetStrays(Release release, int lines)
{
    QList<EarlierRequest>& requests = record().requests;
    for (auto it = requests.begin(); it != requests.end() && lines > 0;) {
        if (it->release == release || it->settled) {
            ++it;
            continue;
        }
        const int taken = std::min(lines, it->lines);
        it->lines -= taken;
        lines -= taken;
        it = it->lines == 0 ? requests.erase(it) : it + 1;
    }
}

// Takes a held reading while k reading-shaped lines may still come in answer to
// earlier requests. The command went out k+1 times, and the analyser answers each
// copy with a line of that discharge's (or pacing's) reading. So once k+1 lines
// read alike, one of them at least answers a copy: that is the reading, whatever
// order the analyser answers one discharge's readings in and however a discharge
// fell on the copies. A discharge that lands between the copies, or an analyser
// that answers only some of them, leaves too few alike: the lines of one discharge
// follow one another within the reply time-out, and when the line goes quiet that
// long before k+1 alike have come, nothing is taken, unless every line so far may
// have come on its own (strays). Noise and text that is no reading are passed by.
WaitEnd takeHeldReading(const QString& command)
{
    Module& m = module();
    SerialControl& control = comm();
    Clock& clock = Clock::instance();
    Received& in = received();
    const Release release = MCommUtils::ReleaseOf(command);
    const int alike = m.miEarlierAnswers + 1;
    const int strays = straysFor(release);
    QHash<QString, int> seen;
    int lines = 0;
    int forgotten = 0;
    qint64 deadline = -1;
    while (true) {
        if (control.ReceivedCount() > 0)
            readInput();
        while (!in.lines.isEmpty()) {
            const Line line = in.lines.takeFirst();
            if (line.shape != LineShape::Reading)
                continue;
            if (++seen[line.text.trimmed()] >= alike) {
                m.msResults = line.text;
                return WaitEnd::Complete;
            }
            ++lines;
            deadline = clock.nowMs() + m.miCommTimeOut;
        }
        if (in.partial.size() > MCommUtils::kMaxReplyLength)
            return overflowed();
        if (m.mfLinkAbort)
            return WaitEnd::Aborted;
        if (control.Lost())
            return WaitEnd::Lost;
        if (deadline >= 0 && clock.nowMs() >= deadline) {
            if (lines > strays)
                raiseUncertain(command, false);
            forgetStrays(release, lines - forgotten);
            forgotten = lines;
            deadline = -1;
        }
        waitForInput(deadline < 0 ? 60000 : deadline - clock.nowMs());
    }
}

// A held reading was taken: commands answered at once come no more on their own;
// the other copies may still come.
void heldReadingTaken(const QString& command)
{
    settleAtOnce();
    noteEarlier(MCommUtils::CommandWord(command), MCommUtils::ReleaseOf(command), module().miCopies - 1);
}

// A waveform command or its stop was acknowledged in its own exchange.
void acknowledged(const QString& reply)
{
    Record& r = record();
    if (r.acksLookLikeReadings || MCommUtils::ShapeOf(reply) != LineShape::Reading || MCommUtils::IsBanner(reply))
        return;
    r.acksLookLikeReadings = true;
    r.readings += r.owedAcks;
    noteEarlier(r.owedCommand, Release::AtOnce, r.owedAcks);
}

// After an exchange: a command that went out and whose answer was not taken.
void noteUnanswered()
{
    Module& m = module();
    Record& r = record();
    if (!m.mfUnanswered)
        return;
    m.mfUnanswered = false;
    const QString& command = m.msPendingCommand;
    const QString word = MCommUtils::CommandWord(command);
    if (isWaveCommand(command)) {
        // Stopped after the waveform command went out: its answer is owed, and the
        // analyser may be playing the waveform already. A late answer may be the
        // maker's banner, which reads like a reading.
        if (m.mfLinkAbort) {
            ++r.owedAcks;
            r.owedCommand = command.trimmed();
            m.mfStopWave = true;
            if (!r.acksLookLikeReadings)
                ++r.readings;
            noteEarlier(word, Release::AtOnce, 1);
        }
        return;
    }
    // A stop given up: its acknowledgement, late or never, is no reading.
    if (isAcknowledged(command) && !r.acksLookLikeReadings)
        return;
    noteEarlier(word, MCommUtils::ReleaseOf(command), std::max<int>(1, m.miCopies));
}

// Asks "[VER]" and waits the reply time-out. After error 8030, silence on the
// analyser's device and then its version forget the earlier requests: switched off,
// it forgets what it held.
WaitEnd askVersion(QString& reply, std::int16_t& chunks)
{
    Module& m = module();
    Record& r = record();
    // A stale reply in the input must not pass for the answer to this request.
    skipErrors([] { readStaleInput(); });
    skipErrors([&] { sendRequest(m.msHandshake + QLatin1Char('\n')); });
    const WaitEnd end = collectReply(reply, chunks, Clock::instance().nowMs() + m.miCommTimeOut);
    const bool onResetDevice = !r.resetDevice.isEmpty() && comm().DevicePath() == r.resetDevice;
    if (end != WaitEnd::Complete)
        noteEarlier(m.msHandshake, Release::AtOnce, 1);
    if (end == WaitEnd::TimedOut && onResetDevice)
        r.silenceSeen = true;
    if (end == WaitEnd::Complete && r.silenceSeen && onResetDevice && MCommUtils::VersionAccepted(reply))
        ForgetEarlierRequests();
    return end;
}

// Before the port closes, what came is read and counted. A line begun stays: its
// rest may come once the port is open again.
void settleInput()
{
    if (comm().PortOpen())
        skipErrors([] {
            readInput();
            received().lines.clear();
        });
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

    m.miChunkCount = 0;
    QString reply;
    const WaitEnd end = askVersion(reply, m.miChunkCount);
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
    attempt(ignored, [&] { readStaleInput(); });
    m.miEarlierAnswers = 0;
    m.miCopies = 0;
    if (held) {
        Record& r = record();
        // Owed acknowledgements that may read like readings are counted among them.
        if (r.acksLookLikeReadings) {
            noteEarlier(r.owedCommand, Release::AtOnce, r.owedAcks);
            r.owedAcks = 0;
        }
        // Each reading that may still come costs a copy of the command.
        if (r.readings > kMaxEarlierAnswers)
            raiseUncertain(command, true);
        m.miEarlierAnswers = static_cast<std::int16_t>(r.readings);
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
    const bool held = MCommUtils::ReleaseOf(command) != Release::AtOnce;
    const WaitEnd end = held ? takeHeldReading(command)
                             : collectReply(m.msResults, m.miChunkCount, stopWave ? start + kStopWaveGiveUpMs : -1);
    if (end == WaitEnd::Complete) {
        m.mfUnanswered = false;
        if (held)
            heldReadingTaken(command);
        else if (isAcknowledged(command))
            acknowledged(m.msResults);
    }
    switch (end) {
    case WaitEnd::Overflow:
        raiseError(vberr::Overflow, source(),
            QStringLiteral("The analyser's reply to %1 on %2 has a line of more than %3 characters. Check the cable and the "
                           "analyser's settings.")
                .arg(command.trimmed(), comm().DisplayName())
                .arg(MCommUtils::kMaxReplyLength));
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
                    ++record().owedAcks;
                    record().owedCommand = command.trimmed();
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
    const bool acksLookLikeReadings = record().acksLookLikeReadings;
    ForgetAnalyser();
    record().acksLookLikeReadings = acksLookLikeReadings;
}

void ForgetAnalyser()
{
    record() = {};
    received() = {};
}

int ReadingsThatMayCome()
{
    return record().readings;
}

Probe ProbeAnalyser()
{
    Module& m = module();
    SerialControl& control = comm();
    if (m.miLinkState == lsClosed || !control.PortOpen() || control.Lost())
        return Probe::Unreachable;
    m.mfLinkAbort = false;
    QString reply;
    std::int16_t chunks = 0;
    switch (askVersion(reply, chunks)) {
    case WaitEnd::Complete:
    case WaitEnd::Overflow:
        return Probe::Answers;
    case WaitEnd::TimedOut:
        return Probe::Silent;
    case WaitEnd::Aborted:
        return Probe::Stopped;
    default:
        return Probe::Unreachable;
    }
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
    settleInput();
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
    settleInput();
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
