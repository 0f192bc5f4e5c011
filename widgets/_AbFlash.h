#pragma once

#include "framework/Events.h"
#include "framework/Thread.h"
#include "framework/Timer.h"

#include <QObject>
#include <atomic>
#include <memory>

class TAbFlash;

// The widgets' worker thread.
class TAbThread : public fw::TThread {};

// Sleeps TickInterval milliseconds, hands a tick to its TAbFlash on the window
// thread and waits until it has run there, until it is terminated.
class TTimerThread : public TAbThread {
public:
    explicit TTimerThread(TAbFlash& owner);
    ~TTimerThread() override;

    unsigned TickInterval() const { return tickInterval_.load(); }
    // Written while the thread is paused.
    void setTickInterval(unsigned ms) { tickInterval_ = ms; }
    // True while the window thread runs a tick of this thread.
    bool Delivering() { return handOff().serving(); }

protected:
    void Execute() override;

private:
    TAbFlash& owner_;
    std::atomic<unsigned> tickInterval_{16};
};

// What makes a TAbFlash tick: a worker thread in the program; tests may put a
// window timer on a virtual clock in its place (setFlashTickScheduler).
class TFlashTicker {
public:
    virtual ~TFlashTicker() = default;
    // Stops the ticks; a tick being delivered finishes.
    virtual void pause() = 0;
    virtual void run(unsigned intervalMs, fw::TThreadPriority priority) = 0;
};

// Where TAbFlash objects created from now on take their ticks: nullptr (the
// default) gives each its own worker thread; a scheduler, such as a
// fw::VirtualClock, drives them with a window timer on that clock instead.
void setFlashTickScheduler(fw::TimerScheduler* scheduler);

// A clock component: calls OnTick on the window thread every TickInterval
// milliseconds while Enabled, TickInterval is not 0 and OnTick is assigned.
//
// Destruction stops the ticks at once: the worker is asked to end, a tick it is
// waiting to hand over is withdrawn, and no tick reaches the component afterwards.
class TAbFlash : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)
public:
    explicit TAbFlash(QObject* owner = nullptr);
    ~TAbFlash() override;

    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled);

    unsigned TickInterval() const { return tickInterval_; }
    // 0 keeps the clock paused.
    void setTickInterval(unsigned ms);

    fw::TThreadPriority ThreadPriority() const { return priority_; }
    void setThreadPriority(fw::TThreadPriority priority);

    const TNotifyEvent& OnTick() const { return onTick_; }
    void setOnTick(TNotifyEvent handler);

    // One tick, on the window thread: calls OnTick if the clock is enabled.
    void DoTick();

private:
    void UpdateThread();

    bool enabled_ = true;
    unsigned tickInterval_ = 16;
    TNotifyEvent onTick_;
    fw::TThreadPriority priority_ = fw::TThreadPriority::tpNormal;
    bool destroying_ = false;
    std::unique_ptr<TFlashTicker> ticker_;
};
