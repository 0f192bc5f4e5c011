#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// A TCP server on 127.0.0.1 for tests, at a port the kernel chose: it accepts
// one connection at a time, and the test sends and receives exact bytes on it.
class LoopbackServer {
public:
    // `backlog` as listen() takes it; 0 with one connection waiting makes every
    // further connect hang, as towards a host that does not answer.
    explicit LoopbackServer(int backlog = 4);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return port_; }

    // Takes the next connection; false when none came within `limit`.
    bool accept(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
    void send(const std::string& bytes);
    // What the client sent, until `count` bytes have come or `limit` has passed.
    std::string receive(std::size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
    // Ends the connection as a server that is stopped does.
    void closeConnection();
    // Stops listening, as a server that is away: connects are refused. Then
    // listens again on the same port, as the server back.
    void stopListening();
    void listenAgain();

private:
    int backlog_ = 4;
    int listener_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
std::uint16_t unusedLoopbackPort();

// A non-blocking socket whose connect to 127.0.0.1:port has begun; -1 when
// it failed at once.
int connectToLoopback(std::uint16_t port);

// A listener at `address` (another of 127.0.0.0/8) and `port` (0: one the
// kernel chooses) that never accepts, its backlog full: a connect to it is
// never answered, as towards a host that is away.
class SilentListener {
public:
    SilentListener(const char* address, std::uint16_t port);
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::uint16_t port() const { return port_; }

private:
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int filler_ = -1;
};
