#include "TarvoSimulator.h"

#include <QFile>
#include <algorithm>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace kelto::sim {

namespace {

const QByteArray kLineEnd("\r\n");
const QByteArray kBanner("Vel-Tor Tarvo");

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

TarvoSimulator::TarvoSimulator(Scenario scenario, QObject* parent) : QObject(parent), m_scenario(std::move(scenario))
{
    m_timer = kelto::Clock::instance().createTimer();
    m_timer->setCallback([this] {
        m_timer->stop(); // one shot: pump() schedules the next
        pump();
    });
    m_dischargeTimer = kelto::Clock::instance().createTimer();
    m_dischargeTimer->setCallback([this] {
        m_dischargeTimer->stop();
        if (m_dischargeScheduled)
            discharge();
    });
}

TarvoSimulator::~TarvoSimulator()
{
    closeDevice();
}

bool TarvoSimulator::open(QString* error)
{
    if (m_master >= 0)
        return true;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0)
        return fail(error, QStringLiteral("posix_openpt: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    const char* name = (grantpt(master) == 0 && unlockpt(master) == 0) ? ptsname(master) : nullptr;
    if (!name) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return fail(error, QStringLiteral("pseudo-terminal set-up: %1").arg(why));
    }
    m_devicePath = QString::fromLocal8Bit(name);
    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveKeeper >= 0) {
        termios raw{};
        if (tcgetattr(m_slaveKeeper, &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(m_slaveKeeper, TCSANOW, &raw);
        }
    }
    m_master = master;
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TarvoSimulator::readMaster);
    return true;
}

