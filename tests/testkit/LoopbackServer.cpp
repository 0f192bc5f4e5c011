#include "tests/testkit/LoopbackServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Binds `port`, or a port the kernel chooses when it is 0, and says which.
int boundSocket(std::uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind on 127.0.0.1 failed");
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool ready(int fd, short events, std::chrono::milliseconds limit)
{
    pollfd entry {fd, events, 0};
    return ::poll(&entry, 1, static_cast<int>(limit.count())) > 0;
}

} // namespace

LoopbackServer::LoopbackServer(int backlog)
    : backlog_(backlog)
{
    listenAgain();
}

void LoopbackServer::stopListening()
{
    closeConnection();
    ::close(listener_);
    listener_ = -1;
}

void LoopbackServer::listenAgain()
{
    if (listener_ >= 0) return;
    listener_ = boundSocket(port_);
    if (::listen(listener_, backlog_) != 0) throw std::runtime_error("listen failed");
}

LoopbackServer::~LoopbackServer()
{
    stopListening();
}

bool LoopbackServer::accept(std::chrono::milliseconds limit)
{
    closeConnection();
    if (!ready(listener_, POLLIN, limit)) return false;
    connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return connection_ >= 0;
}

void LoopbackServer::send(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::send(connection_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) throw std::runtime_error("send to the client failed");
        done += static_cast<std::size_t>(wrote);
    }
}

std::string LoopbackServer::receive(std::size_t count, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    std::string got;
    char buffer[4096];
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !ready(connection_, POLLIN, left)) break;
        const ssize_t n = ::recv(connection_, buffer, std::min(sizeof buffer, count - got.size()), 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

void LoopbackServer::closeConnection()
{
    if (connection_ >= 0) ::close(connection_);
    connection_ = -1;
}

std::uint16_t unusedLoopbackPort()
{
    std::uint16_t port = 0;
    ::close(boundSocket(port));
    return port;
}

int connectToLoopback(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

SilentListener::SilentListener(const char* address, std::uint16_t port)
{
    sockaddr_in at {};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &at.sin_addr);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // A backlog of 0 holds one connection, the filler's; later ones go unanswered.
    socklen_t length = sizeof at;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(listener_, 0) != 0
        || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) != 0)
        throw std::runtime_error(std::string("cannot listen at ") + address);
    port_ = ntohs(at.sin_port);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&at), sizeof at);
    if (!ready(filler_, POLLOUT, std::chrono::milliseconds(2000))) throw std::runtime_error("backlog not filled");
}

SilentListener::~SilentListener()
{
    ::close(filler_);
    ::close(listener_);
}
