#pragma once
// The analyser simulator's engine: a pseudo-terminal whose far end answers as the
// analyser does. Bytes move at the wire speed of 2400 baud 8N1 in both directions
// (10 bits a byte, about 4.17 ms), so time-outs tuned against it hold on a real
// line. It runs on the event loop of the thread that made it: inside a test
// process or in the tarvo-sim program.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>

#include "platform/Clock.h"
#include <deque>

#include "Scenario.h"

class QSocketNotifier;

namespace kelto::sim {

class TarvoSimulator : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kByteNs = 10LL * 1000000000LL / 2400; // 4.1667 ms

    explicit TarvoSimulator(Scenario scenario = {}, QObject* parent = nullptr);
    ~TarvoSimulator() override;

    // Creates the pseudo-terminal; false with a reason when it cannot.
    bool open(QString* error = nullptr);
    // The device the link opens ("/dev/pts/7").
    QString devicePath() const { return m_devicePath; }
    // Also publishes the device as a symbolic link (removed again on close).
    bool publishAs(const QString& linkPath, QString* error = nullptr);
    bool isOpen() const { return m_master >= 0; }

    Scenario& scenario() { return m_scenario; }

    // The defibrillator discharges into the analyser: held readings are answered.
    void discharge();
    // The pacer starts or stops pacing into the analyser.
    void setPacing(bool on);
    // The device goes away, as an unplugged adapter does.
    void vanish();
    // The adapter is pulled and plugged in again: the analyser keeps what it holds,
    // and its device comes back under another name.
    bool replug(QString* error = nullptr);
    // Bytes on the line that answer no request, at wire speed.
    void sendNoise(const QByteArray& bytes);
    // Bytes that line noise puts into the next reply, after its first `at` bytes.
    void noiseInNextReply(const QByteArray& bytes, int at)
    {
        m_replyNoise = bytes;
        m_replyNoiseAt = at;
    }
    // The analyser is switched off (it forgets what it held and was sending, and
    // takes in and answers nothing) or on again.
    void setPowered(bool on);
    bool powered() const { return m_powered; }
    void switchOffAndOn()
    {
        setPowered(false);
        setPowered(true);
    }

    // The line settings the device is set to, as the link gives them ("2400,N,8,1").
    // A pseudo-terminal keeps the baud rate and stop bits only: it always reads 8 data
    // bits and no parity.
    QString lineSettings() const;

    // Every byte that reached the analyser, and every byte it sent, in order.
    QByteArray received() const { return m_received; }
    QByteArray sent() const { return m_sent; }
    QStringList commands() const { return m_commands; }
    void clearLog();

signals:
    void commandReceived(const QString& word);
    // Each byte once the analyser has taken it in (a command at its "]").
    void byteReceived(char byte);
    void replyQueued(const QByteArray& reply);
    void vanished();

private:
    struct TimedByte {
        qint64 dueNs;
        char byte;
    };

    // Time and timers come from the clock seam, so the simulator runs in the same
    // (real, scaled or virtual) time as the link it answers.
    qint64 nowNs() const { return kelto::Clock::instance().nowMs() * 1000000; }
    void readMaster();
    void pump();
    void reschedule();
    void handleCommand(const QString& word);
    QByteArray replyFor(const QString& word);
    qint64 delayFor(const QString& word) const;
    void queueReply(const QByteArray& text, qint64 delayMs, const QString& word = QString());
    // Keeps a held reading as the scenario's held mode says.
    void hold(QStringList& held, const QString& word) const;
    void releaseHeld(bool pacer);
    void closeDevice();

    Scenario m_scenario;
    std::unique_ptr<kelto::ClockTimer> m_timer;
    std::unique_ptr<kelto::ClockTimer> m_dischargeTimer;
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the far end valid while the link has it closed
    QSocketNotifier* m_notifier = nullptr;
    QString m_devicePath;
    QString m_linkPath;

    std::deque<TimedByte> m_inbound;
    std::deque<TimedByte> m_outbound;
    qint64 m_inLineFreeNs = 0;
    qint64 m_outLineFreeNs = 0;
    QByteArray m_parse;

    QStringList m_heldDischarge;
    QStringList m_heldPacer;
    bool m_dischargeScheduled = false;
    bool m_powered = true;
    QByteArray m_replyNoise;
    int m_replyNoiseAt = 0;
    int m_commandCount = 0;
    QHash<QString, int> m_answered; // answers given to each word, for answers given in turn

    QByteArray m_received;
    QByteArray m_sent;
    QStringList m_commands;
};

} // namespace kelto::sim
