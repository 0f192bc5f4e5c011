#include "serial/RetrySchedule.h"

#include <algorithm>

std::chrono::milliseconds RetrySchedule::next()
{
    const std::chrono::milliseconds wait = wait_;
    wait_ = std::min(wait_ * 2, Last);
    return wait;
}
