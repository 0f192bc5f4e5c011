#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Where a network port is served, as an entry file of the port directory names
// it. The first line is "tcp://HOST:PORT" (raw bytes, the line set up by the
// server) or "rfc2217://HOST:PORT" (Telnet with the line settings carried
// along); "+tls" after the scheme ("rfc2217+tls://HOST:PORT") puts the link
// in TLS. HOST is an IPv4 address, an IPv6 address in brackets, or a host name.
// A TLS entry may go on with lines KEY=VALUE: ca= the CA or server
// certificate to trust, cert= and key= the client's certificate and key,
// servername= the name the server's certificate must carry.
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
    // The key file as readNetworkEntry checked it, held open so that gensio
    // reads that very file (as /proc/self/fd/N), not whatever `key` names by
    // then; none for an entry only parsed.
    std::shared_ptr<const int> keyFile;

    // "HOST:PORT" as the operator wrote it, brackets included.
    std::string hostPort() const;
    // The first line of the entry: "rfc2217+tls://HOST:PORT".
    std::string url() const;
    // The whole entry as a file holds it: the first line and the KEY=VALUE
    // lines of what is given, each with its line end.
    std::string entry() const;
    // HOST is 127.0.0.0/8, ::1 or "localhost": a link that never leaves the machine.
    bool isLoopback() const;
};

// Reads the text of an entry: its first line and the KEY=VALUE lines after
// it, each line with its line end or without. On success returns true and
// fills `address`, its paths as written; otherwise returns false and says in
// `problem` what is wrong, in words for the operator (naming the line and its
// text when it is not the first).
bool parseNetworkEntry(std::string_view content, NetworkAddress& address, std::string& problem);

// Reads the entry file at `path`, its relative paths taken from the folder of
// the file. Returns 0; EINVAL for a file that is no well-formed entry (with
// `diagnosis` naming the file, the line and what is wrong with it); EPERM for
// what it refuses as ssh refuses its own (the diagnosis naming the entry, the
// file and the fix): an entry, its folder, a CA or certificate file that
// belongs to another user than us or root or that others can change; a key
// file open to others, of another user, or with a passphrase; or the errno of
// reading the entry or a file it names.
int readNetworkEntry(const std::string& path, NetworkAddress& address, std::string& diagnosis);

} // namespace platform
