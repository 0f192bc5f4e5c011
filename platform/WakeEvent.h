#pragma once

#include <atomic>

namespace platform {

// An eventfd that a device's wait polls beside its device, so that another
// thread can make the wait look again (a nudge) or end it (a release, which
// also sets a flag the wait checks). One poll() then covers both.
class WakeEvent {
public:
    WakeEvent() = default;
    ~WakeEvent() { close(); }
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Returns 0 or errno.
    int open();
    void close();
    int fd() const { return fd_.load(); }

    // Makes a poll on fd() return. Returns 0, EBADF while closed, or errno.
    int signal();
    // Takes what signal() left, after the poll has returned.
    void clear();

private:
    std::atomic<int> fd_{-1};
};

} // namespace platform
