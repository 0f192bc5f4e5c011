#include "tools/xpdrsim/Transponder.h"

#include "tools/xpdrsim/Frame.h"

#include <gtest/gtest.h>

using namespace xpdrsim;
using namespace std::chrono_literals;

namespace {

// Sends "letter=value" framed; returns the reply's text without framing, or
// "(none)" when the transponder does not answer.
std::string ask(Transponder& transponder, const std::string& text, Millis now = 0ms)
{
    const auto replies = transponder.receive("\x02" + text + "\x03", now);
    if (replies.empty()) return "(none)";
    EXPECT_EQ(replies.size(), 1u) << text;
    const auto frame = parseFrame(replies.front());
    EXPECT_TRUE(frame) << readable(replies.front());
    return frame ? std::string(1, frame->letter) + "=" + frame->value : "(malformed)";
}

} // namespace

TEST(Transponder, AnswersEveryQueryWithItsStartValue)
{
    const struct {
        std::string query;
        std::string reply;
    } cases[] = {
        {"a=?", "a=1000"}, {"c=?", "c=1200"}, {"d=?", "d=g"}, {"e=?", "e=0"}, {"f=?", "f=1.2"},
        {"i=?", "i=0"},    {"l=?", "l=0"},    {"n=?", "n=04172"}, {"o=?", "o=1532"}, {"r=?", "r=Y"},
        {"s=?", "s=t"},    {"u=?", "u=0"},    {"v=?", "v=27.9"}, {"z=?", "z=2.14"},
        // Only the first character counts for these letters.
        {"s=?x", "s=t"},   {"r=??", "r=Y"},
    };
    for (const auto& c : cases) {
        Transponder transponder(0ms, 1.0);
        EXPECT_EQ(ask(transponder, c.query), c.reply) << c.query;
    }
}

TEST(Transponder, AppliesEverySettingAndConfirmsTheNewValue)
{
    const struct {
        std::string set;
        std::string reply; // to the setting and to the query after it
    } cases[] = {
        {"s=a", "s=a"},     {"s=c", "s=c"},     {"s=l", "s=l"},     {"s=f", "s=f"},  {"s=abc", "s=a"},
        {"c=7777", "c=7777"}, {"c=0000", "c=0000"},
        {"i=s", "i=1"},
        {"r=n", "r=N"},     {"r=no", "r=N"},
        {"v=1", "v=13.8"},
        {"f=2.5", "f=2.5"}, {"f=0", "f=0.0"},   {"f=10", "f=10.0"}, {"f= 1,46 ", "f=1.5"},
        {"d=s", "d=s"},     {"d=serial", "d=s"},
    };
    for (const auto& c : cases) {
        Transponder transponder(0ms, 1.0);
        EXPECT_EQ(ask(transponder, c.set), c.reply) << c.set;
        EXPECT_EQ(ask(transponder, std::string(1, c.set[0]) + "=?"), c.reply) << c.set;
    }
}

TEST(Transponder, SwitchesSettingsBackAndForth)
{
    Transponder transponder(0ms, 1.0);
    const struct {
        std::string set;
        std::string reply;
    } steps[] = {
        {"v=1", "v=13.8"}, {"v=2", "v=27.9"}, {"r=n", "r=N"}, {"r=y", "r=Y"},
        {"d=s", "d=s"},    {"d=g", "d=g"},    {"s=a", "s=a"}, {"s=t", "s=t"},
    };
    for (const auto& step : steps) EXPECT_EQ(ask(transponder, step.set), step.reply) << step.set;
}

