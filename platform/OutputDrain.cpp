#include "platform/OutputDrain.h"

#include <algorithm>

namespace platform {

namespace {

constexpr int MaxLookAgainMs = 1000;

} // namespace

void OutputDrain::reset()
{
    written_ = 0;
    seen_ = 0;
    lookAgainMs_ = 1;
    lastQueued_ = -1;
}

bool OutputDrain::drained(bool empty, int queued, int estimateMs)
{
    const std::uint64_t written = written_.load();
    if (written == seen_) return false;
    if (empty) {
        seen_ = written;
        lastQueued_ = -1;
        lookAgainMs_ = 1;
        return true;
    }
    lookAgainMs_ = queued == lastQueued_ ? std::min(MaxLookAgainMs, lookAgainMs_ * 2)
                                         : std::clamp(estimateMs, 1, MaxLookAgainMs);
    lastQueued_ = queued;
    return false;
}

} // namespace platform
