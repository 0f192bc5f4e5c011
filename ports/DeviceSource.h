#pragma once

#include "ports/SerialDeviceInfo.h"

#include <QList>
#include <QString>
#include <memory>

// Where the list of serial devices comes from: the system's own, or a folder that
// stands in for /dev. The folder that holds the devices (and their
// serial/by-id names) is what gets watched for hot-plug.
class DeviceSource {
public:
    virtual ~DeviceSource() = default;

    // The devices there are now, in a stable order. The by-id names are filled
    // in by the caller from deviceFolder()/serial/by-id.
    virtual QList<SerialDeviceInfo> devices() const = 0;
    // "/dev", or the folder that stands in for it.
    virtual QString deviceFolder() const = 0;

    // The folder UAVCONTROL_DEVICES names when it is set, else the system's
    // devices.
    static std::unique_ptr<DeviceSource> fromEnvironment();
};
