#include "ports/DeviceSource.h"

#include "ports/FolderDeviceSource.h"
#include "ports/SystemDeviceSource.h"

std::unique_ptr<DeviceSource> DeviceSource::fromEnvironment()
{
    const QString folder = qEnvironmentVariable("UAVCONTROL_DEVICES");
    if (!folder.isEmpty()) return std::make_unique<FolderDeviceSource>(folder);
    return std::make_unique<SystemDeviceSource>();
}
