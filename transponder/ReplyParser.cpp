#include "transponder/ReplyParser.h"

#include "framework/Conversions.h"
#include "transponder/MessageSet.h"

namespace transponder {

namespace {

struct Mode {
    char code;
    const char* shown;
    std::optional<int> choice; // none: the operational function choice stays as it was
};
constexpr Mode Modes[] = {
    {'a', "Mode A", 1}, {'c', "Mode C", 2}, {'l', "Mode C/Alt", 2}, {'t', "Standby", 0}, {'f', "Off", std::nullopt},
};

} // namespace

std::optional<Reply> parseReply(std::string_view message)
{
    const std::size_t s = message.find(MessageSet::STX);
    const std::size_t e = message.find(MessageSet::ETX);
    if (s == std::string_view::npos || e == std::string_view::npos) return std::nullopt;

    auto at = [&](std::size_t i) { return i < message.size() ? message[i] : '\0'; };
    const std::size_t valueStart = s + 3;
    const char first = at(valueStart); // the ETX itself when the value is empty

    Reply reply;
    reply.letter = at(s + 1);
    if (e > valueStart) reply.value = message.substr(valueStart, e - valueStart);
    auto show = [&](Item item, std::string text) { reply.shows = Reply::Shown{item, std::move(text)}; };
    auto light = [&](Lamp lamp, bool lit) { reply.lamp = Reply::Switched{lamp, lit}; };

    switch (reply.letter) {
    case MessageSet::InterrogationReport:
        light(Lamp::Interrogation, true);
        break;
    case MessageSet::Altitude:
        show(Item::Altitude, reply.value);
        break;
    case MessageSet::AssignedCode:
        if (reply.value.size() >= 4) show(Item::Code, reply.value.substr(0, 4));
        break;
    case MessageSet::EncoderSource:
        if (first == 'g') reply.encoderChoice = 0;
        if (first == 's') reply.encoderChoice = 1;
        break;
    case MessageSet::VoltageOffset: {
        // The offset is what follows the first "=" of the whole message, which
        // is not always the one after the letter.
        const std::size_t equals = message.find('=');
        const std::size_t from = equals == std::string_view::npos ? 0 : equals + 1;
        const std::string offset(e > from ? message.substr(from, e - from) : std::string_view());
        show(Item::Offset, fw::Trim(offset) + " V");
        break;
    }
    case MessageSet::Ident:
        show(Item::Spi, first == '0' ? "" : "Active");
        light(Lamp::Spi, first != '0');
        break;
    case MessageSet::Ping:
        if (first == 'Y') {
            show(Item::Ping, "Received");
            light(Lamp::Ping, true);
        }
        break;
    case MessageSet::Interrogation:
        if (first == 'Y') show(Item::Replies, "Enabled");
        if (first == 'N') show(Item::Replies, "Disabled");
        break;
    case MessageSet::OperationalFunction:
        for (const Mode& mode : Modes) {
            if (mode.code != first) continue;
            show(Item::Mode, mode.shown);
            reply.functionChoice = mode.choice;
            break;
        }
        break;
    case MessageSet::Voltage:
        show(Item::Volts, fw::Trim(reply.value));
        break;
    case MessageSet::FirmwareVersion:
        show(Item::Version, reply.value);
        break;
    default:
        break;
    }
    return reply;
}

} // namespace transponder
