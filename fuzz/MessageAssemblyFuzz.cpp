// Message assembly on any byte stream with any framing settings.
//
// Input: start character, end character, two bytes of append count (the low 13
// bits, so counts on both sides of the size cap come up), then a filler: a byte,
// a count of up to four times the cap and where it goes in the rest, which is
// the stream. The filler lets short inputs make messages as long as the cap.
// Every delivered message must have the shape the settings give, stay within
// the cap, and match what a reference model, written over stream positions
// rather than a growing buffer, expects. And no byte may go missing: the dropped
// bytes, handed on before each message, the messages and the unfinished rest
// give back the stream.
#include "serial/MessageAssembler.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Settings = MessageAssembler::Settings;
constexpr std::size_t Cap = MessageAssembler::MaxMessage;

[[noreturn]] void fail(const char* what, std::size_t message)
{
    std::fprintf(stderr, "message assembly: %s (message %zu)\n", what, message);
    std::abort();
}

// The messages the stream must give. A message runs from a start character to
// the first end character after it, plus appendCount bytes; a start character
// before that end restarts it. One that would be longer than the cap is
// dropped when it reaches the cap, and the search resumes after it.
std::vector<std::string_view> expectedMessages(std::string_view in, const Settings& s)
{
    std::vector<std::string_view> out;
    std::size_t start = in.find(s.startChar);
    while (start != std::string_view::npos) {
        const std::size_t windowEnd = start + Cap; // one past the last byte the cap allows
        std::size_t i = start + 1;
        // The start test comes first, so with equal characters no end is ever seen.
        while (i < in.size() && i < windowEnd && in[i] != s.startChar && in[i] != s.endChar) ++i;
        if (i == in.size()) break; // unfinished at the end of the stream
        if (i == windowEnd) {      // no end within the cap
            start = in.find(s.startChar, windowEnd);
            continue;
        }
        if (in[i] == s.startChar) {
            start = i;
            continue;
        }
        const std::size_t length = i - start + 1 + s.appendCount;
        if (length > Cap) {
            start = in.find(s.startChar, windowEnd);
            continue;
        }
        if (start + length > in.size()) break; // still taking trailing bytes
        out.push_back(in.substr(start, length));
        start = in.find(s.startChar, start + length);
    }
    return out;
}

void checkShape(const std::string& m, const Settings& s, std::size_t index)
{
    if (m.empty() || m.size() > Cap) fail("length out of range", index);
    if (m.front() != s.startChar) fail("does not begin with the start character", index);
    if (m.size() < 2u + s.appendCount) fail("too short for its trailing bytes", index);
    const std::size_t end = m.size() - 1 - s.appendCount;
    if (end == 0 || m[end] != s.endChar) fail("end character not where the trailing bytes begin", index);
    for (std::size_t i = 1; i < end; ++i)
        if (m[i] == s.startChar || m[i] == s.endChar) fail("framing character inside the message", index);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t Header = 8;
    if (size < Header) return 0;
    Settings settings;
    settings.startChar = static_cast<char>(data[0]);
    settings.endChar = static_cast<char>(data[1]);
    settings.appendCount = static_cast<std::uint16_t>((data[2] | data[3] << 8) & 0x1FFF);
    const char filler = static_cast<char>(data[4]);
    const std::size_t fillCount = static_cast<std::size_t>(data[5] | data[6] << 8) % (4 * Cap + 1);
    const std::string_view rest(reinterpret_cast<const char*>(data) + Header, size - Header);
    const std::size_t fillAt = std::min<std::size_t>(data[7], rest.size());
    std::string streamText(rest.substr(0, fillAt));
    streamText.append(fillCount, filler);
    streamText.append(rest.substr(fillAt));
    const std::string_view stream(streamText);

    MessageAssembler assembler;
    std::vector<std::string> delivered;
    std::string dropped;
    std::string accounted;
    for (char byte : stream) {
        if (!assembler.push(byte, settings, &dropped)) continue;
        if (assembler.state() != MessageAssembler::State::Complete) fail("delivered but not complete", delivered.size());
        delivered.push_back(assembler.message());
        checkShape(delivered.back(), settings, delivered.size() - 1);
        accounted += dropped + delivered.back();
        dropped.clear();
    }
    accounted += dropped;
    const auto state = assembler.state();
    if (state == MessageAssembler::State::Collecting || state == MessageAssembler::State::Appending)
        accounted += assembler.message();
    if (accounted != stream) fail("dropped and delivered bytes do not give back the stream", delivered.size());

    const std::vector<std::string_view> expected = expectedMessages(stream, settings);
    if (delivered.size() != expected.size()) fail("message count differs from the model", delivered.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (delivered[i] != expected[i]) fail("message differs from the model", i);
    if (settings.startChar == settings.endChar && !delivered.empty()) fail("equal framing characters delivered", 0);
    return 0;
}
