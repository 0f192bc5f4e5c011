#include "app/PanelApplication.h"
#include "app/PortsDialog.h"
#include "framework/MessageBoxes.h"
#include "ports/DeviceList.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/support/FakeDevices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

const FakeDevices::Device Ftdi = {QStringLiteral("ttyUSB0"), QStringLiteral("usb-FTDI_FT232R_USB_UART_A10K4C2D-if00-port0"),
                                  QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
                                  QStringLiteral("A10K4C2D"), QStringLiteral("0403:6001")};
const FakeDevices::Device Prolific = {QStringLiteral("ttyUSB1"),
                                      QStringLiteral("usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0"),
                                      QStringLiteral("USB-Serial Controller"),
                                      QStringLiteral("Prolific Technology Inc."), QString(),
                                      QStringLiteral("067b:2303")};
const FakeDevices::Device Cp210x = {QStringLiteral("ttyUSB2"),
                                    QStringLiteral("usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0"),
                                    QStringLiteral("CP2102 USB to UART Bridge Controller"),
                                    QStringLiteral("Silicon Labs"), QStringLiteral("0001"),
                                    QStringLiteral("10c4:ea60")};
const FakeDevices::Device Onboard = {QStringLiteral("ttyACM0"), QString(), QStringLiteral("Transponder bench rig"),
                                     QStringLiteral("Korvane Avionics"), QStringLiteral("KV-0042"),
                                     QStringLiteral("1d50:6018")};

class PortsDialogTest : public ::testing::Test {
protected:
    void open(const QString& portDirectory)
    {
        dialog = std::make_unique<PortsDialog>(devices.source(), portDirectory);
        dialog->show();
    }

    QTableWidget* table() const { return dialog->findChild<QTableWidget*>(QStringLiteral("devices")); }
    QString cell(int row, int column) const
    {
        const QTableWidgetItem* item = table()->item(row, column);
        return item ? item->text() : QString();
    }
    int rowOf(const QString& path) const
    {
        for (int r = 0; r < table()->rowCount(); ++r)
            if (cell(r, PortsDialog::Device) == path) return r;
        return -1;
    }
    void mapTo(const QString& path, int number)
    {
        table()->selectRow(rowOf(path));
        dialog->findChild<QSpinBox*>(QStringLiteral("comNumber"))->setValue(number);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("map")), Qt::LeftButton);
    }
    QString linkOf(int number) const
    {
        return QFile::symLinkTarget(ports.path() + QStringLiteral("/COM%1").arg(number));
    }

    FakeDevices devices;
    QTemporaryDir ports;
    fw::ScopedRecordingMessageBoxes boxes;
    std::unique_ptr<PortsDialog> dialog;
};

} // namespace

