#pragma once

#include <QString>

// One serial device of this machine, as a device source describes it.
struct SerialDeviceInfo {
    QString path;         // "/dev/ttyUSB0"
    QString byId;         // "/dev/serial/by-id/usb-…-if00-port0", or empty
    QString description;  // what the device says it is
    QString manufacturer;
    QString serialNumber;
    QString usbId;        // USB vendor:product, "0403:6001", or empty
};