bool TarvoSimulator::publishAs(const QString& linkPath, QString* error)
{
    if (m_master < 0)
        return fail(error, QStringLiteral("the pseudo-terminal is not open"));
    QFile::remove(linkPath);
    if (::symlink(m_devicePath.toLocal8Bit().constData(), linkPath.toLocal8Bit().constData()) != 0)
        return fail(error, QStringLiteral("symlink %1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno))));
    m_linkPath = linkPath;
    return true;
}

QString TarvoSimulator::lineSettings() const
{
    termios line{};
    if (m_slaveKeeper < 0 || tcgetattr(m_slaveKeeper, &line) != 0)
        return QString();
    const struct {
        speed_t speed;
        int baud;
    } speeds[] = {{B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B115200, 115200}};
    int baud = 0;
    for (const auto& s : speeds)
        baud = cfgetospeed(&line) == s.speed ? s.baud : baud;
    const char parity = (line.c_cflag & PARENB) ? ((line.c_cflag & PARODD) ? 'O' : 'E') : 'N';
    const tcflag_t size = line.c_cflag & CSIZE;
    const int dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    return QStringLiteral("%1,%2,%3,%4").arg(baud).arg(QLatin1Char(parity)).arg(dataBits).arg((line.c_cflag & CSTOPB) ? 2 : 1);
}

void TarvoSimulator::clearLog()
{
    m_received.clear();
    m_sent.clear();
    m_commands.clear();
}

void TarvoSimulator::discharge()
{
    m_dischargeScheduled = false;
    if (!m_powered)
        return;
    releaseHeld(false);
    // An analyser that answers one held reading a discharge waits for the next.
    if (!m_heldDischarge.isEmpty() && m_scenario.dischargeAfterMs > 0) {
        m_dischargeScheduled = true;
        m_dischargeTimer->start(m_scenario.dischargeAfterMs);
    }
}

void TarvoSimulator::setPacing(bool on)
{
    m_scenario.pacing = on;
    if (on)
        releaseHeld(true);
}

void TarvoSimulator::vanish()
{
    if (m_master < 0)
        return;
    closeDevice();
    emit vanished();
}

bool TarvoSimulator::replug(QString* error)
{
    // The new device is made while the old one still exists, so that it gets
    // another name; what was on the wire is lost with the old one.
    const int oldMaster = std::exchange(m_master, -1);
    const int oldKeeper = std::exchange(m_slaveKeeper, -1);
    QSocketNotifier* oldNotifier = std::exchange(m_notifier, nullptr);
    const bool opened = open(error);
    delete oldNotifier;
    ::close(oldMaster);
    if (oldKeeper >= 0)
        ::close(oldKeeper);
    m_inbound.clear();
    m_outbound.clear();
    if (opened && !m_linkPath.isEmpty())
        return publishAs(m_linkPath, error);
    return opened;
}

void TarvoSimulator::sendNoise(const QByteArray& bytes)
{
    qint64 due = std::max(nowNs(), m_outLineFreeNs);
    for (const char c : bytes) {
        due += kByteNs;
        m_outbound.push_back({due, c});
    }
    m_outLineFreeNs = due;
    reschedule();
}

void TarvoSimulator::setPowered(bool on)
{
    m_powered = on;
    if (on)
        return;
    m_heldDischarge.clear();
    m_heldPacer.clear();
    m_dischargeScheduled = false;
    m_dischargeTimer->stop();
    m_outbound.clear();
    m_parse.clear();
}

void TarvoSimulator::closeDevice()
{
    m_timer->stop();
    m_dischargeTimer->stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    m_master = -1;
    m_slaveKeeper = -1;
    if (!m_linkPath.isEmpty())
        QFile::remove(m_linkPath);
    m_linkPath.clear();
    m_inbound.clear();
    m_outbound.clear();
}

void TarvoSimulator::readMaster()
{
    char buffer[512];
    while (m_master >= 0) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        // Each byte arrives one wire time after the previous one, or after now.
        qint64 due = std::max(nowNs(), m_inLineFreeNs);
        for (ssize_t i = 0; i < n; ++i) {
            due += kByteNs;
            m_inbound.push_back({due, buffer[i]});
        }
        m_inLineFreeNs = due;
    }
    reschedule();
}

void TarvoSimulator::pump()
{
    const qint64 now = nowNs();
    while (!m_inbound.empty() && m_inbound.front().dueNs <= now) {
        const char c = m_inbound.front().byte;
        m_inbound.pop_front();
        if (!m_powered)
            continue;
        m_received.append(c);
        // Commands are split on "]", not on the line end.
        if (c == ']') {
            const int open = m_parse.lastIndexOf('[');
            if (open >= 0)
                handleCommand(QString::fromLatin1(m_parse.mid(open + 1)));
            m_parse.clear();
        } else if (c == '[' || !m_parse.isEmpty()) {
            m_parse.append(c);
            if (m_parse.size() > 64)
                m_parse.clear();
        }
        if (m_master < 0)
            return; // vanished while handling
        emit byteReceived(c);
    }
    QByteArray out;
    while (!m_outbound.empty() && m_outbound.front().dueNs <= now) {
        out.append(m_outbound.front().byte);
        m_outbound.pop_front();
    }
    if (!out.isEmpty() && m_master >= 0) {
        m_sent.append(out);
        qsizetype written = 0;
        while (written < out.size()) {
            const ssize_t n = ::write(m_master, out.constData() + written, static_cast<size_t>(out.size() - written));
            if (n <= 0)
                break;
            written += n;
        }
    }
    reschedule();
}

void TarvoSimulator::reschedule()
{
    qint64 next = -1;
    if (!m_inbound.empty())
        next = m_inbound.front().dueNs;
    if (!m_outbound.empty())
        next = next < 0 ? m_outbound.front().dueNs : std::min(next, m_outbound.front().dueNs);
    if (next < 0 || m_master < 0) {
        m_timer->stop();
        return;
    }
    const qint64 waitNs = std::max<qint64>(0, next - nowNs());
    m_timer->start(static_cast<int>((waitNs + 999999) / 1000000));
}

void TarvoSimulator::handleCommand(const QString& rawWord)
{
    const QString word = commandWord(rawWord);
    if (word != QLatin1String("HDR")) {
        ++m_commandCount;
        if (m_scenario.vanishAfter >= 0 && m_commandCount > m_scenario.vanishAfter) {
            vanish();
            return;
        }
    }
    m_commands.append(word);
    emit commandReceived(word);

    if ((m_scenario.held == HeldMode::Drop && (word == QLatin1String("Q") || word == QLatin1String("VER")))
        || (m_scenario.held == HeldMode::Cancel && word != QLatin1String("HDR"))) {
        m_heldDischarge.clear();
        m_heldPacer.clear();
    }
    if (word == QLatin1String("HDR") || word == QLatin1String("Q"))
        return;
    if (m_scenario.noReply.contains(word))
        return;
    const bool testCommand = isDischargeReading(word) || isPacerReading(word) || (isWaveformCommand(word) && word != QLatin1String("WSP"));
    if (testCommand && m_scenario.bannerMs >= 0 && m_scenario.banner.contains(word)) {
        queueReply(kBanner, m_scenario.bannerMs + delayFor(word), word);
        return;
    }
    if (isDischargeReading(word)) {
        hold(m_heldDischarge, word);
        // At once: the discharge follows the request.
        if (m_scenario.dischargeAfterMs == 0) {
            discharge();
        } else if (m_scenario.dischargeAfterMs > 0 && !m_dischargeScheduled) {
            m_dischargeScheduled = true;
            m_dischargeTimer->start(m_scenario.dischargeAfterMs);
        }
        return;
    }
    if (isPacerReading(word)) {
        hold(m_heldPacer, word);
        if (m_scenario.pacing)
            releaseHeld(true);
        return;
    }
    queueReply(replyFor(word), delayFor(word), word);
}

void TarvoSimulator::hold(QStringList& held, const QString& word) const
{
    if (m_scenario.held == HeldMode::Newest)
        held.clear();
    held.append(word);
}

qint64 TarvoSimulator::delayFor(const QString& word) const
{
    return m_scenario.lateMs > 0 && m_scenario.late.contains(word) ? m_scenario.lateMs : 0;
}

QByteArray TarvoSimulator::replyFor(const QString& word)
{
    if (word == QLatin1String("VER")) {
        if (m_scenario.garbledVersion)
            return QByteArray("\x8f\xe3?.\x1b", 5);
        return m_scenario.firmware.toLatin1();
    }
    if ((isDischargeReading(word) || isPacerReading(word)) && m_scenario.over.contains(word))
        return QByteArray("OVER");
    if (!isDischargeReading(word) && !isPacerReading(word) && !isWaveformCommand(word))
        return QByteArray("ERR");
    // Answers given as "OK|1" go out in turn, the last one from then on.
    const QStringList answers = m_scenario.readings.value(word, isWaveformCommand(word) ? QStringLiteral("OK") : QStringLiteral("0"))
                                    .split(QLatin1Char('|'));
    return answers.value(std::min<qsizetype>(m_answered[word]++, answers.size() - 1)).toLatin1();
}

void TarvoSimulator::queueReply(const QByteArray& text, qint64 delayMs, const QString& word)
{
    if (m_master < 0 || !m_powered)
        return;
    const bool endedOtherwise = !word.isEmpty() && m_scenario.lineEndWords.contains(word);
    QByteArray bytes = text + (endedOtherwise ? m_scenario.lineEnd : kLineEnd);
    emit replyQueued(bytes);
    if (!m_replyNoise.isEmpty())
        bytes.insert(std::clamp<qsizetype>(m_replyNoiseAt, 0, bytes.size()), std::exchange(m_replyNoise, QByteArray()));
    // A pause on the line between pieces makes the reply arrive in chunks.
    const int chunks = std::clamp(m_scenario.chunks, 1, static_cast<int>(bytes.size()));
    QSet<int> boundaries;
    for (int k = 1; k < chunks; ++k)
        boundaries.insert(static_cast<int>(static_cast<qint64>(k) * bytes.size() / chunks));
    const qint64 gapNs = static_cast<qint64>(m_scenario.chunkGapMs) * 1000000;
    qint64 due = std::max(nowNs() + delayMs * 1000000, m_outLineFreeNs);
    const auto first = m_outbound.size();
    for (int i = 0; i < bytes.size(); ++i) {
        if (boundaries.contains(i))
            due += gapNs;
        due += kByteNs;
        m_outbound.push_back({due, bytes[i]});
    }
    m_outLineFreeNs = due;
    if (m_scenario.burstMs >= 0 && first < m_outbound.size()) {
        // The adapter passes on what it holds once the line has been quiet for
        // burstMs: a reply leaves whole, together with any still held that it
        // followed closer than that.
        const qint64 firstDue = m_outbound[first].dueNs;
        const qint64 leaves = due + static_cast<qint64>(m_scenario.burstMs) * 1000000;
        for (auto i = m_outbound.size(); i-- > 0 && m_outbound[i].dueNs >= firstDue;)
            m_outbound[i].dueNs = leaves;
    }
    reschedule();
}

void TarvoSimulator::releaseHeld(bool pacer)
{
    QStringList& held = pacer ? m_heldPacer : m_heldDischarge;
    QStringList words;
    if (m_scenario.held == HeldMode::Queue && !held.isEmpty())
        words.append(m_scenario.newestFirst ? held.takeLast() : held.takeFirst());
    else
        words.swap(held);
    if (m_scenario.newestFirst)
        std::reverse(words.begin(), words.end());
    for (const QString& word : words)
        queueReply(replyFor(word), delayFor(word), word);
}

} // namespace kelto::sim
