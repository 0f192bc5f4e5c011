#include "platform/NetworkAddress.h"

#include "platform/OpenDiagnosis.h"
#include "platform/TrustFiles.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <netdb.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// An entry is a few short lines; anything much longer is not an entry.
constexpr std::size_t MaxEntrySize = 4096;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return std::tolower(c); });
    return result;
}

// Letters, digits and hyphens in dot-separated labels of at most 63
// characters, none starting or ending with a hyphen.
bool isHostName(std::string_view name)
{
    if (name.empty() || name.size() > 253) return false;
    std::size_t label = 0;
    char previous = '.';
    for (char c : name) {
        if (c == '.') {
            if (label == 0 || previous == '-') return false;
            label = 0;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '-') {
            if (label == 0 && c == '-') return false;
            if (++label > 63) return false;
        } else {
            return false;
        }
        previous = c;
    }
    return previous != '-';
}

bool isIpv6Address(const std::string& text)
{
    // getaddrinfo rather than inet_pton: it also takes a zone ("fe80::1%eth0").
    // It takes more after a zone than an interface's name, though, so the
    // characters are checked first: hex digits, colons and dots, then the zone.
    const std::size_t zone = std::min(text.find('%'), text.size());
    const auto inAddress = [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; };
    const auto inZone = [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_' || c == '.'; };
    if (!std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(zone), inAddress)
        || !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(std::min(zone + 1, text.size())), text.end(), inZone))
        return false;
    addrinfo hints {};
    hints.ai_family = AF_INET6;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (::getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0) return false;
    ::freeaddrinfo(found);
    return true;
}

bool looksNumeric(std::string_view host)
{
    return std::all_of(host.begin(), host.end(), [](char c) { return c == '.' || std::isdigit(static_cast<unsigned char>(c)); });
}

bool parseHost(std::string_view text, std::string& host, std::string& problem)
{
    if (text.empty()) {
        problem = "no host before the port";
        return false;
    }
    if (text.front() == '[') {
        if (text.back() != ']') {
            problem = "an IPv6 address must end with ']'";
            return false;
        }
        host = std::string(text.substr(1, text.size() - 2));
        if (!isIpv6Address(host)) {
            problem = "'" + host + "' is not an IPv6 address";
            return false;
        }
        return true;
    }
    host = std::string(text);
    if (looksNumeric(host)) {
        in_addr ignored {};
        if (::inet_pton(AF_INET, host.c_str(), &ignored) != 1) {
            problem = "'" + host + "' is not an IPv4 address";
            return false;
        }
        return true;
    }
    if (host.find(':') != std::string::npos) {
        problem = "an IPv6 address goes in brackets: [" + host + "]";
        return false;
    }
    if (!isHostName(host)) {
        problem = "'" + host + "' is not a host name";
        return false;
    }
    return true;
}

