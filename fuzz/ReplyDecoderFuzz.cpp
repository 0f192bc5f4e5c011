// The reply parser and the status model on any received message text.
//
// Input: lines separated by "\n". Each line is one message as the serial side
// delivers it; a line that is just "!" is the link watchdog blanking the
// display. One model serves every input, so each input starts from what the
// last one left. After each line the parser must agree with the message's
// delimiters and the model must keep its invariants (transponder/StatusModel.h).
#include "framework/Conversions.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"
#include "transponder/StatusModel.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

using namespace transponder;

namespace {

[[noreturn]] void fail(const char* what, std::string_view detail = {})
{
    std::fprintf(stderr, "reply decoder: %s %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

bool oneOf(const std::string& text, std::initializer_list<const char*> allowed)
{
    return std::any_of(allowed.begin(), allowed.end(), [&](const char* a) { return text == a; });
}

bool trimmed(const std::string& text)
{
    return fw::Trim(text) == text;
}

void checkParser(const std::string& message, const std::optional<Reply>& reply)
{
    const std::size_t s = message.find(MessageSet::STX);
    const std::size_t e = message.find(MessageSet::ETX);
    const bool framed = s != std::string::npos && e != std::string::npos;
    if (reply.has_value() != framed) fail("parsed a message without both delimiters, or missed a frame");
    if (!reply) return;
    if (reply->letter != (s + 1 < message.size() ? message[s + 1] : '\0')) fail("wrong letter");
    if (!reply->value.empty() && message.compare(s + 3, e - s - 3, reply->value) != 0) fail("wrong value");
}

void checkInvariants(const StatusModel& model)
{
    const std::string& code = model.text(Item::Code);
    if (!code.empty() && code.size() != 4) fail("code of another length:", code);
    const std::string& offset = model.text(Item::Offset);
    if (!offset.empty()) {
        if (offset.size() < 2 || offset.compare(offset.size() - 2, 2, " V") != 0) fail("offset without ' V':", offset);
        if (!trimmed(offset.substr(0, offset.size() - 2))) fail("offset not trimmed:", offset);
    }
    if (!trimmed(model.text(Item::Volts))) fail("voltage not trimmed:", model.text(Item::Volts));
    if (!oneOf(model.text(Item::Mode), {"", "Mode A", "Mode C", "Mode C/Alt", "Standby", "Off"}))
        fail("unknown mode:", model.text(Item::Mode));
    if (!oneOf(model.text(Item::Replies), {"", "Enabled", "Disabled"})) fail("unknown replies text");
    if (!oneOf(model.text(Item::Spi), {"", "Active"})) fail("unknown SPI text");
    if (!oneOf(model.text(Item::Ping), {"", "Received"})) fail("unknown ping text");
    if (model.lit(Lamp::Spi) != (model.text(Item::Spi) == "Active")) fail("SPI lamp and text disagree");
    if (model.lit(Lamp::Ping) != (model.text(Item::Ping) == "Received")) fail("ping lamp and text disagree");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static StatusModel model;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    std::size_t from = 0;
    for (;;) {
        const std::size_t nl = std::min(input.find('\n', from), input.size());
        const std::string line(input.substr(from, nl - from));
        if (line == "!") {
            model.clear();
            if (!(model == StatusModel())) fail("clearing left something shown");
        } else {
            const auto reply = parseReply(line);
            checkParser(line, reply);
            if (reply) {
                const StatusModel before = model;
                model.apply(*reply);
                if (reply->shows && model.text(reply->shows->item) != reply->shows->text) fail("text not taken");
                for (Item item : Items)
                    if ((!reply->shows || item != reply->shows->item) && model.text(item) != before.text(item))
                        fail("a reply changed another item:", line);
            }
        }
        checkInvariants(model);
        if (nl == input.size()) break;
        from = nl + 1;
    }
    return 0;
}
