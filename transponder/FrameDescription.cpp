#include "transponder/FrameDescription.h"

#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

#include <cstdio>

namespace transponder {

namespace {

std::string printable(std::string_view bytes)
{
    std::string out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02x>", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

// The item a letter stands for, in the words of the panel's rows.
std::string itemName(char letter)
{
    switch (letter) {
    case MessageSet::Altitude: return "altitude";
    case MessageSet::AssignedCode: return "assigned code";
    case MessageSet::EncoderSource: return "altitude encoder";
    case MessageSet::VoltageOffset: return "voltage offset";
    case MessageSet::Ident: return "SPI status";
    case MessageSet::Ping: return "ping";
    case MessageSet::Interrogation: return "interrogation status";
    case MessageSet::OperationalFunction: return "operational status";
    case MessageSet::Voltage: return "A/C voltage";
    case MessageSet::FirmwareVersion: return "firmware version";
    case 'e': case 'l': case 'n': case 'o': case 'u': return std::string("item ") + letter;
    default: return "unknown item '" + printable(std::string_view(&letter, 1)) + "'";
    }
}

// The fixed set commands, as the panel's buttons name them.
const char* namedSetting(char letter, std::string_view value)
{
    struct Setting {
        char letter;
        const char* value;
        const char* meaning;
    };
    static constexpr Setting Settings[] = {
        {'s', "t", "set operational function Standby"},
        {'s', "a", "set operational function Mode A"},
        {'s', "c", "set operational function Mode C"},
        {'r', "y", "set interrogation replies on"},
        {'r', "n", "set interrogation replies off"},
        {'v', "1", "set A/C voltage 14V"},
        {'v', "2", "set A/C voltage 28V"},
        {'d', "g", "set altitude encoder Gillham"},
        {'d', "s", "set altitude encoder Serial"},
        {'i', "s", "trigger SPI"},
        {'p', "y", "fire ping"},
    };
    for (const Setting& s : Settings)
        if (s.letter == letter && value == s.value) return s.meaning;
    return nullptr;
}

std::string describeSent(const Reply& frame, std::string_view content)
{
    // The operator's manual command goes out as typed, "=" or not.
    if (content.size() < 2 || content[1] != '=') return "command '" + printable(content) + "'";
    if (frame.value == "?") return "query " + itemName(frame.letter);
    if (const char* meaning = namedSetting(frame.letter, frame.value)) return meaning;
    switch (frame.letter) {
    case MessageSet::Altitude:
    case MessageSet::AssignedCode:
    case MessageSet::VoltageOffset:
        return "set " + itemName(frame.letter) + " " + printable(frame.value);
    default:
        return "set " + itemName(frame.letter) + " to '" + printable(frame.value) + "'";
    }
}

std::string describeReceived(const Reply& reply)
{
    if (reply.letter == MessageSet::InterrogationReport) return "interrogation report";
    const std::string prefix = "reply: " + itemName(reply.letter);
    if (reply.encoderChoice) return prefix + (*reply.encoderChoice == 0 ? " Gillham" : " Serial");
    if (reply.shows) {
        if (reply.shows->item == Item::Spi && reply.shows->text.empty()) return prefix + " not active";
        return prefix + " " + printable(reply.shows->text);
    }
    switch (reply.letter) {
    case 'e': case 'l': case 'n': case 'o': case 'u':
        return prefix + " " + printable(reply.value);
    default:
        return prefix + " '" + printable(reply.value) + "', not shown";
    }
}

} // namespace

std::string describeFrame(std::string_view frame, Direction direction)
{
    const auto parsed = parseReply(frame);
    const std::size_t start = frame.find(MessageSet::STX) + 1;
    const std::size_t end = frame.find(MessageSet::ETX);
    if (!parsed || end < start) return "noise: " + printable(frame);
    const std::string_view content = frame.substr(start, end - start);
    if (content.empty()) return "empty frame";
    return direction == Direction::Sent ? describeSent(*parsed, content) : describeReceived(*parsed);
}

} // namespace transponder
