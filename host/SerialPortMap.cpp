#include "SerialPortMap.h"

#include <QHash>

#include "RegistryKey.h"

namespace kelto::host {

namespace {

const QString kPortsKey = QStringLiteral("Software\\Quilo\\Kelto\\Ports");

QHash<int, QString>& sessionPaths()
{
    static QHash<int, QString> paths;
    return paths;
}

QString valueName(std::int32_t port)
{
    return QStringLiteral("COM%1").arg(port);
}

} // namespace

QString SerialPortMap::DevicePath(std::int32_t port)
{
    if (port < kFirstPort || port > kLastPort)
        return QString();
    if (sessionPaths().contains(port))
        return sessionPaths().value(port);
    RegistryKey key;
    key.OpenKey(hkey::CurrentUser, kPortsKey);
    const QString stored = valueOr([&] { return key.GetValue(valueName(port)).toString(); }, QString());
    return stored.isEmpty() ? QStringLiteral("/dev/ttyS%1").arg(port - 1) : stored;
}

QString SerialPortMap::PortName(std::int32_t port)
{
    const QString path = DevicePath(port);
    if (path.isEmpty() || sessionPaths().contains(port))
        return path;
    return QStringLiteral("%1 (%2)").arg(valueName(port), path);
}

void SerialPortMap::SetDevicePath(std::int32_t port, const QString& path)
{
    RegistryKey key;
    key.CreateKey(hkey::CurrentUser, kPortsKey);
    key.SetValue(valueName(port), path);
}

void SerialPortMap::SetSessionPath(std::int32_t port, const QString& path)
{
    if (path.isEmpty())
        sessionPaths().remove(port);
    else
        sessionPaths().insert(port, path);
}

} // namespace kelto::host
