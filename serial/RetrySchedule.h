#pragma once

#include <chrono>

// The waits between attempts to reach a network port whose server has gone
// away: the first after half a second, each later one twice as long as the one
// before, up to eight seconds. A server that comes back at once is found at
// once; one that stays away costs a wake-up every eight seconds.
class RetrySchedule {
public:
    static constexpr std::chrono::milliseconds First{500};
    static constexpr std::chrono::milliseconds Last{8000};

    // The wait before the next attempt.
    std::chrono::milliseconds next();
    // The next wait is First again.
    void reset() { wait_ = First; }

private:
    std::chrono::milliseconds wait_ = First;
};
