#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "ScriptedModem.h"
#include "platform/PosixSerialDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <iterator>
#include <sys/ioctl.h>
#include <thread>

using namespace std::chrono_literals;
using platform::PosixSerialDevice;
using Clock = std::chrono::steady_clock;

namespace {

long threadCount()
{
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<long>(std::distance(begin(tasks), end(tasks)));
}

template <class Done>
bool eventually(Done done)
{
    const auto deadline = Clock::now() + 2s;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A device on a pseudo-terminal whose modem lines the test plays.
class ModemWait : public ::testing::Test {
protected:
    void open(bool canWait)
    {
        modem = std::make_unique<ScriptedModem>(canWait);
        device = std::make_unique<PosixSerialDevice>(modem->factory());
        ports.map(6, pty.slavePath());
        ASSERT_EQ(device->open("COM6"), 0);
        ASSERT_EQ(device->setEventMask(0x17D), 0);
    }

    std::future<std::pair<int, std::uint32_t>> waitAsync()
    {
        return std::async(std::launch::async, [this] {
            std::uint32_t events = 0;
            const int result = device->wait(events);
            return std::make_pair(result, events);
        });
    }

    PortDirectory ports;
    PtyPair pty;
    std::unique_ptr<ScriptedModem> modem;
    std::unique_ptr<PosixSerialDevice> device;
};

} // namespace

TEST_F(ModemWait, ALineChangeIsWaitedForInTheKernelAndNothingWakesMeanwhile)
{
    open(true);
    ASSERT_TRUE(eventually([&] { return modem->waitsBegun() == 1; }));
    auto waiting = waitAsync();
    // Setting the event mask makes the wait look once; from then on it sleeps.
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    const unsigned long wakeupsBefore = device->wakeups();
    const int readsBefore = modem->reads();
    EXPECT_EQ(waiting.wait_for(500ms), std::future_status::timeout);
    EXPECT_EQ(device->wakeups(), wakeupsBefore);
    EXPECT_EQ(modem->reads(), readsBefore) << "the lines were sampled while nothing changed";

    modem->setStates(TIOCM_CTS);
    ASSERT_EQ(waiting.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), std::make_pair(0, std::uint32_t{platform::EvCts}));
    std::uint32_t status = 0;
    ASSERT_EQ(device->modemStatus(status), 0);
    EXPECT_EQ(status, std::uint32_t{platform::MsCtsOn});
    EXPECT_EQ(device->close(), 0);
}

TEST_F(ModemWait, ADriverThatRefusesTheWaitIsSampledAtMostEveryHundredMilliseconds)
{
    open(false);
    auto waiting = waitAsync();
    modem->setStates(TIOCM_DSR | TIOCM_CD);
    ASSERT_EQ(waiting.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), std::make_pair(0, std::uint32_t{platform::EvDsr | platform::EvRlsd}));

    const unsigned long before = device->wakeups();
    const auto start = Clock::now();
    auto idle = waitAsync();
    EXPECT_EQ(idle.wait_for(1s), std::future_status::timeout);
    const auto spanMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const unsigned long wakeups = device->wakeups() - before;
    EXPECT_GE(wakeups, 1u) << "the lines were not sampled at all";
    EXPECT_LE(wakeups, static_cast<unsigned long>(spanMs / PosixSerialDevice::ModemSampleMs + 1));
    modem->setStates(0);
    ASSERT_EQ(idle.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(idle.get(), std::make_pair(0, std::uint32_t{platform::EvDsr | platform::EvRlsd}));
    EXPECT_EQ(device->close(), 0);
}

TEST_F(ModemWait, ClosingEndsTheKernelWaitWithASignalAndLeavesNoThread)
{
    // ThreadSanitizer's runtime starts a thread of its own when it first needs
    // one, which would count as ours here; the interrupted wait is still checked.
#if defined(__SANITIZE_THREAD__)
    constexpr bool threadsAreOurs = false;
#else
    constexpr bool threadsAreOurs = true;
#endif
    const long threadsBefore = threadCount();
    open(true);
    ASSERT_TRUE(eventually([&] { return modem->waitsBegun() == 1; }));
    if (threadsAreOurs) {
        EXPECT_EQ(threadCount(), threadsBefore + 1);
    }
    EXPECT_EQ(device->close(), 0);
    EXPECT_EQ(modem->waitsInterrupted(), 1);
    if (threadsAreOurs) {
        EXPECT_EQ(threadCount(), threadsBefore);
    }
}
