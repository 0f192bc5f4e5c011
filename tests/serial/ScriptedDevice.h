#pragma once

#include "platform/SerialDevice.h"
#include "serial/Serial2.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A serial device driven by the test, for what a pty cannot do: modem lines,
// break, ring, failing waits and reads. It logs the calls the component makes.
class ScriptedDevice : public platform::SerialDevice {
public:
    explicit ScriptedDevice(int openError = 0)
        : openError_(openError)
    {
    }

    // Test side; any thread.
    void raise(std::uint32_t events);
    void receive(const std::string& bytes);
    void setModemStatus(std::uint32_t status, int error = 0);
    void failWaits(int error);
    void failReads(int error);
    std::vector<std::string> calls() const;
    std::string written() const;
    bool inputEmpty() const;
    int waits() const;
    platform::DeviceControl settings() const;
    platform::CommTimeouts timeouts() const;

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
    using platform::SerialDevice::write;
    int write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken) override;
    void takeSent(std::string& bytes) override;
    int setControlLine(platform::ControlLine line, bool on) override;
    int abort() override;
    int close() override;
    bool isOpen() const override;

private:
    void log(std::string call) { calls_.push_back(std::move(call)); }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int openError_ = 0;
    bool open_ = false;
    bool released_ = false;
    std::uint32_t mask_ = 0;
    std::uint32_t pending_ = 0;
    int waitError_ = 0;
    int readError_ = 0;
    int waits_ = 0;
    std::uint32_t modem_ = 0;
    int modemError_ = 0;
    std::string input_;
    std::string written_;
    std::string unreported_; // written, not yet taken by takeSent()
    std::vector<std::string> calls_;
    platform::DeviceControl settings_;
    platform::CommTimeouts timeouts_;
};

// Makes a new scripted device for each opening and keeps them all.
class ScriptedPorts {
public:
    TSerial::DeviceFactory factory()
    {
        return [this] {
            auto device = std::make_shared<ScriptedDevice>(openError);
            made.push_back(device);
            return device;
        };
    }
    ScriptedDevice& last() { return *made.back(); }

    int openError = 0;
    std::vector<std::shared_ptr<ScriptedDevice>> made;
};
