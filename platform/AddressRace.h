#pragma once

#include "platform/ConnectionWait.h"
#include "platform/HostLookup.h"

#include <chrono>
#include <vector>

namespace platform {

// Connects to whichever of a host's addresses answers first. The first
// address is tried; each further one starts when the last has not connected
// within NextAddressDelay, or at once when it has failed; tries go on side by
// side, and the first TCP connection made is kept and the others closed. So a
// host whose first address never answers opens on its next one in about
// NextAddressDelay, not after the whole time limit.
//
// The race is run on sockets of our own, and the winner goes to gensio (see
// GensioLoop::adopt) rather than racing several gensio stacks or connecting
// again on the address that won: a server that serves one client per port
// sees exactly one connection of ours that it keeps, and no Telnet or TLS
// opening is ever done twice.
//
// Waits go through `wait`, so a window's Cancel and `deadline` hold. Returns
// 0 with `connected` (a non-blocking TCP socket, no delay on small writes)
// and the index of its address in `winner`; ETIMEDOUT; ECANCELED; or the
// errno of the last address that failed (ECONNREFUSED, ENETUNREACH, ...).
class AddressRace {
public:
    static constexpr std::chrono::milliseconds NextAddressDelay{250};

    static int connect(const std::vector<SocketAddress>& addresses, ConnectionWait& wait,
                       ConnectionWait::Clock::time_point deadline, int& connected, std::size_t& winner);
};

} // namespace platform
