#include "platform/GensioStack.h"

#include <algorithm>

namespace platform {

namespace {

bool isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

// A host as gensio's address reader takes it: nothing it splits at or quotes with.
bool isPlainWord(std::string_view word)
{
    return !word.empty() && std::none_of(word.begin(), word.end(), [](char c) {
        return isControl(c) || c == ' ' || c == ',' || c == '(' || c == ')' || c == '"' || c == '\\' || c == '\'';
    });
}

bool addOption(std::string& options, const char* name, const std::string& value, std::string& problem)
{
    std::string quoted;
    if (!quoteGensioValue(value, quoted)) {
        problem = std::string("the ") + name + " value holds a control character";
        return false;
    }
    if (!options.empty()) options += ',';
    options += name;
    options += '=';
    options += quoted;
    return true;
}

} // namespace

bool quoteGensioValue(std::string_view value, std::string& quoted)
{
    if (std::any_of(value.begin(), value.end(), isControl)) return false;
    quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return true;
}

bool gensioStack(const NetworkAddress& address, std::string& stack, std::string& problem)
{
    if (!isPlainWord(address.host)) {
        problem = "the host holds a character that is not part of a host name or address";
        return false;
    }
    std::string layers;
    if (address.protocol == NetworkAddress::Protocol::Rfc2217) layers = "telnet(rfc2217),";
    if (address.tls) {
        std::string options;
        // An empty CA would leave the trust to the system's store; a file
        // named by the entry replaces it.
        if (!address.ca.empty() && !addOption(options, "CA", address.ca, problem)) return false;
        if (!address.cert.empty() && !addOption(options, "cert", address.cert, problem)) return false;
        // The key as it was checked, not whatever its path names by now.
        const std::string key = address.keyFile ? "/proc/self/fd/" + std::to_string(*address.keyFile) : address.key;
        if (!key.empty() && !addOption(options, "key", key, problem)) return false;
        layers += options.empty() ? "ssl," : "ssl(" + options + "),";
    }
    stack = layers + "tcp(nodelay)," + address.host + "," + std::to_string(address.port);
    return true;
}

} // namespace platform
