#include "app/PanelApplication.h"
#include "app/NetworkPortDialog.h"
#include "app/PortsDialog.h"
#include "framework/MessageBoxes.h"
#include "ports/DeviceList.h"
#include "ports/FolderDeviceSource.h"
#include "ports/PortMap.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/support/FakeDevices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
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
    const QHeaderView* header = table()->horizontalHeader();
    EXPECT_EQ(header->sectionPosition(PortsDialog::Diagnosis) + header->sectionSize(PortsDialog::Diagnosis),
              table()->viewport()->width())
        << "the diagnosis still runs to the edge";
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(PortsDialogFollowing, AHiddenDialogReadsNothingAndCatchesUpWhenShown)
{
    const struct {
        const char* name;
        bool shown;
        bool hiddenAgain;
    } cases[] = {{"shown", true, false}, {"hidden after being shown", true, true}, {"never shown", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDevices devices;
        QTemporaryDir ports;
        devices.plug(Onboard);
        PortsDialog dialog(devices.source(), ports.path());
        if (c.shown) dialog.show();
        if (c.hiddenAgain) dialog.hide();
        const bool following = dialog.isVisible();
        // A dialog always shown, on the same folder but not counted: once it has
        // seen the whole adapter arrive, so would the other one, if it looked.
        PortsDialog witness(std::make_unique<FolderDeviceSource>(devices.folder()), ports.path());
        witness.show();
        const QString plugged = devices.pathOf(QStringLiteral("ttyUSB0"));
        const auto sees = [&](const PortsDialog& d) {
            const auto& rows = d.devices().rows();
            return std::any_of(rows.begin(), rows.end(), [&](const DeviceList::Row& row) {
                return row.device.path == plugged && !row.device.byId.isEmpty();
            });
        };
        const int scans = devices.scans();
        devices.plug(Ftdi);
        ASSERT_TRUE(runUntil([&] { return sees(following ? dialog : witness); }, 2000));
        if (following)
            EXPECT_GT(devices.scans(), scans);
        else
            EXPECT_EQ(devices.scans(), scans) << "read while hidden";

        dialog.show();
        EXPECT_TRUE(sees(dialog)) << "did not catch up when shown";
    }
}

TEST_F(PortsDialogTest, ListsTheDevicesAtOnceAndTheirDiagnosisWhenItsScanReturns)
{
    devices.plug(Ftdi);
    const QString held = devices.pathOf(QStringLiteral("ttyUSB0"));
    const int holder = ::open(QFile::encodeName(held).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    const QString missing = devices.pathOf(QStringLiteral("ttyUSB9"));
    ASSERT_TRUE(QFile::link(missing, ports.path() + QStringLiteral("/COM9")));
    const struct {
        QString device;
        QString diagnosis;
    } cases[] = {{held, QStringLiteral("busy, held by")}, {missing, QStringLiteral("No such file")}};

    open(ports.path());
    // No event has been handled yet: the scans cannot have been waited for.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device.toStdString());
        ASSERT_GE(rowOf(c.device), 0);
        EXPECT_EQ(cell(rowOf(c.device), PortsDialog::Diagnosis), QString()) << "the window waited for the scan";
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device.toStdString());
        EXPECT_TRUE(runUntil([&] { return cell(rowOf(c.device), PortsDialog::Diagnosis).contains(c.diagnosis); }, 5000))
            << cell(rowOf(c.device), PortsDialog::Diagnosis).toStdString();
    }
    ::close(holder);
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

TEST_F(PortsDialogTest, ListsNetworkPortsByTheirAddressAndAddsOne)
{
    devices.plug(Ftdi);
    QDir(ports.path()).mkpath(QStringLiteral("."));
    const auto write = [&](int number, const QByteArray& content) {
        QFile entry(ports.path() + QStringLiteral("/COM%1").arg(number));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
        entry.write(content);
    };
    write(4, "rfc2217://bench-3.lab:2000\n");
    write(5, "tcp://bench-4.lab\n");
    write(8, "rfc2217+tls://bench-6.lab:2000\nca=" + QFile::encodeName(ports.path()) + "/COM4\n");
    open(ports.path());
    const int bench3 = rowOf(QStringLiteral("rfc2217://bench-3.lab:2000"));
    ASSERT_GE(bench3, 0);
    EXPECT_EQ(cell(bench3, PortsDialog::Com), QStringLiteral("COM4"));
    EXPECT_EQ(cell(bench3, PortsDialog::Description), QStringLiteral("Network port"));
    EXPECT_EQ(cell(bench3, PortsDialog::Diagnosis), QString());
    const int bench6 = rowOf(QStringLiteral("rfc2217+tls://bench-6.lab:2000"));
    ASSERT_GE(bench6, 0);
    EXPECT_EQ(cell(bench6, PortsDialog::Description), QStringLiteral("Network port, encrypted (TLS)"));
    const int broken = rowOf(ports.path() + QStringLiteral("/COM5"));
    ASSERT_GE(broken, 0);
    EXPECT_TRUE(cell(broken, PortsDialog::Diagnosis).endsWith(QStringLiteral("no port: write tcp://HOST:PORT")))
        << cell(broken, PortsDialog::Diagnosis).toStdString();

    // Added through the button, as the operator does it: a plain one, and
    // one in TLS with the files that go with it (a key of the operator's own).
    auto* number = dialog->findChild<QSpinBox*>(QStringLiteral("comNumber"));
    const QString key = ports.path() + QStringLiteral("/op.key");
    write(0, {});
    ASSERT_TRUE(QFile::rename(ports.path() + QStringLiteral("/COM0"), key));
    QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const struct {
        int number;
        QString address;
        QString ca, cert, key, serverName;
        QByteArray written;
        QString description;
    } added[] = {
        {6, QStringLiteral("tcp://[::1]:2001"), {}, {}, {}, {}, "tcp://[::1]:2001\n", QStringLiteral("Network port")},
        {9, QStringLiteral("tcp+tls://[::1]:2003"), ports.path() + QStringLiteral("/COM4"),
         ports.path() + QStringLiteral("/COM5"), key, QStringLiteral("bench-6.lab"),
         "tcp+tls://[::1]:2003\nca=" + QFile::encodeName(ports.path()) + "/COM4\ncert=" + QFile::encodeName(ports.path())
             + "/COM5\nkey=" + QFile::encodeName(key) + "\nservername=bench-6.lab\n",
         QStringLiteral("Network port, encrypted (TLS), client certificate")},
    };
    for (const auto& a : added) {
        number->setValue(a.number);
        QTimer::singleShot(0, [&a] {
            auto* ask = qobject_cast<NetworkPortDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(ask, nullptr);
            const std::pair<const char*, QString> fields[] = {
                {"address", a.address}, {"ca", a.ca}, {"cert", a.cert}, {"key", a.key}, {"servername", a.serverName}};
            for (const auto& [name, text] : fields) ask->findChild<QLineEdit*>(QLatin1String(name))->setText(text);
            ask->accept();
        });
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("addNetwork")), Qt::LeftButton);
        QFile written(ports.path() + QStringLiteral("/COM%1").arg(a.number));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), a.written);
        const int row = rowOf(a.address);
        ASSERT_GE(row, 0) << a.address.toStdString();
        EXPECT_EQ(cell(row, PortsDialog::Com), QStringLiteral("COM%1").arg(a.number));
        EXPECT_EQ(cell(row, PortsDialog::Description), a.description);
    }
    EXPECT_EQ(QDir(ports.path()).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot).size(), 6)
        << "a temporary file was left behind";

    // An address that is none is refused with what is wrong with it.
    number->setValue(7);
    dialog->addNetworkPort(QStringLiteral("tcp://bench-5.lab:99999"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("the port 99999 is out of range 1..65535")));
    EXPECT_FALSE(QFileInfo::exists(ports.path() + QStringLiteral("/COM7")));

    // Replacing a number asks first, naming the address it has now.
    number->setValue(4);
    boxes.answer = fw::MsgResult::Cancel;
    dialog->addNetworkPort(QStringLiteral("rfc2217://bench-9.lab:2000"));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_TRUE(boxes.shown[1].text.contains(QStringLiteral("COM4 stands for rfc2217://bench-3.lab:2000")));
    EXPECT_TRUE(boxes.shown[1].text.contains(QStringLiteral("rfc2217://bench-9.lab:2000 instead")));
    EXPECT_GE(rowOf(QStringLiteral("rfc2217://bench-3.lab:2000")), 0) << "cancelled, yet changed";

    // The adapter's number can go to a network port, and back.
    mapTo(devices.pathOf(QStringLiteral("ttyUSB0")), 3);
    number->setValue(3);
    boxes.answer = fw::MsgResult::Ok;
    dialog->addNetworkPort(QStringLiteral("tcp://127.0.0.1:2002"));
    EXPECT_TRUE(boxes.shown.back().text.contains(QStringLiteral("COM3 stands for ") + devices.byIdPathOf(Ftdi.byId)));
    EXPECT_EQ(cell(rowOf(QStringLiteral("tcp://127.0.0.1:2002")), PortsDialog::Com), QStringLiteral("COM3"));
    EXPECT_EQ(cell(rowOf(devices.pathOf(QStringLiteral("ttyUSB0"))), PortsDialog::Com), QString());
}

