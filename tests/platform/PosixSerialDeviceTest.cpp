#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "VerifyingTcsetattr.h"
#include "platform/PosixSerialDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using namespace std::string_literals;
using platform::DeviceControl;
using platform::PosixSerialDevice;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t AllEvents = 0x17D;

DeviceControl line(std::uint32_t baud = 9600)
{
    DeviceControl settings;
    settings.BaudRate = baud;
    settings.fBinary = true;
    settings.ByteSize = 8;
    settings.XonChar = '\x11';
    settings.XoffChar = '\x13';
    return settings;
}

long elapsedMs(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class PosixSerialDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ports.map(5, pty.slavePath());
        ASSERT_EQ(device.open("COM5"), 0);
        ASSERT_EQ(device.applySettings(line()), 0);
        ASSERT_EQ(device.setEventMask(AllEvents), 0);
    }

    // Waits on another thread; the future holds {result, events}.
    std::future<std::pair<int, std::uint32_t>> waitAsync()
    {
        return std::async(std::launch::async, [this] {
            std::uint32_t events = 0;
            const int result = device.wait(events);
            return std::make_pair(result, events);
        });
    }

    // Waits and reads until `count` bytes have come or two seconds have passed.
    std::string receive(std::size_t count)
    {
        std::string got;
        const auto start = Clock::now();
        while (got.size() < count && elapsedMs(start) < 2000) {
            std::uint32_t events = 0;
            EXPECT_EQ(device.wait(events), 0);
            char buffer[64];
            std::size_t read = 0;
            EXPECT_EQ(device.read(buffer, sizeof buffer, read), 0);
            got.append(buffer, read);
        }
        return got;
    }

    PortDirectory ports;
    PtyPair pty;
    PosixSerialDevice device;
};

} // namespace

TEST_F(PosixSerialDeviceTest, OpensExclusively)
{
    PosixSerialDevice second;
    EXPECT_EQ(second.open("COM5"), EBUSY);
    EXPECT_FALSE(second.isOpen());
    ASSERT_EQ(device.close(), 0);
    EXPECT_EQ(second.open("COM5"), 0);
}

TEST_F(PosixSerialDeviceTest, ANameWithoutADeviceIsMissing)
{
    ports.map(6, "/no/such/device");
    PosixSerialDevice other;
    EXPECT_EQ(other.open("COM42"), ENOENT);
    EXPECT_EQ(other.open("COM6"), ENOENT);
    EXPECT_EQ(other.open("LPT1"), ENOENT);
}

// A pty keeps what the kernel keeps for any tty, except that it stores CS7 as
// CS8 and drops PARENB; PARODD and CMSPAR survive and tell the parity mode.
TEST_F(PosixSerialDeviceTest, AppliesTheLineSettingsOfTheRecord)
{
    struct Case {
        const char* name;
        DeviceControl settings;
        tcflag_t cflagSet;
        tcflag_t cflagClear;
        tcflag_t iflagSet;
        tcflag_t iflagClear;
    };
    auto with = [](auto change) {
        DeviceControl settings = line();
        change(settings);
        return settings;
    };
    const Case cases[] = {
        {"8N1", line(), CS8 | CLOCAL | CREAD, CSTOPB | CRTSCTS | PARODD | CMSPAR, 0, IXON | IXOFF | INPCK | PARMRK},
        {"odd", with([](auto& s) { s.Parity = platform::OddParity; }), PARODD, CMSPAR, 0, 0},
        {"even", with([](auto& s) { s.Parity = platform::EvenParity; }), 0, PARODD | CMSPAR, 0, 0},
        {"mark", with([](auto& s) { s.Parity = platform::MarkParity; }), PARODD | CMSPAR, 0, 0, 0},
        {"space", with([](auto& s) { s.Parity = platform::SpaceParity; }), CMSPAR, PARODD, 0, 0},
        {"seven bits (a pty keeps CS8)", with([](auto& s) { s.ByteSize = 7; }), CS8, PARENB, 0, 0},
        {"two stop bits", with([](auto& s) { s.StopBits = platform::TwoStopBits; }), CSTOPB, 0, 0, 0},
        {"RTS/CTS", with([](auto& s) { s.fOutxCtsFlow = true; s.fRtsControl = platform::LineHandshake; }),
         CRTSCTS, 0, 0, IXON | IXOFF},
        {"XON/XOFF", with([](auto& s) { s.fOutX = s.fInX = true; }), 0, CRTSCTS, IXON | IXOFF, IXANY},
        {"parity check", with([](auto& s) { s.fParity = true; }), 0, 0, INPCK | PARMRK, IGNPAR | ISTRIP},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(device.applySettings(c.settings), 0) << c.name;
        const termios t = pty.settings();
        EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet) << c.name;
        EXPECT_EQ(t.c_cflag & c.cflagClear, 0u) << c.name;
        EXPECT_EQ(t.c_iflag & c.iflagSet, c.iflagSet) << c.name;
        EXPECT_EQ(t.c_iflag & c.iflagClear, 0u) << c.name;
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u) << c.name;
        EXPECT_EQ(t.c_cc[VMIN], 0) << c.name;
        EXPECT_EQ(t.c_cc[VTIME], 0) << c.name;
        EXPECT_EQ(t.c_cc[VSTART], '\x11') << c.name;
        EXPECT_EQ(t.c_cc[VSTOP], '\x13') << c.name;
    }
}

