#include "SerialControl.h"

#include <QDateTime>
#include <QFile>
#include <QLoggingCategory>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "MCommUtils.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/PluginError.h"
#include "platform/interfaces/Instrument.h"

namespace kelto {

namespace {

constexpr std::int32_t kDeviceUnavailable = 68;
constexpr std::int32_t kPermissionDenied = 70;
constexpr std::int32_t kDeviceIoError = 57;
constexpr std::int32_t kInvalidPropertyValue = 380;

const QString kSource = QStringLiteral("KeltoTarvoXVTI.SerialControl");

enum class OpenFailure { NoDevice, PermissionDenied, Busy, NotSerial, Other };

// QSerialPort gives one error for a busy and a forbidden device, and another for a
// file that is no terminal; the device itself tells them apart. The checks follow
// the order in which an open fails: the path, the permissions, the lock, the line.
OpenFailure classifyOpenFailure(const QString& path, QSerialPort::SerialPortError error)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return errno == EACCES ? OpenFailure::PermissionDenied : OpenFailure::NoDevice;
    if (error == QSerialPort::DeviceNotFoundError)
        return OpenFailure::NoDevice;
    if (::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return OpenFailure::PermissionDenied;
    if (error == QSerialPort::PermissionError)
        return OpenFailure::Busy;
    if (!S_ISCHR(info.st_mode) || error == QSerialPort::UnsupportedOperationError)
        return OpenFailure::NotSerial;
    return OpenFailure::Other;
}

// A port number the host's port table has no device for.
QString noPortText(std::int16_t port)
{
    return QStringLiteral("There is no serial port %1; use a port number 1 to 16 or a device path.").arg(port);
}

QString describeOpenFailure(OpenFailure failure, const QString& port, const QString& reason)
{
    switch (failure) {
    case OpenFailure::NoDevice:
        return QStringLiteral("%1 does not exist. Check the port number or device path, and that the analyser's cable or USB "
                              "serial adapter is plugged in.")
            .arg(port);
    case OpenFailure::PermissionDenied:
        return QStringLiteral("%1 may not be opened by this user (permission denied). Check the device's permissions: add the "
                              "user to the group that owns it (often \"dialout\") and log in again.")
            .arg(port);
    case OpenFailure::Busy:
        return QStringLiteral("%1 is in use by another program. Close the program that holds it (a terminal program or another "
                              "kelto-host) and try again.")
            .arg(port);
    case OpenFailure::NotSerial:
        return QStringLiteral("%1 is not a serial device. Give the analyser's serial port: a port number 1 to 16 or a device "
                              "such as /dev/ttyUSB0.")
            .arg(port);
    case OpenFailure::Other:
        break;
    }
    return QStringLiteral("%1 cannot be opened: %2. Check the device and its driver.").arg(port, reason);
}

Q_LOGGING_CATEGORY(lcLinkLog, "kelto.link")

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Appends the bytes to the log file, unbuffered, so that a full disk shows in the
// result. Only a regular file or a device is written: opening a pipe nobody reads
// would hold the link, so the open never waits and a pipe is refused.
bool appendToLog(const QString& path, const QByteArray& bytes, QString* why)
{
    const QByteArray native = QFile::encodeName(path);
    const QString notAFile = QStringLiteral("not a regular file or device");
    struct stat before {};
    if (::stat(native.constData(), &before) == 0 && !S_ISREG(before.st_mode) && !S_ISCHR(before.st_mode)) {
        *why = S_ISDIR(before.st_mode) ? systemError(EISDIR) : notAFile;
        return false;
    }
    const int fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        *why = systemError(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) {
        *why = systemError(errno);
    } else if (!S_ISREG(info.st_mode) && !S_ISCHR(info.st_mode)) {
        ok = false;
        *why = notAFile;
    }
    // Once open, a device is written as it expects, waiting while it is busy.
    if (ok && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ok = false;
        *why = systemError(errno);
    }
    qsizetype written = 0;
    while (ok && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ok = false;
            *why = n < 0 ? systemError(errno) : QStringLiteral("nothing could be written");
        }
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        *why = systemError(errno);
    }
    return ok;
}

} // namespace