TEST(PortMapEntries, AnEntryIsWrittenAsideAndRenamedOverTheOldOneNeverRewrittenInPlace)
{
    enum Kind { Link, Network };
    const struct {
        const char* name;
        Kind before;
        Kind after;
    } cases[] = {
        {"a link over a link", Link, Link},
        {"an address over a link", Link, Network},
        {"an address over an address", Network, Network},
        {"a link over an address", Network, Link},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        const QString directory = folder.filePath(QStringLiteral("ports"));
        const QString entry = directory + QStringLiteral("/COM3");
        // Devices that are plain files here, so that a write through a link shows.
        const QString device = folder.filePath(QStringLiteral("ttyUSB0"));
        const QString other = folder.filePath(QStringLiteral("ttyUSB1"));
        for (const QString& path : {device, other}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("device\n");
        }
        const PortMap map(directory);
        const auto write = [&](Kind kind, const QString& address, const QString& target) {
            return kind == Link ? map.map(3, target) : map.mapNetwork(3, address);
        };
        ASSERT_EQ(write(c.before, QStringLiteral("tcp://bench-1.lab:2000"), device), QString());
        struct stat old {};
        ASSERT_EQ(::lstat(QFile::encodeName(entry).constData(), &old), 0);
        // Whoever has the old entry open goes on reading the old entry.
        const int reader = c.before == Network ? ::open(QFile::encodeName(entry).constData(), O_RDONLY | O_CLOEXEC) : -1;

        ASSERT_EQ(write(c.after, QStringLiteral("rfc2217://bench-2.lab:2001"), other), QString());

        struct stat now {};
        ASSERT_EQ(::lstat(QFile::encodeName(entry).constData(), &now), 0);
        EXPECT_NE(now.st_ino, old.st_ino) << "the entry was rewritten in place";
        if (c.after == Link) {
            EXPECT_EQ(QFile::symLinkTarget(entry), other);
        } else {
            QFile written(entry);
            ASSERT_TRUE(written.open(QIODevice::ReadOnly));
            EXPECT_EQ(written.readAll(), QByteArray("rfc2217://bench-2.lab:2001\n"));
            EXPECT_FALSE(QFileInfo(entry).isSymLink());
            // Its user's alone, in a folder of its user's alone, whatever the umask.
            EXPECT_EQ(now.st_mode & 07777, 0600u);
            struct stat made {};
            ASSERT_EQ(::stat(QFile::encodeName(directory).constData(), &made), 0);
            EXPECT_EQ(made.st_mode & 07777, 0700u);
        }
        if (reader >= 0) {
            char kept[64] = {};
            EXPECT_EQ(std::string(kept, static_cast<std::size_t>(::pread(reader, kept, sizeof kept, 0))),
                      "tcp://bench-1.lab:2000\n");
            ::close(reader);
        }
        for (const QString& path : {device, other}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), QByteArray("device\n")) << "written through the link: " << path.toStdString();
        }
        EXPECT_EQ(QDir(directory).entryList(QDir::System | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("COM3")})
            << "something was left aside";
    }
}