TEST(Transponder, AnswersARefusedSettingWithTheValueItKeeps)
{
    const struct {
        std::string set;
        std::string reply;
    } cases[] = {
        {"c=12345", "c=1200"}, {"c=123", "c=1200"}, {"c=1288", "c=1200"}, {"c=", "c=1200"}, {"c=??", "c=1200"},
        {"s=x", "s=t"},        {"s=", "s=t"},       {"s=T", "s=t"},
        {"r=Y", "r=Y"},        {"r=x", "r=Y"},
        {"v=3", "v=27.9"},     {"v=14", "v=27.9"},
        {"f=-0.5", "f=1.2"},   {"f=10.1", "f=1.2"}, {"f=abc", "f=1.2"}, {"f=", "f=1.2"}, {"f=1.2V", "f=1.2"},
        {"d=x", "d=g"},
        {"i=0", "i=0"},        {"i=1", "i=0"},
        {"a=5000", "a=1000"},  // the encoder is Gillham: altitude frames do not count
        {"z=3.00", "z=2.14"},  {"e=1", "e=0"},      {"n=1", "n=04172"}, {"u=99", "u=0"},
    };
    for (const auto& c : cases) {
        Transponder transponder(0ms, 1.0);
        EXPECT_EQ(ask(transponder, c.set), c.reply) << c.set;
        EXPECT_EQ(ask(transponder, std::string(1, c.set[0]) + "=?"), c.reply) << c.set;
    }
}

TEST(Transponder, AnswersAPingWithUpperCaseYOnly)
{
    const struct {
        std::string ping;
        std::string reply;
    } cases[] = {
        {"p=y", "p=Y"}, {"p=yes", "p=Y"}, {"p=?", "p=Y"}, {"p=Y", "(none)"}, {"p=n", "(none)"}, {"p=", "(none)"},
    };
    for (const auto& c : cases) {
        Transponder transponder(0ms, 1.0);
        EXPECT_EQ(ask(transponder, c.ping), c.reply) << c.ping;
    }
}

TEST(Transponder, IgnoresUnknownLettersAndMessagesThatAreNoFrames)
{
    const std::string messages[] = {
        "\x02x=?\x03", "\x02S=?\x03", "\x02*=?\x03", "\x02" "1=?\x03",
        "\x02s?\x03",  "\x02hello\x03", "\x02\x03",  "s=?",
    };
    for (const auto& message : messages) {
        Transponder transponder(0ms, 1.0);
        EXPECT_TRUE(transponder.receive(message, 0ms).empty()) << readable(message);
    }
}

TEST(Transponder, KeepsSpiActiveForEighteenSecondsAfterEachTrigger)
{
    Transponder transponder(0ms, 0.0);
    EXPECT_EQ(ask(transponder, "i=s", 1000ms), "i=1");
    transponder.advance(1000ms + Transponder::SpiDuration - 1000ms);
    EXPECT_EQ(transponder.nextEvent(), 1000ms + Transponder::SpiDuration) << "the end of SPI is a timer";
    EXPECT_EQ(ask(transponder, "i=?", 1000ms + Transponder::SpiDuration - 1ms), "i=1");
    EXPECT_EQ(ask(transponder, "i=?", 1000ms + Transponder::SpiDuration), "i=0");

    // A second trigger while active starts the eighteen seconds afresh.
    EXPECT_EQ(ask(transponder, "i=s", 30000ms), "i=1");
    EXPECT_EQ(ask(transponder, "i=s", 40000ms), "i=1");
    EXPECT_EQ(ask(transponder, "i=?", 40000ms + Transponder::SpiDuration - 1ms), "i=1");
    transponder.advance(40000ms + Transponder::SpiDuration);
    EXPECT_EQ(transponder.value('i'), "0");
}

TEST(Transponder, ClimbsFromItsStartAltitudeAndStartsOverAboveTheCeiling)
{
    Transponder transponder(0ms, 0.0);
    const int steps = (Transponder::ClimbCeiling - Transponder::ClimbFloor) / Transponder::ClimbStep;
    const struct {
        Millis at;
        int feet;
    } cases[] = {
        {0ms, 1000},
        {Transponder::ClimbInterval - 1ms, 1000},
        {Transponder::ClimbInterval, 1025},
        {3 * Transponder::ClimbInterval + 1ms, 1075},
        {steps * Transponder::ClimbInterval, Transponder::ClimbCeiling},
        {(steps + 1) * Transponder::ClimbInterval, Transponder::ClimbFloor},
        {(steps + 2) * Transponder::ClimbInterval, Transponder::ClimbFloor + 25},
    };
    for (const auto& c : cases) EXPECT_EQ(ask(transponder, "a=?", c.at), "a=" + std::to_string(c.feet)) << c.at.count();
}

