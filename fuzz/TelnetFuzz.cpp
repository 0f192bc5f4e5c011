// The Telnet codec and the COM-PORT client on whatever a server may send.
//
// Input: the first byte sets where the stream is cut into reads (each cut is
// taken from a running hash of it), the rest is the stream. Two properties:
//
// - Data that we escape comes back whole through receive(), however it is cut,
//   with no reply and no subnegotiation: what we double, we undouble.
// - A server's stream gives the same data, replies and subnegotiations whether
//   it comes in one read or in many, the data and the subnegotiations are what
//   a reference model written over the whole stream finds, every reply is one
//   three-byte negotiation, and the COM-PORT client takes every subnegotiation
//   and reports only events and lines it knows.
#include "platform/ComPortClient.h"
#include "platform/TelnetCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using platform::TelnetCodec;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "telnet: %s\n", what);
    std::abort();
}

// Cuts `stream` into reads of 1 to 16 bytes, as `seed` says.
std::vector<std::string_view> cut(std::string_view stream, std::uint8_t seed)
{
    std::vector<std::string_view> reads;
    std::uint32_t hash = seed * 2654435761u + 1;
    while (!stream.empty()) {
        hash = hash * 1103515245u + 12345u;
        const std::size_t length = std::min<std::size_t>(stream.size(), 1 + (hash >> 16) % 16);
        reads.push_back(stream.substr(0, length));
        stream.remove_prefix(length);
    }
    return reads;
}

TelnetCodec client()
{
    return TelnetCodec({TelnetCodec::Binary, TelnetCodec::ComPort}, {TelnetCodec::Binary});
}

TelnetCodec::Received feed(const std::vector<std::string_view>& reads)
{
    TelnetCodec codec = client();
    codec.start();
    TelnetCodec::Received all;
    for (std::string_view read : reads) codec.receive(read, all);
    return all;
}

struct Model {
    std::string data;
    std::vector<TelnetCodec::Subnegotiation> subnegotiations;
};

// The stream read over its positions: data, IAC IAC as one 0xFF, three-byte
// negotiations, two-byte commands, and subnegotiations up to IAC SE or up to
// any other command, which is then taken as itself. What is unfinished at the
// end gives nothing.
Model model(std::string_view s)
{
    constexpr auto IAC = static_cast<char>(TelnetCodec::IAC);
    Model m;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != IAC) {
            m.data += s[i++];
            continue;
        }
        if (i + 1 >= s.size()) break;
        const auto command = static_cast<std::uint8_t>(s[i + 1]);
        if (command == TelnetCodec::IAC) {
            m.data += IAC;
            i += 2;
        } else if (command >= TelnetCodec::WILL) {
            i += 3;
        } else if (command == TelnetCodec::SB) {
            if (i + 2 >= s.size()) break;
            TelnetCodec::Subnegotiation sb{static_cast<std::uint8_t>(s[i + 2]), {}};
            std::size_t j = i + 3;
            bool ended = false;
            while (j < s.size()) {
                if (s[j] != IAC) {
                    if (sb.payload.size() < TelnetCodec::MaxSubnegotiation) sb.payload += s[j];
                    ++j;
                    continue;
                }
                if (j + 1 >= s.size()) break;
                if (s[j + 1] == IAC) {
                    if (sb.payload.size() < TelnetCodec::MaxSubnegotiation) sb.payload += IAC;
                    j += 2;
                    continue;
                }
                ended = true;
                j = static_cast<std::uint8_t>(s[j + 1]) == TelnetCodec::SE ? j + 2 : j;
                break;
            }
            if (!ended) break;
            m.subnegotiations.push_back(std::move(sb));
            i = j;
        } else {
            i += 2;
        }
    }
    return m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::uint8_t seed = data[0];
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    // What we double comes back whole.
    const std::string escaped = TelnetCodec::escape(stream);
    const auto back = feed(cut(escaped, seed));
    if (back.data != stream) fail("escaped data did not come back whole");
    if (!back.reply.empty() || !back.subnegotiations.empty()) fail("escaped data gave a reply or a subnegotiation");

    // A server's stream, in one read and in many.
    const auto whole = feed({stream});
    const auto pieces = feed(cut(stream, seed));
    if (whole.data != pieces.data) fail("the cut changed the data");
    if (whole.reply != pieces.reply) fail("the cut changed the replies");
    if (whole.subnegotiations.size() != pieces.subnegotiations.size()) fail("the cut changed the subnegotiations");
    const Model expected = model(stream);
    if (whole.data != expected.data) fail("data differs from the model");
    if (whole.subnegotiations.size() != expected.subnegotiations.size()) fail("subnegotiation count differs from the model");
    for (std::size_t i = 0; i < expected.subnegotiations.size(); ++i) {
        const auto& got = whole.subnegotiations[i];
        if (got.option != expected.subnegotiations[i].option || got.payload != expected.subnegotiations[i].payload
            || got.payload != pieces.subnegotiations[i].payload)
            fail("subnegotiation differs from the model");
    }
    if (whole.reply.size() % 3 != 0) fail("a reply is not a three-byte negotiation");
    for (std::size_t i = 0; i < whole.reply.size(); i += 3) {
        const auto verb = static_cast<std::uint8_t>(whole.reply[i + 1]);
        if (static_cast<std::uint8_t>(whole.reply[i]) != TelnetCodec::IAC || verb < TelnetCodec::WILL
            || verb > TelnetCodec::DONT)
            fail("a reply is not a negotiation");
    }

    platform::ComPortClient comPort;
    platform::LineSettings line;
    comPort.requestLine(line);
    constexpr std::uint32_t Known = platform::EvCts | platform::EvDsr | platform::EvRlsd | platform::EvRing
        | platform::EvBreak;
    for (const auto& sb : whole.subnegotiations) {
        if (sb.option != TelnetCodec::ComPort) continue;
        comPort.receive(sb.payload);
        if (comPort.takeEvents() & ~Known) fail("an event the client does not know");
    }
    constexpr std::uint32_t Lines = platform::MsCtsOn | platform::MsDsrOn | platform::MsRingOn | platform::MsRlsdOn;
    if (comPort.modemStatus() & ~Lines) fail("a modem line the client does not know");
    return 0;
}
