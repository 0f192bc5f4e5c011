#include "ports/DeviceList.h"

#include "framework/FolderWatch.h"
#include "platform/NetworkAddress.h"
#include "platform/OpenDiagnosis.h"
#include "platform/PortNames.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QtConcurrent/QtConcurrentRun>

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
        row.entry = QString::fromStdString(address.entry());
        if (address.tls)
            row.device.description = address.cert.empty() ? QStringLiteral("Network port, encrypted (TLS)")
                                                          : QStringLiteral("Network port, encrypted (TLS), client certificate");
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
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (following_) refresh();
    });
    connect(&scan_, &QFutureWatcherBase::finished, this, &DeviceList::diagnosed);
}

void DeviceList::setFollowing(bool following)
{
    if (following == following_) return;
    following_ = following;
    if (following)
        refresh();
    else
        fw::watchExactly(watcher_, {});
}

void DeviceList::refresh()
{
    watch();
    const QHash<QString, QString> byId = byIdNames(byIdFolder(*source_));
    const QMap<int, QString> entries = map_.entries();
    QMap<int, QString> unclaimed = entries;
    rows_.clear();
    Diagnoses wanted;
    for (SerialDeviceInfo device : source_->devices()) {
        Row row;
        const QString real = PortMap::deviceOf(device.path);
        device.byId = byId.value(real);
        row.numbers = map_.numbersFor(device.path);
        for (int number : row.numbers) unclaimed.remove(number);
        wanted.emplace_back(rows_.size(), device.path.toStdString());
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
        wanted.emplace_back(rows_.size(), it.value().toStdString());
        rows_ << row;
    }
    diagnose(std::move(wanted));
    emit changed();
}

void DeviceList::diagnose(Diagnoses wanted)
{
    std::vector<std::string> paths;
    for (const auto& [row, path] : wanted) paths.push_back(path);
    scanned_ = std::move(wanted);
    scan_.setFuture(QtConcurrent::run([paths = std::move(paths)] {
        std::vector<platform::OpenDiagnosis> found;
        for (const std::string& path : paths) found.push_back(platform::predictOpenFailure(path));
        return found;
    }));
}

void DeviceList::diagnosed()
{
    const std::vector<platform::OpenDiagnosis> found = scan_.result();
    for (std::size_t i = 0; i < scanned_.size(); ++i) {
        Row& row = rows_[scanned_[i].first];
        row.diagnosis = QString::fromStdString(found[i].summary);
        row.diagnosisDetail = QString::fromStdString(found[i].detail);
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
