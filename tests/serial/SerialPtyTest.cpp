#include "Pump.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"
#include "tests/testkit/WaitWithoutEvents.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace std::string_literals;
using fw::ScopedRecordingMessageBoxes;
using Strings = std::vector<std::string>;

namespace {

constexpr int PortNumber = 5;

std::size_t entries(const char* directory)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++count;
    return count;
}

// A component on COM5, which the port directory maps to a fresh pty.
class PtySerial : public ::testing::Test {
protected:
    PtySerial()
    {
        ports.map(PortNumber, pty.slavePath());
        serial.setPort(PortNumber);
        serial.setDataBits(d8bit);
    }

    void receiveMessages()
    {
        serial.setRxEventMode(rxMessage);
        serial.setOnMessage([this](QObject* sender, const std::string& message) {
            EXPECT_EQ(sender, &serial);
            messages.push_back(message);
        });
    }

    // Serves hand-offs until the component has taken every byte sent.
    void settle()
    {
        EXPECT_TRUE(pumpUntil([this] { return serial.RxWaiting() == 0; }));
        pumpFor(20ms);
    }

    PortDirectory ports;
    PtyPair pty;
    TSerial serial;
    Strings messages;
};

} // namespace

TEST_F(PtySerial, OpensSetsTheLineWritesAndClosesARealPort)
{
    serial.setActive(true);
    ASSERT_TRUE(serial.Active());
    EXPECT_EQ(serial.ErrorCode(), 0);
    termios line = pty.settings();
    EXPECT_EQ(pty.outputRate(), 9600);
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(line.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_iflag & (INPCK | PARMRK), tcflag_t{INPCK | PARMRK});

    serial.SendString("\x02" "c=?\x03");
    EXPECT_EQ(pty.receive(5), "\x02" "c=?\x03");

    serial.setBaudrate(14400);
    EXPECT_TRUE(serial.Active());
    EXPECT_EQ(pty.outputRate(), 14400);
    serial.setFlowMode(fcRTS_CTS);
    EXPECT_EQ(pty.settings().c_cflag & CRTSCTS, tcflag_t{CRTSCTS});

    serial.setActive(false);
    EXPECT_FALSE(serial.Active());
    EXPECT_EQ(serial.RxWaiting(), 0);
    serial.setActive(true);
    EXPECT_TRUE(serial.Active());
    EXPECT_EQ(serial.ErrorCode(), 0);
}

TEST_F(PtySerial, ASecondComponentOnTheSamePortIsRefusedAsBusy)
{
    serial.setActive(true);
    ScopedRecordingMessageBoxes boxes;
    TSerial second;
    second.setPort(PortNumber);
    second.setActive(true);
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(second.ErrorCode(), EBUSY);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Device or resource busy"));

    serial.setActive(false);
    second.setActive(true);
    EXPECT_TRUE(second.Active());
}

TEST_F(PtySerial, SendStringPutsEveryByteOnTheLine)
{
    serial.setActive(true);
    std::string text(5000, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i % 251);
    auto reader = std::async(std::launch::async, [&] { return pty.receive(text.size() + 1, 3s); });
    serial.SendString(text);
    serial.SendString("");
    serial.SendString("!");
    EXPECT_EQ(reader.get(), text + "!");
    EXPECT_EQ(serial.ErrorCode(), 0);
}

TEST(PtyMessages, AreAssembledFromWhatArrivesOnTheLine)
{
    struct Case {
        const char* name;
        std::string sent;
        Strings expected;
        char start = '\x02';
        char end = '\x03';
        std::uint16_t append = 0;
    };
    const Case cases[] = {
        {"one frame", "\x02" "A=1\x03", {"\x02" "A=1\x03"}},
        {"junk before the start", "junk\x03" "\x02" "A=1\x03", {"\x02" "A=1\x03"}},
        {"two frames in one burst", "\x02" "c=1234\x03\x02" "v=28\x03", {"\x02" "c=1234\x03", "\x02" "v=28\x03"}},
        {"a start restarts", "\x02" "A\x02" "B\x03", {"\x02" "B\x03"}},
        {"appended bytes", "\x02" "A\x03xyz", {"\x02" "A\x03xy"}, '\x02', '\x03', 2},
        {"start and end among appended bytes", "\x02" "A\x03\x03\x02", {"\x02" "A\x03\x03\x02"}, '\x02', '\x03', 2},
        {"equal start and end", "|A|B|", {}, '|', '|'},
        {"zero and 0xFF bytes inside", "\x02" "a\0b\xFF\xFF" "c\x03"s, {"\x02" "a\0b\xFF\xFF" "c\x03"s}},
    };
    for (const Case& c : cases) {
        PortDirectory ports;
        PtyPair pty;
        ports.map(PortNumber, pty.slavePath());
        TSerial serial;
        serial.setPort(PortNumber);
        serial.setDataBits(d8bit);
        serial.setRxEventMode(rxMessage);
        serial.setMessageStartChar(c.start);
        serial.setMessageEndChar(c.end);
        serial.setMessageAppendCount(c.append);
        Strings messages;
        serial.setOnMessage([&](QObject*, const std::string& message) { messages.push_back(message); });
        serial.setActive(true);
        ASSERT_TRUE(serial.Active()) << c.name;
        pty.send(c.sent);
        EXPECT_TRUE(pumpUntil([&] { return messages.size() >= c.expected.size() && serial.RxWaiting() == 0; }))
            << c.name;
        pumpFor(20ms);
        EXPECT_EQ(messages, c.expected) << c.name;
    }
}

