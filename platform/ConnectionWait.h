#pragma once

#include "platform/ThreadScope.h"

#include <chrono>
#include <string>

namespace platform {

// How opening a network port waits while the connection is made: for the name
// to resolve, the connect to complete, the server to answer. Opening is
// synchronous, so a window shows a box with Cancel meanwhile and keeps
// painting; a program without a window just waits.
class ConnectionWait {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~ConnectionWait() = default;

    // An opening of `peer` ("HOST:PORT") starts; the waits below belong to it
    // until end().
    virtual void begin(const std::string& peer) = 0;
    // Waits until `fd` is ready for `events` (POLLIN, POLLOUT). Returns 0,
    // ETIMEDOUT once `deadline` has passed, ECANCELED when the operator gave
    // up, or the errno of the wait.
    virtual int wait(int fd, short events, Clock::time_point deadline) = 0;
    virtual void end() = 0;
};

// Brackets the waits of one opening or setting, so that a window's box spans
// all of them.
class ConnectionWaitScope {
public:
    ConnectionWaitScope(ConnectionWait& wait, const std::string& peer)
        : wait_(wait)
    {
        wait_.begin(peer);
    }
    ~ConnectionWaitScope() { wait_.end(); }
    ConnectionWaitScope(const ConnectionWaitScope&) = delete;
    ConnectionWaitScope& operator=(const ConnectionWaitScope&) = delete;

private:
    ConnectionWait& wait_;
};

// While an object of this class lives, openings on this thread are the
// program's own attempts to bring a lost link back, not the operator's: a wait
// that would show a box for the operator shows none, since nobody asked for
// this opening and a box on every retry would trap whoever sits at the window.
class UnattendedOpening : public ThreadScope<UnattendedOpening> {};

// The wait of a program without a window: poll().
class PollConnectionWait : public ConnectionWait {
public:
    void begin(const std::string&) override {}
    int wait(int fd, short events, Clock::time_point deadline) override;
    void end() override {}
};

} // namespace platform
