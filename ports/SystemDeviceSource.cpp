#include "ports/SystemDeviceSource.h"

#include <QSerialPortInfo>

QList<SerialDeviceInfo> SystemDeviceSource::devices() const
{
    QList<SerialDeviceInfo> devices;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        SerialDeviceInfo device;
        device.path = port.systemLocation();
        device.description = port.description();
        device.manufacturer = port.manufacturer();
        device.serialNumber = port.serialNumber();
        if (port.hasVendorIdentifier() && port.hasProductIdentifier())
            device.usbId = QStringLiteral("%1:%2")
                               .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                               .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
        devices << device;
    }
    return devices;
}
