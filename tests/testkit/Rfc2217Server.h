#pragma once

#include "tests/testkit/LoopbackServer.h"

#include <chrono>
#include <string>
#include <vector>

// The server side of Telnet with COM-PORT-OPTION, played byte by byte as
// ser2net's telnet(rfc2217) accepter plays it: its greeting, the answer to a
// client's first request. What the client sends is split into its data (each
// doubled 0xFF made single again) and its COM-PORT requests; every other
// Telnet command is skipped.
class Rfc2217Server {
public:
    using Ms = std::chrono::milliseconds;
    static const std::string Greeting;

    std::uint16_t port() const { return server_.port(); }
    // Accepts, greets and, unless `answer` is false, answers the client's first
    // request (the rate it asks about) with 9600 bit/s.
    bool accept(bool answer = true);
    // Raw bytes, Telnet commands included.
    void send(const std::string& bytes) { server_.send(bytes); }
    // A COM-PORT subnegotiation with `payload` (command and value).
    void sendComPort(const std::string& payload);
    void closeConnection() { server_.closeConnection(); }

    // The client's data, until `count` bytes have come or `limit` has passed.
    std::string receiveData(std::size_t count, Ms limit = Ms(2000));
    // The client's COM-PORT requests (command and value) since the last call,
    // once `count` have come or `limit` has passed. The event masks it sets
    // (commands 10 and 11) are left out.
    std::vector<std::string> receiveRequests(std::size_t count, Ms limit = Ms(2000));
    // The event masks the client has set, once `count` have come.
    std::vector<std::string> receiveMasks(std::size_t count, Ms limit = Ms(2000));

private:
    void pump(Ms limit);

    LoopbackServer server_;
    std::string wire_;   // received, not yet split
    std::string data_;
    std::vector<std::string> requests_;
    std::vector<std::string> masks_;
};
