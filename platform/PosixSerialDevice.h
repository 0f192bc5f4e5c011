#pragma once

#include "platform/InputQueue.h"
#include "platform/ModemEvents.h"
#include "platform/ModemLines.h"
#include "platform/ModemWatch.h"
#include "platform/OutputDrain.h"
#include "platform/ParityMarkDecoder.h"
#include "platform/SerialDevice.h"
#include "platform/WakeEvent.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <linux/serial.h>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

// A serial port on a POSIX terminal device (a UART, a USB adapter, a pty).
//
// The wait polls the device and an eventfd. poll() is level-triggered, so on
// every wake the waiter drains what the kernel holds into an input queue of our
// own and reports received data once per arrival; read() takes from that queue.
// When the queue is full the device is not polled for input, so unread bytes
// stay in the kernel (where flow control holds the sender back) and cannot make
// the wait spin. The eventfd carries release() and the nudges that make the wait
// look again (a write that arms output-empty, a read that makes room, a modem
// line that changed).
//
// Modem lines are waited for in the kernel by a ModemWatch, which nudges the wait
// after each change; only where the driver refuses that wait are they sampled,
// every ModemSampleMs.
class PosixSerialDevice : public SerialDevice {
public:
    // Makes the modem lines of a freshly opened device; tests pass scripted ones.
    using ModemLinesFactory = std::function<std::unique_ptr<ModemLines>(int fd)>;

    PosixSerialDevice();
    explicit PosixSerialDevice(ModemLinesFactory modemLines);
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    int open(const std::string& comName) override;
    // Opens the terminal device at `path` itself, as open() does the one its COM
    // name leads to.
    int openPath(const std::string& path);
    int setupQueues(std::uint32_t inQueue, std::uint32_t outQueue) override;
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

    // How often the wait has come back from poll(): a measure of idle cost.
    unsigned long wakeups() const { return wakeups_.load(); }

    // How often modem lines are sampled where the driver cannot wait for them.
    static constexpr int ModemSampleMs = 100;

private:
    int waitLoop(int fd, std::uint32_t& events);
    int drainInput(int fd, std::uint32_t& events);
    std::uint32_t sampleModem(int fd);
    std::uint32_t checkOutputEmpty(int fd);
    int pollTimeout() const;
    std::size_t inputRoom() const;
    void gateOutputOnDsr(int fd);
    void drainOutputBriefly(int fd);

    std::atomic<int> fd_{-1};
    WakeEvent wake_;
    std::atomic<bool> released_{false};
    std::atomic<bool> gone_{false};
    bool goneReported_ = false;       // waiter only
    std::atomic<int> goneError_{0};
    std::atomic<std::uint32_t> mask_{0};
    std::atomic<std::uint32_t> baud_{9600};
    std::atomic<bool> dtrDsrHandshake_{false};
    std::atomic<unsigned long> wakeups_{0};

    OutputDrain outputDrain_;
    std::mutex sentMutex_;
    std::string sent_;                 // written, not yet taken by takeSent()
    int txFifo_ = 0;                   // set at open, then waiter only

    ModemLinesFactory modemFactory_;
    std::unique_ptr<ModemLines> modem_;   // set at open, gone at close
    std::unique_ptr<ModemWatch> modemWatch_;
    ModemEvents modemEvents_;          // set at open, then waiter only

    mutable std::mutex mutex_;         // guards everything below
    std::condition_variable waitEnded_;
    bool waiting_ = false;
    InputQueue input_;                 // the device is not polled for input while it is full
    bool dtrHeld_ = false;             // DTR dropped because the queue is full
    bool parityMarks_ = false;
    ParityMarkDecoder decoder_;
};

} // namespace platform
