#include "transponder/ReplyParser.h"
#include "transponder/StatusModel.h"

#include <gtest/gtest.h>

using namespace transponder;

namespace {

std::string framed(const std::string& content)
{
    return '\x02' + content + '\x03';
}

} // namespace

TEST(ReplyParser, ReadsEachLetterTheWayTheDisplayShowsIt)
{
    struct Case {
        std::string message;
        std::optional<Item> item; // none: no text changes
        const char* text;
        std::optional<Lamp> lamp;
        bool lit;
        std::optional<int> function;
        std::optional<int> encoder;
    };
    const Case cases[] = {
        {framed("s=a"), Item::Mode, "Mode A", {}, false, 1, {}},
        {framed("s=c"), Item::Mode, "Mode C", {}, false, 2, {}},
        {framed("s=l"), Item::Mode, "Mode C/Alt", {}, false, 2, {}},
        {framed("s=t"), Item::Mode, "Standby", {}, false, 0, {}},
        {framed("s=f"), Item::Mode, "Off", {}, false, {}, {}},   // shown, the choice stays
        {framed("s=x"), {}, "", {}, false, {}, {}},
        {framed("s=aXYZ"), Item::Mode, "Mode A", {}, false, 1, {}}, // first character only
        {framed("c=1200"), Item::Code, "1200", {}, false, {}, {}},
        {framed("c=77001"), Item::Code, "7700", {}, false, {}, {}},
        {framed("c=123"), {}, "", {}, false, {}, {}},
        {framed("r=Y"), Item::Replies, "Enabled", {}, false, {}, {}},
        {framed("r=N"), Item::Replies, "Disabled", {}, false, {}, {}},
        {framed("r=y"), {}, "", {}, false, {}, {}},               // lower case is not a reply
        {framed("i=0"), Item::Spi, "", Lamp::Spi, false, {}, {}},
        {framed("i=1"), Item::Spi, "Active", Lamp::Spi, true, {}, {}},
        {framed("i=?"), Item::Spi, "Active", Lamp::Spi, true, {}, {}},
        {framed("i="), Item::Spi, "Active", Lamp::Spi, true, {}, {}}, // the first "value" byte is ETX
        {std::string("\x02i\x03"), Item::Spi, "Active", Lamp::Spi, true, {}, {}},
        {framed("p=Yes"), Item::Ping, "Received", Lamp::Ping, true, {}, {}},
        {framed("p=y"), {}, "", {}, false, {}, {}},
        {framed("a=12500"), Item::Altitude, "12500", {}, false, {}, {}},
        {framed("v= 27.9 "), Item::Volts, "27.9", {}, false, {}, {}},
        {framed("f= 1.2 "), Item::Offset, "1.2 V", {}, false, {}, {}},
        {framed("f="), Item::Offset, " V", {}, false, {}, {}},
        // The offset follows the first "=" of the whole message.
        {"x=" + framed("f=3.3"), Item::Offset, "f=3.3 V", {}, false, {}, {}},
        {framed("z= 2.14"), Item::Version, " 2.14", {}, false, {}, {}},
        {framed("*="), {}, "", Lamp::Interrogation, true, {}, {}},
        {framed("d=g"), {}, "", {}, false, {}, 0},
        {framed("d=serial"), {}, "", {}, false, {}, 1},
        {framed("e=5"), {}, "", {}, false, {}, {}},
        {"junk" + framed("v=13.8"), Item::Volts, "13.8", {}, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const auto reply = parseReply(c.message);
        ASSERT_TRUE(reply.has_value());
        ASSERT_EQ(reply->shows.has_value(), c.item.has_value());
        if (c.item) {
            EXPECT_EQ(reply->shows->item, *c.item);
            EXPECT_EQ(reply->shows->text, c.text);
        }
        ASSERT_EQ(reply->lamp.has_value(), c.lamp.has_value());
        if (c.lamp) {
            EXPECT_EQ(reply->lamp->lamp, *c.lamp);
            EXPECT_EQ(reply->lamp->lit, c.lit);
        }
        EXPECT_EQ(reply->functionChoice, c.function);
        EXPECT_EQ(reply->encoderChoice, c.encoder);
    }
}

TEST(ReplyParser, AMessageWithoutBothDelimitersIsNoReply)
{
    for (const std::string message : {"", "s=a", "\x02s=a", "s=a\x03"}) {
        SCOPED_TRACE(message);
        EXPECT_FALSE(parseReply(message).has_value());
    }
    const auto reply = parseReply(framed("z=2.14"));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->letter, 'z');
    EXPECT_EQ(reply->value, "2.14");
}

TEST(StatusModel, RepliesChangeOnlyTheirOwnItemAndClearingBlanksEverything)
{
    StatusModel model;
    for (const char* content : {"s=l", "c=7700", "r=Y", "i=1", "a=1025", "v=27.9", "f=1.2", "z=2.14", "p=Y", "*="})
        model.apply(*parseReply(framed(content)));
    const std::pair<Item, const char*> shown[] = {
        {Item::Mode, "Mode C/Alt"}, {Item::Code, "7700"},  {Item::Replies, "Enabled"},
        {Item::Spi, "Active"},      {Item::Altitude, "1025"}, {Item::Volts, "27.9"},
        {Item::Offset, "1.2 V"},    {Item::Version, "2.14"}, {Item::Ping, "Received"},
    };
    for (const auto& [item, text] : shown) EXPECT_EQ(model.text(item), text) << key(item);
    for (Lamp lamp : Lamps) EXPECT_TRUE(model.lit(lamp));

    const StatusModel before = model;
    model.apply(*parseReply(framed("c=12"))); // too short: ignored
    model.apply(*parseReply(framed("e=0")));  // not shown
    EXPECT_EQ(model, before);

    model.clear();
    EXPECT_EQ(model, StatusModel());
    for (Item item : Items) EXPECT_EQ(model.text(item), "");
}
