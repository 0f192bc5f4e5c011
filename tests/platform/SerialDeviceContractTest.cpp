// What every SerialDevice promises (platform/SerialDevice.h), held against each
// device over the far end a test can hold: a pseudo-terminal, a raw TCP server
// and an RFC 2217 one. A new device joins by adding its far end to the table.
#include "tests/testkit/LoopbackServer.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/Rfc2217Server.h"
#include "platform/NetworkSerialDevice.h"
#include "platform/PosixSerialDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

// Above the built-in COM names: a missing entry falls back on nothing.
const std::string Com = "COM42";

// The far end of a device under test: it opens the device, and reads what
// reached it, as the bytes written.
class FarEnd {
public:
    virtual ~FarEnd() = default;
    virtual std::unique_ptr<platform::SerialDevice> makeDevice() = 0;
    virtual int open(platform::SerialDevice& device) = 0;
    virtual std::string receive(std::size_t count, std::chrono::milliseconds limit) = 0;
    virtual void hangUp() = 0;

protected:
    PortDirectory ports;
};

class PtyEnd : public FarEnd {
public:
    std::unique_ptr<platform::SerialDevice> makeDevice() override { return std::make_unique<platform::PosixSerialDevice>(); }
    int open(platform::SerialDevice& device) override
    {
        ports.map(42, pty.slavePath());
        return device.open(Com);
    }
    std::string receive(std::size_t count, std::chrono::milliseconds limit) override { return pty.receive(count, limit); }
    void hangUp() override { pty.closeMaster(); }

private:
    PtyPair pty;
};

class RawTcpEnd : public FarEnd {
public:
    std::unique_ptr<platform::SerialDevice> makeDevice() override { return std::make_unique<platform::NetworkSerialDevice>(); }
    int open(platform::SerialDevice& device) override
    {
        ports.write(42, "tcp://127.0.0.1:" + std::to_string(server.port()) + "\n");
        auto opened = std::async(std::launch::async, [&] { return device.open(Com); });
        if (!server.accept()) return ETIMEDOUT;
        return opened.get();
    }
    std::string receive(std::size_t count, std::chrono::milliseconds limit) override { return server.receive(count, limit); }
    void hangUp() override { server.closeConnection(); }

private:
    LoopbackServer server;
};

// Agrees to BINARY both ways and COM-PORT-OPTION, as a serial server does;
// reads the written bytes with Telnet's doubling undone.
class Rfc2217End : public FarEnd {
public:
    std::unique_ptr<platform::SerialDevice> makeDevice() override { return std::make_unique<platform::NetworkSerialDevice>(); }
    int open(platform::SerialDevice& device) override
    {
        ports.write(42, "rfc2217://127.0.0.1:" + std::to_string(server.port()) + "\n");
        auto opened = std::async(std::launch::async, [&] { return device.open(Com); });
        if (!server.accept()) return ETIMEDOUT;
        return opened.get();
    }
    std::string receive(std::size_t count, std::chrono::milliseconds limit) override { return server.receiveData(count, limit); }
    void hangUp() override { server.closeConnection(); }

private:
    Rfc2217Server server;
};

const struct {
    const char* name;
    std::function<std::unique_ptr<FarEnd>()> make;
} Ends[] = {
    {"pseudo-terminal", [] { return std::make_unique<PtyEnd>(); }},
    {"raw TCP", [] { return std::make_unique<RawTcpEnd>(); }},
    {"RFC 2217", [] { return std::make_unique<Rfc2217End>(); }},
};

// Waits on the device in a thread of its own, as the component's event thread
// does, counting failures and noting whether late output was told.
class Waiter {
public:
    explicit Waiter(platform::SerialDevice& device)
        : device_(device)
        , thread_([this] {
            while (!released) {
                std::uint32_t events = 0;
                if (const int error = device_.wait(events)) {
                    lastFailure = error;
                    ++failures;
                }
                if (events & platform::EvSentLate) sentLate = true;
            }
        })
    {
    }
    ~Waiter() { stop(); }
    void stop()
    {
        if (!thread_.joinable()) return;
        released = true;
        device_.release();
        thread_.join();
    }

    std::atomic<bool> sentLate{false};
    std::atomic<int> failures{0};
    std::atomic<int> lastFailure{0};

private:
    std::atomic<bool> released{false};
    platform::SerialDevice& device_;
    std::thread thread_;
};

template <class Done>
bool within(std::chrono::milliseconds limit, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace

TEST(SerialDeviceContract, WritesSayWhatWasTakenEveryByteThatWentOutIsToldOnceInOrderAndAGoneEndFailsOnce)
{
    for (const auto& end : Ends) {
        SCOPED_TRACE(end.name);
        auto far = end.make();
        auto device = far->makeDevice();
        EXPECT_EQ(device->open(Com), ENOENT) << "no entry, no device";
        ASSERT_EQ(far->open(*device), 0);
        ASSERT_EQ(device->setEventMask(0x17D), 0);
        Waiter waiter(*device);

        // A write taken whole: told at once, exactly.
        const std::string frame = "\x02" "a=\xff\x00\x03"s;
        std::size_t taken = 0;
        ASSERT_EQ(device->write(frame.data(), frame.size(), 1000, taken), 0);
        EXPECT_EQ(taken, frame.size());
        std::string told;
        device->takeSent(told);
        EXPECT_EQ(told, frame);
        EXPECT_EQ(far->receive(frame.size(), 2s), frame);

        // Nobody reads: the write times out. What it took goes out, at once or
        // later, and is told once, in order, late bytes with EvSentLate.
        const std::string flood(32 << 20, 'x');
        const int timedOut = device->write(flood.data(), flood.size(), 100, taken);
        EXPECT_TRUE(timedOut == ETIMEDOUT || (timedOut == ENOBUFS && taken < flood.size())) << timedOut;
        EXPECT_GT(taken, 0u);
        told.clear();
        device->takeSent(told);
        const std::size_t atOnce = told.size();
        const std::string arrived = far->receive(taken, 20s);
        EXPECT_EQ(arrived.size(), taken);
        EXPECT_TRUE(within(2s, [&] {
            device->takeSent(told);
            return told.size() >= arrived.size();
        }));
        EXPECT_TRUE(told == arrived) << told.size() << " bytes told, " << arrived.size() << " arrived";
        if (arrived.size() > atOnce) EXPECT_TRUE(within(2s, [&] { return waiter.sentLate.load(); }));
        // A network port sends on its own thread: bytes the write left may go
        // between its return and the caller's taking, late yet taken at once.
        // A terminal sends nothing late, ever.
        else if (std::string(end.name) == "pseudo-terminal") EXPECT_FALSE(waiter.sentLate.load());

        // The far end goes: the wait fails once with an error that means gone,
        // and later waits sleep until released.
        far->hangUp();
        EXPECT_TRUE(within(2s, [&] { return waiter.failures.load() > 0; }));
        waiter.stop();
        EXPECT_EQ(waiter.failures.load(), 1);
        EXPECT_TRUE(platform::isGoneError(waiter.lastFailure.load())) << waiter.lastFailure.load();
        EXPECT_EQ(device->close(), 0);
    }
}
