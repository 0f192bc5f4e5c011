#include "Pump.h"
#include "ScriptedDevice.h"
#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/WaitWithoutEvents.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using fw::ScopedRecordingMessageBoxes;
using Strings = std::vector<std::string>;

namespace {

// Records boxes and the thread each one was shown on.
class ThreadRecordingBoxes : public ScopedRecordingMessageBoxes {
public:
    fw::MsgResult show(const QString& text, const QString& caption, fw::MsgButtons buttons, fw::MsgIcon icon) override
    {
        threads.push_back(std::this_thread::get_id());
        return ScopedRecordingMessageBoxes::show(text, caption, buttons, icon);
    }
    std::vector<std::thread::id> threads;
};

// A component on a scripted port, opened, with every event recorded in order.
class ScriptedSerial : public ::testing::Test {
protected:
    void SetUp() override
    {
        serial.setOnSignalChange([this](QObject* sender, eModemInSignal signal, bool state) {
            EXPECT_EQ(sender, &serial);
            static const char* names[] = {"CTS", "DSR", "DCD"};
            std::string entry = std::string(names[signal]) + (state ? " on" : " off");
            if (signal == msDCD) entry += serial.DCDState() ? " (DCDState on)" : " (DCDState off)";
            record(entry);
        });
        serial.setOnTxEmpty([this](QObject*) { record("TxEmpty"); });
        serial.setOnBreak([this](QObject*) { record("Break"); });
        serial.setOnRing([this](QObject*) { record("Ring"); });
        serial.setOnRxData([this](QObject*) { record("RxData"); });
        serial.setActive(true);
        ASSERT_TRUE(serial.Active());
    }

    void record(std::string entry)
    {
        EXPECT_EQ(std::this_thread::get_id(), windowThread);
        seen.push_back(std::move(entry));
    }

    ScriptedDevice& device() { return ports.last(); }

    // Opens the port again and waits for a Ring from the new one: the thread has
    // left the old port by then, and whatever it handed over from it has come.
    void reopenAndSeeARing()
    {
        serial.setActive(true);
        device().raise(platform::EvRing);
        ASSERT_TRUE(pumpUntil([&] { return !seen.empty() && seen.back() == "Ring"; }));
    }

    const std::thread::id windowThread = std::this_thread::get_id();
    ScriptedPorts ports;
    TSerial serial{nullptr, ports.factory()};
    Strings seen;
};

} // namespace

TEST_F(ScriptedSerial, EventsOfOneWaitAreHandedOverInTheirFixedOrder)
{
    device().setModemStatus(platform::MsCtsOn | platform::MsRlsdOn);
    device().raise(platform::EvRxChar | platform::EvRing | platform::EvBreak | platform::EvTxEmpty
                   | platform::EvRlsd | platform::EvDsr | platform::EvCts);
    ASSERT_TRUE(pumpUntil([&] { return seen.size() == 7; }));
    const Strings expected = {"CTS on", "DSR off", "DCD on (DCDState on)", "TxEmpty", "Break", "Ring", "RxData"};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(serial.DCDState());
}

TEST_F(ScriptedSerial, ModemLineChangesCarryTheNewState)
{
    const struct {
        std::uint32_t event;
        std::uint32_t status;
        int error;
        const char* expected;
    } steps[] = {
        {platform::EvCts, platform::MsCtsOn, 0, "CTS on"},
        {platform::EvCts, 0, 0, "CTS off"},
        {platform::EvDsr, platform::MsDsrOn, 0, "DSR on"},
        {platform::EvRlsd, platform::MsRlsdOn, 0, "DCD on (DCDState on)"},
        // A status that cannot be read keeps the last known state.
        {platform::EvDsr, 0, EIO, "DSR on"},
        {platform::EvRlsd, 0, EIO, "DCD on (DCDState on)"},
        {platform::EvRlsd, 0, 0, "DCD off (DCDState off)"},
    };
    // TxEmpty is handed over after the signals of its wait: once it is seen, the signal has had its turn.
    for (const auto& step : steps) {
        seen.clear();
        device().setModemStatus(step.status, step.error);
        device().raise(step.event | platform::EvTxEmpty);
        ASSERT_TRUE(pumpUntil([&] { return !seen.empty() && seen.back() == "TxEmpty"; })) << step.expected;
        EXPECT_EQ(seen, (Strings{step.expected, "TxEmpty"}));
    }
}

TEST_F(ScriptedSerial, AnEventWithoutAHandlerIsHandedOverAndDropped)
{
    serial.setOnBreak(nullptr);
    serial.setOnRing(nullptr);
    // RxData comes last of a wait's events: once it is seen, Break and Ring have had their turn.
    device().raise(platform::EvBreak | platform::EvRing | platform::EvTxEmpty | platform::EvRxChar);
    ASSERT_TRUE(pumpUntil([&] { return !seen.empty() && seen.back() == "RxData"; }));
    EXPECT_EQ(seen, (Strings{"TxEmpty", "RxData"}));
}

TEST_F(ScriptedSerial, AFailingWaitIsReportedOnceOnTheWindowThreadAndClosesThePort)
{
    ThreadRecordingBoxes boxes;
    device().failWaits(EIO);
    ASSERT_TRUE(pumpUntil([&] { return !boxes.shown.empty(); }));
    EXPECT_EQ(serial.ErrorCode(), EIO);
    EXPECT_FALSE(serial.Active());
    ScriptedDevice& failed = device();
    EXPECT_EQ(failed.calls().back(), "close");
    reopenAndSeeARing();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Input/output error"));
    EXPECT_EQ(boxes.threads[0], windowThread);
    EXPECT_EQ(failed.waits(), 1);
}