// Entries written before they were kept private are tightened once, and what
// was tightened is said; links to devices and private entries are left alone.
TEST(PortMapEntries, EntriesWrittenBeforeAreMadePrivateOnceAndSaidSo)
{
    const struct {
        const char* name;
        mode_t folder;
        mode_t entry;
        QStringList tightened; // {d}: the folder, {e}: the entry
    } cases[] = {
        {"as a umask of 002 left them", 0775, 0664, {"{d} (700 now, was 775)", "{e} (600 now, was 664)"}},
        {"as a umask of 022 left them", 0755, 0644, {"{d} (700 now, was 755)", "{e} (600 now, was 644)"}},
        {"private already", 0700, 0600, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        const QString directory = folder.filePath(QStringLiteral("ports"));
        const PortMap map(directory);
        ASSERT_EQ(map.mapNetwork(4, QStringLiteral("tcp://bench-1.lab:2000")), QString());
        ASSERT_EQ(map.map(3, folder.filePath(QStringLiteral("ttyUSB0"))), QString());
        const QString entry = directory + QStringLiteral("/COM4");
        ASSERT_EQ(::chmod(QFile::encodeName(directory).constData(), c.folder), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(entry).constData(), c.entry), 0);
        QStringList expected;
        for (QString line : c.tightened)
            expected << line.replace(QStringLiteral("{d}"), directory).replace(QStringLiteral("{e}"), entry);
        EXPECT_EQ(map.tightenEarlierEntries(), expected);
        EXPECT_EQ(map.tightenEarlierEntries(), QStringList()) << "tightened again";
    }
}

