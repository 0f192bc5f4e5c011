#include "transponder/AlarmModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using transponder::AlarmKind;
using transponder::AlarmModel;
using transponder::AlarmState;

// One row a scenario: each step a frame from the transponder ("c=7700"), "blank"
// (the watchdog), "ack", "limits" (26.0 .. 29.5 V) or "no limits", and the
// states of the three alarms after it, as "EMERGENCY/LINK/VOLTAGE" with N normal,
// U active-unacknowledged, A active-acknowledged, R returned-unacknowledged.
TEST(AlarmModel, FollowsRepliesBlanksAndAcknowledgementsThroughTheFourStates)
{
    struct Step {
        const char* event;
        const char* states;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"an ordinary code raises nothing", {{"c=1200", "NNN"}, {"c=7777", "NNN"}}},
        {"each emergency code raises", {{"c=7500", "UNN"}, {"c=1200", "RNN"}, {"c=7600", "UNN"}}},
        {"the code's first four characters count", {{"c=77001", "UNN"}, {"c=770", "UNN"}, {"c=12000", "RNN"}}},
        {"ack before the return to normal", {{"c=7700", "UNN"}, {"ack", "ANN"}, {"c=1200", "NNN"}}},
        {"ack after the return to normal", {{"c=7700", "UNN"}, {"c=1200", "RNN"}, {"ack", "NNN"}}},
        {"back before the ack", {{"c=7700", "UNN"}, {"c=1200", "RNN"}, {"c=7700", "UNN"}, {"ack", "ANN"}}},
        {"the same code again is no news", {{"c=7700", "UNN"}, {"ack", "ANN"}, {"c=7700", "ANN"}}},
        {"another emergency code asks again", {{"c=7700", "UNN"}, {"ack", "ANN"}, {"c=7500", "UNN"}}},
        {"a blank during an emergency ends only the link",
         {{"c=7700", "UNN"}, {"ack", "ANN"}, {"blank", "AUN"}, {"s=a", "ARN"}, {"ack", "ANN"}, {"c=1200", "NNN"}}},
        {"the link comes back with any reply", {{"blank", "NUN"}, {"blank", "NUN"}, {"ack", "NAN"}, {"*", "NNN"}}},
        {"voltage unwatched without limits", {{"v=12.0", "NNN"}, {"limits", "NNN"}, {"v=12.0", "NNU"}}},
        {"voltage within and beyond the limits",
         {{"limits", "NNN"}, {"v= 28.0 ", "NNN"}, {"v=30.1", "NNU"}, {"v=27", "NNR"}, {"v=25.9", "NNU"},
          {"ack", "NNA"}, {"v=x", "NNA"}, {"no limits", "NNN"}}},
    };
    const auto letter = [](AlarmState s) {
        return "NUAR"[static_cast<int>(s)];
    };
    for (const Case& c : cases) {
        int changes = 0;
        AlarmModel model([&](const transponder::Alarm&) { ++changes; });
        std::string before = "NNN";
        for (const Step& step : c.steps) {
            const std::string event = step.event;
            if (event == "blank")
                model.linkLost();
            else if (event == "ack")
                model.acknowledge();
            else if (event == "limits")
                model.setVoltageLimits(transponder::VoltageLimits{26.0, 29.5});
            else if (event == "no limits")
                model.setVoltageLimits(std::nullopt);
            else
                model.replyDecoded(*transponder::parseReply('\x02' + event + '\x03'));
            std::string after;
            for (AlarmKind kind : transponder::AlarmKinds) after += letter(model.alarm(kind).state);
            EXPECT_EQ(after, step.states) << c.what << ", after " << event;
            const bool reported = changes > 0;
            EXPECT_EQ(reported, after != before) << c.what << ", after " << event;
            changes = 0;
            before = after;
        }
    }
}

TEST(AlarmModel, ShowsTheMostSevereAndNamesWhatTheCodesMean)
{
    AlarmModel model;
    EXPECT_EQ(model.shown(), nullptr);
    model.linkLost();
    model.replyDecoded(*transponder::parseReply("\x02" "c=7600\x03"));
    ASSERT_NE(model.shown(), nullptr);
    EXPECT_EQ(model.shown()->kind, AlarmKind::EmergencyCode);
    EXPECT_EQ(model.shown()->value, "7600");
    EXPECT_TRUE(model.unacknowledged());
    model.acknowledge();
    EXPECT_FALSE(model.unacknowledged());
    EXPECT_EQ(AlarmModel::emergencyMeaning("7500"), "unlawful interference");
    EXPECT_EQ(AlarmModel::emergencyMeaning("7600"), "radio failure");
    EXPECT_EQ(AlarmModel::emergencyMeaning("7700"), "general emergency");
    EXPECT_EQ(AlarmModel::emergencyMeaning("1200"), std::nullopt);
}
