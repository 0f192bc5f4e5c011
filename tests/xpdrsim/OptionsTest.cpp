#include "tools/xpdrsim/Options.h"

#include <gtest/gtest.h>

using namespace xpdrsim;
using namespace std::chrono_literals;

TEST(Options, DefaultsToOneReportPerSecondOnAQuietLineWithoutLink)
{
    const auto parsed = parseOptions({});
    ASSERT_EQ(parsed.error, "");
    EXPECT_FALSE(parsed.options.comPort);
    EXPECT_EQ(parsed.options.reportsPerSecond, 1.0);
    EXPECT_EQ(parsed.options.line.delay, 0ms);
    EXPECT_EQ(parsed.options.line.drop, 0.0);
    EXPECT_FALSE(parsed.options.line.silent);
    EXPECT_FALSE(parsed.options.line.noise);
    EXPECT_FALSE(parsed.options.log);
    EXPECT_FALSE(parsed.options.help);
}

TEST(Options, ReadsEveryOptionWithItsValueSeparateOrAfterEquals)
{
    const auto parsed = parseOptions({"--link", "COM12", "--delay=40", "--drop", "0.25", "--rate=0.5", "--seed",
                                      "99", "--silent", "--noise", "--log"});
    ASSERT_EQ(parsed.error, "");
    const Options& o = parsed.options;
    EXPECT_EQ(o.comPort, 12);
    EXPECT_EQ(o.line.delay, 40ms);
    EXPECT_EQ(o.line.drop, 0.25);
    EXPECT_EQ(o.reportsPerSecond, 0.5);
    EXPECT_EQ(o.line.seed, 99u);
    EXPECT_TRUE(o.line.silent);
    EXPECT_TRUE(o.line.noise);
    EXPECT_TRUE(o.log);

    EXPECT_TRUE(parseOptions({"--help"}).options.help);
    EXPECT_TRUE(parseOptions({"-h"}).options.help);
    EXPECT_EQ(parseOptions({"--rate", "0"}).options.reportsPerSecond, 0.0);
    EXPECT_EQ(parseOptions({"--link=COM255"}).options.comPort, 255);
}

TEST(Options, RefusesBadCommandLinesNamingTheOption)
{
    const struct {
        std::vector<std::string> args;
        std::string named;
    } cases[] = {
        {{"--link"}, "--link"},
        {{"--link", "COM0"}, "--link"},
        {{"--link", "COM256"}, "--link"},
        {{"--link", "COM01"}, "--link"},
        {{"--link", "com1"}, "--link"},
        {{"--link", "/dev/ttyS0"}, "--link"},
        {{"--delay", "-1"}, "--delay"},
        {{"--delay", "60001"}, "--delay"},
        {{"--delay", "4x"}, "--delay"},
        {{"--drop", "1.5"}, "--drop"},
        {{"--drop", "-0.1"}, "--drop"},
        {{"--drop", "nan"}, "--drop"},
        {{"--rate", "101"}, "--rate"},
        {{"--rate", "1e-300"}, "--rate"}, // a period too long for the timer
        {{"--rate", ""}, "--rate"},
        {{"--seed", "-1"}, "--seed"},
        {{"--silent=1"}, "--silent"},
        {{"--quiet"}, "--quiet"},
        {{"COM1"}, "COM1"},
        {{"--speed", "2"}, "--speed goes with --replay"},
        {{"--loop"}, "--loop goes with --replay"},
        {{"--from-start"}, "--from-start goes with --replay"},
        {{"--replay", "r.jsonl", "--speed", "0"}, "--speed"},
        {{"--replay", "r.jsonl", "--session", "0"}, "--session"},
        {{"--replay", "r.jsonl", "--rate", "2"}, "--rate does not go with --replay"},
    };
    for (const auto& c : cases) {
        const auto parsed = parseOptions(c.args);
        EXPECT_NE(parsed.error.find(c.named), std::string::npos) << c.args.front() << ": " << parsed.error;
    }
}

TEST(Options, HelpNamesEveryOption)
{
    const std::string help = helpText();
    for (const char* option : {"--link", "--delay", "--silent", "--drop", "--noise", "--rate", "--seed", "--log",
                               "--replay", "--speed", "--loop", "--session", "--from-start", "--help", "UAVCONTROL_PORTS", "SIGTERM"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(Options, VersionIsAFlagThatTakesNoValue)
{
    EXPECT_TRUE(parseOptions({"--version"}).options.version);
    EXPECT_FALSE(parseOptions({"--log"}).options.version);
    EXPECT_NE(parseOptions({"--version=2"}).error.find("--version"), std::string::npos);
    EXPECT_NE(helpText().find("--version"), std::string::npos);
}
