#pragma once

#include <chrono>

namespace platform {

// How soon a TCP link finds a peer that went away without a word (a host
// switched off, a cable pulled, a radio link lost): the link is idle for
// KeepaliveIdle, then a probe goes out every KeepaliveInterval, and after
// KeepaliveProbes unanswered ones the link is dead. Data that stays
// unacknowledged for UserTimeout ends it too, and bounds the probes as well,
// so either way the peer is found dead within about 15 s.
struct Liveness {
    static constexpr std::chrono::seconds KeepaliveIdle {5};
    static constexpr std::chrono::seconds KeepaliveInterval {2};
    static constexpr int KeepaliveProbes = 3;
    static constexpr std::chrono::milliseconds UserTimeout {15000};
};

// Sets these timings on a connected TCP socket; a link found dead fails its
// next read or write with ETIMEDOUT. Returns 0, or the errno of the option
// the socket refused.
int setLiveness(int socketFd);

} // namespace platform
