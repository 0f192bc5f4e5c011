#include "transponder/AlarmModel.h"

#include <gtest/gtest.h>

#include <vector>

using transponder::AlarmModel;

// One row a scenario: each step a frame, "blank" (the watchdog), "ack", or voltage
// limits (26.0 .. 29.5 V) set or not; then the emergency, link and voltage alarms
// as N normal, U active-, A active-acknowledged, R returned-unacknowledged, and the value shown.
TEST(AlarmModel, FollowsRepliesBlanksAndAcknowledgementsThroughTheFourStates)
{
    struct Step {
        const char* event;
        const char* states;
        const char* shown = "";
    };
    const std::vector<std::vector<Step>> cases = {
        {{"c=1200", "NNN"}, {"c=7777", "NNN"}},
        {{"c=7500", "UNN", "7500"}, {"c=1200", "RNN", "7500"}, {"c=7600", "UNN", "7600"}},
        {{"c=77001", "UNN", "7700"}, {"c=770", "UNN", "7700"}, {"c=12000", "RNN", "7700"}},
        {{"c=7700", "UNN", "7700"}, {"ack", "ANN", "7700"}, {"c=1200", "NNN"}},   // ack, then normal
        {{"c=7700", "UNN", "7700"}, {"c=1200", "RNN", "7700"}, {"ack", "NNN"}},   // normal, then ack
        {{"c=7700", "UNN", "7700"}, {"c=1200", "RNN", "7700"}, {"c=7700", "UNN", "7700"}},
        {{"c=7700", "UNN", "7700"}, {"ack", "ANN", "7700"}, {"c=7700", "ANN", "7700"}, {"c=7500", "UNN", "7500"}},
        {{"c=7700", "UNN", "7700"}, {"ack", "ANN", "7700"}, {"blank", "AUN", "7700"}, {"s=a", "ARN", "7700"},
         {"ack", "ANN", "7700"}, {"c=1200", "NNN"}},
        {{"blank", "NUN"}, {"blank", "NUN"}, {"ack", "NAN"}, {"*", "NNN"}},
        {{"v=12.0", "NNN"}, {"limits", "NNN"}, {"v=12.0", "NNU", "12.0"}, {"blank", "NUU"}},
        {{"limits", "NNN"}, {"v= 28.0 ", "NNN"}, {"v=30.1", "NNU", "30.1"}, {"v=27", "NNR", "30.1"},
         {"v=25.9", "NNU", "25.9"}, {"ack", "NNA", "25.9"}, {"v=x", "NNA", "25.9"}, {"no limits", "NNN"}},
    };
    for (const auto& steps : cases) {
        int changes = 0;
        AlarmModel model([&](const transponder::Alarm&) { ++changes; });
        std::string before = "NNN";
        for (const Step& step : steps) {
            const std::string event = step.event;
            if (event == "blank") model.linkLost();
            else if (event == "ack") model.acknowledge();
            else if (event == "limits") model.setVoltageLimits(transponder::VoltageLimits{26.0, 29.5});
            else if (event == "no limits") model.setVoltageLimits(std::nullopt);
            else model.replyDecoded(*transponder::parseReply('\x02' + event + '\x03'));
            std::string after;
            for (auto kind : transponder::AlarmKinds) after += "NUAR"[static_cast<int>(model.alarm(kind).state)];
            EXPECT_EQ(after, step.states) << steps[0].event << " ... " << event;
            EXPECT_EQ(model.shown() ? model.shown()->value : "", step.shown) << steps[0].event << " ... " << event;
            EXPECT_EQ(changes > 0, after != before) << "one report per change, at " << event;
            EXPECT_EQ(model.unacknowledged(), after.find_first_of("UR") != std::string::npos);
            changes = 0;
            before = after;
        }
    }
}
