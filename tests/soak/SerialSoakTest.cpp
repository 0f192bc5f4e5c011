// Long runs of the serial line under faults. Each soak prints a line of
// figures (count, time, resident size, descriptors, threads before and after).
// The counts are small by default; UAV_SOAK_SCALE=1 gives the full ones:
// a million frames, 200 unplugs, 1000 closings with a hand-off pending, 10,000
// waits released, 10 MB without an end character.
#include "FrameStream.h"
#include "LineWriter.h"
#include "SoakFigures.h"
#include "framework/MessageBoxes.h"
#include "platform/PosixSerialDevice.h"
#include "serial/Serial2.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/serial/Pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int PortNumber = 8;

// What the resident size may grow by over a soak once it has warmed up: the
// allocator keeps some freed memory, Qt some queued events. A leak of a few
// bytes per frame or an unbounded buffer goes far past it.
constexpr long ResidentSlackKb = 1024;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Serves the window thread, and so the event thread's hand-offs, until done()
// holds. Fails when progress() has not moved for `stall`: the line has stopped.
template <class Done, class Progress>
bool serveUntil(Done done, Progress progress, std::chrono::milliseconds stall = 10s)
{
    QTimer tick; // wakes the blocking wait now and then to look at done()
    tick.start(10);
    auto last = progress();
    auto lastMove = Clock::now();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto now = progress();
        if (now != last) {
            last = now;
            lastMove = Clock::now();
        } else if (Clock::now() - lastMove > stall) {
            return false;
        }
    }
    return true;
}

// A pty mapped to COM<PortNumber> for the lifetime of the object.
struct Line {
    PortDirectory ports;
    PtyPair pty;
    Line() { ports.map(PortNumber, pty.slavePath()); }
};

void receiveMessages(TSerial& serial, FrameChecker& checker)
{
    serial.setPort(PortNumber);
    serial.setDataBits(d8bit);
    serial.setBaudrate(115200);
    serial.setRxEventMode(rxMessage);
    serial.setOnMessage([&checker](QObject*, const std::string& message) { checker.take(message); });
}

// A thread that does not end within `limit` is a hang; say so rather than let
// the run sit until the test driver's time-out.
void joinWithin(std::thread& thread, const std::atomic<bool>& done, std::chrono::milliseconds limit,
                const char* what)
{
    const auto deadline = Clock::now() + limit;
    while (!done && Clock::now() < deadline) std::this_thread::sleep_for(100us);
    if (!done) {
        std::fprintf(stderr, "%s did not end within %lld ms\n", what, static_cast<long long>(limit.count()));
        std::abort();
    }
    thread.join();
}

// Plays a window thread that is busy elsewhere: the calls that worker threads
// queue for it are taken out of the queue and dropped unrun, so each one stays
// pending for its caller until the caller's owner withdraws it. Counting them
// tells exactly when a hand-off is pending. (Taking calls off Qt's queue this
// way bypasses the event loop's wake-up, the one order between the threads
// that ThreadSanitizer can see, so this soak stays out of its runs.)
class HandOffHolder : public QObject {
public:
    HandOffHolder() { QCoreApplication::instance()->installEventFilter(this); }
    ~HandOffHolder() override { release(); }

    // Takes queued calls off the window thread's queue until `count` have
    // been held in all; false if they do not come within two seconds.
    bool waitForHandOff(std::uint64_t count)
    {
        const auto deadline = Clock::now() + 2s;
        while (held_ < count && Clock::now() < deadline) {
            QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
            if (held_ < count) std::this_thread::sleep_for(20us);
        }
        return held_ >= count;
    }
    std::uint64_t held() const { return held_; }
    void release() { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != QCoreApplication::instance() || event->type() != QEvent::MetaCall) return false;
        ++held_;
        return true;
    }

private:
    std::uint64_t held_ = 0;
};

void expectNoLeak(const ProcessFigures& before, const ProcessFigures& after)
{
    EXPECT_EQ(after.fds, before.fds) << "descriptors left open";
    EXPECT_EQ(after.threads, before.threads) << "threads left running";
}

void expectFlatMemory(const ProcessFigures& before, const ProcessFigures& after)
{
    if constexpr (ResidentSizeIsOurs) {
        EXPECT_LE(after.rssKb - before.rssKb, ResidentSlackKb)
            << "resident size grew from " << before.rssKb << " kB to " << after.rssKb << " kB";
    }
}

} // namespace

