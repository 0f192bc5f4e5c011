#pragma once

#include "ports/DeviceSource.h"

// The system's serial devices, as Qt's serial port information finds them (it
// reads udev and sysfs, and opens legacy ttyS nodes to see whether a UART is
// behind them).
class SystemDeviceSource : public DeviceSource {
public:
    QList<SerialDeviceInfo> devices() const override;
    QString deviceFolder() const override { return QStringLiteral("/dev"); }
};
