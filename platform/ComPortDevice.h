#pragma once

#include "platform/ConnectionWait.h"
#include "platform/SerialDevice.h"

#include <memory>

namespace platform {

class NetworkSerialDevice;

// The device a COM name stands for: a terminal (PosixSerialDevice), or a
// network port when its port-directory entry is a file holding an address
// (NetworkSerialDevice). Which one is decided at each opening; every other call
// goes to the device that opening made.
class ComPortDevice : public SerialDevice {
public:
    // `wait` is how opening a network port waits; without one it polls.
    explicit ComPortDevice(std::shared_ptr<ConnectionWait> wait = nullptr);
    ~ComPortDevice() override;

    int open(const std::string& comName) override;
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
    bool isOpen() const override { return device_ && device_->isOpen(); }
    bool plainToAnotherHost() const override { return device_ && device_->plainToAnotherHost(); }

    // What went wrong with the last opening or setting of a network port, in
    // words for the operator; empty otherwise.
    std::string diagnosis() const;

private:
    std::shared_ptr<ConnectionWait> connectionWait_;
    std::unique_ptr<SerialDevice> device_;
    NetworkSerialDevice* network_ = nullptr; // device_, when it is a network port
};

} // namespace platform
