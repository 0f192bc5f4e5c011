#pragma once

#include <QCoreApplication>
#include <chrono>
#include <thread>

// Serves the window thread's events (and so the event thread's hand-offs) until
// `done` holds or `limit` has passed; returns whether `done` held.
template <class Done>
bool pumpUntil(Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(2000))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        QCoreApplication::processEvents();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

inline void pumpFor(std::chrono::milliseconds span)
{
    pumpUntil([] { return false; }, span);
}
