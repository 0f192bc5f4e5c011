#pragma once

#include "ports/DeviceSource.h"

#include <QHash>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// A folder that stands in for /dev: each device is a pseudo-terminal linked
// into it under a name such as ttyUSB0, with its by-id name under serial/by-id
// when it has one. A pseudo-terminal has no USB data; the source made here
// carries what a real adapter would tell (description, manufacturer, serial
// number, vendor:product), so that the dialog shows real columns.
class FakeDevices {
public:
    struct Device {
        QString name;         // "ttyUSB0"
        QString byId;         // "usb-FTDI_FT232R_USB_UART_A10K4C2D-if00-port0", or empty
        QString description;
        QString manufacturer;
        QString serialNumber;
        QString usbId;
    };

    FakeDevices();
    ~FakeDevices();
    FakeDevices(const FakeDevices&) = delete;
    FakeDevices& operator=(const FakeDevices&) = delete;

    QString folder() const { return folder_.path(); }
    QString pathOf(const QString& name) const { return folder() + u'/' + name; }
    QString byIdPathOf(const QString& byId) const { return folder() + QStringLiteral("/serial/by-id/") + byId; }

    // Plugs the device in: a new pseudo-terminal, linked.
    void plug(const Device& device);
    // Pulls it out: its links go and its line hangs up.
    void unplug(const QString& name);

    // A source that lists the folder and adds what each device would tell.
    std::unique_ptr<DeviceSource> source() const;
    // How many times the sources made here have listed the folder.
    int scans() const { return *scans_; }

private:
    struct Line {
        Device device;
        int master = -1;
    };

    QTemporaryDir folder_;
    std::shared_ptr<QHash<QString, Device>> known_;
    std::shared_ptr<int> scans_ = std::make_shared<int>(0);
    QHash<QString, Line> lines_;
};
