// The entry of a network port on any bytes.
//
// Input: the text of an entry file. Whatever it holds, the parser returns;
// an entry it takes:
//  - has a port in 1..65535 and a host and server name with none of the
//    characters a gensio stack string gives meaning to (, ( ) " \ and blanks)
//    nor any control character, so no host can become a layer of its own;
//  - names key lines only in TLS, a client key only with its certificate;
//  - reads back as itself from what entry() writes of it;
//  - makes a gensio stack that ends with its own host and port, or is refused.
#include "platform/GensioStack.h"
#include "platform/NetworkAddress.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what, std::string_view text)
{
    std::fprintf(stderr, "network entry: %s for '%.*s'\n", what, static_cast<int>(text.size()), text.data());
    std::abort();
}

bool harmless(const std::string& name)
{
    for (unsigned char c : name)
        if (c <= 0x20 || c >= 0x7f || c == ',' || c == '(' || c == ')' || c == '"' || c == '\\') return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::NetworkAddress address;
    std::string problem;
    if (!platform::parseNetworkEntry(text, address, problem)) {
        if (problem.empty()) fail("refused without a word", text);
        return 0;
    }
    if (address.port == 0) fail("port 0 taken", text);
    if (address.host.empty() || !harmless(address.host)) fail("a host with a stack's characters", text);
    if (!harmless(address.serverName)) fail("a server name with a stack's characters", text);
    if (!address.tls && (!address.ca.empty() || !address.cert.empty() || !address.serverName.empty()))
        fail("key lines in a plain entry", text);
    if (address.cert.empty() != address.key.empty()) fail("a key without its certificate", text);

    platform::NetworkAddress again;
    if (!platform::parseNetworkEntry(address.entry(), again, problem)) fail("its own entry refused", text);
    if (again.protocol != address.protocol || again.host != address.host || again.port != address.port
        || again.tls != address.tls || again.ca != address.ca || again.cert != address.cert || again.key != address.key
        || again.serverName != address.serverName)
        fail("its own entry reads otherwise", text);

    std::string stack;
    const std::string tail = "," + address.host + "," + std::to_string(address.port);
    if (platform::gensioStack(address, stack, problem)
        && (stack.size() < tail.size() || stack.compare(stack.size() - tail.size(), tail.size(), tail) != 0))
        fail("a stack that does not end with the host and port", text);
    return 0;
}
