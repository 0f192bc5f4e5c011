#pragma once

#include "Timer.h"

#include <cstdint>
#include <map>

namespace fw {

// A clock that moves only when told to, for deterministic tests of timing rules.
// Install it with setDefaultScheduler() before creating the timers under test.
class VirtualClock : public TimerScheduler {
public:
    VirtualClock();
    ~VirtualClock() override;

    std::unique_ptr<TimerBackend> createTimer(std::function<void()> fire) override;
    std::uint64_t nowMs() const override { return now_; }
    // A test has one clock: the ages follow it too.
    std::uint64_t ageClockMs() const override { return now_; }

    // Moves the clock forward by `ms`, firing every timer that falls due on the way
    // in time order (equal times in the order their counts were started). A timer
    // started or restarted by a handler fires too, if it falls due in the span.
    void advance(std::uint64_t ms);

    // Milliseconds until the next expiry, or -1 when no timer runs.
    long long nextDueIn() const;

private:
    class Backend;
    struct Entry {
        Backend* backend;
        unsigned interval;
    };
    // Keyed by (due time, start sequence): iteration is firing order.
    using Key = std::pair<std::uint64_t, std::uint64_t>;

    void schedule(Backend* backend, unsigned interval, std::uint64_t due);
    void unschedule(Backend* backend);

    std::uint64_t now_ = 0;
    std::uint64_t sequence_ = 0;
    std::map<Key, Entry> due_;
};

// Installs a VirtualClock as the default scheduler for its lifetime.
class ScopedVirtualClock : public VirtualClock {
public:
    ScopedVirtualClock();
    ~ScopedVirtualClock() override;
    ScopedVirtualClock(const ScopedVirtualClock&) = delete;
    ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;
};

} // namespace fw