TEST_F(ScriptedSerial, AFailingReadIsReportedOnceAndClosesThePort)
{
    int errors = 0;
    std::thread::id reportedOn;
    serial.setNotifyErrors(neEvent);
    serial.setOnError([&](QObject*) {
        ++errors;
        reportedOn = std::this_thread::get_id();
    });
    serial.setRxEventMode(rxMessage);
    serial.setOnMessage([&](QObject*, const std::string&) { record("Message"); });
    device().failReads(ENXIO);
    device().receive("\x02" "A\x03");
    ASSERT_TRUE(pumpUntil([&] { return errors > 0; }));
    EXPECT_EQ(serial.ErrorCode(), ENXIO);
    EXPECT_FALSE(serial.Active());
    reopenAndSeeARing();
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(reportedOn, windowThread);
    EXPECT_EQ(seen, Strings{"Ring"});
}

TEST_F(ScriptedSerial, AHandlerThatThrowsIsReportedAndTheNextMessageStillComes)
{
    ScopedRecordingMessageBoxes boxes;
    serial.setRxEventMode(rxMessage);
    Strings messages;
    serial.setOnMessage([&](QObject*, const std::string& message) {
        messages.push_back(message);
        if (messages.size() == 1) throw std::runtime_error("bad frame");
    });
    device().receive("\x02" "A\x03\x02" "B\x03");
    ASSERT_TRUE(pumpUntil([&] { return messages.size() == 2; }));
    EXPECT_EQ(messages, (Strings{"\x02" "A\x03", "\x02" "B\x03"}));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("bad frame"));
    EXPECT_EQ(boxes.shown[0].caption, fw::Application::instance().title());
    EXPECT_TRUE(serial.Active());
}

TEST_F(ScriptedSerial, AHandlerMayCloseOrReopenThePort)
{
    serial.setRxEventMode(rxMessage);
    Strings messages;
    serial.setOnMessage([&](QObject*, const std::string& message) {
        messages.push_back(message);
        serial.setActive(message == "\x02" "reopen\x03");
    });

    device().receive("\x02" "reopen\x03\x02" "lost\x03");
    ASSERT_TRUE(pumpUntil([&] { return ports.made.size() == 2; }, 1000ms));
    EXPECT_TRUE(serial.Active());
    EXPECT_EQ(ports.made[0]->calls().back(), "close");

    // What followed on the old port in the same burst is not delivered, not even before the new port's frame.
    device().receive("\x02" "close\x03");
    ASSERT_TRUE(pumpUntil([&] { return messages.size() >= 2; }, 1000ms));
    EXPECT_EQ(messages, (Strings{"\x02" "reopen\x03", "\x02" "close\x03"}));
    EXPECT_FALSE(serial.Active());
    EXPECT_EQ(ports.made.size(), 2u);
    EXPECT_EQ(ports.made[1]->calls().back(), "close");
}

TEST_F(ScriptedSerial, ClosingWhileAHandOffIsPendingDropsItAndReturnsAtOnce)
{
    serial.setRxEventMode(rxMessage);
    Strings messages;
    serial.setOnMessage([&](QObject*, const std::string& message) { messages.push_back(message); });
    device().receive("\x02" "A\x03");
    // The thread reads the frame and blocks handing it over, unserved.
    ASSERT_TRUE(waitWithoutEvents([&] { return device().inputEmpty() && serial.PendingHandOffs() == 1; }));

    const auto start = std::chrono::steady_clock::now();
    serial.setActive(false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    ASSERT_TRUE(serveWhatIsQueued());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(device().calls().back(), "close");

    // The thread has left the old port and serves a new one.
    serial.setActive(true);
    device().receive("\x02" "B\x03");
    ASSERT_TRUE(pumpUntil([&] { return messages.size() == 1; }));
    EXPECT_EQ(messages[0], "\x02" "B\x03");
}

TEST(TSerialLifetime, DestroyingTheComponentWhileAHandOffIsPendingIsSafe)
{
    ScriptedPorts ports;
    bool ran = false;
    {
        TSerial serial(nullptr, ports.factory());
        serial.setRxEventMode(rxMessage);
        serial.setOnMessage([&](QObject*, const std::string&) { ran = true; });
        serial.setActive(true);
        ports.last().receive("\x02" "A\x03");
        ASSERT_TRUE(waitWithoutEvents([&] { return ports.last().inputEmpty() && serial.PendingHandOffs() == 1; }));
    }
    ASSERT_TRUE(serveWhatIsQueued());
    EXPECT_FALSE(ran);
    EXPECT_EQ(ports.last().calls().back(), "close");
}

TEST_F(ScriptedSerial, AClosedPortsEventThreadSleepsUntilTheNextOpening)
{
    // ThreadSanitizer's runtime keeps a thread of its own that wakes on its own
    // schedule; under it only the opening's wake-up below is checked.
#if defined(__SANITIZE_THREAD__)
    constexpr bool threadsAreOurs = false;
#else
    constexpr bool threadsAreOurs = true;
#endif
    serial.setActive(false);
    // Closing itself wakes the thread; on a busy machine it may wait a while for
    // a processor before it goes back to waiting, and from then on only the next
    // opening wakes it.
    if (threadsAreOurs) {
        EXPECT_TRUE(pumpUntil([] { return otherThreadsWaitWithoutTimeOut(); }))
            << "a thread keeps waking while the port is closed";
    }

    serial.setActive(true);
    device().raise(platform::EvRing);
    ASSERT_TRUE(pumpUntil([&] { return seen == Strings{"Ring"}; }));
}
