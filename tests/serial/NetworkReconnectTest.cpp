#include "framework/MessageBoxes.h"
#include "framework/VirtualClock.h"
#include "serial/PortReconnector.h"
#include "serial/Serial2.h"
#include "tests/testkit/LoopbackServer.h"
#include "tests/testkit/PortDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A server that is there but not serving: it takes each connection and closes
// it at once, so that every attempt to open the port fails, and counts them.
class ClosingServer {
public:
    ClosingServer()
        : thread_([this] { run(); })
    {
    }
    ~ClosingServer()
    {
        stop_ = true;
        thread_.join();
    }
    std::uint16_t port() const { return server_.port(); }
    int attempts() const { return attempts_.load(); }

private:
    void run()
    {
        while (!stop_) {
            if (!server_.accept(20ms)) continue;
            ++attempts_;
            server_.closeConnection();
        }
    }

    LoopbackServer server_;
    std::atomic<bool> stop_{false};
    std::atomic<int> attempts_{0};
    std::thread thread_;
};

} // namespace

// The retries of a network port, on the virtual clock: the first at once, then
// after 0.5, 1, 2, 4 and 8 s, and every 8 s after that; none in between. Once
// the entry leads somewhere that opens, the port is restored and the retries end.
TEST(NetworkReconnect, RetriesAfterHalfASecondDoublingUpToEightAndNothingBetween)
{
    fw::ScopedVirtualClock clock;
    fw::ScopedRecordingMessageBoxes boxes;
    PortDirectory ports;
    ClosingServer server;
    const std::string entry = ports.path() + "/COM7";
    std::ofstream(entry) << "rfc2217://127.0.0.1:" << server.port() << "\n";

    TSerial serial;
    serial.setPort(7);
    PortReconnector reconnector(serial);
    bool restored = false;
    QObject::connect(&reconnector, &PortReconnector::restored, [&] { restored = true; });
    reconnector.waitForDevice();
    EXPECT_EQ(server.attempts(), 1) << "the first attempt comes at once";

    int expected = 1;
    for (const std::uint64_t wait : {500, 1000, 2000, 4000, 8000, 8000, 8000}) {
        clock.advance(wait - 1);
        EXPECT_EQ(server.attempts(), expected) << "an attempt before its time, " << wait << " ms";
        clock.advance(1);
        EXPECT_EQ(server.attempts(), ++expected) << "no attempt after " << wait << " ms";
    }
    EXPECT_FALSE(serial.Active());
    EXPECT_TRUE(boxes.shown.empty()) << "attempts while waiting show no box";

    // The server serves raw TCP now: the next attempt opens the port.
    LoopbackServer serving;
    std::ofstream(entry, std::ios::trunc) << "tcp://127.0.0.1:" << serving.port() << "\n";
    clock.advance(8000);
    EXPECT_TRUE(restored);
    EXPECT_TRUE(serial.Active());
    EXPECT_FALSE(reconnector.isWaiting());
    EXPECT_EQ(clock.nextDueIn(), -1) << "no retry runs once the port is back";
    serial.setActive(false);
}
