#pragma once

#include "ports/DeviceSource.h"
#include "ports/PortMap.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <memory>

// The serial devices of this machine with their COM numbers and what would stand
// in the way of opening them, kept up to date as devices come and go, and the
// network ports that the port directory names.
//
// It watches the device folder, its serial/by-id folder (or, before the first
// adapter has made that, the nearest folder above it) and the port directory,
// and reads everything again when one of them changes: no polling.
class DeviceList : public QObject {
    Q_OBJECT
public:
    struct Row {
        SerialDeviceInfo device;
        QList<int> numbers;        // the COM numbers mapped to it
        QString diagnosis;         // empty when nothing stands in the way
        QString diagnosisDetail;
        bool missing = false;      // a mapping that leads to no device
        bool network = false;      // a network port: device.path is its address
    };

    DeviceList(std::unique_ptr<DeviceSource> source, QString portDirectory, QObject* parent = nullptr);

    const QList<Row>& rows() const { return rows_; }
    const PortMap& portMap() const { return map_; }
    QStringList watchedFolders() const { return watcher_.directories(); }

    // Reads the devices and the mappings again; emits changed().
    void refresh();

signals:
    void changed();

private:
    void watch();

    std::unique_ptr<DeviceSource> source_;
    PortMap map_;
    QFileSystemWatcher watcher_;
    QList<Row> rows_;
};
