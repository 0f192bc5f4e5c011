#include "FakeDevices.h"

#include "ports/FolderDeviceSource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

namespace {

class FakeDeviceSource : public DeviceSource {
public:
    FakeDeviceSource(const QString& folder, std::shared_ptr<QHash<QString, FakeDevices::Device>> known,
                     std::shared_ptr<int> scans)
        : folder_(folder)
        , known_(std::move(known))
        , scans_(std::move(scans))
    {
    }

    QList<SerialDeviceInfo> devices() const override
    {
        ++*scans_;
        QList<SerialDeviceInfo> devices = folder_.devices();
        for (SerialDeviceInfo& info : devices) {
            const FakeDevices::Device known = known_->value(QFileInfo(info.path).fileName());
            info.description = known.description;
            info.manufacturer = known.manufacturer;
            info.serialNumber = known.serialNumber;
            info.usbId = known.usbId;
        }
        return devices;
    }
    QString deviceFolder() const override { return folder_.deviceFolder(); }

private:
    FolderDeviceSource folder_;
    std::shared_ptr<QHash<QString, FakeDevices::Device>> known_;
    std::shared_ptr<int> scans_;
};

} // namespace

FakeDevices::FakeDevices()
    : known_(std::make_shared<QHash<QString, Device>>())
{
}

FakeDevices::~FakeDevices()
{
    for (const QString& name : lines_.keys()) unplug(name);
}

void FakeDevices::plug(const Device& device)
{
    Line line;
    line.device = device;
    char slavePath[128] = {};
    int slave = -1;
    if (::openpty(&line.master, &slave, slavePath, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    ::fcntl(line.master, F_SETFD, FD_CLOEXEC);
    // The slave stays there as long as the master is open; holding it open too
    // would make the device look busy.
    ::close(slave);
    known_->insert(device.name, device);
    lines_.insert(device.name, line);
    QFile::link(QString::fromLocal8Bit(slavePath), pathOf(device.name));
    if (!device.byId.isEmpty()) {
        QDir().mkpath(folder() + QStringLiteral("/serial/by-id"));
        QFile::link(QStringLiteral("../../") + device.name, byIdPathOf(device.byId));
    }
}

void FakeDevices::unplug(const QString& name)
{
    const auto it = lines_.find(name);
    if (it == lines_.end()) return;
    if (!it->device.byId.isEmpty()) QFile::remove(byIdPathOf(it->device.byId));
    QFile::remove(pathOf(name));
    ::close(it->master);
    known_->remove(name);
    lines_.erase(it);
}

std::unique_ptr<DeviceSource> FakeDevices::source() const
{
    return std::make_unique<FakeDeviceSource>(folder(), known_, scans_);
}
