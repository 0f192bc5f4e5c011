#pragma once

#include <functional>
#include <memory>

namespace fw {

// The blocking hand-off of a call to the window thread.
//
// A worker thread calls call(fn): fn is queued to the window thread and the worker
// blocks until it has run there. The window thread runs queued calls whenever it
// waits for events: in its main loop and inside modal loops (an open message box
// included), one at a time, in the order they were made. Whatever fn throws is
// caught on the window thread and shown by the application's error handler; the
// worker simply returns.
//
// The owner of a worker can withdraw calls that have not started yet (for
// instance when it closes and must not wait for a worker that waits for it): the
// worker then returns false at once and fn never runs.
class HandOffChannel {
public:
    HandOffChannel();
    // Withdraws whatever is still pending.
    ~HandOffChannel();
    HandOffChannel(const HandOffChannel&) = delete;
    HandOffChannel& operator=(const HandOffChannel&) = delete;

    // Runs fn on the window thread and waits for it. Returns true when fn ran,
    // false when the call was withdrawn or there is no application to run it. On
    // the window thread itself fn runs at once.
    bool call(std::function<void()> fn);

    // Window thread: withdraws every call that has not started; their callers
    // return false. A call that is running now is not affected.
    void withdrawPending();

    // Withdraws what is pending and refuses every later call: the worker's calls
    // return false at once from now on. For a worker that is being stopped.
    void shutdown();

    // Window thread: true while one of this channel's calls is running, that is,
    // while its caller is blocked waiting for the window thread.
    bool serving() const;

    // How many calls are queued and have not started: each caller is blocked
    // waiting for the window thread to take its call up.
    int pendingCalls() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

// True on the thread that runs the window (the application's thread).
bool onWindowThread();

} // namespace fw
