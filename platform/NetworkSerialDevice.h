#pragma once

#include "platform/ComPortClient.h"
#include "platform/ConnectionWait.h"
#include "platform/InputQueue.h"
#include "platform/NetworkAddress.h"
#include "platform/OutputDrain.h"
#include "platform/SerialDevice.h"
#include "platform/TelnetCodec.h"
#include "platform/WakeEvent.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

// A serial port served over the network (by ser2net, for one), named by an
// entry file in the port directory that holds "tcp://HOST:PORT" or
// "rfc2217://HOST:PORT".
//
// Raw TCP carries the bytes both ways and leaves the line to the server. RFC
// 2217 is Telnet with BINARY both ways and COM-PORT-OPTION: the line settings
// and DTR and RTS travel to the server, whose answers are checked, and every
// 0xFF of the data is doubled on the way out and made single on the way in.
//
// The wait polls the socket and a wake event, like the terminal device's: what
// arrives goes through the Telnet codec into an input queue of our own, and
// the socket is not polled for input while that queue is full, so TCP holds
// the server back. A connection that ends is a device that has gone: the wait
// fails once with ECONNRESET.
//
// Opening is synchronous and waits through a ConnectionWait (a window shows a
// box with Cancel); it gives up after ConnectLimit. Applying the settings waits
// for the server's answers the same way, for at most AnswerLimit.
class NetworkSerialDevice : public SerialDevice {
public:
    static constexpr std::chrono::seconds ConnectLimit{5};
    static constexpr std::chrono::seconds AnswerLimit{2};

    // Without a wait of its own, opening polls.
    explicit NetworkSerialDevice(std::shared_ptr<ConnectionWait> wait = nullptr);
    ~NetworkSerialDevice() override;
    NetworkSerialDevice(const NetworkSerialDevice&) = delete;
    NetworkSerialDevice& operator=(const NetworkSerialDevice&) = delete;

    // A malformed entry fails with EINVAL, an unknown host with EHOSTUNREACH,
    // a port nobody listens on with ECONNREFUSED, the time limit with
    // ETIMEDOUT, a cancel with ECANCELED, and a server that refuses RFC 2217
    // with EPROTONOSUPPORT.
    int open(const std::string& comName) override;
    int setupQueues(std::uint32_t inQueue, std::uint32_t outQueue) override;
    // A setting the server does not take fails with EINVAL; a server that
    // does not answer in time with ETIMEDOUT.
    int applySettings(const DeviceControl& settings) override;
    int setTimeouts(const CommTimeouts& timeouts) override;
    int setEventMask(std::uint32_t mask) override;
    int wait(std::uint32_t& events) override;
    int release() override;
    int modemStatus(std::uint32_t& status) override;
    int queueCounts(CommStatus& status) override;
    int read(char* data, std::size_t size, std::size_t& count) override;
    using SerialDevice::write;
    int write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken) override;
    void takeSent(std::string& bytes) override;
    int setControlLine(ControlLine line, bool on) override;
    int abort() override;
    int close() override;
    bool isOpen() const override { return fd_.load() >= 0; }

    // What went wrong with the last opening or setting, in words for the
    // operator: the entry, the host, the reason. Empty after a success.
    std::string diagnosis() const;

private:
    static constexpr std::size_t FarewellLimit = 160;

    using Clock = ConnectionWait::Clock;
    // Who reads the socket: the event thread's wait, or a call that waits for
    // the server's answers. Never both, so neither takes what the other waits for.
    enum class Reader : std::uint8_t { None, Waiter, Answers };

    int fail(int error, const std::string& problem);
    int negotiate(Clock::time_point deadline);
    template <class Done>
    int awaitAnswers(Clock::time_point deadline, Done done);
    int waitLoop(int fd, std::uint32_t& events);
    int receive(int fd);
    void keepFarewell(std::string_view data);
    void sayServerClosed(int error);
    // A Telnet command or answer: no written bytes among them.
    int send(std::string_view bytes, unsigned timeoutMs);
    // `bytes` on the wire stand for the written `data`.
    int send(std::string_view bytes, std::string_view data, unsigned timeoutMs, bool byWrite);
    int flushUnsent(int fd, Clock::time_point deadline, bool byWrite);
    bool accountSent(std::size_t wire);
    std::uint32_t checkOutputEmpty(int fd);
    void markGone(int error);
    void shutDown(int fd);

    std::shared_ptr<ConnectionWait> connectionWait_;
    std::string comName_;
    NetworkAddress address_;
    std::string peer_;   // "HOST:PORT"

    std::atomic<int> fd_{-1};
    WakeEvent wake_;
    std::atomic<bool> released_{false};
    std::atomic<bool> gone_{false};
    std::atomic<int> goneError_{0};
    bool goneReported_ = false;          // waiter only
    std::atomic<std::uint32_t> mask_{0};

    OutputDrain outputDrain_;

    // What unsent_ holds, in order: each write's or command's bytes on the
    // wire and the written bytes among them.
    struct Pending {
        std::size_t wire = 0;
        std::string data;
        bool doubled = false;            // each 0xFF of data is two bytes on the wire
    };

    std::mutex writeMutex_;              // one writer at a time; guards what follows
    std::string unsent_;                 // the rest of a write that timed out, sent first
    std::deque<Pending> pending_;
    std::size_t frontWireSent_ = 0;      // of pending_.front(): wire bytes gone,
    std::size_t frontDataWire_ = 0;      // the wire bytes of its data counted as gone,
    std::size_t frontDataSent_ = 0;      // and that data's length
    std::string sent_;                   // written bytes gone out, not yet taken
    std::atomic<bool> sentLate_{false};  // sent_ grew outside a write

    mutable std::mutex mutex_;           // guards everything below
    std::condition_variable changed_;
    Reader reader_ = Reader::None;
    bool inWait_ = false;
    InputQueue input_;
    std::uint32_t pendingEvents_ = 0;    // found while no wait was running
    std::optional<TelnetCodec> telnet_;  // RFC 2217 only
    ComPortClient comPort_;
    std::string diagnosis_;
    std::string farewell_;               // the first text the connection brought
    bool onlyText_ = true;               // it has brought nothing but text so far
};

} // namespace platform
