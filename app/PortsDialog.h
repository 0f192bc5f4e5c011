#pragma once

#include <QDialog>
#include <memory>

class DeviceList;
class DeviceSource;
class QPushButton;
class QSpinBox;
class QTableWidget;

// Setup → Ports…: the serial devices of this machine, what each is, the COM
// numbers that stand for it and what would stand in the way of opening it, and
// the network ports of the port directory with their addresses, and which of
// them are encrypted. The operator
// gives the selected device a number, or takes its numbers away, and adds a
// network port under a number. While shown, the list follows devices as they
// are plugged in and out; hidden, it follows nothing, and catches up when shown
// again. The diagnosis of each device fills in when its scan is done.
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
    // Makes the number in the number box a network port with `entry`
    // ("rfc2217+tls://HOST:PORT" and its KEY=VALUE lines), asking first when
    // the number stands for something else; an entry that is not one is
    // refused with a box that says what is wrong with it.
    void addNetworkPort(const QString& entry);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showDevices();
    // Asks for the address of a network port and its files, then adds it.
    void askForNetworkPort();
    // Writes COM<number> with `write` after asking about what it stands for
    // now; a refusal is one box.
    template <class Write>
    void replaceNumber(int number, const QString& what, Write write);

    std::unique_ptr<DeviceList> devices_;
    QTableWidget* table_;
    QSpinBox* number_;
    QPushButton* map_;
    QPushButton* unmap_;
    QPushButton* addNetwork_;
};
