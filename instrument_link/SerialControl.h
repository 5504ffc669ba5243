#pragma once
// The serial control of the link: a serial port reached by port number, opened at
// the line settings it is given, with the received-count, input and output roles
// the protocol relies on. Arriving data wake the clock's pending wait, so a reply
// wait needs no polling. A pseudo-terminal stands in for a port in tests: its
// control-line calls fail as unsupported, which is not a lost link.

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>

namespace kelto {

class SerialControl : public QObject {
    Q_OBJECT
public:
    explicit SerialControl(QObject* parent = nullptr);
    ~SerialControl() override;

    // Port number 1 to 16, resolved to a device through the host's port table.
    void SetPortNumber(std::int16_t port);
    std::int16_t PortNumber() const { return m_portNumber; }
    // Selects a device directly (the port number then only names it).
    void SetDevicePath(const QString& path);
    QString DevicePath() const { return m_devicePath; }

    // "2400,N,8,1": baud rate, parity (N, E, O), data bits, stop bits.
    void SetSettings(const QString& settings);

    // Opening raises 68 when the device is missing and 70 when it is busy or not
    // permitted; the status text then says which.
    void SetPortOpen(bool open);
    bool PortOpen() const;
    QString StatusText() const { return m_status; }
    // Why the last open failed, naming the device and what to check; empty after
    // an open that worked. The status text lumps a busy and a forbidden port
    // together; this tells them apart for a technician.
    QString OpenFailure() const { return m_openFailure; }

    // Bytes received and not yet read; discarding drops them.
    std::int32_t ReceivedCount();
    void DiscardInput();
    // The received bytes not yet read; they are removed from the control.
    QString Input();
    void Output(const QString& text);
    void Output2(const QString& text) { Output(text); }

    // When bytes last arrived (clock milliseconds), read or not; -1 before any.
    qint64 LastArrivalMs() const { return m_lastArrivalMs; }

    // The device went away while open (unplugged adapter, closed pseudo-terminal).
    bool Lost() const { return m_lost; }

    // "COM3 (/dev/ttyS2)", or the device alone where it was given by its path, for
    // messages and the link log.
    QString DisplayName() const;

private:
    void onError(QSerialPort::SerialPortError error);
    void log(const char* direction, const QString& text);
    void flushInputLog();
    // The link log is on while KELTO_LINK_LOG names a file ("-" for standard error).
    static bool logging();

    QSerialPort m_port;
    std::int16_t m_portNumber = 0;
    QString m_portName; // as the port map names it
    QString m_devicePath;
    QString m_status;
    QString m_openFailure;
    bool m_lost = false;
    qint64 m_lastArrivalMs = -1;
    QSerialPort::SerialPortError m_lastError = QSerialPort::NoError;
    QString m_lastErrorText;
    // Received bytes come a few at a time; the log shows them a line at a time.
    QString m_inputLog;
};

} // namespace kelto
