#pragma once

#include <sys/socket.h>

namespace platform {

// Whether `address` is one of this machine's loopback addresses: 127.0.0.0/8,
// ::1, or 127.0.0.0/8 mapped into IPv6 (::ffff:127.0.0.1), however it was
// written or looked up before it was connected to.
bool isLoopbackAddress(const sockaddr* address, socklen_t length);

// Whether the connected socket `socket` leads to this machine itself, by the
// address it is actually connected to; false when it has no peer.
bool isLoopbackPeer(int socket);

} // namespace platform
