#include "transponder/FrameDescription.h"

#include <gtest/gtest.h>

using transponder::describeFrame;
using transponder::Direction;

TEST(FrameDescription, SaysWhatEachFrameMeansInEitherDirection)
{
    struct Case {
        std::string frame;
        Direction direction;
        const char* meaning;
    };
    const auto sent = Direction::Sent;
    const auto received = Direction::Received;
    const Case cases[] = {
        {"\x02" "c=?\x03", sent, "query assigned code"},
        {"\x02" "e=?\x03", sent, "query item e"},
        {"\x02" "c=7700\x03", sent, "set assigned code 7700"},
        {"\x02" "a=1025\x03", sent, "set altitude 1025"},
        {"\x02" "f=1.2\x03", sent, "set voltage offset 1.2"},
        {"\x02" "s=a\x03", sent, "set operational function Mode A"},
        {"\x02" "r=n\x03", sent, "set interrogation replies off"},
        {"\x02" "v=2\x03", sent, "set A/C voltage 28V"},
        {"\x02" "d=s\x03", sent, "set altitude encoder Serial"},
        {"\x02" "i=s\x03", sent, "trigger SPI"},
        {"\x02" "p=y\x03", sent, "fire ping"},
        {"\x02" "s=q\x03", sent, "set operational status to 'q'"},
        {"\x02" "hello\x03", sent, "command 'hello'"},
        {"\x02\x03", sent, "empty frame"},
        {"\x02" "s=l\x03", received, "reply: operational status Mode C/Alt"},
        {"\x02" "c=1200\x03", received, "reply: assigned code 1200"},
        {"\x02" "f= 1.2 \x03", received, "reply: voltage offset 1.2 V"},
        {"\x02" "i=0\x03", received, "reply: SPI status not active"},
        {"\x02" "i=1\x03", received, "reply: SPI status Active"},
        {"\x02" "p=Y\x03", received, "reply: ping Received"},
        {"\x02" "d=g\x03", received, "reply: altitude encoder Gillham"},
        {"\x02" "u=3600\x03", received, "reply: item u 3600"},
        {"\x02" "c=12\x03", received, "reply: assigned code '12', not shown"},
        {"\x02" "x=\x1b\x03", received, "reply: unknown item 'x' '<1b>', not shown"},
        {"\x02*=\x03", received, "interrogation report"},
        {"garbage", received, "noise: garbage"},
        {"\x03" "a\x02", received, "noise: <03>a<02>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        EXPECT_EQ(describeFrame(c.frame, c.direction), c.meaning);
    }
}
