#include "platform/OpenDiagnosis.h"
#include "platform/PosixSerialDevice.h"
#include "serial/Serial2.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <cerrno>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens COM<number> as the panel does; the error it recorded, or 0.
int openAsThePanelDoes(int number)
{
    TSerial serial;
    serial.setNotifyErrors(neNone);
    serial.setPort(static_cast<sPorts>(number));
    serial.setActive(true);
    return serial.Active() ? 0 : serial.ErrorCode();
}

::testing::AssertionResult Has(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\" lacks \"" << part << "\"";
}

} // namespace

TEST(OpenFailureDiagnosis, BusyNamesTheProcessThatHoldsTheDevice)
{
    PortDirectory ports;
    PtyPair pty;
    ports.map(4, pty.slavePath());
    platform::PosixSerialDevice holder;
    ASSERT_EQ(holder.open("COM4"), 0);

    const int error = openAsThePanelDoes(4);
    ASSERT_EQ(error, EBUSY);
    const auto d = platform::diagnoseOpenFailure("COM4", error);
    const std::string pid = "pid " + std::to_string(::getpid());
    EXPECT_TRUE(Has(d.summary, "COM4 \u2192 " + pty.slavePath()));
    EXPECT_TRUE(Has(d.summary, pid));
    EXPECT_TRUE(Has(d.detail, pid));
    EXPECT_TRUE(Has(d.detail, "serial_tests"));
}

TEST(OpenFailureDiagnosis, AMissingDeviceNamesWhereThePortLedAndThePortDirectory)
{
    PortDirectory ports;
    ports.map(9, "/dev/serial/by-id/usb-Gone_Adapter-if00-port0");

    const int error = openAsThePanelDoes(9);
    ASSERT_EQ(error, ENOENT);
    const auto d = platform::diagnoseOpenFailure("COM9", error);
    EXPECT_TRUE(Has(d.summary, "COM9 \u2192 /dev/serial/by-id/usb-Gone_Adapter-if00-port0"));
    EXPECT_TRUE(Has(d.summary, "Setup \u2192 Ports\u2026"));
    EXPECT_TRUE(Has(d.detail, "The port directory is " + ports.path()));

    // A number above 9 without an entry leads nowhere at all.
    const auto unmapped = platform::diagnoseOpenFailure("COM42", openAsThePanelDoes(42));
    EXPECT_TRUE(Has(unmapped.summary, "COM42: not in the port directory"));
    EXPECT_TRUE(Has(unmapped.detail, ports.path()));
}

TEST(OpenFailureDiagnosis, PermissionDeniedNamesTheGroupAndHowToJoinIt)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a device to the dialout group";
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    PortDirectory ports;
    ::chmod(ports.path().c_str(), 0755); // the child, as nobody, must read the mapping
    PtyPair pty;
    ASSERT_EQ(::chown(pty.slavePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0660), 0);
    ports.map(7, pty.slavePath());

    QProcess child;
    child.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                             QStringLiteral("--clear-groups"), QStringLiteral(OPEN_PROBE_PATH),
                                             QStringLiteral("COM7")});
    ASSERT_TRUE(child.waitForFinished(10000));
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n');
    ASSERT_GE(lines.size(), 3) << child.readAllStandardError().toStdString();
    EXPECT_EQ(lines[0].toInt(), EACCES);
    const std::string summary = lines[1].toStdString();
    const std::string detail = lines.mid(2).join(u'\n').toStdString();
    EXPECT_TRUE(Has(summary, "COM7 \u2192 " + pty.slavePath()));
    EXPECT_TRUE(Has(summary, "sudo usermod -aG dialout $USER, then log in again"));
    EXPECT_TRUE(Has(detail, "belongs to the group dialout (crw-rw----)"));

    // A mode that gives the group nothing: joining it would not help, and the
    // diagnosis says so instead.
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0600), 0);
    const auto d = platform::diagnoseOpenFailure("COM7", EACCES);
    EXPECT_TRUE(Has(d.summary, "crw------- gives the group dialout no access"));
    EXPECT_FALSE(Has(d.detail, "usermod"));
}
