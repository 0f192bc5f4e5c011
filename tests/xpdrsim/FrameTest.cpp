#include "tools/xpdrsim/Frame.h"

#include <gtest/gtest.h>

using namespace xpdrsim;

TEST(Frame, ReadableShowsControlBytesByNameOrCode)
{
    const struct {
        std::string bytes;
        std::string shown;
    } cases[] = {
        {"\x02s=t\x03", "<STX>s=t<ETX>"},
        {"", ""},
        {std::string("a\0b", 3), "a<0x00>b"},
        {"\x1f\x7f\xff", "<0x1f><0x7f><0xff>"},
        {" ~", " ~"},
    };
    for (const auto& c : cases) EXPECT_EQ(readable(c.bytes), c.shown) << c.shown;
}

TEST(Frame, ParseSplitsLetterAndValueOfWellFormedFramesOnly)
{
    const struct {
        std::string message;
        bool frame;
        char letter;
        std::string value;
    } cases[] = {
        {"\x02s=?\x03", true, 's', "?"},
        {"\x02" "c=\x03", true, 'c', ""},
        {"\x02" "f= 1.2 \x03", true, 'f', " 1.2 "},
        {"\x02" "a==\x03", true, 'a', "="},
        {"\x02s?\x03", false, 0, ""},
        {"\x02s\x03", false, 0, ""},
        {"\x02\x03", false, 0, ""},
        {"s=t", false, 0, ""},
        {"\x02s=t", false, 0, ""},
    };
    for (const auto& c : cases) {
        const auto frame = parseFrame(c.message);
        ASSERT_EQ(frame.has_value(), c.frame) << readable(c.message);
        if (!frame) continue;
        EXPECT_EQ(frame->letter, c.letter);
        EXPECT_EQ(frame->value, c.value);
        EXPECT_EQ(makeFrame(frame->letter, frame->value), c.message);
    }
}
