#include "platform/TcpConnector.h"

#include "platform/WakeEvent.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// A look-up on a thread of its own, so that the opening can wait for it
// through its wait and give up on it. The thread owns its share of this; one
// that is given up on finishes in the background and frees it.
struct LookUp {
    WakeEvent done;
    std::mutex mutex;
    bool finished = false;
    int status = 0;
    int systemError = 0;
    addrinfo* found = nullptr;

    ~LookUp()
    {
        if (found) ::freeaddrinfo(found);
    }
};

addrinfo hintsFor(int flags)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    return hints;
}

std::string errorText(int error)
{
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

TcpConnector::Result failure(int error, std::string problem)
{
    TcpConnector::Result result;
    result.error = error;
    result.problem = std::move(problem);
    return result;
}

TcpConnector::Result lookUpFailure(const NetworkAddress& address, int status, int systemError)
{
    if (status == EAI_SYSTEM) return failure(systemError, "looking up " + address.host + ": " + errorText(systemError));
    if (status == EAI_MEMORY) return failure(ENOMEM, "looking up " + address.host + ": " + ::gai_strerror(status));
    return failure(EHOSTUNREACH, "the host " + address.host + " is unknown: " + ::gai_strerror(status));
}

// Frames are small and the line is slow: each should go at once, not wait for
// the acknowledgement of the one before. A peer that vanishes without a word
// (a machine switched off, a link gone) is found by keepalive probes and by a
// limit on unacknowledged data, within about half a minute.
void tune(int fd)
{
    const int on = 1;
    const int idleSeconds = 10;
    const int intervalSeconds = 5;
    const int probes = 3;
    const unsigned userTimeoutMs = 20000;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

} // namespace

TcpConnector::TcpConnector(Resolver resolver)
    : resolver_(resolver ? std::move(resolver) : Resolver(::getaddrinfo))
{
}

// Looks the host up. A numeric address needs no resolver and no thread.
TcpConnector::Result TcpConnector::lookUp(const NetworkAddress& address, ConnectionWait& wait,
                                          ConnectionWait::Clock::time_point deadline, addrinfo*& found) const
{
    const std::string port = std::to_string(address.port);
    const addrinfo numeric = hintsFor(AI_NUMERICHOST | AI_NUMERICSERV);
    if (::getaddrinfo(address.host.c_str(), port.c_str(), &numeric, &found) == 0) return {};

    auto state = std::make_shared<LookUp>();
    if (const int error = state->done.open()) return failure(error, "looking up " + address.host + ": " + errorText(error));
    try {
        std::thread([state, resolver = resolver_, host = address.host, port] {
            const addrinfo hints = hintsFor(AI_ADDRCONFIG | AI_NUMERICSERV);
            addrinfo* result = nullptr;
            const int status = resolver(host.c_str(), port.c_str(), &hints, &result);
            const int systemError = errno;
            std::lock_guard lock(state->mutex);
            state->finished = true;
            state->status = status;
            state->systemError = systemError;
            state->found = result;
            state->done.signal();
        }).detach();
    } catch (const std::system_error& error) {
        return failure(error.code().value(), "looking up " + address.host + ": " + error.what());
    }
    for (;;) {
        {
            std::lock_guard lock(state->mutex);
            if (state->finished) {
                if (state->status != 0) return lookUpFailure(address, state->status, state->systemError);
                found = std::exchange(state->found, nullptr);
                return {};
            }
        }
        if (const int error = wait.wait(state->done.fd(), POLLIN, deadline)) {
            if (error == ETIMEDOUT) return failure(error, "looking up " + address.host + " took too long");
            return failure(error, "looking up " + address.host + " was given up");
        }
        state->done.clear();
    }
}


TcpConnector::Result TcpConnector::connect(const NetworkAddress& address, ConnectionWait& wait,
                                           ConnectionWait::Clock::time_point deadline) const
{
    addrinfo* found = nullptr;
    const Result result = lookUp(address, wait, deadline, found);
    if (result.error != 0) return result;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

    const std::string peer = address.hostPort();
    // Where several addresses fail, the first one's reason is the one to tell:
    // that is the address the host is meant to be reached at.
    std::optional<Result> firstFailure;
    for (const addrinfo* candidate = list.get(); candidate; candidate = candidate->ai_next) {
        const int fd = ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                candidate->ai_protocol);
        int error = fd < 0 ? errno : ::connect(fd, candidate->ai_addr, candidate->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            error = wait.wait(fd, POLLOUT, deadline);
            if (error == ETIMEDOUT || error == ECANCELED) {
                ::close(fd);
                return failure(error, error == ETIMEDOUT ? peer + " did not answer within the time limit"
                                                         : "connecting to " + peer + " was cancelled");
            }
            socklen_t length = sizeof error;
            if (error == 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        }
        if (error == 0) {
            tune(fd);
            Result connected;
            connected.fd = fd;
            return connected;
        }
        if (fd >= 0) ::close(fd);
        if (!firstFailure)
            firstFailure = failure(error, error == ECONNREFUSED ? "nothing listens at " + peer
                                                                : "connecting to " + peer + ": " + errorText(error));
    }
    return firstFailure ? *firstFailure : failure(EHOSTUNREACH, "the host " + address.host + " has no address");
}

} // namespace platform
