#pragma once

#include "Events.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

namespace fw {

// One running count of a timer, provided by a scheduler.
class TimerBackend {
public:
    virtual ~TimerBackend() = default;
    // Starts a fresh periodic count of `intervalMs`, replacing any running one.
    virtual void start(unsigned intervalMs) = 0;
    virtual void stop() = 0;
};

// Where timers get their counts and the program its millisecond clock: Qt's
// precise timers in the program, a virtual clock in tests (VirtualClock.h).
class TimerScheduler {
public:
    virtual ~TimerScheduler() = default;
    // A backend that calls `fire` on the window thread at each expiry.
    virtual std::unique_ptr<TimerBackend> createTimer(std::function<void()> fire) = 0;
    // Monotonic milliseconds since an arbitrary start; never wraps in practice.
    virtual std::uint64_t nowMs() const = 0;
    // Milliseconds on a clock that goes on counting while the machine is
    // suspended, for the ages a display shows ("last reply 3 h ago"): after
    // an hour asleep, nowMs() has moved on by nothing.
    virtual std::uint64_t ageClockMs() const;
};

// The scheduler used by timers created from now on and by tickCount().
TimerScheduler& defaultScheduler();
// Installs `scheduler` (not owned); nullptr restores Qt's.
void setDefaultScheduler(TimerScheduler* scheduler);
// The program's millisecond clock (the default scheduler's).
std::uint64_t tickCount();

// A window timer: fires OnTimer every Interval milliseconds while Enabled, on
// the window thread. Created disabled with an Interval of 1000 ms.
//
// Writing the value a property already has leaves a running count alone;
// changing Enabled, Interval or OnTimer stops the count and, if the timer should
// then run, starts a fresh one. A timer runs only while it is enabled, its
// interval is not 0 and it has a handler.
class TTimer : public QObject {
    Q_OBJECT
public:
    explicit TTimer(QObject* owner = nullptr, TimerScheduler& scheduler = defaultScheduler());
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled);

    unsigned Interval() const { return interval_; }
    void setInterval(unsigned intervalMs);

    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void setOnTimer(TNotifyEvent handler);

private:
    void update();
    void fire();

    bool enabled_ = false;
    unsigned interval_ = 1000;
    TNotifyEvent onTimer_;
    bool running_ = false;
    std::unique_ptr<TimerBackend> backend_;
};

} // namespace fw
