#pragma once

#include "ports/DeviceSource.h"

// A folder listed in place of the system's devices (UAVCONTROL_DEVICES): each
// entry that is, or links to, a character device is a device; a serial/by-id
// folder in it gives their by-id names, as under /dev. Nothing is known of them
// beyond their names.
class FolderDeviceSource : public DeviceSource {
public:
    explicit FolderDeviceSource(QString folder)
        : folder_(std::move(folder))
    {
    }

    QList<SerialDeviceInfo> devices() const override;
    QString deviceFolder() const override { return folder_; }

private:
    QString folder_;
};
