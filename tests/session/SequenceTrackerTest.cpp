#include "session/SequenceTracker.h"

#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

#include <gtest/gtest.h>

using session::SequenceTracker;
using transponder::SequenceRecord;

namespace {

const std::string Letters(transponder::MessageSet::SequenceLetters.begin(),
                          transponder::MessageSet::SequenceLetters.end());

// Drives a tracker as the panel does. A script is a string of steps: "S" a
// sequence starts, "q<l>" the query of letter l goes out, "r<l>" a reply of
// letter l is decoded, "W" the watchdog fires.
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
};

} // namespace

TEST(SequenceTracker, SaysWhatEachSequenceGotAnsweredWhenItEnds)
{
    struct Case {
        const char* name;
        std::string script;
        std::vector<std::pair<int, std::string>> records; // answered, unanswered
    };
    const std::string full = Driver::fullSequence();
    const Case cases[] = {
        {"a good link: ends with the e reply", full, {{14, ""}}},
        {"nothing ends before the e reply", full.substr(0, full.size() - 2), {}},
        {"the watchdog cuts it short", "Sqaraqcrcqf" "W", {{2, Letters.substr(2)}}},
        {"the next start cuts it short", "Sqara" "S" "qara", {{1, Letters.substr(1)}}},
        {"a reply before its query answers nothing", "SrcqcW", {{0, Letters}}},
        {"a reply of a letter not asked for answers nothing", "Sqar*rzW", {{0, Letters}}},
        {"a reply counts once", "SqararaW", {{1, Letters.substr(1)}}},
        {"a watchdog between sequences ends nothing", full + "W", {{14, ""}}},
        {"replies without a sequence are not one", "qaraW", {}},
    };
    for (const Case& c : cases) {
        Driver d;
        d.run(c.script);
        ASSERT_EQ(d.records.size(), c.records.size()) << c.name;
        for (std::size_t i = 0; i < c.records.size(); ++i) {
            EXPECT_EQ(d.records[i].answered, c.records[i].first) << c.name;
            EXPECT_EQ(d.records[i].unanswered, c.records[i].second) << c.name;
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
