#pragma once

#include <csignal>

namespace fw {

// SIGINT, SIGTERM and SIGHUP as a descriptor to poll, so that a command-line
// program's loop ends cleanly (its port closed, its links removed) instead of
// the program dying where it stands. The signals are blocked from construction
// on and stay blocked afterwards, so a second Ctrl+C while shutting down cannot
// cut the clean-up short. Construct it before any thread starts: a thread
// inherits the blocked set when it is created.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int fd() const { return fd_; }
    // The signal that arrived, 0 if none did.
    int take();

private:
    int fd_ = -1;
};

} // namespace fw
