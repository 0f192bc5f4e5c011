#pragma once

#include "platform/ComPortDevice.h"
#include "platform/SerialDevice.h"

#include <memory>
#include <optional>
#include <string>

namespace links {

// A port opened and set up on a thread of its own, then handed to the serial
// component on the window thread. Opening a network port waits for the
// connection (up to five seconds for a host that never answers) and setting
// its line waits for the server's answers; here those waits happen in
// prepare(), and the component's opening, which makes the same calls in the
// same order, gets their results at once. Every later call goes to the device.
//
// Without an opening (pending()) it stands for one still under way: open()
// fails with EINPROGRESS and the component keeps its port closed.
class PreparedDevice : public platform::SerialDevice {
public:
    struct Setup {
        std::uint32_t inQueue = 1024;
        std::uint32_t outQueue = 1024;
        platform::DeviceControl line;
        platform::CommTimeouts timeouts;
    };

    static std::shared_ptr<PreparedDevice> pending();
    // `wait` is how the opening waits for a network port's connection; it may
    // be ended from another thread (a cancelled opening).
    explicit PreparedDevice(std::shared_ptr<platform::ConnectionWait> wait = nullptr);
    ~PreparedDevice() override;

    // On the opening thread: opens `comName` and sets it up as the component
    // will, naming only what the port directory's entry names; returns the
    // opening's error (0 once it is open).
    int prepare(const std::string& comName, const Setup& setup);
    // What went wrong with the opening, in words for the operator; empty after a success.
    std::string diagnosis() const { return diagnosis_; }
    std::string diagnosisDetail() const { return detail_; }

    int open(const std::string& comName) override;
    int setupQueues(std::uint32_t inQueue, std::uint32_t outQueue) override;
    int applySettings(const platform::DeviceControl& settings) override;
    int setTimeouts(const platform::CommTimeouts& timeouts) override;
    int setEventMask(std::uint32_t mask) override;
    int wait(std::uint32_t& events) override;
    int release() override;
    int modemStatus(std::uint32_t& status) override;
    int queueCounts(platform::CommStatus& status) override;
    int read(char* data, std::size_t size, std::size_t& count) override;
    using SerialDevice::write;
    int write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken) override;
    void takeSent(std::string& bytes) override;
    int setControlLine(platform::ControlLine line, bool on) override;
    int abort() override;
    int close() override;
    bool isOpen() const override { return device_ && device_->isOpen(); }
    bool plainToAnotherHost() const override { return device_ && device_->plainToAnotherHost(); }

private:
    // The result of a call prepare() made, given once to the same call.
    static int taken(std::optional<int>& result, int otherwise);

    std::shared_ptr<platform::ConnectionWait> wait_;
    std::unique_ptr<platform::ComPortDevice> device_;
    std::optional<int> open_;
    std::optional<int> queues_;
    std::optional<int> line_;
    std::optional<int> timeouts_;
    std::optional<int> dtr_;
    std::optional<int> rts_;
    std::string diagnosis_;
    std::string detail_;
};

} // namespace links
