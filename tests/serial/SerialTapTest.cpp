#include "Pump.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"
#include "serial/SerialTap.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

namespace {

constexpr int PortNumber = 6;

// Writes what it is told as "sent ...", "in ..." and "dropped ..."; runs of
// dropped bytes that follow each other are joined, since where the line splits
// them depends on how the bytes came in.
class TranscriptTap : public SerialTap {
public:
    void sent(const std::string& bytes) override { add("sent ", bytes); }
    void received(const std::string& message) override
    {
        add("in ", message);
        if (onReceived) onReceived();
    }
    void dropped(const std::string& bytes) override
    {
        if (!lines.empty() && lines.back().rfind("dropped ", 0) == 0)
            lines.back() += bytes;
        else
            add("dropped ", bytes);
    }

    Strings lines;
    std::function<void()> onReceived;

private:
    void add(const char* what, const std::string& bytes) { lines.push_back(what + bytes); }
};

class SerialTapTest : public ::testing::Test {
protected:
    SerialTapTest()
    {
        ports.map(PortNumber, pty.slavePath());
        serial.setPort(PortNumber);
        serial.setDataBits(d8bit);
        serial.setRxEventMode(rxMessage);
    }

    void receiveMessages()
    {
        serial.setOnMessage([this](QObject*, const std::string& message) {
            messages.push_back(message);
            if (tap.lines.empty() || tap.lines.back() != "in " + message) orderBroken = true;
        });
    }

    PortDirectory ports;
    PtyPair pty;
    TSerial serial;
    TranscriptTap tap;
    Strings messages;
    bool orderBroken = false;
};

} // namespace

TEST_F(SerialTapTest, SeesWritesMessagesAndDroppedBytesInLineOrderBeforeTheHandler)
{
    receiveMessages();
    serial.addTap(&tap);
    serial.setActive(true);
    ASSERT_TRUE(serial.Active());

    serial.SendString("\x02" "c=?\x03");
    EXPECT_EQ(pty.receive(5), "\x02" "c=?\x03");
    pty.send("xx\x02" "a=1\x03" "yy\x02" "b\x02" "c=1200\x03" "zz");
    ASSERT_TRUE(pumpUntil([&] { return tap.lines.size() >= 6; }));
    pumpFor(20ms);

    const Strings expected = {
        "sent \x02" "c=?\x03",
        "dropped xx",
        "in \x02" "a=1\x03",
        "dropped yy\x02" "b", // noise, then a message cut short by a new start
        "in \x02" "c=1200\x03",
        "dropped zz",
    };
    EXPECT_EQ(tap.lines, expected);
    EXPECT_EQ(messages, (Strings{"\x02" "a=1\x03", "\x02" "c=1200\x03"}));
    EXPECT_FALSE(orderBroken) << "the handler ran before the tap saw its message";
}

TEST_F(SerialTapTest, EndlessNoiseIsHandedOverInBoundedRuns)
{
    receiveMessages();
    std::vector<std::size_t> runs;
    struct RunTap : SerialTap {
        std::vector<std::size_t>& runs;
        explicit RunTap(std::vector<std::size_t>& r) : runs(r) {}
        void sent(const std::string&) override {}
        void received(const std::string&) override {}
        void dropped(const std::string& bytes) override { runs.push_back(bytes.size()); }
    } runTap(runs);
    serial.addTap(&runTap);
    serial.setActive(true);

    // More than the line holds at once: it is written from another thread while
    // this one serves the hand-offs that drain it.
    const std::size_t noise = 3 * MessageAssembler::MaxMessage + 7;
    auto writer = std::async(std::launch::async, [&] { pty.send(std::string(noise, 'x')); });
    std::size_t total = 0;
    ASSERT_TRUE(pumpUntil([&] {
        total = 0;
        for (std::size_t r : runs) total += r;
        return total == noise;
    }));
    writer.get();
    for (std::size_t r : runs) EXPECT_LE(r, MessageAssembler::MaxMessage);
    serial.removeTap(&runTap);
}

TEST_F(SerialTapTest, LeavesWhatTheHandlerGetsAsItWas)
{
    // The same bytes with and without a tap, one that even throws: the handler
    // gets the same messages; the tap's failure is shown once per call.
    const std::string line = "\x02" "a=1\x03" "junk\x02" "v=27.9\x03";
    fw::ScopedRecordingMessageBoxes boxes;
    struct ThrowingTap : SerialTap {
        void sent(const std::string&) override {}
        void received(const std::string&) override { throw std::runtime_error("tap failed"); }
        void dropped(const std::string&) override {}
    } throwing;

    receiveMessages();
    serial.setActive(true);
    pty.send(line);
    ASSERT_TRUE(pumpUntil([&] { return messages.size() == 2; }));
    const Strings without = messages;

    messages.clear();
    serial.addTap(&throwing);
    serial.addTap(&tap);
    pty.send(line);
    ASSERT_TRUE(pumpUntil([&] { return messages.size() == 2; }));
    EXPECT_EQ(messages, without);
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(tap.lines.size(), 3u) << "the second tap missed something";
}

TEST_F(SerialTapTest, ATapRemovedWhileBeingToldIsToldNothingMore)
{
    receiveMessages();
    TranscriptTap second;
    serial.addTap(&tap);
    serial.addTap(&second);
    // The first tap takes the second one off (a window closing in reaction).
    tap.onReceived = [&] { serial.removeTap(&second); };
    serial.setActive(true);
    pty.send("\x02" "a=1\x03");
    ASSERT_TRUE(pumpUntil([&] { return messages.size() == 1; }));
    pty.send("\x02" "a=2\x03");
    ASSERT_TRUE(pumpUntil([&] { return messages.size() == 2; }));
    EXPECT_EQ(tap.lines.size(), 2u);
    EXPECT_TRUE(second.lines.empty());
}

TEST_F(SerialTapTest, AWriteThatFailsIsNotSeenAsSent)
{
    fw::ScopedRecordingMessageBoxes boxes;
    serial.addTap(&tap);
    serial.SendString("\x02" "c=?\x03"); // the port is closed
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(tap.lines.empty());
}

TEST_F(SerialTapTest, WithoutAMessageHandlerTheTapDoesNotMakeTheComponentRead)
{
    serial.addTap(&tap);
    serial.setActive(true);
    pty.send("\x02" "a=1\x03");
    EXPECT_TRUE(pumpUntil([&] { return serial.RxWaiting() == 5; }));
    pumpFor(20ms);
    EXPECT_TRUE(tap.lines.empty());
}
