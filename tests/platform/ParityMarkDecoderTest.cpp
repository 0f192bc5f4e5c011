#include "platform/ParityMarkDecoder.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(ParityMarkDecoder, DeliversEveryByteAsReceivedWhereverTheInputIsSplit)
{
    const struct {
        const char* name;
        std::string marked;
        std::string received;
    } cases[] = {
        {"plain bytes", "AB\x03"s, "AB\x03"s},
        {"a received 0xFF", "A\xFF\xFF" "B"s, "A\xFF" "B"s},
        {"a byte with a parity error", "A\xFF\0" "BC"s, "ABC"s},
        {"a break", "A\xFF\0\0" "B"s, "A\0B"s},
        {"0xFF with a parity error", "\xFF\0\xFF"s, "\xFF"s},
        {"markers back to back", "\xFF\0" "a\xFF\xFF\xFF\0" "b"s, "a\xFF" "b"s},
        {"a stray 0xFF keeps both bytes", "\xFF" "A"s, "\xFF" "A"s},
    };
    for (const auto& c : cases) {
        for (std::size_t split = 0; split <= c.marked.size(); ++split) {
            platform::ParityMarkDecoder decoder;
            std::string out;
            decoder.decode(c.marked.data(), split, out);
            decoder.decode(c.marked.data() + split, c.marked.size() - split, out);
            EXPECT_EQ(out, c.received) << c.name << ", split at " << split;
        }
        platform::ParityMarkDecoder decoder;
        std::string out;
        for (char byte : c.marked) decoder.decode(&byte, 1, out);
        EXPECT_EQ(out, c.received) << c.name << ", byte by byte";
    }
}
