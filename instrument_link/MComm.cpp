#include "MComm.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "MAnswers.h"
#include "MCommUtils.h"
#include "SerialControl.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/EscapedText.h"
#include "platform/MessageBox.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"

namespace kelto::MComm {

bool gfQueryPrompted = false;

namespace {

constexpr std::int32_t kPermissionDenied = 70;
// A few byte times at 2400 baud (4.2 ms each): a line end's LF comes within it.
constexpr int kByteQuietMs = 20;
const QString kLineSettings = QStringLiteral("2400,N,8,1");
const QString kStopWaveCommand = QStringLiteral("[WSP]\r");

enum class WaitEnd { Complete, Aborted, Lost, TimedOut, Overflow };

using MAnswers::Line;
using MCommUtils::LineShape;
using MCommUtils::Release;

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

// The commands whose reply the analyser prefixes with a header unless it is off.
bool takesHeader(const QString& command)
{
    return MCommUtils::IsWaveCommand(command) || startsWithAny(command, {"[C", "[O", "[B"});
}

MAnswers::Ledger& ledger()
{
    static MAnswers::Ledger answers;
    return answers;
}

// What has been read from the port and not yet taken.
struct Received {
    QString partial; // a line that has not ended yet; kept while the port is closed
    bool partialIsStale = false; // it began before the running request went out
    QList<Line> lines;
    // A line outgrew the bound; it answers nothing. And the last one an exchange
    // refused, for the operator.
    QString tooLong;
    QString refused;
};

Received& received()
{
    static Received input;
    return input;
}

// The exchange under way: what was owed when its command went out, and a held
// reading's decision.
struct Exchange {
    bool noAckOwed = false;
    bool nothingOwed = false;
    std::optional<MAnswers::HeldReading> held;
};

Exchange& exchangeState()
{
    static Exchange state;
    return state;
}

std::function<void(const QString&)>& notice()
{
    static std::function<void(const QString&)> tell;
    return tell;
}

// Sends a request that gets an answer; `awaited`: the acknowledged command of the
// exchange under way.
void sendRequest(const QString& text, bool awaited = false)
{
    SerialControl& control = comm();
    if (control.PortOpen())
        ledger().sent(text, awaited, Clock::instance().nowMs());
    control.Output(text);
}

void lineEnded(const QString& text)
{
    Received& in = received();
    const bool stale = std::exchange(in.partialIsStale, false);
    const QString clean = MCommUtils::WithoutNoise(text);
    if (clean.size() > MCommUtils::kMaxReplyLength + 2) {
        // No reply is this long: it joins nothing and lowers nothing.
        in.tooLong = clean;
        return;
    }
    const Line line = ledger().seen(clean, stale);
    if (line.shape != LineShape::Blank)
        in.lines.append(line);
}

// Reads what the port holds; each line that ends is counted by its shape and handed
// on, unless it is noise or began before the running request went out. True when
// something came.
bool readInput()
{
    Received& in = received();
    const QString chunk = comm().Input();
    in.partial += chunk;
    qsizetype start = 0;
    for (qsizetype end = MCommUtils::AnalyserLineEnd(in.partial); end >= 0; end = MCommUtils::AnalyserLineEnd(in.partial, start)) {
        lineEnded(in.partial.mid(start, end - start));
        start = end;
    }
    in.partial.remove(0, start);
    return !chunk.isEmpty();
}

// Input that came before a request goes out answers nothing sent from here on: its
// lines are counted and dropped, and so is the line begun, when it ends, unless it
// is only noise so far. Text before a lone line end in it can join no reply: it is
// dropped now, so that no reply joins it.
void readStaleInput()
{
    readInput();
    Received& in = received();
    in.lines.clear();
    in.tooLong.clear();
    // A CR at the end may be the first half of a line end still on its way, unless
    // the line has been quiet since for longer than a byte takes.
    const bool quiet = Clock::instance().nowMs() - comm().LastArrivalMs() >= kByteQuietMs;
    qsizetype doomed = -1;
    for (qsizetype i = 0; i < in.partial.size(); ++i) {
        const QChar c = in.partial[i];
        if (c == QLatin1Char('\n') || (c == QLatin1Char('\r') && (quiet || i + 1 < in.partial.size())))
            doomed = i;
    }
    in.partial.remove(0, doomed + 1);
    if (MCommUtils::ShapeOf(in.partial) == LineShape::Blank)
        in.partial.clear();
    else
        in.partialIsStale = true;
}

// A line begun, its CR aside: the first half of its line end may be in.
qsizetype partialLength()
{
    const QString& partial = received().partial;
    return partial.size() - (partial.endsWith(QLatin1Char('\r')) ? 1 : 0);
}

// A line that outgrew the bound is dropped, and its rest with it when it ends.
WaitEnd overflowed()
{
    Received& in = received();
    in.refused = in.tooLong.isEmpty() ? in.partial : std::exchange(in.tooLong, QString());
    if (partialLength() > MCommUtils::kMaxReplyLength) {
        in.partial.clear();
        in.partialIsStale = true;
    }
    return WaitEnd::Overflow;
}

bool outgrown()
{
    return !received().tooLong.isEmpty() || partialLength() > MCommUtils::kMaxReplyLength;
}

QString quoted(const QString& text)
{
    return quotedValue(MCommUtils::EscapeTraffic(text));
}

// No reading is taken: the analyser may still hold the earlier requests, and only
// switching it off makes it forget them.
[[noreturn]] void raiseUncertain(const QString& command, const MAnswers::HeldReading& held)
{
    const int earlier = held.earlierAnswers();
    const QString owed = QStringLiteral("the analyser may still send %1 that the link stopped waiting for").arg(EarlierAnswersText(earlier));
    QString why;
    if (held.tooMany()) {
        why = QStringLiteral("%1, more than the link sends the command again for (%2). Switched off, the analyser forgets them.")
                  .arg(owed)
                  .arg(MCommUtils::kMaxEarlierAnswers);
    } else if (earlier > 0) {
        why = QStringLiteral("%1, and the lines that came do not show which one is the reading. Switched off, the analyser forgets "
                             "them.")
                  .arg(owed);
    } else {
        using Unread = MAnswers::HeldReading::Unread;
        const MAnswers::HeldReading::UnreadLine line = held.unreadLines().value(0);
        const QString seen = line.why == Unread::Broken
            ? QStringLiteral("line noise broke the line that came, %1, with %2").arg(quoted(line.text), MCommUtils::BreakOf(line.text))
            : QStringLiteral("the line that came, %1, began before the request went out").arg(quoted(line.text));
        why = seen + QStringLiteral(", so it is no reading.");
    }
    raiseError(MCommUtils::kReplyUncertain, source(),
        QStringLiteral("No reading was taken for %1 on %2: %3 Switch it off, leave it off for at least %4 s, then press OK.")
            .arg(command.trimmed(), comm().DisplayName(), why)
            .arg(MAnswers::SwitchOffWatch(module().miCommTimeOut).leaveOffSeconds()));
}

bool waitForInput(qint64 remaining)
{
    Module& m = module();
    SerialControl& control = comm();
    return Clock::instance().wait(remaining, [&] { return m.mfLinkAbort || control.Lost() || control.ReceivedCount() > 0; });
}

// Whether a command answered at once takes the line for its reply: "[VER]" a
// version (a number), a waveform command or stop the acknowledgement it went out
// for, any other command any text. An acknowledgement owed by an earlier command,
// noise, and a line noise broke are no reply.
bool repliesTo(const QString& command, const Line& line)
{
    if (line.stale || line.shape == LineShape::Blank || line.shape == LineShape::Broken)
        return false;
    if (MCommUtils::IsAcknowledged(command))
        return line.ownAck;
    if (line.owedAck)
        return false;
    if (MCommUtils::CommandWord(command) == QLatin1String("[VER]"))
        return line.shape == LineShape::Reading;
    return true;
}

// A line that may be the reply all the same, should no other come within the reply
// time-out: an acknowledgement in the other form than seen so far, or a version an
// acknowledgement owed took, which may never come.
bool mayReply(const QString& command, const Line& line)
{
    if (line.stale)
        return false;
    if (MCommUtils::IsAcknowledged(command))
        return line.otherForm;
    return line.owedAck && line.shape == LineShape::Reading && MCommUtils::CommandWord(command) == QLatin1String("[VER]");
}

// Waits for the reply of a command answered at once, until the link is aborted or
// lost, the line outgrows the bound, or the deadline (when not negative) passes. A
// line passed by (a status before the version) is kept in `passed`. A line that may
// be the reply is taken once nothing else came for the reply time-out, or when the
// deadline passes; an abort hands it on too, as what came. `arrivedAt`: when the
// reply taken came.
WaitEnd collectReply(const QString& command, Line& reply, std::int16_t& chunks, qint64 deadline, QString* passed = nullptr,
    qint64* arrivedAt = nullptr)
{
    Module& m = module();
    SerialControl& control = comm();
    Clock& clock = Clock::instance();
    Received& in = received();
    std::optional<Line> maybe;
    qint64 maybeUntil = -1;
    qint64 maybeAt = -1;
    const auto took = [&](qint64 at) {
        if (arrivedAt)
            *arrivedAt = at;
    };
    const bool versionAsked = MCommUtils::CommandWord(command) == QLatin1String("[VER]");
    while (true) {
        if (control.ReceivedCount() > 0 && readInput())
            ++chunks;
        while (!in.lines.isEmpty()) {
            const Line line = in.lines.takeFirst();
            if (repliesTo(command, line)) {
                reply = line;
                took(clock.nowMs());
                return WaitEnd::Complete;
            }
            if (!maybe && mayReply(command, line)) {
                maybe = line;
                maybeAt = clock.nowMs();
                maybeUntil = maybeAt + m.miCommTimeOut;
            }
            if (passed && passed->isEmpty() && !line.owedAck && !line.stale)
                *passed = line.text;
        }
        if (outgrown())
            return overflowed();
        if (m.mfLinkAbort) {
            if (maybe) {
                reply = *maybe;
                took(maybeAt);
            }
            return WaitEnd::Aborted;
        }
        if (control.Lost())
            return WaitEnd::Lost;
        qint64 until = !maybe ? deadline : deadline < 0 ? maybeUntil : std::min(deadline, maybeUntil);
        // A version that is still arriving is waited for, so that what it is can be told.
        if (versionAsked && !in.partial.isEmpty() && until >= 0)
            until = std::max(until, control.LastArrivalMs() + m.miCommTimeOut);
        qint64 remaining = 60000;
        if (until >= 0) {
            remaining = until - clock.nowMs();
            if (remaining <= 0 && maybe) {
                reply = *maybe;
                took(maybeAt);
                return WaitEnd::Complete;
            }
            if (remaining <= 0)
                return WaitEnd::TimedOut;
        }
        waitForInput(remaining);
    }
}

// Takes a held reading as its decision says (see MAnswers::HeldReading), telling
// the operator what came that the link cannot read while it goes on waiting.
WaitEnd takeHeldReading(const QString& command, MAnswers::HeldReading& held)
{
    Module& m = module();
    SerialControl& control = comm();
    Clock& clock = Clock::instance();
    Received& in = received();
    bool told = false;
    bool toldStray = false;
    const auto tell = [](const QString& text) {
        if (notice())
            notice()(text);
    };
    while (true) {
        if (control.ReceivedCount() > 0)
            readInput();
        while (!in.lines.isEmpty()) {
            if (held.line(in.lines.takeFirst(), clock.nowMs()) == MAnswers::HeldReading::Step::Take) {
                m.msResults = MCommUtils::ReplyOf(held.taken().text);
                return WaitEnd::Complete;
            }
        }
        if (outgrown())
            return overflowed();
        if (m.mfLinkAbort)
            return WaitEnd::Aborted;
        if (control.Lost())
            return WaitEnd::Lost;
        const qint64 now = clock.nowMs();
        if (held.deadline() >= 0 && now >= held.deadline() && held.quiet(now) == MAnswers::HeldReading::Step::Uncertain)
            raiseUncertain(command, held);
        // What the line has held quiet for the reply time-out is all that came.
        qint64 wake = held.deadline();
        const qint64 quietAt = control.LastArrivalMs() + m.miCommTimeOut;
        if (!in.partial.isEmpty()) {
            // Told once the line is quiet, or at once when more lines ended so follow.
            const MCommUtils::OtherLineEnd other = MCommUtils::LineEndedOtherwise(in.partial);
            if (!other.end.isEmpty() && (other.more || now >= quietAt))
                raiseError(MCommUtils::kLinesUnread, source(), MCommUtils::OtherLineEndText(control.DisplayName(), command.trimmed(), other));
            if (now < quietAt)
                wake = wake < 0 ? quietAt : std::min(wake, quietAt);
        }
        if (!told && !held.unknownLine().isEmpty()) {
            const qint64 tellAt = held.unknownAt() + m.miCommTimeOut;
            if (now >= tellAt) {
                told = true;
                tell(QStringLiteral("The analyser on %1 sent %2, which is no reading; the link goes on waiting for the reading of %3.")
                         .arg(control.DisplayName(), quoted(held.unknownLine()), command.trimmed()));
            } else {
                wake = wake < 0 ? tellAt : std::min(wake, tellAt);
            }
        }
        if (!toldStray && !held.strayLine().isEmpty()) {
            toldStray = true;
            tell(QStringLiteral("The analyser on %1 sent %2, which may be a late answer to an earlier request%3; the link goes on "
                                "waiting for the reading of %4.")
                     .arg(control.DisplayName(), quoted(held.strayLine()), held.strayNames(), command.trimmed()));
        }
        waitForInput(wake < 0 ? 60000 : std::max<qint64>(0, wake - now));
    }
}

// After an exchange: a command that went out and whose answer was not taken.
void noteUnanswered()
{
    Module& m = module();
    if (!m.mfUnanswered)
        return;
    m.mfUnanswered = false;
    const QString& command = m.msPendingCommand;
    ledger().unanswered(command, std::max<int>(1, m.miCopies));
    // Stopped after the waveform command went out: the analyser may be playing the
    // waveform already.
    if (MCommUtils::IsWaveCommand(command) && m.mfLinkAbort)
        m.mfStopWave = true;
}

// Asks "[VER]" and waits the reply time-out for a version; a status line before it
// is passed by and kept in `passed`.
WaitEnd askVersion(Line& reply, std::int16_t& chunks, QString* passed = nullptr)
{
    Module& m = module();
    // A stale reply in the input must not pass for the answer to this request.
    skipErrors([] { readStaleInput(); });
    skipErrors([&] { sendRequest(m.msHandshake + QLatin1Char('\n')); });
    const WaitEnd end = collectReply(m.msHandshake, reply, chunks, Clock::instance().nowMs() + m.miCommTimeOut, passed);
    if (end == WaitEnd::Complete)
        ledger().replyTaken(m.msHandshake, reply, false, false);
    else
        ledger().unanswered(m.msHandshake, 1);
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

// Versions asked while the analyser was busy may all be answered at once, the one
// just taken perhaps among the first: they are read as they come, until the line has
// been quiet for the reply time-out, so that none comes after the next request.
void readOwedVersions()
{
    Module& m = module();
    SerialControl& control = comm();
    Clock& clock = Clock::instance();
    const auto versionsOwed = [] {
        const QList<MAnswers::EarlierRequest>& earlier = ledger().earlier();
        return std::any_of(earlier.begin(), earlier.end(), [](const MAnswers::EarlierRequest& e) {
            return e.command == QLatin1String("[VER]");
        });
    };
    while (versionsOwed() && !m.mfLinkAbort && !control.Lost()) {
        const qint64 quietAt = control.LastArrivalMs() + m.miCommTimeOut;
        if (clock.nowMs() >= quietAt)
            break;
        waitForInput(quietAt - clock.nowMs());
        skipErrors([] {
            readInput();
            received().lines.clear();
        });
    }
}

// Why the version handshake got no version in time: a status or other text passed
// by, a line that ends otherwise than with CR LF, or nothing at all.
QString noVersionFailure(const QString& passed)
{
    Module& m = module();
    const QString port = comm().DisplayName();
    const QString partial = received().partial;
    const MCommUtils::OtherLineEnd other = MCommUtils::LineEndedOtherwise(partial);
    if (!other.end.isEmpty())
        return MCommUtils::OtherLineEndText(port, m.msHandshake, other);
    // A version that a lone line end broke off what followed it is named so.
    const MCommUtils::OtherLineEnd broken = MCommUtils::LineEndedOtherwise(passed);
    if (!broken.end.isEmpty())
        return MCommUtils::OtherLineEndText(port, m.msHandshake, broken);
    if (!passed.isEmpty())
        return MCommUtils::NoVersionText(port, m.msHandshake, passed);
    if (!MCommUtils::LineText(partial).isEmpty())
        return MCommUtils::NoLineEndText(port, m.msHandshake, partial, m.miCommTimeOut);
    return MCommUtils::NoAnswerText(port, m.msHandshake, m.miCommTimeOut);
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
    Line reply;
    QString passed;
    const WaitEnd end = askVersion(reply, m.miChunkCount, &passed);
    m.miChunkCount = 0;
    if (end == WaitEnd::Aborted)
        return leStep; // the abort ends the machine's loop
    if (end == WaitEnd::Overflow) {
        m.msLastFailure = MCommUtils::LineTooLongText(control.DisplayName(), m.msHandshake, received().refused);
        m.miLinkState = lsClosing;
        return leStep;
    }
    // A silent port is not the analyser: move on instead of waiting for ever. A port
    // that answered with no version (a status, a line noise broke) is asked again.
    if (end == WaitEnd::Lost || (end == WaitEnd::TimedOut && (passed.isEmpty() || ++m.miHandshakeAttempts >= kHandshakeAttempts))) {
        m.msLastFailure = end == WaitEnd::Lost ? MCommUtils::DeviceLostText(control.DisplayName(), m.msHandshake) : noVersionFailure(passed);
        m.miLinkState = lsClosing;
        return leStep;
    }
    if (end == WaitEnd::TimedOut)
        return leStep;
    const QString version = MCommUtils::LineText(reply.text);
    if (end == WaitEnd::Complete && MCommUtils::VersionAccepted(version)) {
        readOwedVersions();
        return leConnected;
    }
    if (++m.miHandshakeAttempts >= kHandshakeAttempts) {
        m.msLastFailure = MCommUtils::VersionRefusedText(control.DisplayName(), m.msHandshake, reply.text);
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
    attempt(ignored, [&] { readStaleInput(); });
    // An acknowledgement comes at once: within the reply time-out, or the time a
    // waveform command's answer may take and still be in time.
    ledger().acknowledgementsSettled(Clock::instance().nowMs(), std::max(m.miCommTimeOut, kLateReplyMs));
    Exchange& exchange = exchangeState();
    exchange.held.reset();
    exchange.noAckOwed = ledger().noAckOwed();
    exchange.nothingOwed = ledger().nothingOwed();
    m.miCopies = 0;
    int copies = 1;
    if (MCommUtils::ReleaseOf(command) != Release::AtOnce) {
        exchange.held.emplace(ledger(), command, m.miCommTimeOut);
        // Each reading that may still come costs a copy of the command.
        if (exchange.held->tooMany())
            raiseUncertain(command, *exchange.held);
        copies = exchange.held->copies();
    }
    const bool acknowledged = MCommUtils::IsAcknowledged(command);
    for (int copy = 0; copy < copies; ++copy) {
        attempt(ignored, [&] {
            sendRequest(command, acknowledged);
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
    Exchange& exchange = exchangeState();

    m.msResults.clear();
    m.miChunkCount = 0;
    m.mfTimerFired = false;
    const qint64 start = clock.nowMs();
    Line reply;
    qint64 repliedAt = -1;
    const WaitEnd end = exchange.held ? takeHeldReading(command, *exchange.held)
                                      : collectReply(command, reply, m.miChunkCount, stopWave ? start + kStopWaveGiveUpMs : -1, nullptr, &repliedAt);
    if (end == WaitEnd::Complete) {
        m.mfUnanswered = false;
        if (exchange.held) {
            ledger().heldReadingTaken(command, m.miCopies, exchange.held->taken());
        } else {
            if (reply.otherForm)
                ledger().otherFormTaken(reply);
            m.msResults = MCommUtils::ReplyOf(reply.text);
            ledger().replyTaken(command, reply, exchange.noAckOwed, exchange.nothingOwed);
        }
    } else if (end == WaitEnd::Aborted && reply.otherForm) {
        // Stopped after a line that may be its acknowledgement came: it is taken for
        // it, so that the stop's own is not taken for this one. The wave may play.
        ledger().otherFormTaken(reply);
        ledger().replyTaken(command, reply, false, false);
        m.mfUnanswered = false;
        m.mfStopWave = MCommUtils::IsWaveCommand(command);
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
    // A reply is late by when it came, not by when the link took it.
    m.mfTimerFired = timed && (repliedAt >= 0 ? repliedAt : clock.nowMs()) - start >= kLateReplyMs;
    const bool bannerLate = m.mfTimerFired && MCommUtils::IsBanner(m.msResults);

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
            // answer is owed and passed by whichever exchange it reaches.
            Delay(kResendDelayMs);
            if (!stopWave && m.mfLinkAbort) {
                m.mfStopWave = true; // stopped in the pause: not resent, but stopped
            } else if (!stopWave) {
                skipErrors([&] { sendRequest(m.msPendingCommand); });
            }
        }
    }
    if (!m.mfLinkAbort)
        m.mfTimerFired = false;
}

// ---- the watch after error 8030 ------------------------------------------------------

struct Watch {
    std::optional<MAnswers::SwitchOffWatch> seen;
    std::unique_ptr<ClockTimer> asking;
    QString device;
};

Watch& watch()
{
    static Watch state;
    return state;
}

// Whether the watch still looks at the analyser's device.
bool watching()
{
    Watch& w = watch();
    SerialControl& control = comm();
    return w.seen && control.PortOpen() && !control.Lost() && control.DevicePath() == w.device;
}

// Hands the watch the lines that came.
void feedWatch()
{
    Watch& w = watch();
    skipErrors([&] {
        readInput();
        Received& in = received();
        in.tooLong.clear();
        const qint64 now = Clock::instance().nowMs();
        for (const Line& line : std::as_const(in.lines))
            w.seen->line(line, now);
        in.lines.clear();
    });
}

void askWatched()
{
    skipErrors([&] {
        sendRequest(module().msHandshake + QLatin1Char('\n'));
        watch().seen->asked(Clock::instance().nowMs());
    });
}

// Reads what came and asks "[VER]" once more, while the proof needs it.
void watchTick()
{
    Watch& w = watch();
    if (!watching())
        return;
    feedWatch();
    if (w.seen->askingNeeded(Clock::instance().nowMs()))
        askWatched();
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
    ledger().forget();
}

void ForgetAnalyser()
{
    ledger().reset();
    received() = {};
}

int ReadingsThatMayCome()
{
    return ledger().readingsThatMayCome();
}

QString EarlierAnswersText(int answers)
{
    const QString names = ledger().earlierNames();
    return answers == 1 ? QStringLiteral("the answer to an earlier request%1").arg(names)
                        : QStringLiteral("up to %1 answers to earlier requests%2").arg(answers).arg(names);
}

void SetNotice(std::function<void(const QString&)> tell)
{
    notice() = std::move(tell);
}

void BeginWatch()
{
    Module& m = module();
    Watch& w = watch();
    EndWatch(false);
    m.mfLinkAbort = false;
    w.seen.emplace(m.miCommTimeOut);
    w.device = comm().DevicePath();
    if (m.miLinkState == lsClosed || !comm().PortOpen() || comm().Lost())
        return;
    skipErrors([] { readStaleInput(); });
    askWatched();
    // The first answer shows the analyser on before the operator acts.
    WaitWatch(Watched::Answering, m.miCommTimeOut, true);
    w.asking = Clock::instance().createTimer();
    w.asking->setCallback(watchTick);
    w.asking->start(w.seen->askEveryMs());
}

void AskWatch(bool whileNeeded)
{
    Watch& w = watch();
    if (!watching())
        return;
    feedWatch();
    if (whileNeeded && !w.seen->askingNeeded(Clock::instance().nowMs()))
        return;
    askWatched();
    if (w.asking)
        w.asking->start(w.seen->askEveryMs());
}

Watched WaitWatch(Watched goal, int milliseconds, bool untilLine)
{
    Module& m = module();
    Watch& w = watch();
    Clock& clock = Clock::instance();
    const qint64 until = clock.nowMs() + milliseconds;
    const int lines = w.seen ? w.seen->lines() : 0;
    while (true) {
        if (!watching())
            return Watched::Lost;
        if (m.mfLinkAbort)
            return Watched::Stopped;
        feedWatch();
        const qint64 now = clock.nowMs();
        const MAnswers::SwitchOffWatch::Seen seen = w.seen->seen(now);
        const Watched state = seen == MAnswers::SwitchOffWatch::Seen::AnsweringAgain ? Watched::AnsweringAgain
            : seen == MAnswers::SwitchOffWatch::Seen::Silent                         ? Watched::Silent
            : seen == MAnswers::SwitchOffWatch::Seen::Answering                      ? Watched::Answering
                                                                                     : Watched::NoAnswerYet;
        if (state == goal || state == Watched::AnsweringAgain || now >= until)
            return state;
        if (untilLine && w.seen->lines() != lines)
            return state;
        // The silence may have lasted long enough by the next ask.
        waitForInput(std::min<qint64>(until - now, w.seen->askEveryMs()));
    }
}

const MAnswers::SwitchOffWatch* Watching()
{
    return watch().seen ? &*watch().seen : nullptr;
}

bool EndWatch(bool forget)
{
    Watch& w = watch();
    w.asking.reset();
    if (!w.seen)
        return false;
    // The answers to the last asks of an analyser that answers are on their way:
    // read as they come, they are not counted as owed.
    Clock& clock = Clock::instance();
    const qint64 until = clock.nowMs() + module().miCommTimeOut;
    while (watching() && !module().mfLinkAbort && w.seen->seen(clock.nowMs()) == MAnswers::SwitchOffWatch::Seen::Answering
        && w.seen->unanswered() > 0 && clock.nowMs() < until) {
        waitForInput(until - clock.nowMs());
        feedWatch();
    }
    const bool again = w.seen->seen(clock.nowMs()) == MAnswers::SwitchOffWatch::Seen::AnsweringAgain;
    const int unanswered = w.seen->unanswered();
    const int stillOwed = w.seen->unansweredSinceSilence();
    w.seen.reset();
    if (again && forget) {
        // Switched off, it forgot what it held and the asks it did not take in; those
        // it may have got once on again, and has not answered yet, it may still answer.
        ForgetEarlierRequests();
        ledger().owe(module().msHandshake, stillOwed);
        return true;
    }
    ledger().unanswered(module().msHandshake, unanswered);
    return false;
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