TEST_F(PtySerial, WithoutAMessageHandlerNothingIsReadAndTheBytesWait)
{
    serial.setRxEventMode(rxMessage);
    serial.setActive(true);
    pty.send("\x02" "AB");
    EXPECT_TRUE(pumpUntil([&] { return serial.RxWaiting() == 3; }));
    pty.send("C");
    EXPECT_TRUE(pumpUntil([&] { return serial.RxWaiting() == 4; }));

    receiveMessages();
    pty.send("\x03");
    ASSERT_TRUE(pumpUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(messages, Strings{"\x02" "ABC\x03"});
    EXPECT_EQ(serial.RxWaiting(), 0);
}

TEST_F(PtySerial, AMessageHalfReceivedWhenThePortClosesIsContinuedAfterReopening)
{
    receiveMessages();
    serial.setActive(true);
    pty.send("\x02" "A=");
    settle();
    serial.setActive(false);
    serial.setActive(true);
    pty.send("1\x03");
    ASSERT_TRUE(pumpUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(messages, Strings{"\x02" "A=1\x03"});
}

TEST_F(PtySerial, InNormalModeTheHandlerIsToldOfDataAndReadsItItself)
{
    std::string got;
    int announced = 0;
    serial.setOnRxData([&](QObject*) {
        ++announced;
        std::uint8_t byte = 0;
        while (serial.ReadByte(byte) == 1) got.push_back(static_cast<char>(byte));
    });
    serial.setActive(true);
    pty.send("hello");
    ASSERT_TRUE(pumpUntil([&] { return got.size() == 5; }));
    pty.send(" world");
    ASSERT_TRUE(pumpUntil([&] { return got.size() == 11; }));
    EXPECT_EQ(got, "hello world");
    EXPECT_GE(announced, 2);
    EXPECT_EQ(serial.RxWaiting(), 0);
}

TEST_F(PtySerial, AVanishedLineIsReportedOnceAndThePortCloses)
{
    ScopedRecordingMessageBoxes boxes;
    serial.setActive(true);
    pumpFor(10ms);
    pty.closeMaster();
    ASSERT_TRUE(pumpUntil([&] { return !boxes.shown.empty(); }, 1000ms));
    pumpFor(300ms);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_FALSE(serial.Active());
    EXPECT_TRUE(serial.ErrorCode() == ENODEV || serial.ErrorCode() == EIO) << serial.ErrorCode();

    const auto start = std::chrono::steady_clock::now();
    serial.SendString("\x02" "c=?\x03");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_EQ(serial.ErrorCode(), EBADF);
    EXPECT_EQ(boxes.shown.size(), 2u);
}

// A real box runs its own event loop, in which the event thread's hand-offs are
// served.
class ModalRecordingBoxes : public ScopedRecordingMessageBoxes {
public:
    fw::MsgResult show(const QString& text, const QString& caption, fw::MsgButtons buttons, fw::MsgIcon icon) override
    {
        const fw::MsgResult result = ScopedRecordingMessageBoxes::show(text, caption, buttons, icon);
        pumpFor(100ms);
        return result;
    }
};

TEST_F(PtySerial, AWriteToAVanishedLineIsReportedOnceWithWhatTheEventThreadSaw)
{
    ModalRecordingBoxes boxes;
    serial.setActive(true);
    pumpFor(10ms);
    pty.closeMaster();
    // The event thread sees the line go and waits, unserved, to hand that over.
    ASSERT_TRUE(waitWithoutEvents([&] { return serial.PendingHandOffs() == 1; }));
    serial.SendString("\x02" "c=?\x03");
    pumpFor(200ms);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_FALSE(serial.Active());
    EXPECT_TRUE(serial.ErrorCode() == ENODEV || serial.ErrorCode() == EIO) << serial.ErrorCode();
}

TEST_F(PtySerial, AThousandOpeningsLeaveNoDescriptorsOrThreadsBehind)
{
    serial.setActive(true); // starts the event thread
    serial.setActive(false);
    const std::size_t descriptors = entries("/proc/self/fd");
    const std::size_t threads = entries("/proc/self/task");
    for (int i = 0; i < 1000; ++i) {
        serial.setActive(true);
        ASSERT_TRUE(serial.Active()) << i;
        serial.setActive(false);
    }
    EXPECT_EQ(entries("/proc/self/fd"), descriptors);
    EXPECT_EQ(entries("/proc/self/task"), threads);
    EXPECT_EQ(serial.ErrorCode(), 0);
}
