#include "platform/Liveness.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace platform {

namespace {

int setOption(int fd, int level, int name, int value)
{
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0 ? 0 : errno;
}

} // namespace

int setLiveness(int socketFd)
{
    const struct {
        int level;
        int name;
        int value;
    } options[] = {
        {SOL_SOCKET, SO_KEEPALIVE, 1},
        {IPPROTO_TCP, TCP_KEEPIDLE, static_cast<int>(Liveness::KeepaliveIdle.count())},
        {IPPROTO_TCP, TCP_KEEPINTVL, static_cast<int>(Liveness::KeepaliveInterval.count())},
        {IPPROTO_TCP, TCP_KEEPCNT, Liveness::KeepaliveProbes},
        {IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(Liveness::UserTimeout.count())},
    };
    for (const auto& option : options)
        if (const int error = setOption(socketFd, option.level, option.name, option.value)) return error;
    return 0;
}

} // namespace platform
