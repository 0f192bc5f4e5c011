#pragma once

#include "ports/DeviceSource.h"
#include "ports/PortMap.h"

#include "platform/OpenDiagnosis.h"

#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The serial devices of this machine with their COM numbers and what would stand
// in the way of opening them, kept up to date as devices come and go, and the
// network ports that the port directory names.
//
// While it follows, it watches the device folder, its serial/by-id folder (or,
// before the first adapter has made that, the nearest folder above it) and the
// port directory, and reads everything again when one of them changes: no
// polling. A list that no one looks at follows nothing and reads nothing.
//
// The diagnoses come after the rows: seeing who holds a device means going
// through every process's open files, which runs on a worker thread so that
// the window never waits for it. changed() comes again when they are in.
class DeviceList : public QObject {
    Q_OBJECT
public:
    struct Row {
        SerialDeviceInfo device;
        QList<int> numbers;        // the COM numbers mapped to it
        QString diagnosis;         // empty when nothing stands in the way, or not seen yet
        QString diagnosisDetail;
        bool missing = false;      // a mapping that leads to no device
        bool network = false;      // a network port: device.path is its address
        QString entry;             // a network port's whole entry, its paths made absolute
    };

    DeviceList(std::unique_ptr<DeviceSource> source, QString portDirectory, QObject* parent = nullptr);

    const QList<Row>& rows() const { return rows_; }
    const PortMap& portMap() const { return map_; }
    QStringList watchedFolders() const { return watcher_.directories(); }

    // Reads the devices and the mappings again; emits changed(). The diagnoses
    // follow.
    void refresh();
    // Starts or stops following. It starts not following, with no rows;
    // following again reads everything at once, to catch up on what it missed.
    void setFollowing(bool following);

signals:
    void changed();

private:
    // The paths to diagnose, each with its row.
    using Diagnoses = std::vector<std::pair<qsizetype, std::string>>;

    void watch();
    void diagnose(Diagnoses wanted);
    void diagnosed();

    std::unique_ptr<DeviceSource> source_;
    PortMap map_;
    QFileSystemWatcher watcher_;
    QList<Row> rows_;
    bool following_ = false;
    // The scan for the rows as they are now, and what it was asked; a new
    // reading drops the scan of the one before, whose rows are gone. The
    // watcher hands the result over through the event loop, always.
    QFutureWatcher<std::vector<platform::OpenDiagnosis>> scan_;
    Diagnoses scanned_;
};
