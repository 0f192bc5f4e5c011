#include "ports/DeviceList.h"

#include "framework/FolderWatch.h"
#include "platform/NetworkAddress.h"
#include "platform/OpenDiagnosis.h"
#include "platform/PortNames.h"

#include <QDir>
#include <QFile>
#include <QHash>

namespace {

// The by-id names in `folder`, by the device each leads to.
QHash<QString, QString> byIdNames(const QString& folder)
{
    QHash<QString, QString> names;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString device = PortMap::deviceOf(dir.filePath(name));
        if (!device.isEmpty() && !names.contains(device)) names.insert(device, dir.filePath(name));
    }
    return names;
}

QString byIdFolder(const DeviceSource& source)
{
    return source.deviceFolder() + QStringLiteral("/serial/by-id");
}

// A network port's row: its address, or what is wrong with its entry. Nothing
// is sent to the server: the list is only looked at.
DeviceList::Row networkRow(int number, const QString& entry)
{
    DeviceList::Row row;
    row.numbers = {number};
    row.network = true;
    row.device.description = QStringLiteral("Network port");
    platform::NetworkAddress address;
    std::string problem;
    if (platform::readNetworkEntry(entry.toStdString(), address, problem) == 0) {
        row.device.path = QString::fromStdString(address.url());
        return row;
    }
    row.device.path = entry;
    row.diagnosis = QString::fromStdString(problem);
    row.diagnosisDetail = row.diagnosis;
    return row;
}

} // namespace

DeviceList::DeviceList(std::unique_ptr<DeviceSource> source, QString portDirectory, QObject* parent)
    : QObject(parent)
    , source_(std::move(source))
    , map_(std::move(portDirectory))
{
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DeviceList::refresh);
    refresh();
}

void DeviceList::refresh()
{
    watch();
    const QHash<QString, QString> byId = byIdNames(byIdFolder(*source_));
    const QMap<int, QString> entries = map_.entries();
    QMap<int, QString> unclaimed = entries;
    rows_.clear();
    for (SerialDeviceInfo device : source_->devices()) {
        Row row;
        const QString real = PortMap::deviceOf(device.path);
        device.byId = byId.value(real);
        row.numbers = map_.numbersFor(device.path);
        for (int number : row.numbers) unclaimed.remove(number);
        const platform::OpenDiagnosis d = platform::predictOpenFailure(device.path.toStdString());
        row.diagnosis = QString::fromStdString(d.summary);
        row.diagnosisDetail = QString::fromStdString(d.detail);
        row.device = device;
        rows_ << row;
    }
    // Numbers whose device is not there: shown, so that they can be seen and
    // removed; and network ports, which have no device here.
    for (auto it = unclaimed.begin(); it != unclaimed.end(); ++it) {
        if (platform::isNetworkEntry(it.value().toStdString())) {
            rows_ << networkRow(it.key(), it.value());
            continue;
        }
        Row row;
        row.device.path = it.value();
        row.numbers = {it.key()};
        row.missing = true;
        const platform::OpenDiagnosis d = platform::predictOpenFailure(it.value().toStdString());
        row.diagnosis = QString::fromStdString(d.summary);
        row.diagnosisDetail = QString::fromStdString(d.detail);
        rows_ << row;
    }
    emit changed();
}

void DeviceList::watch()
{
    QStringList folders;
    for (const QString& path : {source_->deviceFolder() + QStringLiteral("/."), byIdFolder(*source_) + QStringLiteral("/."),
                                map_.directory() + QStringLiteral("/.")}) {
        folders << QString::fromStdString(platform::nearestExistingFolder(path.toStdString()));
    }
    fw::watchExactly(watcher_, folders);
}
