#pragma once

#include "HandOff.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace fw {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A worker thread with the life cycle the components expect: created suspended,
// resumed, paused, asked to terminate, and a blocking hand-off of calls to the
// window thread. It is always created suspended: starting it from the constructor
// would let Execute() run before the derived object exists.
//
// Pausing is cooperative: Suspend() takes effect when Execute() next reaches
// Sleep(). The destructor requests termination and waits for the thread, so a
// TThread never outlives its object. A derived class whose Execute() uses the
// derived object's members must call Stop() in its own destructor, before those
// members go.
class TThread {
public:
    TThread();
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the thread the first time; afterwards releases a Suspend().
    void Resume();
    void Suspend();
    bool Suspended() const;

    // Asks Execute() to end: sets Terminated, wakes Sleep() and a pause, and
    // shuts the hand-off: a call the window thread has not started, and every
    // later one, returns false at once.
    void Terminate();
    bool Terminated() const { return terminated_.load(); }

    // Terminate(), then wait until the thread has ended (or at once if it never
    // started). Must not be called from the thread itself.
    void Stop();

    // True once Execute() has returned.
    bool Finished() const { return finished_.load(); }

    // Hand-offs queued for the window thread that it has not taken up yet.
    int PendingHandOffs() const { return handOff_.pendingCalls(); }

    TThreadPriority Priority() const { return priority_.load(); }
    // Best effort: on Linux a thread's priority is its nice value, and raising it
    // needs privileges; a refusal leaves the thread at its current value.
    void setPriority(TThreadPriority priority);

protected:
    virtual void Execute() = 0;

    // Sleeps `ms` milliseconds unless termination is requested first; also waits
    // out a pause. Returns false when the thread should end.
    bool Sleep(unsigned ms);

    // Runs fn on the window thread and waits for it (HandOff.h). Returns false if
    // the call was withdrawn or Terminate() has been called.
    bool Synchronize(std::function<void()> fn) { return handOff_.call(std::move(fn)); }
    HandOffChannel& handOff() { return handOff_; }

private:
    void run();
    void applyPriority();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    bool started_ = false;
    bool suspended_ = true;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> tid_{0};
    // Set on the owner's thread, applied on the worker's when it starts.
    std::atomic<TThreadPriority> priority_{TThreadPriority::tpNormal};
    HandOffChannel handOff_;
};

} // namespace fw
