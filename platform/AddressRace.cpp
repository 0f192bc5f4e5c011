#include "platform/AddressRace.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = ConnectionWait::Clock;

// The tries under way, in one epoll set that a single wait can watch.
class Tries {
public:
    Tries() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}
    ~Tries()
    {
        for (const auto& attempt : attempts_) ::close(attempt.fd);
        if (epoll_ >= 0) ::close(epoll_);
    }
    Tries(const Tries&) = delete;
    Tries& operator=(const Tries&) = delete;

    int fd() const { return epoll_; }
    bool empty() const { return attempts_.empty(); }

    // Starts connecting to `address`: 0 while it goes on or has succeeded
    // (then `done` is set), or the errno it failed with at once.
    int start(const SocketAddress& address, std::size_t index, bool& done)
    {
        done = false;
        const int fd = ::socket(address.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) return errno;
        attempts_.push_back({fd, index});
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0) {
            done = true;
            return 0;
        }
        const int error = errno;
        epoll_event event {};
        event.events = EPOLLOUT;
        event.data.fd = fd;
        if (error != EINPROGRESS || ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) {
            drop(fd);
            return error != EINPROGRESS ? error : errno;
        }
        return 0;
    }

    // A try that has ended: 0 when one connected (`done` set), or the errno
    // of one that failed, or EAGAIN when none has ended yet.
    int ended(bool& done)
    {
        done = false;
        epoll_event event {};
        if (::epoll_wait(epoll_, &event, 1, 0) != 1) return EAGAIN;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(event.data.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        if (error == 0) {
            std::iter_swap(find(event.data.fd), attempts_.end() - 1);
            done = true;
            return 0;
        }
        drop(event.data.fd);
        return error;
    }

    // The try that connected last, taken out of the race; the others are
    // closed with the race.
    int takeWinner(std::size_t& index)
    {
        const Attempt winner = attempts_.back();
        attempts_.pop_back();
        index = winner.index;
        const int on = 1;
        ::setsockopt(winner.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return winner.fd;
    }

private:
    struct Attempt {
        int fd;
        std::size_t index;
    };

    std::vector<Attempt>::iterator find(int fd)
    {
        return std::find_if(attempts_.begin(), attempts_.end(), [fd](const Attempt& a) { return a.fd == fd; });
    }

    void drop(int fd)
    {
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        attempts_.erase(find(fd));
    }

    int epoll_;
    std::vector<Attempt> attempts_;
};

} // namespace

int AddressRace::connect(const std::vector<SocketAddress>& addresses, ConnectionWait& wait,
                         Clock::time_point deadline, int& connected, std::size_t& winner)
{
    connected = -1;
    Tries tries;
    if (tries.fd() < 0) return errno;
    int lastError = addresses.empty() ? EHOSTUNREACH : 0;
    std::size_t next = 0;
    auto nextStart = Clock::now();
    for (;;) {
        bool done = false;
        if (next < addresses.size() && (tries.empty() || Clock::now() >= nextStart)) {
            const int error = tries.start(addresses[next], next, done);
            ++next;
            // One that failed at once makes way for the next at once.
            nextStart = Clock::now() + (error != 0 ? Clock::duration::zero() : NextAddressDelay);
            if (error != 0) lastError = error;
            if (!done) continue;
        }
        if (!done) {
            if (tries.empty()) return lastError;
            const auto until = next < addresses.size() ? std::min(nextStart, deadline) : deadline;
            const int error = wait.wait(tries.fd(), POLLIN, until);
            if (error == ETIMEDOUT && until == deadline) return ETIMEDOUT;
            if (error != 0 && error != ETIMEDOUT) return error;
            const int ended = tries.ended(done);
            if (ended != 0 && ended != EAGAIN) {
                lastError = ended;
                // A failed try makes way for the next at once.
                nextStart = Clock::now();
            }
        }
        if (done) {
            connected = tries.takeWinner(winner);
            return 0;
        }
    }
}

} // namespace platform
