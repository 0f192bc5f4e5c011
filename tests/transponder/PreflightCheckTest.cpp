// The pre-flight check judges what the transponder reports as the display
// would show it, and refuses an expectation it cannot judge with one line.
#include "transponder/PreflightCheck.h"

#include <gtest/gtest.h>

using transponder::PreflightCheck;

TEST(PreflightCheck, EachExpectationPassesOrFailsOnTheValueReported)
{
    const struct {
        const char* expectation;
        char letter;
        const char* value; // nullptr: nothing came back
        const char* reported;
        bool pass;
    } cases[] = {
        {"mode=standby", 's', "t", "Standby", true},  {"mode=a", 's', "a", "Mode A", true},
        {"mode=c", 's', "c", "Mode C", true},         {"mode=c", 's', "l", "Mode C/Alt", false},
        {"mode=c-alt", 's', "l", "Mode C/Alt", true}, {"mode=off", 's', "f", "Off", true},
        {"mode=c", 's', "t", "Standby", false},       {"mode=standby", 's', "x", "x", false},
        {"code=1200", 'c', "1200", "1200", true},     {"code=1200", 'c', "12001", "1200", true},
        {"code=1200", 'c', "7700", "7700", false},    {"code=1200", 'c', "120", "120", false},
        {"replies=on", 'r', "Y", "Enabled", true},    {"replies=off", 'r', "N", "Disabled", true},
        {"replies=on", 'r', "N", "Disabled", false},  {"volts=26.0..29.5", 'v', " 27.9 ", "27.9", true},
        {"volts=26.0..29.5", 'v', "26.0", "26.0", true}, {"volts=26.0..29.5", 'v', "29.5", "29.5", true},
        {"volts=26.0..29.5", 'v', "25.9", "25.9", false}, {"volts=26.0..29.5", 'v', "29.6", "29.6", false},
        {"volts=26.0..29.5", 'v', "n/a", "n/a", false},   {"version=2.14", 'z', "2.14", "2.14", true},
        {"version=2.14", 'z', "2.15", "2.15", false}, {"ping", 'p', "Y", "Received", true},
        {"ping", 'p', "N", "N", false},               {"mode=c", 'c', nullptr, nullptr, false},
        {"ping", 's', nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.expectation) + " against " + (c.value ? c.value : "nothing"));
        PreflightCheck check;
        std::string error;
        ASSERT_TRUE(check.add(c.expectation, error)) << error;
        std::map<char, std::string> reported;
        if (c.value) reported[c.letter] = c.value;
        const auto results = check.evaluate(reported);
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].reported, c.reported ? std::optional<std::string>(c.reported) : std::nullopt);
        EXPECT_EQ(results[0].pass, c.pass);
        EXPECT_EQ(PreflightCheck::passed(results), c.pass);
    }
}

TEST(PreflightCheck, ABadExpectationIsRefusedWithOneLineNamingIt)
{
    const struct {
        const char* lines;
        const char* error;
    } cases[] = {
        {"colour=red", "expectation 'colour=red': unknown item"},
        {"mode=b", "expectation 'mode=b': expected mode=standby, a, c, c-alt or off"},
        {"mode", "expected mode=standby"},
        {"code=7800", "four octal digits"},
        {"replies=yes", "replies=on or off"},
        {"volts=29.5..26.0", "the lower first"},
        {"volts=26,0..29,5", "with a point as the decimal sign"},
        {"volts=27", "volts=LOW..HIGH"},
        {"version=", "version=TEXT"},
        {"ping=y", "ping, without a value"},
        {"# aircraft 07\n\nmode=c\n  code=1200\nmode=a\n", "line 5: expectation 'mode=a': mode is expected already ('mode=c')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        PreflightCheck check;
        std::string error;
        EXPECT_FALSE(check.addLines(c.lines, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    PreflightCheck check;
    std::string error;
    ASSERT_TRUE(check.addLines("# aircraft 07\r\n\r\nping\r\n mode=c \nvolts=26.0..29.5", error)) << error;
    ASSERT_EQ(check.queries().size(), 3u);
    EXPECT_EQ(check.queries().back().frame, "\x02p=y\x03");
}