bool parsePort(std::string_view text, std::uint16_t& port, std::string& problem)
{
    if (text.empty()) {
        problem = "no port after the ':'";
        return false;
    }
    if (!std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        problem = "the port '" + std::string(text) + "' is not a number";
        return false;
    }
    const std::size_t digits = text.size() - std::min(text.find_first_not_of('0'), text.size());
    unsigned long value = 0;
    if (digits <= 5)
        for (char c : text) value = value * 10 + static_cast<unsigned long>(c - '0');
    if (digits > 5 || value < 1 || value > 65535) {
        problem = "the port " + std::string(text) + " is out of range 1..65535";
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

// Printable, with control characters shown as \xNN, so that a diagnosis shows
// exactly what the file holds.
std::string quoted(std::string_view line)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string result = "\"";
    for (unsigned char c : line) {
        if (c >= 0x20 && c < 0x7f) {
            result += static_cast<char>(c);
        } else {
            result += "\\x";
            result += hex[c >> 4];
            result += hex[c & 15];
        }
    }
    return result + "\"";
}


// The lines of an entry, each without its line end; a Windows line end is a line end too.
std::vector<std::string_view> splitLines(std::string_view content)
{
    std::vector<std::string_view> lines;
    for (std::string_view rest = content; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        if (end < rest.size() && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return lines;
}

bool parseAddressLine(std::string_view line, NetworkAddress& address, std::string& problem)
{
    if (line.empty()) {
        problem = "the entry is empty";
        return false;
    }
    if (isBlank(line.front())) {
        problem = "blanks before the address";
        return false;
    }
    if (isBlank(line.back())) {
        problem = "blanks after the address";
        return false;
    }

    const std::size_t separator = line.find("://");
    if (separator == std::string_view::npos) {
        problem = "no scheme: write tcp://HOST:PORT or rfc2217://HOST:PORT";
        return false;
    }
    std::string scheme = lower(line.substr(0, separator));
    address.tls = scheme.size() > 4 && scheme.compare(scheme.size() - 4, 4, "+tls") == 0;
    if (address.tls) scheme.resize(scheme.size() - 4);
    if (scheme == "tcp") {
        address.protocol = NetworkAddress::Protocol::RawTcp;
    } else if (scheme == "rfc2217") {
        address.protocol = NetworkAddress::Protocol::Rfc2217;
    } else {
        problem = "unknown scheme '" + std::string(line.substr(0, separator)) + "': use tcp:// or rfc2217://"
            + (address.tls ? ", with +tls after it" : "");
        return false;
    }

    const std::string_view rest = line.substr(separator + 3);
    if (rest.find_first_of(" \t") != std::string_view::npos) {
        problem = "blanks inside the address";
        return false;
    }
    if (rest.find_first_of("/?#@") != std::string_view::npos) {
        problem = "nothing but HOST:PORT may follow the scheme";
        return false;
    }
    // The port follows the last colon that is not inside an IPv6 address's brackets.
    const std::size_t colon = rest.rfind(':');
    const std::size_t bracket = rest.rfind(']');
    if (colon == std::string_view::npos || (bracket != std::string_view::npos && colon < bracket)) {
        problem = "no port: write " + lower(line.substr(0, separator)) + "://HOST:PORT";
        return false;
    }
    return parseHost(rest.substr(0, colon), address.host, problem)
        && parsePort(rest.substr(colon + 1), address.port, problem);
}

// The name the server's certificate must carry: a host name or an address, without brackets.
bool isServerName(const std::string& name)
{
    in_addr ignored {};
    return isHostName(name) || ::inet_pton(AF_INET, name.c_str(), &ignored) == 1 || isIpv6Address(name);
}

struct EntryKey {
    const char* name;
    std::string NetworkAddress::*field;
};

constexpr EntryKey EntryKeys[] = {
    {"ca", &NetworkAddress::ca},
    {"cert", &NetworkAddress::cert},
    {"key", &NetworkAddress::key},
    {"servername", &NetworkAddress::serverName},
};

// Reads one KEY=VALUE line into `address`; `seen` marks the keys given so far.
bool parseKeyLine(std::string_view line, NetworkAddress& address, bool (&seen)[std::size(EntryKeys)], std::string& problem)
{
    if (line.empty()) {
        problem = "an empty line";
        return false;
    }
    if (!address.tls) {
        problem = "a plain entry takes no KEY=VALUE lines: write tcp+tls:// or rfc2217+tls:// for TLS";
        return false;
    }
    if (isBlank(line.front())) {
        problem = "blanks before the key";
        return false;
    }
    if (isBlank(line.back())) {
        problem = "blanks after the value";
        return false;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        problem = "no '=': write KEY=VALUE with KEY one of ca, cert, key, servername";
        return false;
    }
    const std::string name = lower(line.substr(0, equals));
    const std::string_view value = line.substr(equals + 1);
    if (!name.empty() && (isBlank(name.back()) || (!value.empty() && isBlank(value.front())))) {
        problem = "blanks around '='";
        return false;
    }
    std::size_t index = 0;
    while (index < std::size(EntryKeys) && name != EntryKeys[index].name) ++index;
    if (index == std::size(EntryKeys)) {
        problem = "unknown key '" + std::string(line.substr(0, equals)) + "': use ca, cert, key or servername";
        return false;
    }
    if (seen[index]) {
        problem = "'" + name + "' is given twice";
        return false;
    }
    if (value.empty()) {
        problem = "no value after '" + name + "='";
        return false;
    }
    if (std::any_of(value.begin(), value.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        problem = "the value holds a control character";
        return false;
    }
    std::string text(value);
    if (EntryKeys[index].field == &NetworkAddress::serverName && !isServerName(text)) {
        problem = "'" + text + "' is not a host name";
        return false;
    }
    seen[index] = true;
    address.*EntryKeys[index].field = std::move(text);
    return true;
}

// Parses the lines of an entry; on failure `wrong` is the index of the line at fault.
bool parseLines(const std::vector<std::string_view>& lines, NetworkAddress& address, std::string& problem,
                std::size_t& wrong)
{
    wrong = 0;
    address = NetworkAddress {};
    if (!parseAddressLine(lines.empty() ? std::string_view() : lines[0], address, problem)) return false;
    bool seen[std::size(EntryKeys)] = {};
    std::size_t certLine = 0;
    std::size_t keyLine = 0;
    for (wrong = 1; wrong < lines.size(); ++wrong) {
        if (!parseKeyLine(lines[wrong], address, seen, problem)) return false;
        if (!address.cert.empty() && certLine == 0) certLine = wrong;
        if (!address.key.empty() && keyLine == 0) keyLine = wrong;
    }
    if (address.key.empty() != address.cert.empty()) {
        wrong = address.key.empty() ? certLine : keyLine;
        problem = address.key.empty() ? "a client certificate needs its key: add key=FILE"
                                      : "a client key needs its certificate: add cert=FILE";
        return false;
    }
    return true;
}

} // namespace

std::string NetworkAddress::hostPort() const
{
    const std::string name = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return name + ":" + std::to_string(port);
}

std::string NetworkAddress::url() const
{
    return std::string(protocol == Protocol::Rfc2217 ? "rfc2217" : "tcp") + (tls ? "+tls" : "") + "://" + hostPort();
}

std::string NetworkAddress::entry() const
{
    std::string text = url() + "\n";
    for (const EntryKey& entryKey : EntryKeys)
        if (!(this->*entryKey.field).empty()) text += std::string(entryKey.name) + "=" + this->*entryKey.field + "\n";
    return text;
}

bool NetworkAddress::isLoopback() const
{
    if (lower(host) == "localhost" || host == "::1") return true;
    in_addr address {};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

bool parseNetworkEntry(std::string_view content, NetworkAddress& address, std::string& problem)
{
    if (content.find('\0') != std::string_view::npos) {
        problem = "the entry holds a zero byte";
        return false;
    }
    const std::vector<std::string_view> lines = splitLines(content);
    std::size_t wrong = 0;
    if (parseLines(lines, address, problem, wrong)) return true;
    if (wrong > 0) problem = "line " + std::to_string(wrong + 1) + " " + quoted(lines[wrong]) + ": " + problem;
    return false;
}

int readNetworkEntry(const std::string& path, NetworkAddress& address, std::string& diagnosis)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        diagnosis = "cannot read the port entry " + path;
        return error;
    }
    if (const int refused = checkEntryTrusted(fd, path, diagnosis)) {
        ::close(fd);
        return refused;
    }
    std::string content;
    char buffer[512];
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > MaxEntrySize) break;
    }
    ::close(fd);
    if (error != 0) {
        diagnosis = "cannot read the port entry " + path;
        return error;
    }
    if (content.size() > MaxEntrySize) {
        diagnosis = "the port entry " + path + " is not an address: it is longer than "
            + std::to_string(MaxEntrySize) + " bytes";
        return EINVAL;
    }
    const std::vector<std::string_view> lines = splitLines(content);
    std::string problem;
    std::size_t wrong = 0;
    const bool zero = content.find('\0') != std::string::npos;
    if (zero) {
        while (lines[wrong].find('\0') == std::string_view::npos) ++wrong;
        problem = "the entry holds a zero byte";
    } else if (parseLines(lines, address, problem, wrong)) {
        // Paths are the entry folder's, whichever folder the program runs in.
        const std::filesystem::path folder = std::filesystem::absolute(std::filesystem::path(path).parent_path());
        for (const EntryKey& entryKey : EntryKeys) {
            std::string& file = address.*entryKey.field;
            if (file.empty() || entryKey.field == &NetworkAddress::serverName) continue;
            if (file.front() != '/') file = (folder / file).lexically_normal().string();
            const char* what = entryKey.field == &NetworkAddress::ca ? "CA file"
                : entryKey.field == &NetworkAddress::cert           ? "certificate file"
                                                                    : "key file";
            if (const int refused = checkNamedFile(path, what, file, entryKey.field == &NetworkAddress::key,
                                                   address.keyFile, diagnosis))
                return refused;
        }
        return 0;
    }
    const std::string_view text = lines.empty() ? std::string_view() : lines[wrong];
    diagnosis = "the port entry " + path + ", line " + std::to_string(wrong + 1) + " " + quoted(text) + ": " + problem;
    return EINVAL;
}

} // namespace platform
