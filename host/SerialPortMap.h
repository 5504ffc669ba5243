#pragma once
// The host's serial port table: port n is the device named by the value "COM<n>"
// of HKEY_CURRENT_USER "Software\Quilo\Kelto\Ports", else /dev/ttyS<n-1>. A
// command-line session may point a port at another device for its own run only.

#include "platform/interfaces/Instrument.h"

namespace kelto::host {

class SerialPortMap : public ISerialPortMap {
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 16;

    QString DevicePath(std::int32_t port) override;
    QString PortName(std::int32_t port) override;

    // Stored setting of one port (an empty path restores the default).
    static void SetDevicePath(std::int32_t port, const QString& path);
    // Overrides the setting for this process only; an empty path removes the override.
    static void SetSessionPath(std::int32_t port, const QString& path);
};

} // namespace kelto::host