// The dialog over a fake device folder, for the README
// (build/screenshots/ports-dialog.png): each port in its row with its number and
// diagnosis, and the selected one marked in the picture.
TEST_F(PortsDialogTest, PictureOfTheDialogWithFakeDevicesShowsEachPortWithItsNumberAndDiagnosis)
{
    setUpPanelApplication(*qApp);
    for (const auto& device : {Ftdi, Prolific, Cp210x, Onboard}) devices.plug(device);
    QDir(ports.path()).mkpath(QStringLiteral("."));
    ASSERT_TRUE(QFile::link(devices.byIdPathOf(Ftdi.byId), ports.path() + QStringLiteral("/COM3")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/serial/by-id/usb-Gone_Adapter-if00-port0"),
                            ports.path() + QStringLiteral("/COM7")));
    QFile network(ports.path() + QStringLiteral("/COM4"));
    ASSERT_TRUE(network.open(QIODevice::WriteOnly));
    network.write("rfc2217://bench-3.lab:2000\n");
    network.close();
    // Another program has one of them open.
    const int holder = ::open(QFile::encodeName(devices.pathOf(QStringLiteral("ttyUSB2"))).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    open(ports.path());
    const QString held = devices.pathOf(QStringLiteral("ttyUSB2"));
    EXPECT_TRUE(runUntil([&] { return !cell(rowOf(held), PortsDialog::Diagnosis).isEmpty(); }, 5000));
    ::close(holder);
    dialog->resize(1720, 285);
    const int selected = rowOf(devices.pathOf(QStringLiteral("ttyUSB0")));
    table()->selectRow(selected);
    const QImage shot = dialog->grab().toImage();

    const struct { QString device, com, diagnosis; } rows[] = {
        {devices.pathOf(QStringLiteral("ttyACM0")), {}, {}},
        {devices.pathOf(QStringLiteral("ttyUSB0")), QStringLiteral("COM3"), {}},
        {devices.pathOf(QStringLiteral("ttyUSB1")), {}, {}},
        {devices.pathOf(QStringLiteral("ttyUSB2")), {}, QStringLiteral("busy, held by ")},
        {QStringLiteral("rfc2217://bench-3.lab:2000"), QStringLiteral("COM4"), {}},
        {QStringLiteral("/dev/serial/by-id/usb-Gone_Adapter-if00-port0"), QStringLiteral("COM7"),
         QStringLiteral("No such file or directory")},
    };
    ASSERT_EQ(table()->rowCount(), static_cast<int>(std::size(rows)));
    for (int r = 0; r < table()->rowCount(); ++r) {
        EXPECT_EQ(cell(r, PortsDialog::Device), rows[r].device) << r;
        EXPECT_EQ(cell(r, PortsDialog::Com), rows[r].com) << r;
        EXPECT_TRUE(rows[r].diagnosis.isEmpty() == cell(r, PortsDialog::Diagnosis).isEmpty()
                    && cell(r, PortsDialog::Diagnosis).startsWith(rows[r].diagnosis))
            << r << ": " << cell(r, PortsDialog::Diagnosis).toStdString();
        const QRect place = table()->visualItemRect(table()->item(r, PortsDialog::Description));
        const QRgb background = shot.pixel(table()->viewport()->mapTo(dialog.get(), place.topRight() + QPoint(-2, 2)));
        EXPECT_EQ(background == table()->palette().color(QPalette::Highlight).rgb(), r == selected) << r;
    }

    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(shot.save(folder + QStringLiteral("/ports-dialog.png")));
}

TEST_F(PortsDialogTest, ClosesOnEnterAsOnEscape)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        open(ports.path());
        QTest::keyClick(table(), key);
        EXPECT_FALSE(dialog->isVisible()) << key;
    }
}