SerialControl::SerialControl(QObject* parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        m_lastArrivalMs = Clock::instance().nowMs();
        Clock::instance().wake();
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialControl::onError);
}

SerialControl::~SerialControl()
{
    if (m_port.isOpen())
        m_port.close();
}

void SerialControl::SetPortNumber(std::int16_t port)
{
    QString path;
    QString name;
    if (auto map = ComponentRuntime::instance().createAs<ISerialPortMap>(QLatin1String(hostclass::SerialPortMap))) {
        path = map->DevicePath(port);
        name = map->PortName(port);
    }
    m_portNumber = port;
    m_devicePath = path;
    m_portName = name;
    // An unknown number leaves no device selected, so the next open cannot reach the previous port.
    if (path.isEmpty()) {
        m_openFailure = noPortText(port);
        raiseError(kInvalidPropertyValue, kSource, m_openFailure);
    }
}

void SerialControl::SetDevicePath(const QString& path)
{
    m_devicePath = path;
    m_portName.clear();
}

void SerialControl::SetSettings(const QString& settings)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    bool ok = parts.size() == 4;
    const int baud = ok ? parts[0].trimmed().toInt(&ok) : 0;
    const QString parity = ok ? parts[1].trimmed().toUpper() : QString();
    const int dataBits = ok ? parts[2].trimmed().toInt(&ok) : 0;
    const QString stopBits = ok ? parts[3].trimmed() : QString();
    ok = ok && baud > 0 && dataBits >= 5 && dataBits <= 8
        && (parity == QLatin1String("N") || parity == QLatin1String("E") || parity == QLatin1String("O"))
        && (stopBits == QLatin1String("1") || stopBits == QLatin1String("2"));
    if (!ok)
        raiseError(kInvalidPropertyValue, kSource, QStringLiteral("Invalid line settings \"%1\".").arg(settings));
    m_port.setBaudRate(baud);
    m_port.setParity(parity == QLatin1String("N") ? QSerialPort::NoParity : parity == QLatin1String("E") ? QSerialPort::EvenParity : QSerialPort::OddParity);
    m_port.setDataBits(static_cast<QSerialPort::DataBits>(dataBits));
    m_port.setStopBits(stopBits == QLatin1String("1") ? QSerialPort::OneStop : QSerialPort::TwoStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

void SerialControl::SetPortOpen(bool open)
{
    if (!open) {
        if (m_port.isOpen()) {
            flushInputLog();
            m_port.close();
            log("close", m_devicePath);
        }
        return;
    }
    if (m_port.isOpen())
        return;
    m_lost = false;
    m_openFailure.clear();
    if (m_devicePath.isEmpty()) {
        m_status = QStringLiteral("Port not found");
        m_openFailure = noPortText(m_portNumber);
        raiseError(kDeviceUnavailable, kSource, m_openFailure);
    }
    m_port.setPortName(m_devicePath);
    m_lastError = QSerialPort::NoError;
    m_lastErrorText.clear();
    if (m_port.open(QIODevice::ReadWrite)) {
        m_status = QStringLiteral("Connected");
        // The line settings the port took, as they were given: a check of the cable
        // starts there.
        const QSerialPort::Parity parity = m_port.parity();
        log("open", QStringLiteral("%1 at %2,%3,%4,%5")
                        .arg(m_devicePath)
                        .arg(m_port.baudRate())
                        .arg(parity == QSerialPort::NoParity ? QLatin1Char('N') : parity == QSerialPort::EvenParity ? QLatin1Char('E') : QLatin1Char('O'))
                        .arg(static_cast<int>(m_port.dataBits()))
                        .arg(m_port.stopBits() == QSerialPort::OneStop ? 1 : 2));
        return;
    }
    const QSerialPort::SerialPortError error = m_lastError;
    const QString reason = m_lastErrorText;
    m_openFailure = describeOpenFailure(classifyOpenFailure(m_devicePath, error), DisplayName(), reason);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        m_status = QStringLiteral("Port not found");
        raiseError(kDeviceUnavailable, kSource, m_openFailure);
    case QSerialPort::PermissionError:
        m_status = QStringLiteral("Port unavailable");
        raiseError(kPermissionDenied, kSource, m_openFailure);
    default:
        m_status = QStringLiteral("Port failure: %1").arg(reason);
        raiseError(kDeviceIoError, kSource, m_openFailure);
    }
}

