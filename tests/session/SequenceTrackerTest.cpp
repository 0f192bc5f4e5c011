#include "session/SequenceTracker.h"

#include "framework/Application.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

#include <gtest/gtest.h>
#include <optional>

using session::SequenceTracker;
using transponder::SequenceRecord;

namespace {

const std::string Letters(transponder::MessageSet::SequenceLetters.begin(),
                          transponder::MessageSet::SequenceLetters.end());

// Drives a tracker as the panel does. A script is a string of steps: "S" a
// sequence starts, "q<l>" the query of letter l goes out, "r<l>" a reply of
// letter l is decoded, "W" the watchdog fires, "B" a box opens, "b" it closes.
class Driver {
public:
    Driver()
        : tracker(status, [this](const SequenceRecord& r) { records.push_back(r); })
    {
    }

    void run(const std::string& script)
    {
        for (std::size_t i = 0; i < script.size(); ++i) {
            switch (script[i]) {
            case 'S': tracker.sequenceStarted(); break;
            case 'W': tracker.sequenceStopped(); break;
            case 'B': box.emplace(); break;
            case 'b': box.reset(); break;
            case 'q': tracker.querySent(script[++i]); break;
            case 'r': {
                const char letter = script[++i];
                const std::string value = letter == 'c' ? "7700" : "1";
                tracker.replyDecoded(*transponder::parseReply(transponder::MessageSet::Set(letter, value)));
                break;
            }
            default: break;
            }
        }
    }

    // Every query of the sequence, each answered at once.
    static std::string fullSequence()
    {
        std::string script = "S";
        for (char l : Letters) script += std::string("q") + l + "r" + l;
        return script;
    }

    transponder::StatusModel status;
    SequenceTracker tracker;
    std::vector<SequenceRecord> records;
    std::optional<fw::Application::ModalScope> box;
};

} // namespace

TEST(SequenceTracker, SaysWhatEachSequenceGotAnsweredWhenItEnds)
{
    struct Record {
        int answered;
        std::string unanswered;
        bool interrupted = false;
        std::string asked = {}; // the letters sent, told when a box interrupted it
    };
    struct Case {
        const char* name;
        std::string script;
        std::vector<Record> records;
    };
    const std::string full = Driver::fullSequence();
    const Case cases[] = {
        {"a good link: ends with the e reply", full, {{14, ""}}},
        {"nothing ends before the e reply", full.substr(0, full.size() - 2), {}},
        {"the watchdog cuts it short: a query never sent is not unanswered", "Sqaraqcrcqf" "W", {{2, "f"}}},
        {"the next start cuts it short", "Sqaraqc" "S" "qara", {{1, "c"}}},
        {"a reply before its query answers nothing", "SrcqcW", {{0, "c"}}},
        {"a reply of a letter not asked for answers nothing", "Sqar*rzW", {{0, "a"}}},
        {"a reply counts once", "SqararaqcW", {{1, "c"}}},
        {"a watchdog between sequences ends nothing", full + "W", {{14, ""}}},
        {"replies without a sequence are not one", "qaraW", {}},
        {"nothing sent, nothing unanswered", "SW", {{0, ""}}},
        {"a box over the watchdog interrupts it", "SqaraqcBW", {{1, "", true, "ac"}}},
        {"so does one that came and went", "SqaBbqcW", {{0, "", true, "ac"}}},
        {"a box from before the start", "BSWb", {{0, "", true}}},
        {"a sequence that ends whole was not interrupted", "SqaBb" + full.substr(3), {{14, ""}}},
    };
    for (const Case& c : cases) {
        Driver d;
        d.run(c.script);
        ASSERT_EQ(d.records.size(), c.records.size()) << c.name;
        for (std::size_t i = 0; i < c.records.size(); ++i) {
            const Record& want = c.records[i];
            EXPECT_EQ(d.records[i].answered, want.answered) << c.name;
            EXPECT_EQ(d.records[i].unanswered, want.unanswered) << c.name;
            EXPECT_EQ(d.records[i].interrupted, want.interrupted) << c.name;
            if (want.interrupted) EXPECT_EQ(d.records[i].asked, want.asked) << c.name;
        }
    }
}

TEST(SequenceTracker, TakesTheStatusAsItStandsAndTheRawValuesOfTheSequence)
{
    Driver d;
    d.status.apply(*transponder::parseReply("\x02" "c=1200\x03"));
    d.run("SqcrcW");
    ASSERT_EQ(d.records.size(), 1u);
    EXPECT_EQ(d.records[0].status.text(transponder::Item::Code), "1200");
    EXPECT_EQ(d.records[0].raw, (std::map<char, std::string>{{'c', "7700"}}));
}
