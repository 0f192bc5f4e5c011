// The transponder of a recording: what it answers to each query and setting at
// each point of the recording, and what it sent on its own.
#include "tools/xpdrsim/RecordedTransponder.h"
#include "tools/xpdrsim/Replay.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sstream>

using namespace xpdrsim;
using namespace std::chrono_literals;

namespace {

// A frame line at `ms` into the session, "s=?" framed.
std::string frame(int ms, const char* dir, const std::string& text)
{
    return R"({"description":"","dir":")" + std::string(dir) + R"(","payload":")" + text +
           R"(","time":"2026-12-07T20:00:0)" + std::to_string(ms / 1000) + "." +
           std::string(3 - std::to_string(ms % 1000).size(), '0') + std::to_string(ms % 1000) + "Z\"}\n";
}

std::string framed(const std::string& text)
{
    return "\\u0002" + text + "\\u0003";
}

} // namespace

TEST(RecordedTransponder, AnswersAsTheRecordingDidAtThatPoint)
{
    const std::string recording =
        R"({"port":"COM1","program":"uavControl","time":"2026-12-07T20:00:00.000Z","version":"1"})" "\n" +
        frame(100, "out", framed("a=?")) + frame(105, "in", framed("a=1000")) +
        frame(500, "in", framed("*=")) +                                          // a report of its own
        frame(1000, "out", framed("a=?")) +                                       // unanswered
        frame(2000, "out", framed("a=?")) + frame(2001, "noise", "x\\u0007") + frame(2004, "in", framed("a=1050")) +
        frame(3000, "out", framed("c=7700")) + frame(3006, "in", framed("c=7700")) +
        frame(4000, "out", framed("c=1234")) + // a setting the recording has no answer to
        frame(4100, "out", framed("v=?")) + frame(5600, "in", framed("v=27.9")) + // answered 1.5 s late
        frame(6000, "out", framed("v=?")) +                                         // silent
        R"({"alarm":"link-lost","state":"active-unacknowledged","time":"2026-12-07T20:00:06.500Z","value":""}
{"alarm":"link-lost","state":"active-acknowledged","time":"2026-12-07T20:00:06.800Z","value":""}
{"alarm":"link-lost","state":"normal","time":"2026-12-07T20:00:08.000Z","value":""}
)";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.jsonl"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(recording.data(), static_cast<qint64>(recording.size()));
    file.close();

    std::ostringstream err;
    const RecordedTransponder recorded(path, 1, err);
    EXPECT_EQ(err.str(), "xpdrsim: replaying session 1 of 1, recorded 2026-12-07T20:00:00.000Z on COM1, 8 s long\n");
    EXPECT_EQ(recorded.length(), 8000ms);
    ASSERT_EQ(recorded.unsolicited().size(), 1u);
    EXPECT_EQ(recorded.unsolicited()[0].at, 500ms);
    EXPECT_EQ(recorded.unsolicited()[0].bytes, "\x02*=\x03");

    const struct {
        std::string message;
        Millis at;
        std::optional<std::string> reply; // none: silent
        Millis delay{0};                  // after which the reply goes out
        bool lost = false;                // the link lost: no device to ask at all
    } cases[] = {
        {"\x02" "a=?\x03", 0ms, "\x02" "a=1000\x03", 5ms}, // before the first query: as the first
        {"\x02" "a=?\x03", 999ms, "\x02" "a=1000\x03", 5ms},
        {"\x02" "a=?\x03", 1000ms, std::nullopt}, // the query at that point went unanswered
        {"\x02" "a=?\x03", 1999ms, std::nullopt},
        {"\x02" "a=?\x03", 2000ms, "x\x07\x02" "a=1050\x03", 4ms}, // with the noise before the reply
        {"\x02" "a=?\x03", 9000ms, "x\x07\x02" "a=1050\x03", 4ms},
        {"\x02" "c=7700\x03", 0ms, "\x02" "c=7700\x03", 6ms}, // a setting: as the recording answered it
        {"\x02" "c=1234\x03", 5000ms, std::nullopt},          // recorded, never answered
        {"\x02" "c=0000\x03", 5000ms, std::nullopt},          // never recorded
        {"\x02" "z=?\x03", 5000ms, std::nullopt},             // a letter never asked
        {"\x02" "v=?\x03", 4100ms, "\x02" "v=27.9\x03", 1500ms}, // late: as late again
        {"\x02" "v=?\x03", 6000ms, std::nullopt},                // a silence stays silent
        {"\x02" "a=?\x03", 7000ms, "x\x07\x02" "a=1050\x03", 4ms, true}, // acknowledged, still lost
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.substr(1, c.message.size() - 2) + " at " + std::to_string(c.at.count()));
        const RecordedTransponder::Outcome* outcome = recorded.outcome(c.message, c.at);
        const std::optional<std::string> reply = outcome ? outcome->reply : std::nullopt;
        EXPECT_EQ(reply, c.reply);
        if (reply) { EXPECT_EQ(outcome->delay, c.delay); }
        Replay replay(recorded, 1);
        replay.restart(0ms);
        replay.advance(c.at);
        EXPECT_EQ(replay.linkLost(), c.lost);
    }
}
