#include "transponder/QueryRound.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using transponder::QueryRound;

namespace {

std::string framed(const std::string& content)
{
    return '\x02' + content + '\x03';
}

const QueryRound::Clock::time_point T0{};

std::vector<QueryRound::Query> queries(const std::string& letters)
{
    std::vector<QueryRound::Query> result;
    for (char letter : letters) result.push_back({framed(std::string(1, letter) + "=?"), letter});
    return result;
}

} // namespace

TEST(QueryRound, EachQueryGoesOutAsSoonAsAFrameWithItsLetterHasArrived)
{
    QueryRound round(queries("cs"), {300ms, 0ms}, T0);
    EXPECT_EQ(round.due(T0), framed("c=?"));
    EXPECT_EQ(round.due(T0), std::nullopt) << "one query at a time";
    round.received(framed("*="), T0 + 5ms);   // a report answers nothing
    round.received(framed("s=a"), T0 + 6ms);  // nor does another letter
    EXPECT_EQ(round.due(T0 + 7ms), std::nullopt);
    round.received(framed("c=7700"), T0 + 8ms);
    EXPECT_EQ(round.due(T0 + 8ms), framed("s=?"));
    round.received(framed("s=t"), T0 + 12ms);
    EXPECT_TRUE(round.finished());
    EXPECT_EQ(round.wakeAt(), std::nullopt);

    const auto record = round.record({});
    EXPECT_EQ(record.answered, 2);
    EXPECT_EQ(record.unanswered, "");
    EXPECT_EQ(record.status.text(transponder::Item::Code), "7700");
    EXPECT_EQ(record.status.text(transponder::Item::Mode), "Standby") << "the answer, not the earlier s=a";
    EXPECT_EQ(record.raw.at('s'), "t");
    EXPECT_EQ(record.raw.at('*'), "");
}

TEST(QueryRound, AnUnansweredQueryIsGivenUpAtItsTimeOutAndALateAnswerDoesNotCount)
{
    QueryRound round(queries("cz"), {300ms, 20ms}, T0);
    ASSERT_EQ(round.due(T0), framed("c=?"));
    EXPECT_EQ(round.wakeAt(), T0 + 300ms);
    EXPECT_EQ(round.due(T0 + 299ms), std::nullopt);
    round.received(framed("c=1200"), T0 + 300ms);
    EXPECT_EQ(round.wakeAt(), T0 + 320ms) << "the spacing follows the time-out";
    EXPECT_EQ(round.due(T0 + 319ms), std::nullopt);
    ASSERT_EQ(round.due(T0 + 320ms), framed("z=?"));
    round.received(framed("z=2.14"), T0 + 330ms);
    EXPECT_TRUE(round.finished());

    const auto record = round.record({});
    EXPECT_EQ(record.answered, 1);
    EXPECT_EQ(record.unanswered, "c");
    EXPECT_EQ(record.status.text(transponder::Item::Code), "") << "a late answer is not shown";
    EXPECT_EQ(round.outcomes()[1].answeredAt, T0 + 330ms);
}

TEST(QueryRound, AWelcomeAnswerThatNeverComesIsNotCountedAsUnanswered)
{
    QueryRound round({{framed("c=7700"), 'c', false}, {framed("c=?"), 'c'}}, {100ms, 0ms}, T0);
    ASSERT_EQ(round.due(T0), framed("c=7700"));
    ASSERT_EQ(round.due(T0 + 100ms), framed("c=?"));
    round.received(framed("c=7700"), T0 + 110ms);
    EXPECT_TRUE(round.finished());
    const auto record = round.record({});
    EXPECT_EQ(record.answered, 1);
    EXPECT_EQ(record.unanswered, "");
}
