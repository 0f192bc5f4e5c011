#pragma once

#include <chrono>
#include <thread>

// Waits until `done` holds or `limit` has passed, without serving the window
// thread's events; returns whether `done` held. For a state that another thread
// brings about while the window thread must stay away from its queue, such as a
// worker blocked in a hand-off that nobody serves yet.
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
