// The pre-flight check judges what the transponder reports as the display
// would show it, and refuses an expectation it cannot judge with one line.
#include "transponder/PreflightCheck.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using transponder::PreflightCheck;

// Each row: an expectation, the letter and value of the answer and how long
// after its query it came (Missing: nothing came back), then what the check
// reports and whether it passes. The check keeps its own times: a query sent,
// then the answer received.
TEST(PreflightCheck, EachExpectationPassesOrFailsOnTheValueReportedOnTime)
{
    constexpr int Missing = -1;
    const struct {
        const char* expectation;
        char letter;
        const char* value;
        int afterMs;
        const char* reported;
        bool pass;
        bool late = false;
    } cases[] = {
        {"mode=standby", 's', "t", 5, "Standby", true},  {"mode=a", 's', "a", 5, "Mode A", true},
        {"mode=c", 's', "c", 5, "Mode C", true},         {"mode=c", 's', "l", 5, "Mode C/Alt", false},
        {"mode=c-alt", 's', "l", 5, "Mode C/Alt", true}, {"mode=off", 's', "f", 5, "Off", true},
        {"mode=c", 's', "t", 5, "Standby", false},       {"mode=standby", 's', "x", 5, "x", false},
        {"mode=C", 's', "c", 5, "Mode C", true},         {"mode = Mode C/Alt", 's', "l", 5, "Mode C/Alt", true},
        {"code=1200", 'c', "1200", 5, "1200", true},     {"code=1200", 'c', "12001", 5, "1200", true},
        {"code=1200", 'c', "7700", 5, "7700", false},    {"code=1200", 'c', "120", 5, "120", false},
        {"replies=on", 'r', "Y", 5, "Enabled", true},    {"replies=off", 'r', "N", 5, "Disabled", true},
        {"replies=on", 'r', "N", 5, "Disabled", false},  {"volts=26.0..29.5", 'v', " 27.9 ", 5, "27.9", true},
        {"volts=26.0..29.5", 'v', "26.0", 5, "26.0", true}, {"volts=26.0..29.5", 'v', "29.5", 5, "29.5", true},
        {"volts=26.0..29.5", 'v', "25.9", 5, "25.9", false}, {"volts=26.0..29.5", 'v', "29.6", 5, "29.6", false},
        {"volts=26.0..29.5", 'v', "n/a", 5, "n/a", false},   {"volts = 26 .. 29.5", 'v', "27.9", 5, "27.9", true},
        {"version=2.14", 'z', "2.14", 5, "2.14", true},  {"version=2.14", 'z', "2.15", 5, "2.15", false},
        {"version=2.14\xC3\xA9", 'z', "2.14\xE9", 5, "2.14\xE9", true}, // written in UTF-8, sent in 8 bits
        {"ping", 'p', "Y", 5, "Received", true},         {"ping", 'p', "N", 5, "N", false},
        {"mode=c", 'c', "c", Missing, nullptr, false},   {"ping", 's', "Y", Missing, nullptr, false},
        // On time is within the time-out every query of the panel has; later fails whatever it says.
        {"code=1200", 'c', "1200", 300, "1200", true},   {"code=1200", 'c', "1200", 301, "1200", false, true},
        {"mode=a", 's', "a", 450, "Mode A", false, true}, {"code=1200", 'c', "7700", 450, "7700", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.expectation) + " against " + c.value + " after " + std::to_string(c.afterMs));
        PreflightCheck check;
        std::string error;
        ASSERT_TRUE(check.add(c.expectation, error)) << error;
        transponder::AnswerTimes times;
        const auto sent = transponder::AnswerTimes::Clock::now();
        times.sent(check.queries().front().letter, sent);
        if (c.afterMs != Missing)
            times.received('\x02' + std::string(1, c.letter) + '=' + c.value + '\x03', sent + std::chrono::milliseconds(c.afterMs));
        const auto results = check.evaluate(times.answers());
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].reported, c.reported ? std::optional<std::string>(c.reported) : std::nullopt);
        EXPECT_EQ(results[0].pass, c.pass);
        EXPECT_EQ(results[0].late, c.late);
        EXPECT_EQ(PreflightCheck::passed(results), c.pass);
        const QJsonObject item = transponder::checkJson({{}, {}, {}, {}, {}, results})["items"].toArray()[0].toObject();
        EXPECT_EQ(item["result"], c.pass ? "PASS" : "FAIL");
        EXPECT_EQ(item.contains("late"), c.late);
        EXPECT_EQ(transponder::reportedWords(results[0]).find("(late)") != std::string::npos, c.late);
    }
}

TEST(PreflightCheck, ABadExpectationIsRefusedWithOneLineNamingIt)
{
    const struct {
        const char* lines;
        const char* error;
    } cases[] = {
        {"colour=red", "expectation 'colour=red': unknown item 'colour'"},
        {"mode=b", "expectation 'mode=b': 'b' will not do; expected mode=standby, a, c, c-alt or off"},
        {"mode", "expected mode=standby"},
        {"code=7800", "'7800' will not do; expected code=NNNN, four octal digits"},
        {"replies=yes", "'yes' will not do; expected replies=on or off"},
        {"volts=29.5..26.0", "'29.5..26.0' will not do; expected volts=LOW..HIGH, two numbers with a point as the "
                             "decimal sign, the lower first"},
        {"volts=26,0..29,5", "'26,0' will not do"},
        {"volts=26.0..29,5", "'29,5' will not do"},
        {"volts=27", "'27' will not do; expected volts=LOW..HIGH"},
        {"version=", "version=TEXT"},
        {"version=2.14\xE2\x82\xAC", "'\xE2\x82\xAC' is no character the transponder sends"},
        {"version=2.14\xE9", "'version=2.14\xE9': not UTF-8 text"},
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
    ASSERT_TRUE(check.addLines("\xEF\xBB\xBF# aircraft 07\r\n\r\nping\r\n mode = c \nvolts=26.0..29.5", error)) << error;
    ASSERT_EQ(check.queries().size(), 3u);
    EXPECT_EQ(check.queries().back().frame, "\x02p=y\x03");
}