TEST_F(PosixSerialDeviceTest, SetsEveryRateOfTheTable)
{
    for (std::uint32_t baud : {300u, 600u, 1200u, 2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 57600u, 115200u}) {
        ASSERT_EQ(device.applySettings(line(baud)), 0) << baud;
        EXPECT_EQ(pty.outputRate(), static_cast<long>(baud));
    }
    EXPECT_EQ(device.applySettings(line(0)), EINVAL);
}

TEST_F(PosixSerialDeviceTest, AnswersWhatAPtyCannotDoWithItsOwnError)
{
    std::uint32_t status = 0;
    EXPECT_EQ(device.modemStatus(status), ENOTTY);
    EXPECT_EQ(device.setControlLine(platform::ControlLine::Dtr, true), ENOTTY);
    EXPECT_EQ(device.setControlLine(platform::ControlLine::Rts, false), ENOTTY);
    ASSERT_EQ(device.write("abc", 3, 1000), 0);
    platform::CommStatus counts;
    ASSERT_EQ(device.queueCounts(counts), 0);
    EXPECT_EQ(counts.cbOutQue, 0u); // a pty never reports queued output
    EXPECT_EQ(pty.receive(3), "abc");
}

TEST_F(PosixSerialDeviceTest, DeliversBytesAsReceivedWithAndWithoutParityCheck)
{
    const std::string sent = "A\xFF\0\xFF\xFF" "B"s;
    for (bool check : {false, true}) {
        DeviceControl settings = line();
        settings.fParity = check;
        ASSERT_EQ(device.applySettings(settings), 0);
        pty.send(sent);
        EXPECT_EQ(receive(sent.size()), sent) << "parity check " << check;
    }
}

// A pty keeps CS8 and drops PARENB; a C library that reads the line back calls
// that EINVAL, though the kernel took everything else, parity marking included.
TEST_F(PosixSerialDeviceTest, ALineThatDropsSevenBitsOrParityCountsAsSetAndDeliversBytesAsReceived)
{
    VerifyingTcsetattr verifying;
    struct Case {
        const char* name;
        std::uint8_t byteSize;
        std::uint8_t parity;
        bool check;
    };
    const Case cases[] = {
        {"seven bits, parity check", 7, platform::NoParity, true},
        {"eight bits, even parity, parity check", 8, platform::EvenParity, true},
        {"seven bits, odd parity, no check", 7, platform::OddParity, false},
        {"seven bits, mark parity, parity check", 7, platform::MarkParity, true},
    };
    const std::string sent = "A\xFF\0\xFF\xFF" "B"s;
    for (const Case& c : cases) {
        DeviceControl settings = line();
        settings.ByteSize = c.byteSize;
        settings.Parity = c.parity;
        settings.fParity = c.check;
        EXPECT_EQ(device.applySettings(settings), 0) << c.name;
        EXPECT_EQ((pty.settings().c_iflag & PARMRK) != 0, c.check) << c.name;
        pty.send(sent);
        EXPECT_EQ(receive(sent.size()), sent) << c.name;
    }
}

TEST_F(PosixSerialDeviceTest, ReportsEachArrivalOnceAndCountsWhatIsQueued)
{
    pty.send("0123456789");
    std::uint32_t events = 0;
    ASSERT_EQ(device.wait(events), 0);
    EXPECT_EQ(events, platform::EvRxChar);

    platform::CommStatus counts;
    ASSERT_EQ(device.queueCounts(counts), 0);
    EXPECT_EQ(counts.cbInQue, 10u);
    char buffer[4];
    std::size_t count = 0;
    ASSERT_EQ(device.read(buffer, sizeof buffer, count), 0);
    EXPECT_EQ(std::string(buffer, count), "0123");
    ASSERT_EQ(device.queueCounts(counts), 0);
    EXPECT_EQ(counts.cbInQue, 6u);

    // The unread bytes are not announced again: the next wait waits for news.
    const unsigned long before = device.wakeups();
    auto waiting = waitAsync();
    EXPECT_EQ(waiting.wait_for(200ms), std::future_status::timeout);
    pty.send("x");
    ASSERT_EQ(waiting.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), std::make_pair(0, std::uint32_t{platform::EvRxChar}));
    EXPECT_LT(device.wakeups() - before, 5u);
}

