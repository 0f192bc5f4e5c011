#include "tools/xpdrsim/Frame.h"

#include <cstdio>

namespace xpdrsim {

std::string makeFrame(char letter, std::string_view value)
{
    std::string frame;
    frame.reserve(value.size() + 4);
    frame += STX;
    frame += letter;
    frame += '=';
    frame += value;
    frame += ETX;
    return frame;
}

std::optional<Frame> parseFrame(std::string_view message)
{
    if (message.size() < 4 || message.front() != STX || message.back() != ETX || message[2] != '=')
        return std::nullopt;
    return Frame{message[1], std::string(message.substr(3, message.size() - 4))};
}

std::string readable(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == STX) {
            text += "<STX>";
        } else if (c == ETX) {
            text += "<ETX>";
        } else if (byte < 0x20 || byte >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<0x%02x>", byte);
            text += hex;
        } else {
            text += c;
        }
    }
    return text;
}

} // namespace xpdrsim
