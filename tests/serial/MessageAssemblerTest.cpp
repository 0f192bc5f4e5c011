#include "serial/MessageAssembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using State = MessageAssembler::State;

std::vector<std::string> feed(MessageAssembler& assembler, const std::string& input,
                              const MessageAssembler::Settings& settings)
{
    std::vector<std::string> messages;
    for (char byte : input)
        if (assembler.push(byte, settings)) messages.push_back(assembler.message());
    return messages;
}

struct Case {
    const char* name;
    std::string input;
    MessageAssembler::Settings settings;
    std::vector<std::string> messages;
    State finalState;
};

MessageAssembler::Settings appending(std::uint16_t count)
{
    MessageAssembler::Settings settings;
    settings.appendCount = count;
    return settings;
}

MessageAssembler::Settings startEqualsEnd()
{
    MessageAssembler::Settings settings;
    settings.startChar = '|';
    settings.endChar = '|';
    return settings;
}

} // namespace

TEST(MessageAssembler, CutsTheStreamIntoFramedMessages)
{
    using namespace std::string_literals;
    const std::vector<Case> cases = {
        {"one frame", "\x02" "A=1\x03", {}, {"\x02" "A=1\x03"}, State::Complete},
        {"junk before the start is dropped", "xy\x03z\x02" "A\x03", {}, {"\x02" "A\x03"}, State::Complete},
        {"junk between frames is dropped", "\x02" "A\x03" "junk\x03\x02" "B\x03", {},
         {"\x02" "A\x03", "\x02" "B\x03"}, State::Complete},
        {"two frames in one burst", "\x02" "A=1\x03\x02" "B=2\x03", {},
         {"\x02" "A=1\x03", "\x02" "B=2\x03"}, State::Complete},
        {"a start restarts an unfinished frame", "\x02" "A\x02" "B\x03", {}, {"\x02" "B\x03"}, State::Complete},
        {"an end with no frame open is dropped", "\x03\x03", {}, {}, State::Idle},
        {"unfinished frame waits", "\x02" "AB", {}, {}, State::Collecting},
        {"zero byte inside a frame", "\x02" "A\0B\x03"s, {}, {"\x02" "A\0B\x03"s}, State::Complete},
        {"appended bytes are taken, the rest dropped", "\x02" "A\x03xyz", appending(2),
         {"\x02" "A\x03xy"}, State::Complete},
        {"start and end among appended bytes are ordinary", "\x02" "A\x03\x02\x03", appending(2),
         {"\x02" "A\x03\x02\x03"}, State::Complete},
        {"waiting for appended bytes", "\x02" "A\x03x", appending(2), {}, State::Appending},
        {"equal start and end never deliver", "|A|B|", startEqualsEnd(), {}, State::Collecting},
    };
    for (const Case& c : cases) {
        MessageAssembler assembler;
        EXPECT_EQ(feed(assembler, c.input, c.settings), c.messages) << c.name;
        EXPECT_EQ(assembler.state(), c.finalState) << c.name;
    }
}

TEST(MessageAssembler, KeepsTheLastMessageUntilTheNextStart)
{
    MessageAssembler assembler;
    const MessageAssembler::Settings settings;
    feed(assembler, "\x02" "A\x03" "junk", settings);
    EXPECT_EQ(assembler.message(), "\x02" "A\x03");
    assembler.push('\x02', settings);
    EXPECT_EQ(assembler.message(), "\x02");
}

TEST(MessageAssembler, DropsAMessageThatReachesTheCapUnfinished)
{
    const std::size_t cap = MessageAssembler::MaxMessage;
    const MessageAssembler::Settings plain;
    struct CapCase {
        const char* name;
        MessageAssembler::Settings settings;
        std::string input;
        std::vector<std::string> messages;
    };
    const std::string fitsExactly = "\x02" + std::string(cap - 2, 'a') + "\x03";
    const std::string fitsWithTrail = "\x02" + std::string(cap - 4, 'a') + "\x03xy";
    const std::string tooLong = "\x02" + std::string(cap - 1, 'a');
    const std::vector<CapCase> cases = {
        {"a message of exactly the cap is delivered", plain, fitsExactly, {fitsExactly}},
        {"trailing bytes may end at the cap", appending(2), fitsWithTrail, {fitsWithTrail}},
        {"an unfinished message at the cap is dropped with its end", plain, tooLong + "\x03", {}},
        {"the next message after a drop is delivered", plain, tooLong + "b\x03\x02" "A\x03",
         {"\x02" "A\x03"}},
        {"trailing bytes past the cap drop the message", appending(3), fitsWithTrail + "z", {}},
    };
    for (const CapCase& c : cases) {
        MessageAssembler assembler;
        EXPECT_EQ(feed(assembler, c.input, c.settings), c.messages) << c.name;
        EXPECT_LE(assembler.message().size(), cap) << c.name;
    }

    MessageAssembler assembler;
    feed(assembler, tooLong, plain);
    EXPECT_EQ(assembler.state(), State::Complete);
}

TEST(MessageAssembler, AccountsForEveryDroppedByteInOrder)
{
    using namespace std::string_literals;
    const std::size_t cap = MessageAssembler::MaxMessage;
    struct DropCase {
        const char* name;
        std::string input;
        MessageAssembler::Settings settings;
        std::string dropped;
    };
    const std::string tooLong = "\x02" + std::string(cap - 1, 'a');
    const std::vector<DropCase> cases = {
        {"noise before and after a frame", "xy\x02" "A\x03z", {}, "xyz"},
        {"a frame cut short by a new start", "\x02" "A=1\x02" "B\x03", {}, "\x02" "A=1"},
        {"an end with no frame open", "\x03\x03", {}, "\x03\x03"},
        {"bytes past the trailing ones", "\x02" "A\x03xyz", appending(2), "z"},
        {"a frame that reaches the cap unfinished", tooLong + "b\x03", {}, tooLong + "b\x03"},
        {"a frame still being assembled is not dropped", "\x02" "AB", {}, ""},
    };
    for (const DropCase& c : cases) {
        MessageAssembler assembler;
        std::string dropped;
        for (char byte : c.input) assembler.push(byte, c.settings, &dropped);
        EXPECT_EQ(dropped, c.dropped) << c.name;
    }
}