TEST_F(PortsDialogTest, FollowsDevicesPluggedInAndPulledOutWhileItIsOpen)
{
    devices.plug(Onboard); // no by-id name: /dev/serial/by-id does not exist yet
    open(ports.path());
    ASSERT_EQ(table()->rowCount(), 1);
    EXPECT_EQ(cell(0, PortsDialog::Device), devices.pathOf(QStringLiteral("ttyACM0")));
    EXPECT_EQ(cell(0, PortsDialog::Description), QStringLiteral("Transponder bench rig"));
    EXPECT_TRUE(dialog->devices().watchedFolders().contains(devices.folder()));

    devices.plug(Ftdi);
    ASSERT_TRUE(runUntil([&] { return rowOf(devices.pathOf(QStringLiteral("ttyUSB0"))) >= 0; }, 2000));
    const int row = rowOf(devices.pathOf(QStringLiteral("ttyUSB0")));
    ASSERT_TRUE(runUntil([&] { return !cell(row, PortsDialog::ById).isEmpty(); }, 2000));
    EXPECT_EQ(cell(row, PortsDialog::ById), Ftdi.byId);
    EXPECT_EQ(cell(row, PortsDialog::UsbId), QStringLiteral("0403:6001"));
    EXPECT_EQ(cell(row, PortsDialog::Manufacturer), QStringLiteral("FTDI"));
    // The by-id folder, made by the first adapter, is watched from then on.
    EXPECT_TRUE(dialog->devices().watchedFolders().contains(devices.folder() + QStringLiteral("/serial/by-id")));

    devices.unplug(QStringLiteral("ttyUSB0"));
    ASSERT_TRUE(runUntil([&] { return table()->rowCount() == 1; }, 2000));
    EXPECT_EQ(cell(0, PortsDialog::Device), devices.pathOf(QStringLiteral("ttyACM0")));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PortsDialogTest, MapsTheSelectedDeviceByItsByIdNameAndRemovesTheMapping)
{
    devices.plug(Ftdi);
    open(ports.path());
    mapTo(devices.pathOf(QStringLiteral("ttyUSB0")), 3);
    EXPECT_EQ(linkOf(3), devices.byIdPathOf(Ftdi.byId));
    EXPECT_EQ(QDir(ports.path()).entryList(QDir::System | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("COM3")})
        << "a temporary link was left behind";
    EXPECT_EQ(cell(0, PortsDialog::Com), QStringLiteral("COM3"));

    table()->selectRow(0);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("unmap")), Qt::LeftButton);
    EXPECT_FALSE(QFileInfo::exists(ports.path() + QStringLiteral("/COM3")));
    EXPECT_EQ(cell(0, PortsDialog::Com), QString());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PortsDialogTest, OverwritingANumberAsksFirstAndNamesBothDevices)
{
    devices.plug(Ftdi);
    devices.plug(Prolific);
    open(ports.path());
    mapTo(devices.pathOf(QStringLiteral("ttyUSB0")), 4);
    ASSERT_TRUE(boxes.shown.empty());

    boxes.answer = fw::MsgResult::Cancel;
    mapTo(devices.pathOf(QStringLiteral("ttyUSB1")), 4);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(devices.byIdPathOf(Ftdi.byId) + QStringLiteral(" (FT232R USB UART)")));
    EXPECT_TRUE(boxes.shown[0].text.contains(devices.byIdPathOf(Prolific.byId)));
    EXPECT_EQ(boxes.shown[0].buttons, fw::MsgButtons::OkCancel);
    EXPECT_EQ(linkOf(4), devices.byIdPathOf(Ftdi.byId)) << "cancelled, yet changed";

    boxes.answer = fw::MsgResult::Ok;
    mapTo(devices.pathOf(QStringLiteral("ttyUSB1")), 4);
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(linkOf(4), devices.byIdPathOf(Prolific.byId));
}

TEST_F(PortsDialogTest, APortDirectoryThatCannotBeWrittenIsRefusedWithOneBoxAndNothingChanges)
{
    // Root may write anywhere, but not under a regular file.
    QFile file(ports.path() + QStringLiteral("/plain-file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    devices.plug(Ftdi);
    open(file.fileName() + QStringLiteral("/ports"));
    mapTo(devices.pathOf(QStringLiteral("ttyUSB0")), 5);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("cannot be written")));
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("Not a directory")));
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("Nothing was changed")));
    EXPECT_EQ(boxes.shown[0].icon, fw::MsgIcon::Error);
    EXPECT_TRUE(QFileInfo(file.fileName()).isFile());
    EXPECT_EQ(QFileInfo(file.fileName()).size(), 0);
}

// Not a check of pixels: the dialog over a fake device folder, for the README
// (build/screenshots/ports-dialog.png).
TEST_F(PortsDialogTest, WritesAPictureOfTheDialogWithFakeDevices)
{
    setUpPanelApplication(*qApp);
    for (const auto& device : {Ftdi, Prolific, Cp210x, Onboard}) devices.plug(device);
    QDir(ports.path()).mkpath(QStringLiteral("."));
    ASSERT_TRUE(QFile::link(devices.byIdPathOf(Ftdi.byId), ports.path() + QStringLiteral("/COM3")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/serial/by-id/usb-Gone_Adapter-if00-port0"),
                            ports.path() + QStringLiteral("/COM7")));
    // Another program has one of them open.
    const int holder = ::open(QFile::encodeName(devices.pathOf(QStringLiteral("ttyUSB2"))).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    open(ports.path());
    ::close(holder);
    dialog->resize(1720, 250);
    table()->selectRow(rowOf(devices.pathOf(QStringLiteral("ttyUSB0"))));
    runFor(50);
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(dialog->grab().save(folder + QStringLiteral("/ports-dialog.png")));
}
