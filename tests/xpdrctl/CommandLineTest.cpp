#include "tools/xpdrctl/CommandLine.h"

#include <gtest/gtest.h>

using namespace xpdrctl;

namespace {

ParsedCommandLine parse(std::vector<std::string> args)
{
    return parseCommandLine(args);
}

std::string framed(const std::string& content)
{
    return '\x02' + content + '\x03';
}

} // namespace

TEST(XpdrctlCommandLine, EachSettingSendsThePanelsFrameAndJudgesItsReadBack)
{
    struct Case {
        std::vector<std::string> words;
        std::string frame;
        std::vector<std::string> matching;
        std::vector<std::string> differing;
    };
    const Case cases[] = {
        {{"set", "mode", "standby"}, framed("s=t"), {"t"}, {"a", "c", ""}},
        {{"set", "mode", "a"}, framed("s=a"), {"a", "aX"}, {"t"}},
        {{"set", "mode", "c"}, framed("s=c"), {"c", "l"}, {"a", "f"}},
        {{"set", "code", "7700", "--emergency"}, framed("c=7700"), {"7700", "77001"}, {"1200", "770"}},
        {{"set", "code", "1200"}, framed("c=1200"), {"1200"}, {"7700"}},
        {{"set", "replies", "on"}, framed("r=y"), {"Y"}, {"y", "N"}},
        {{"set", "replies", "off"}, framed("r=n"), {"N"}, {"Y"}},
        {{"set", "offset", "1.2"}, framed("f=1.2"), {"1.2", "1.25", " 1.15 "}, {"1.3", "x", ""}},
        {{"set", "offset", "0"}, framed("f=0"), {"0.0"}, {"0.1"}},
        {{"set", "encoder", "gillham"}, framed("d=g"), {"g"}, {"s"}},
        {{"set", "encoder", "serial"}, framed("d=s"), {"s"}, {"g"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--port", "COM3"};
        args.insert(args.end(), c.words.begin(), c.words.end());
        SCOPED_TRACE(c.frame);
        const auto parsed = parse(args);
        ASSERT_TRUE(parsed.invocation) << parsed.error;
        const Setting& setting = *parsed.invocation->setting;
        EXPECT_EQ(setting.frame, c.frame);
        EXPECT_EQ(setting.letter, c.frame[1]);
        for (const std::string& value : c.matching) EXPECT_TRUE(setting.matches(value)) << value;
        for (const std::string& value : c.differing) EXPECT_FALSE(setting.matches(value)) << value;
    }

    const auto volts = parse({"--port", "COM3", "set", "volts", "28"});
    ASSERT_TRUE(volts.invocation);
    EXPECT_EQ(volts.invocation->setting->frame, framed("v=2"));
    EXPECT_FALSE(volts.invocation->setting->matches) << "a measured voltage is printed, not compared";
}

TEST(XpdrctlCommandLine, OptionsStandAnywhereAndAPathIsAPort)
{
    const auto parsed = parse({"watch", "--json", "--port=/dev/ttyUSB0", "--interval", "0.5", "--timeout=120",
                               "--spacing", "15"});
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    const Invocation& i = *parsed.invocation;
    EXPECT_EQ(i.verb, Verb::Watch);
    EXPECT_EQ(i.port, "/dev/ttyUSB0");
    EXPECT_FALSE(i.comNumber);
    EXPECT_TRUE(i.json);
    EXPECT_EQ(i.interval, Millis(500));
    EXPECT_EQ(i.timeout, Millis(120));
    EXPECT_EQ(i.spacing, Millis(15));

    const auto com = parse({"--port", "COM255", "send", "c=?"});
    ASSERT_TRUE(com.invocation) << com.error;
    EXPECT_EQ(com.invocation->comNumber, 255);
    EXPECT_EQ(com.invocation->command, "c=?");
    EXPECT_EQ(com.invocation->timeout, Millis(300));
}
