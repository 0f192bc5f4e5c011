#include "tests/testkit/PtyPair.h"

#include "platform/ArbitraryBaud.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[128] = {};
    if (::openpty(&master_, &slaveHolder_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    slavePath_ = name;
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveHolder_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (slaveHolder_ >= 0) ::close(slaveHolder_);
}

void PtyPair::send(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) throw std::runtime_error("write to pty master failed");
        done += static_cast<std::size_t>(wrote);
    }
}

std::string PtyPair::receive(std::size_t count, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    std::string got;
    char buffer[4096];
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd fds {master_, POLLIN, 0};
        if (::poll(&fds, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

termios PtyPair::settings() const
{
    termios t {};
    ::tcgetattr(master_, &t);
    return t;
}

long PtyPair::outputRate() const
{
    return platform::detail::outputRate(master_);
}

void PtyPair::closeMaster()
{
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}
