#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct gensio_os_funcs;
struct gensio_waiter;

namespace platform {

// The process's gensio os handler and the threads that service it
// (ServicingThreads), so that every gensio callback comes on one of them and
// no caller's thread ever waits inside gensio. gensio keeps the first handler
// of a process for its own use, so there is one, made on first use and kept
// to the end.
//
// Another thread that hands gensio work (a write, a callback enabled) makes
// gensio wake a servicing thread with a signal, SIGUSR1. A servicing thread
// takes it only while it waits; the process's handler of it does
// nothing, so a stray one harms no other thread. Every socket gensio reads
// acknowledges what came at once.
class GensioLoop {
public:
    // Threads that service the one handler together. gensio 2.6.2's Telnet
    // spins on the thread that runs it for seconds when a server floods it
    // while RFC 2217 is negotiated, and with one thread every other port of
    // the process waits that long; a second thread keeps them going. It stays
    // one until a write's rest sent by another servicing thread between the
    // write's return and its caller's takeSent() is no longer told as late.
    static constexpr int ServicingThreads = 1;

    // Told of each line of gensio's log (the reason OpenSSL gave for a
    // handshake that failed, say) while it listens.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void logged(const std::string& line) = 0;
    };

    // The handler, or nullptr when it could not be made.
    static gensio_os_funcs* funcs();

    // A device's use of the loop, from the start of its opening to the end of
    // its closing: the servicing thread runs while anyone uses it, so that a
    // process without a network port open has no thread of gensio awake.
    // False when the thread could not be started.
    static bool use();
    static void stopUsing();

    // An opening on this thread that has connected its socket itself (racing
    // a host's addresses) hands it over here before gensio_open: gensio's TCP
    // layer, which connects within gensio_open on the caller's thread, takes it
    // in place of the socket it would connect. Whatever gensio did not take is
    // closed by takeConnected(). The number gensio gives it is stored in
    // `taken` as soon as it has it, before gensio's loop can use the socket.
    static void adopt(int connected, std::atomic<int>* taken = nullptr);
    // The TCP socket gensio connected (or adopted) on this thread since
    // adopt(), or -1; gensio keeps it and closes it with its stack.
    static int takeConnected();
    // The first bytes gensio read from the socket `connected` (at most a few
    // hundred), raw as they came; from then on no more are kept.
    static std::string takeFirstBytes(int connected);

    // Counts from now on the bytes read from the socket `connected` (all
    // those read while its first were kept included), until endEarlyCount()
    // gives the count: what a server sent before it agreed to RFC 2217, say.
    static void countEarlyBytes(int connected);
    static std::size_t endEarlyCount(int connected);

    // The log goes to every listener, on whatever thread gensio logs.
    static void listen(Listener& listener);
    static void stopListening(Listener& listener);

    ~GensioLoop();
    GensioLoop(const GensioLoop&) = delete;
    GensioLoop& operator=(const GensioLoop&) = delete;

private:
    GensioLoop();
    static GensioLoop& instance();
    static void log(const std::string& line);
    void startThreads();
    void stopThreads();

    gensio_os_funcs* funcs_ = nullptr;
    gensio_waiter* stopping_ = nullptr;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::set<Listener*> listeners_;
    std::mutex usersMutex_;
    int users_ = 0;
};

} // namespace platform