bool SerialControl::PortOpen() const
{
    return m_port.isOpen();
}

std::int32_t SerialControl::ReceivedCount()
{
    return m_port.isOpen() ? static_cast<std::int32_t>(m_port.bytesAvailable()) : 0;
}

void SerialControl::DiscardInput()
{
    if (!m_port.isOpen())
        return;
    const QByteArray dropped = m_port.readAll();
    m_port.clear(QSerialPort::Input);
    flushInputLog();
    if (!dropped.isEmpty())
        log("drop", QString::fromLatin1(dropped));
}

QString SerialControl::Input()
{
    if (!m_port.isOpen())
        return QString();
    const QString text = QString::fromLatin1(m_port.readAll());
    if (logging()) {
        m_inputLog += text;
        if (MCommUtils::JudgeReply(m_inputLog, 1, 1) != MCommUtils::ReplyState::Incomplete)
            flushInputLog();
    }
    return text;
}

void SerialControl::Output(const QString& text)
{
    if (!m_port.isOpen())
        raiseError(kDeviceIoError, kSource, QStringLiteral("%1 is not open.").arg(DisplayName()));
    flushInputLog();
    log(">", text);
    const QByteArray bytes = text.toLatin1();
    if (m_port.write(bytes) != bytes.size())
        raiseError(kDeviceIoError, kSource, QStringLiteral("Writing to %1 failed: %2").arg(DisplayName(), m_port.errorString()));
    // Hand the bytes to the driver now: a close right after must not drop them.
    m_port.flush();
}

QString SerialControl::DisplayName() const
{
    return m_portName.isEmpty() ? m_devicePath : m_portName;
}

void SerialControl::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::NoError) {
        m_lastError = error;
        m_lastErrorText = m_port.errorString();
    }
    switch (error) {
    case QSerialPort::NoError:
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
        // The device is gone: a closed pseudo-terminal keeps reporting end of file,
        // so close at once rather than spin on it.
        if (m_port.isOpen()) {
            m_lost = true;
            m_status = QStringLiteral("Port not found");
            flushInputLog();
            log("lost", m_port.errorString());
            m_port.close();
            Clock::instance().wake();
        }
        break;
    default:
        // Unsupported control-line calls of a pseudo-terminal and passing write
        // troubles are no lost link; a failed write raises where it happens.
        break;
    }
    m_port.clearError();
}

bool SerialControl::logging()
{
    return qEnvironmentVariableIsSet("KELTO_LINK_LOG");
}

void SerialControl::flushInputLog()
{
    if (!m_inputLog.isEmpty())
        log("<", std::exchange(m_inputLog, QString()));
}

void SerialControl::log(const char* direction, const QString& text)
{
    // The link log is turned on by naming a file (or "-" for standard error) in KELTO_LINK_LOG.
    const QString target = qEnvironmentVariable("KELTO_LINK_LOG");
    if (target.isEmpty())
        return;
    const QString line = QStringLiteral("%1 %2 %3 %4\n")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), DisplayName(),
                                 QLatin1String(direction), MCommUtils::EscapeTraffic(text));
    if (target == QLatin1String("-")) {
        std::fputs(line.toLocal8Bit().constData(), stderr);
        return;
    }
    // A log that cannot be written never stops the link: it is said once, and the
    // link goes on without that log.
    static QString failedTarget;
    if (target == failedTarget)
        return;
    QString why;
    if (appendToLog(target, line.toUtf8(), &why))
        return;
    failedTarget = target;
    qCWarning(lcLinkLog).noquote() << QStringLiteral("Cannot write the link log %1 named by KELTO_LINK_LOG: %2. "
                                                     "The link goes on without a log; check the file's folder and permissions.")
                                          .arg(target, why);
}

} // namespace kelto
