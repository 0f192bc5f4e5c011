#pragma once

#include "platform/ConnectionWait.h"
#include "platform/NetworkAddress.h"

#include <functional>
#include <string>

struct addrinfo;

namespace platform {

// Makes the TCP connection of a network port: looks the host up, then tries
// each of its addresses in turn, all within one time limit and through the
// opening's wait, so that a window keeps painting and the operator can cancel.
class TcpConnector {
public:
    struct Result {
        int fd = -1;          // the connected socket, non-blocking
        int error = 0;        // or the errno of the failure
        std::string problem;  // in words, when it failed
    };

    // Looks a host name up as getaddrinfo() does, with its return codes.
    using Resolver = std::function<int(const char* host, const char* service, const addrinfo* hints, addrinfo** found)>;

    // Host names go to `resolver`, getaddrinfo() when none is given (tests
    // give one that needs no name server).
    explicit TcpConnector(Resolver resolver = {});

    // A host that cannot be looked up fails with EHOSTUNREACH and the
    // resolver's own text; an address where nothing listens with
    // ECONNREFUSED; the time limit with ETIMEDOUT; a cancel with ECANCELED.
    Result connect(const NetworkAddress& address, ConnectionWait& wait, ConnectionWait::Clock::time_point deadline) const;

private:
    Result lookUp(const NetworkAddress& address, ConnectionWait& wait, ConnectionWait::Clock::time_point deadline,
                  addrinfo*& found) const;

    Resolver resolver_;
};

} // namespace platform
