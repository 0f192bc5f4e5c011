#pragma once

#include "platform/ConnectionWait.h"

#include <cstdint>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace platform {

// One address of a host and port, as connect() takes it.
struct SocketAddress {
    sockaddr_storage storage {};
    socklen_t length = 0;

    int family() const { return storage.ss_family; }
    // The address in numbers, an IPv6 one without brackets.
    std::string text() const;
};

// What a hosts file says of a name: its addresses in numbers, in order, and
// none for a name it does not know. Tests put one in place of the system's
// resolver.
using HostTable = std::function<std::vector<std::string>(const std::string& host)>;

// The addresses of `host` for TCP `port`, in the order to try them: the
// families alternating, starting with the first the resolver gave, so that a
// family that does not work costs one try, not all of its addresses.
//
// A host in numbers needs no lookup. A name is looked up by `table`, or else
// by the system's resolver on a worker thread while `wait` waits for it, so
// that a window keeps painting and its Cancel and `deadline` hold during a
// slow lookup as they do for the connection. The worker is never detached: a
// lookup given up goes on with the worker sharing its state, and the worker is
// joined by a later lookup once it has ended.
//
// Returns 0; EHOSTUNREACH for a host with no address, the resolver's words in
// `problem`; ETIMEDOUT; ECANCELED; or the errno of the wait.
int lookUpHost(const std::string& host, std::uint16_t port, const HostTable& table, ConnectionWait& wait,
               ConnectionWait::Clock::time_point deadline, std::vector<SocketAddress>& addresses,
               std::string& problem);

} // namespace platform
