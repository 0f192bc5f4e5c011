#include "tools/xpdrsim/LineShaper.h"

#include "serial/MessageAssembler.h"
#include "tools/xpdrsim/Frame.h"

#include <gtest/gtest.h>

using namespace xpdrsim;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> frames(const std::vector<LineShaper::Outgoing>& outgoing)
{
    std::vector<std::string> result;
    for (const auto& o : outgoing) result.push_back(o.frame);
    return result;
}

} // namespace

TEST(LineShaper, DelaysRepliesButSendsReportsAtOnce)
{
    LineOptions options;
    options.delay = 40ms;
    LineShaper line(options);
    ASSERT_TRUE(line.send(makeFrame('s', "t"), LineShaper::Kind::Reply, 100ms));
    ASSERT_TRUE(line.send(makeFrame('c', "1200"), LineShaper::Kind::Reply, 101ms));
    EXPECT_EQ(line.nextDue(), 140ms);
    ASSERT_TRUE(line.send(makeFrame('*', ""), LineShaper::Kind::Report, 110ms));
    EXPECT_EQ(line.nextDue(), 110ms);

    EXPECT_EQ(frames(line.takeDue(110ms)), std::vector<std::string>{makeFrame('*', "")});
    EXPECT_TRUE(line.takeDue(139ms).empty());
    EXPECT_EQ(frames(line.takeDue(141ms)), (std::vector<std::string>{makeFrame('s', "t"), makeFrame('c', "1200")}));
    EXPECT_FALSE(line.nextDue());
}

TEST(LineShaper, SendsFramesDueAtTheSameTimeInTheOrderQueued)
{
    LineShaper line(LineOptions{});
    std::vector<std::string> sent;
    for (char letter : std::string("acfirsvounldze")) {
        sent.push_back(makeFrame(letter, "x"));
        line.send(sent.back(), LineShaper::Kind::Reply, 5ms);
    }
    EXPECT_EQ(frames(line.takeDue(5ms)), sent);
}

TEST(LineShaper, LosesAboutTheGivenShareOfFrames)
{
    const double shares[] = {0.0, 0.1, 0.5, 0.9, 1.0};
    for (double share : shares) {
        LineOptions options;
        options.drop = share;
        LineShaper line(options);
        const int total = 5000;
        int lost = 0;
        for (int i = 0; i < total; ++i)
            if (!line.send(makeFrame('s', "t"), LineShaper::Kind::Reply, Millis(i))) ++lost;
        EXPECT_NEAR(static_cast<double>(lost) / total, share, 0.03) << share;
        if (share == 0.0 || share == 1.0) {
            EXPECT_EQ(lost, static_cast<int>(share * total));
        }
        EXPECT_EQ(line.takeDue(Millis(total)).size(), static_cast<std::size_t>(total - lost));
    }
}

TEST(LineShaper, RepeatsTheSameLossesForTheSameSeed)
{
    const auto pattern = [](std::uint32_t seed) {
        LineOptions options;
        options.drop = 0.5;
        options.seed = seed;
        LineShaper line(options);
        std::string kept;
        for (int i = 0; i < 64; ++i) kept += line.send("x", LineShaper::Kind::Reply, 0ms) ? '1' : '0';
        return kept;
    };
    EXPECT_EQ(pattern(7), pattern(7));
    EXPECT_NE(pattern(7), pattern(8));
}

TEST(LineShaper, SilentLineSendsNothing)
{
    LineOptions options;
    options.silent = true;
    LineShaper line(options);
    EXPECT_FALSE(line.send(makeFrame('s', "t"), LineShaper::Kind::Reply, 0ms));
    EXPECT_FALSE(line.send(makeFrame('*', ""), LineShaper::Kind::Report, 0ms));
    EXPECT_FALSE(line.nextDue());
}

TEST(LineShaper, ClearForgetsQueuedFrames)
{
    LineOptions options;
    options.delay = 10ms;
    LineShaper line(options);
    line.send(makeFrame('s', "t"), LineShaper::Kind::Reply, 0ms);
    line.clear();
    EXPECT_FALSE(line.nextDue());
    EXPECT_TRUE(line.takeDue(100ms).empty());
}

// The junk must never cost the panel a frame: fed through the same assembler the
// panel uses, the stream gives back exactly the frames sent.
TEST(LineShaper, NoisePutsJunkInFrontOfFramesThatTheAssemblerDrops)
{
    LineOptions options;
    options.noise = true;
    options.seed = 3;
    LineShaper line(options);
    std::vector<std::string> sent;
    for (int i = 0; i < 2000; ++i) {
        sent.push_back(makeFrame("acfirsvz"[i % 8], std::to_string(i)));
        line.send(sent.back(), LineShaper::Kind::Reply, 0ms);
    }
    int withJunk = 0;
    bool sawStxInJunk = false;
    std::string stream;
    for (const auto& out : line.takeDue(0ms)) {
        ASSERT_GE(out.bytes.size(), out.frame.size());
        const std::string junk = out.bytes.substr(0, out.bytes.size() - out.frame.size());
        EXPECT_EQ(out.bytes.substr(junk.size()), out.frame);
        EXPECT_LE(junk.size(), 4u);
        EXPECT_EQ(junk.find(ETX), std::string::npos);
        if (!junk.empty()) ++withJunk;
        if (junk.find(STX) != std::string::npos) sawStxInJunk = true;
        stream += out.bytes;
    }
    EXPECT_GT(withJunk, 500);
    EXPECT_LT(withJunk, 1500);
    EXPECT_TRUE(sawStxInJunk) << "the junk should also exercise a restart on STX";

    MessageAssembler assembler;
    std::vector<std::string> received;
    for (char byte : stream)
        if (assembler.push(byte, {})) received.push_back(assembler.message());
    EXPECT_EQ(received, sent);
}
