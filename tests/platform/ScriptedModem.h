#pragma once

#include "platform/PosixSerialDevice.h"

#include <atomic>
#include <mutex>

// Modem lines played by the test, for a device on a pseudo-terminal, which has
// none of its own. Either it can be waited for, as the kernel's TIOCMIWAIT does
// (and like it, a signal to the waiting thread ends the wait with EINTR), or it
// refuses the wait, as some drivers do.
class ScriptedModem {
public:
    explicit ScriptedModem(bool canWait);
    ~ScriptedModem();
    ScriptedModem(const ScriptedModem&) = delete;
    ScriptedModem& operator=(const ScriptedModem&) = delete;

    platform::PosixSerialDevice::ModemLinesFactory factory();

    // Sets the lines (TIOCM_* bits); the counters of those that changed go up.
    void setStates(int bits);
    // How often a wait has begun, and how often a signal has ended one.
    int waitsBegun() const { return waitsBegun_.load(); }
    int waitsInterrupted() const { return waitsInterrupted_.load(); }
    // How often the lines have been read.
    int reads() const { return reads_.load(); }

private:
    class Lines;

    const bool canWait_;
    int changed_[2] = {-1, -1}; // a pipe: a byte for each change
    mutable std::mutex mutex_;
    int states_ = 0;
    serial_icounter_struct counters_ {};
    std::atomic<int> waitsBegun_{0};
    std::atomic<int> waitsInterrupted_{0};
    std::atomic<int> reads_{0};
};
