#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

// Tells once when a device's output has drained after the latest write. Writers
// count their writes from any thread; the port's wait looks at the device's
// output queue after each write and again when the device expects it to have
// moved, less and less often while it does not move (flow control, a peer that
// does not read).
class OutputDrain {
public:
    // Any thread: bytes have gone to the device.
    void wrote() { ++written_; }

    // The rest is for the wait only.
    void reset();
    bool pending() const { return written_.load() != seen_; }
    // When to look again while pending().
    int lookAgainMs() const { return lookAgainMs_; }
    // What the device's queue holds now: `empty` when everything has left,
    // else `queued` bytes, expected to have left in `estimateMs`. True once per
    // drain after a write.
    bool drained(bool empty, int queued, int estimateMs);
    // Nobody wants to know: the writes so far count as drained, silently.
    void forget() { seen_ = written_.load(); }

private:
    std::atomic<std::uint64_t> written_{0};
    std::uint64_t seen_ = 0;
    int lookAgainMs_ = 1;
    int lastQueued_ = -1;
};

} // namespace platform
