// The entry of a network port, as anyone who can write to the port directory
// may write it: parsing never crashes, and whatever it accepts makes a gensio
// stack of our layers only or is refused.
#include "platform/GensioStack.h"
#include "platform/NetworkAddress.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    platform::NetworkAddress address;
    std::string problem;
    if (!platform::parseNetworkEntry(line, address, problem)) {
        if (problem.empty()) std::abort();
        return 0;
    }
    if (address.port == 0 || address.host.empty()) std::abort();
    std::string stack;
    if (platform::gensioStack(address, stack, problem)) {
        // The host sits between the TCP layer and the port, and nothing in it
        // could open another layer.
        const std::string tail = "," + address.host + "," + std::to_string(address.port);
        if (stack.size() < tail.size() || stack.compare(stack.size() - tail.size(), tail.size(), tail) != 0) std::abort();
        if (address.host.find_first_of(",()\"\\ ") != std::string::npos) std::abort();
    }
    return 0;
}