TEST_F(PosixSerialDeviceTest, AFullInputQueueLeavesTheRestInTheKernelWithoutSpinning)
{
    ASSERT_EQ(device.setupQueues(256, 256), 0);
    pty.send(std::string(1000, 'q'));
    std::uint32_t events = 0;
    ASSERT_EQ(device.wait(events), 0);

    const unsigned long before = device.wakeups();
    auto waiting = waitAsync();
    EXPECT_EQ(waiting.wait_for(200ms), std::future_status::timeout);
    EXPECT_LT(device.wakeups() - before, 5u);

    // Reading makes room; what the kernel kept comes in and is announced.
    std::string got;
    char buffer[256];
    std::size_t count = 0;
    ASSERT_EQ(device.read(buffer, sizeof buffer, count), 0);
    got.append(buffer, count);
    ASSERT_EQ(waiting.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(waiting.get().second, std::uint32_t{platform::EvRxChar});
    while (got.size() < 1000) {
        ASSERT_EQ(device.read(buffer, sizeof buffer, count), 0);
        if (count == 0) {
            ASSERT_EQ(device.wait(events), 0);
            continue;
        }
        got.append(buffer, count);
    }
    EXPECT_EQ(got, std::string(1000, 'q'));
}

TEST_F(PosixSerialDeviceTest, SleepsUntilReleasedAndThenReturnsAtOnce)
{
    auto waiting = waitAsync();
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    // Nothing happens on the line: no return and no wake-up in four seconds.
    const unsigned long before = device.wakeups();
    EXPECT_EQ(waiting.wait_for(4s), std::future_status::timeout);
    EXPECT_EQ(device.wakeups(), before);
    const auto released = Clock::now();
    ASSERT_EQ(device.release(), 0);
    ASSERT_EQ(waiting.wait_for(1s), std::future_status::ready);
    EXPECT_LT(elapsedMs(released), 100);
    EXPECT_EQ(waiting.get(), std::make_pair(0, std::uint32_t{0}));
}

TEST_F(PosixSerialDeviceTest, AReleaseBeforeTheWaitStillCounts)
{
    ASSERT_EQ(device.release(), 0);
    pty.send("late");
    std::uint32_t events = 0xFFFF;
    const auto start = Clock::now();
    EXPECT_EQ(device.wait(events), 0);
    EXPECT_EQ(events, 0u);
    EXPECT_LT(elapsedMs(start), 100);
}

TEST_F(PosixSerialDeviceTest, AVanishedDeviceIsReportedOnceAndNoLongerPolled)
{
    auto waiting = waitAsync();
    const auto unplugged = Clock::now();
    pty.closeMaster();
    ASSERT_EQ(waiting.wait_for(1s), std::future_status::ready);
    EXPECT_LT(elapsedMs(unplugged), 100);
    const int error = waiting.get().first;
    EXPECT_TRUE(error == ENODEV || error == EIO) << error;

    const unsigned long before = device.wakeups();
    auto again = waitAsync();
    EXPECT_EQ(again.wait_for(300ms), std::future_status::timeout);
    EXPECT_LT(device.wakeups() - before, 10u);

    const auto writing = Clock::now();
    EXPECT_NE(device.write("x", 1, 1000), 0);
    EXPECT_LT(elapsedMs(writing), 100);

    ASSERT_EQ(device.release(), 0);
    ASSERT_EQ(again.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(again.get(), std::make_pair(0, std::uint32_t{0}));
    EXPECT_EQ(device.close(), 0);
}

TEST_F(PosixSerialDeviceTest, TellsWhenTheOutputHasDrainedAfterAWrite)
{
    ASSERT_EQ(device.write("ping", 4, 1000), 0);
    std::uint32_t events = 0;
    ASSERT_EQ(device.wait(events), 0);
    EXPECT_EQ(events, std::uint32_t{platform::EvTxEmpty});
    EXPECT_EQ(pty.receive(4), "ping");
}

TEST_F(PosixSerialDeviceTest, WritesEveryByteOfALongText)
{
    std::string text(200000, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
    auto reader = std::async(std::launch::async, [&] { return pty.receive(text.size(), 5s); });
    EXPECT_EQ(device.write(text.data(), text.size(), 5000), 0);
    EXPECT_EQ(reader.get(), text);
}

TEST_F(PosixSerialDeviceTest, AWriteTheLineDoesNotTakeTimesOutAndClosingDoesNotHang)
{
    const std::string text(1 << 20, 'w'); // far more than the pty buffers
    const auto start = Clock::now();
    EXPECT_EQ(device.write(text.data(), text.size(), 100), ETIMEDOUT);
    EXPECT_LT(elapsedMs(start), 1000);
    const auto closing = Clock::now();
    EXPECT_EQ(device.close(), 0);
    EXPECT_LT(elapsedMs(closing), 1000);
}

TEST_F(PosixSerialDeviceTest, ClosedDeviceRefusesEveryOperation)
{
    ASSERT_EQ(device.close(), 0);
    std::uint32_t value = 0;
    std::size_t count = 0;
    char byte = 0;
    platform::CommStatus counts;
    EXPECT_EQ(device.wait(value), EBADF);
    EXPECT_EQ(device.read(&byte, 1, count), EBADF);
    EXPECT_EQ(device.write("x", 1, 10), EBADF);
    EXPECT_EQ(device.queueCounts(counts), EBADF);
    EXPECT_EQ(device.applySettings(line()), EBADF);
    EXPECT_EQ(device.close(), EBADF);
}