TEST(Transponder, TakesItsAltitudeFromAltitudeFramesWhileTheEncoderIsSerial)
{
    Transponder transponder(0ms, 0.0);
    EXPECT_EQ(ask(transponder, "d=s", 0ms), "d=s");
    EXPECT_EQ(ask(transponder, "a=4321", 100ms), "a=4321");
    EXPECT_EQ(ask(transponder, "a=?", 10000ms), "a=4321") << "the climb does not show while serial";
    EXPECT_EQ(ask(transponder, "a=65535", 10000ms), "a=65535");
    EXPECT_EQ(ask(transponder, "a=0", 10000ms), "a=0");
    for (const char* refused : {"a=65536", "a=-5", "a=12a", "a=", "a=123456"})
        EXPECT_EQ(ask(transponder, refused, 10000ms), "a=0") << refused;
    // Back on Gillham it reports its own altitude, which went on climbing.
    EXPECT_EQ(ask(transponder, "d=g", 10000ms), "d=g");
    EXPECT_EQ(ask(transponder, "a=?", 10000ms), "a=1075");
}

TEST(Transponder, SendsInterrogationReportsAtItsRateWhileRepliesAreOn)
{
    Transponder transponder(0ms, 2.0);
    const auto reportsUpTo = [&](Millis from, Millis to) {
        int count = 0;
        for (Millis t = from; t <= to; t += 1ms) {
            for (const auto& report : transponder.advance(t)) {
                EXPECT_EQ(report, "\x02*=\x03");
                ++count;
            }
        }
        return count;
    };
    EXPECT_EQ(reportsUpTo(0ms, 499ms), 0);
    EXPECT_EQ(reportsUpTo(500ms, 500ms), 1);
    EXPECT_EQ(reportsUpTo(501ms, 2000ms), 3);
    EXPECT_EQ(transponder.value('l'), "4") << "each report is an interrogation replied to";

    EXPECT_EQ(ask(transponder, "r=n", 2100ms), "r=N");
    EXPECT_EQ(reportsUpTo(2100ms, 10000ms), 0);

    // Switched on again, the first report follows one period later.
    EXPECT_EQ(ask(transponder, "r=y", 10200ms), "r=Y");
    EXPECT_EQ(transponder.nextEvent(), 10700ms);
    EXPECT_EQ(reportsUpTo(10200ms, 10699ms), 0);
    EXPECT_EQ(reportsUpTo(10700ms, 10700ms), 1);
}

TEST(Transponder, SendsNoReportsAtRateZero)
{
    Transponder transponder(0ms, 0.0);
    int count = 0;
    for (Millis t = 0ms; t <= 60000ms; t += 100ms) count += static_cast<int>(transponder.advance(t).size());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(transponder.nextEvent(), 60000ms + Transponder::ClimbInterval);
}

TEST(Transponder, SkipsReportsMissedWhileStalledInsteadOfSendingABurst)
{
    Transponder transponder(0ms, 1.0);
    EXPECT_EQ(transponder.advance(10500ms).size(), 1u);
    EXPECT_TRUE(transponder.advance(10500ms).empty());
    EXPECT_EQ(transponder.nextEvent(), 11500ms);
    EXPECT_TRUE(transponder.advance(11499ms).empty());
    EXPECT_EQ(transponder.advance(11500ms).size(), 1u);
}

TEST(Transponder, CountsUptimeAndOperatingHours)
{
    Transponder transponder(5000ms, 0.0);
    EXPECT_EQ(ask(transponder, "u=?", 5000ms + 64999ms), "u=64");
    EXPECT_EQ(ask(transponder, "o=?", 5000ms + 7200000ms), "o=1534");
    EXPECT_EQ(ask(transponder, "u=?", 5000ms + 7200000ms), "u=7200");
}
