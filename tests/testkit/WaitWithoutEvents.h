#pragma once

#include <chrono>
#include <thread>

// Waits until `done` holds or `limit` has passed, without serving the window
// thread's events; returns whether `done` held. For a state that another thread
// brings about while the window thread must stay away from its queue, such as a
// worker blocked in a hand-off that nobody serves yet.
// True when every thread but the calling one is blocked in a futex wait without
// a time-out (a condition variable's plain wait, a hand-off nobody serves): only
// a notification wakes it, so it costs no wake-ups for as long as it stays there.
bool otherThreadsWaitWithoutTimeOut();

template <class Done>
bool waitWithoutEvents(Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
