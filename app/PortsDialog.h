#pragma once

#include <QDialog>
#include <memory>

class DeviceList;
class DeviceSource;
class QPushButton;
class QSpinBox;
class QTableWidget;

// Setup → Ports…: the serial devices of this machine, what each is, the COM
// numbers that stand for it and what would stand in the way of opening it. The
// operator gives the selected device a number, or takes its numbers away. The
// list follows devices as they are plugged in and out.
class PortsDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { Device, ById, Description, Manufacturer, SerialNumber, UsbId, Com, Diagnosis, ColumnCount };

    PortsDialog(std::unique_ptr<DeviceSource> source, const QString& portDirectory, QWidget* parent = nullptr);
    ~PortsDialog() override;

    const DeviceList& devices() const { return *devices_; }

    // Gives the selected device the number in the number box, asking first when
    // that number stands for another device; refused with a box when the port
    // directory cannot be written.
    void mapSelected();
    // Takes every number of the selected device away.
    void unmapSelected();

private:
    void showDevices();

    std::unique_ptr<DeviceList> devices_;
    QTableWidget* table_;
    QSpinBox* number_;
    QPushButton* map_;
    QPushButton* unmap_;
};
