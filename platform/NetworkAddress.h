#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Where a network port is served, as an entry file of the port directory names
// it: "tcp://HOST:PORT" (raw bytes, the line set up by the server) or
// "rfc2217://HOST:PORT" (Telnet with the line settings carried along). HOST is
// an IPv4 address, an IPv6 address in brackets, or a host name.
struct NetworkAddress {
    enum class Protocol : std::uint8_t { RawTcp, Rfc2217 };

    Protocol protocol = Protocol::RawTcp;
    std::string host;        // without the brackets of an IPv6 address
    std::uint16_t port = 0;  // 1..65535
    bool tls = false;            // "+tls" in the scheme
    std::string ca;              // absolute paths once read from an entry file; empty = not given
    std::string cert;
    std::string key;
    std::string serverName;      // empty = check HOST

    // "HOST:PORT" as the operator wrote it, brackets included.
    std::string hostPort() const;
    // The whole address as an entry holds it: "rfc2217://HOST:PORT".
    std::string url() const;
};

// Reads the line of an entry file, without its line end. On success returns true and fills
// `address`; otherwise returns false and says in `problem` what is wrong with
// the line, in words for the operator.
bool parseNetworkEntry(std::string_view content, NetworkAddress& address, std::string& problem);

// Reads the entry file at `path`. Returns 0, EINVAL for a file that does not
// hold one well-formed line (with `diagnosis` naming the file, the line and
// what is wrong with it), or the errno of reading the file.
int readNetworkEntry(const std::string& path, NetworkAddress& address, std::string& diagnosis);

} // namespace platform