TEST(SerialSoak, FramesInRandomWritesWithJunkBetweenArriveWholeAndInOrder)
{
    const std::uint64_t frames = soakCount(20'000, 1'000'000);
    Line line;
    TSerial serial;
    FrameChecker checker;
    receiveMessages(serial, checker);
    serial.setActive(true);
    ASSERT_TRUE(serial.Active());

    FrameSource source(0x5eed);
    LineWriter writer(line.pty, [&source](std::string& bytes) {
        source.nextWrite(bytes);
        return true;
    });
    // Warm up first, so that what is measured is the steady state.
    const std::uint64_t warmUp = std::min<std::uint64_t>(2000, frames / 10);
    ASSERT_TRUE(serveUntil([&] { return checker.expected() >= warmUp; }, [&] { return checker.expected(); }));
    const ProcessFigures before = ProcessFigures::now();
    const auto start = Clock::now();
    const bool arrived =
        serveUntil([&] { return checker.expected() >= frames; }, [&] { return checker.expected(); });
    const double seconds = secondsSince(start);
    const ProcessFigures after = ProcessFigures::now();
    writer.stop();
    serial.setActive(false);
    printFigures("frames through a pty", checker.expected(), seconds, before, after);

    EXPECT_TRUE(arrived) << "the line stalled after " << checker.expected() << " frames";
    EXPECT_EQ(checker.bad(), 0u) << "first bad: " << checker.firstBad();
    EXPECT_GE(checker.good(), frames);
    EXPECT_EQ(writer.error(), 0);
    EXPECT_EQ(serial.ErrorCode(), 0);
    expectFlatMemory(before, after);
}

TEST(SerialSoak, EachUnplugWhileDataFlowsIsReportedOnceAndLeavesNothingBehind)
{
    const std::uint64_t cycles = soakCount(20, 200);
    PortDirectory ports;
    TSerial serial;
    FrameChecker checker;
    receiveMessages(serial, checker);
    fw::ScopedRecordingMessageBoxes boxes;
    std::uint64_t errorEvents = 0;
    serial.setOnError([&](QObject*) { ++errorEvents; });
    const auto reports = [&] { return errorEvents + boxes.shown.size(); };
    {
        // The event thread starts at the first opening and stays.
        PtyPair pty;
        ports.map(PortNumber, pty.slavePath());
        serial.setActive(true);
        serial.setActive(false);
    }

    std::mt19937 random(7);
    std::uint64_t delivered = 0;
    const ProcessFigures before = ProcessFigures::now();
    const auto start = Clock::now();
    for (std::uint64_t i = 0; i < cycles; ++i) {
        // Replugged: a new line under the same name.
        PtyPair pty;
        ports.map(PortNumber, pty.slavePath());
        // Both ways of reporting: an error event, or a box.
        serial.setNotifyErrors(i % 2 ? neDialog : neEvent);
        checker.restart();
        const std::uint64_t goodBefore = checker.good();
        serial.setActive(true);
        ASSERT_TRUE(serial.Active()) << "cycle " << i;

        FrameSource source(1000 + i);
        int writes = 1 + static_cast<int>(random() % 60);
        LineWriter writer(
            pty,
            [&](std::string& bytes) {
                if (writes-- == 0) return false;
                source.nextWrite(bytes);
                return true;
            },
            LineWriter::AtEnd::Unplug);
        ASSERT_TRUE(pumpUntil([&] { return reports() > i; }, 5000ms)) << "unplug " << i << " not reported";
        // A second report would come within this.
        pumpFor(20ms);
        ASSERT_EQ(reports(), i + 1) << "unplug " << i << " reported more than once";
        EXPECT_FALSE(serial.Active()) << "cycle " << i;
        EXPECT_TRUE(serial.ErrorCode() == EIO || serial.ErrorCode() == ENODEV) << serial.ErrorCode();
        delivered += checker.good() - goodBefore;
    }
    const double seconds = secondsSince(start);
    const ProcessFigures after = ProcessFigures::now();
    printFigures("unplugs while data flows", cycles, seconds, before, after);
    std::printf("[soak]   %llu frames delivered whole before the unplugs, none damaged\n",
                static_cast<unsigned long long>(delivered));

    EXPECT_EQ(checker.bad(), 0u) << "first bad: " << checker.firstBad();
    expectNoLeak(before, after);
    for (const auto& box : boxes.shown) EXPECT_EQ(box.caption, QStringLiteral("Error"));
}

TEST(SerialSoak, ClosingWithAHandOffPendingReturnsAtOnceAndLeavesNothingBehind)
{
    const std::uint64_t cycles = soakCount(1000, 1000);
    Line line;
    TSerial serial;
    FrameChecker checker;
    receiveMessages(serial, checker);
    serial.setActive(true);
    serial.setActive(false);
    const std::string frame = numberedFrame(0);
    HandOffHolder holder;

    Clock::duration slowest {};
    const ProcessFigures before = ProcessFigures::now();
    const auto start = Clock::now();
    for (std::uint64_t i = 0; i < cycles; ++i) {
        serial.setActive(true);
        ASSERT_TRUE(serial.Active()) << "cycle " << i;
        line.pty.send(frame);
        // The event thread reads the frame and hands it over; the window
        // thread takes the call out of its queue without running it.
        ASSERT_TRUE(holder.waitForHandOff(i + 1)) << "cycle " << i << ": the frame was not handed over";
        const auto closing = Clock::now();
        serial.setActive(false);
        slowest = std::max(slowest, Clock::now() - closing);
        ASSERT_FALSE(serial.Active());
    }
    const double seconds = secondsSince(start);
    const ProcessFigures after = ProcessFigures::now();
    printFigures("closings with a hand-off pending", cycles, seconds, before, after);
    std::printf("[soak]   slowest closing %.3f ms\n", std::chrono::duration<double, std::milli>(slowest).count());

    EXPECT_EQ(holder.held(), cycles) << "one hand-off per frame";
    EXPECT_LT(slowest, 1s) << "closing waited for the event thread instead of withdrawing its hand-off";
    expectNoLeak(before, after);
    expectFlatMemory(before, after);

    // The thread still serves the port, and nothing of the closed sessions
    // comes after the new frame.
    holder.release();
    serial.setActive(true);
    line.pty.send(frame);
    ASSERT_TRUE(pumpUntil([&] { return checker.good() == 1; }));
    pumpFor(20ms);
    EXPECT_EQ(checker.good(), 1u);
    EXPECT_EQ(checker.bad(), 0u) << checker.firstBad();
}

TEST(SerialSoak, ALineThatNeverEndsAMessageCannotGrowMemory)
{
    const std::uint64_t total = soakCount(4'000'000, 10'000'000);
    Line line;
    TSerial serial;
    FrameChecker checker;
    receiveMessages(serial, checker);
    serial.setActive(true);
    ASSERT_TRUE(serial.Active());

    // One start character, then nothing but bytes that neither end nor restart
    // a message; then one whole frame, which can only come through once every
    // byte before it has been taken.
    std::mt19937_64 random(11);
    std::uint64_t produced = 0;
    const ProcessFigures before = ProcessFigures::now();
    const auto start = Clock::now();
    bool written = false;
    {
        LineWriter writer(line.pty, [&](std::string& bytes) {
            if (produced >= total) return false;
            bytes.assign(std::min<std::uint64_t>(total - produced, 1 + random() % 4096), '\0');
            for (char& byte : bytes) {
                byte = static_cast<char>(random());
                if (byte == '\x02' || byte == '\x03') byte = 'x';
            }
            if (produced == 0) bytes[0] = '\x02';
            produced += bytes.size();
            return true;
        });
        written = serveUntil([&] { return writer.finished(); }, [&] { return writer.written(); });
        EXPECT_EQ(writer.error(), 0);
        EXPECT_EQ(writer.written(), total);
    }
    ASSERT_TRUE(written) << "the line stalled after " << produced << " bytes";
    line.pty.send(numberedFrame(0));
    const bool arrived = pumpUntil([&] { return checker.good() + checker.bad() > 0; }, 10s);
    const double seconds = secondsSince(start);
    const ProcessFigures after = ProcessFigures::now();
    printFigures("bytes without an end character", total, seconds, before, after);

    // Nothing before the frame came through as a message, and the frame did.
    ASSERT_TRUE(arrived) << "the frame after the unended stream was not delivered";
    EXPECT_EQ(checker.good(), 1u) << "first bad: " << checker.firstBad();
    EXPECT_EQ(checker.bad(), 0u);
    expectFlatMemory(before, after);
    expectNoLeak(before, after);
}

// Waiting and releasing, at the device and through the component, many times
// over with the release landing at every point of the wait. Also run under
// ThreadSanitizer.
TEST(SoakRace, ReleasingTheDeviceEndsItsWaitEveryTime)
{
    const std::uint64_t cycles = soakCount(2000, 10'000);
    Line line;
    platform::PosixSerialDevice device;
    platform::DeviceControl rawLine;
    rawLine.BaudRate = 115200;
    rawLine.ByteSize = 8;
    std::mt19937 random(3);
    std::uint64_t arrivals = 0;
    ProcessFigures before;
    Clock::time_point start;
    for (std::uint64_t i = 0; i < cycles; ++i) {
        // Counted from the second cycle: the first starts what lives on (the
        // sanitizers' own threads, for one).
        if (i == 1) {
            before = ProcessFigures::now();
            start = Clock::now();
        }
        ASSERT_EQ(device.open("COM" + std::to_string(PortNumber)), 0) << "cycle " << i;
        ASSERT_EQ(device.applySettings(rawLine), 0);
        ASSERT_EQ(device.setEventMask(TSerial::EventMask), 0);
        std::atomic<bool> done{false};
        int result = -1;
        std::uint64_t seen = 0;
        std::thread waiter([&] {
            // Waits as the event thread does: read what came, wait again, until released.
            for (;;) {
                std::uint32_t events = 0;
                result = device.wait(events);
                if (result != 0 || events == 0) break;
                if (events & platform::EvRxChar) ++seen;
                char buffer[64];
                std::size_t count = 0;
                while (device.read(buffer, sizeof buffer, count) == 0 && count > 0) {
                }
            }
            done = true;
        });
        switch (i % 4) {
        case 0: break; // released before the wait has begun, most likely
        case 1: line.pty.send("ab"); break;
        case 2: std::this_thread::sleep_for(std::chrono::microseconds(random() % 500)); break;
        case 3:
            line.pty.send("c");
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
            break;
        }
        EXPECT_EQ(device.release(), 0);
        joinWithin(waiter, done, 5000ms, "a released wait");
        EXPECT_EQ(result, 0) << "cycle " << i;
        arrivals += seen;
        ASSERT_EQ(device.close(), 0);
    }
    const double seconds = secondsSince(start);
    const ProcessFigures after = ProcessFigures::now();
    printFigures("device waits released", cycles, seconds, before, after);
    std::printf("[soak]   %llu arrivals seen before a release\n", static_cast<unsigned long long>(arrivals));
    expectNoLeak(before, after);
}

TEST(SoakRace, ClosingReleasesTheEventThreadEveryTime)
{
    const std::uint64_t cycles = soakCount(2000, 10'000);
    Line line;
    TSerial serial;
    FrameChecker checker;
    receiveMessages(serial, checker);
    serial.setActive(true);
    serial.setActive(false);
    std::mt19937 random(5);
    Clock::duration slowest {};
    const ProcessFigures before = ProcessFigures::now();
    const auto start = Clock::now();
    for (std::uint64_t i = 0; i < cycles; ++i) {
        serial.setActive(true);
        ASSERT_TRUE(serial.Active()) << "cycle " << i;
        // Close before the thread has taken the port, while it takes it, and
        // once it is waiting.
        if (i % 2) std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
        const auto closing = Clock::now();
        serial.setActive(false);
        slowest = std::max(slowest, Clock::now() - closing);
    }
    const double seconds = secondsSince(start);
    const ProcessFigures after = ProcessFigures::now();
    printFigures("event thread waits released by closing", cycles, seconds, before, after);
    std::printf("[soak]   slowest closing %.3f ms\n", std::chrono::duration<double, std::milli>(slowest).count());

    EXPECT_LT(slowest, 1s) << "closing waited for the event thread to give up the port";
    EXPECT_EQ(serial.ErrorCode(), 0);
    expectNoLeak(before, after);

    serial.setActive(true);
    line.pty.send(numberedFrame(0));
    ASSERT_TRUE(pumpUntil([&] { return checker.good() == 1; }));
}
