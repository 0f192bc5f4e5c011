#pragma once

#include <memory>
#include <string>

struct gensio;

namespace platform {

class WakeEvent;

// Network connections on their way out, so that closing a port never waits on
// the caller's thread (a window's) for a server that has stopped reading.
//
// A device hands over its gensio (its callbacks already turned away from the
// device), a duplicate of its socket and its use of the gensio loop, and
// returns at once. Here gensio's close runs to its end; then our end is shut
// and the server's end awaited, which tells that the server has let the
// connection go: a serial server that takes one client at a time turns the
// next away until then. A server that has not done so by CloseLimit is left
// with its socket shut down both ways. Only then is the gensio freed and the
// loop let go.
//
// One thread serves every closing, and runs only while there is one.
class ClosingLinks {
public:
    // `keep` lives until gensio is freed (what its callbacks point at);
    // `socket` is ours to close, or -1; `peer` is the entry's "HOST:PORT".
    static void handOver(gensio* io, std::shared_ptr<void> keep, int socket, const std::string& peer);

    // Whether a connection of ours to `peer` is still closing.
    static bool closing(const std::string& peer);
    // `event` is signalled whenever a closing ends, until forgotten.
    static void watch(WakeEvent& event);
    static void forget(WakeEvent& event);
};

} // namespace platform
