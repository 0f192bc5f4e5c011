#include "platform/PeerAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace platform {

bool isLoopbackAddress(const sockaddr* address, socklen_t length)
{
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    }
    return false;
}

bool isLoopbackPeer(int socket)
{
    sockaddr_storage peer {};
    socklen_t length = sizeof peer;
    if (socket < 0 || ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
    return isLoopbackAddress(reinterpret_cast<const sockaddr*>(&peer), length);
}

} // namespace platform
