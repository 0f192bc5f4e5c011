#pragma once

#include "platform/ModemLines.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

// Waits in the kernel for the modem lines to change, on a thread of its own, and
// calls `changed` (on that thread) after each change, so that the port's own wait
// looks at the lines then and only then: no sampling, and on a USB adapter no
// control transfer, while nothing moves.
//
// A wait in the kernel cannot be woken through a descriptor, so stop() ends it
// with a signal to the thread: wakeSignal(), whose handler does nothing but make
// the wait return. A driver that refuses the wait ends the thread at once;
// refused() then says that the lines must be sampled instead.
class ModemWatch {
public:
    ModemWatch(ModemLines& lines, std::function<void()> changed);
    ~ModemWatch();
    ModemWatch(const ModemWatch&) = delete;
    ModemWatch& operator=(const ModemWatch&) = delete;

    void start();
    // Ends the wait and the thread; returns once the thread has gone.
    void stop();
    bool refused() const { return refused_.load(); }

    // The real-time signal that stop() sends; its handler is installed by the
    // first start().
    static int wakeSignal();

private:
    void run();

    ModemLines& lines_;
    std::function<void()> changed_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> refused_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
    bool running_ = false;
};

} // namespace platform
