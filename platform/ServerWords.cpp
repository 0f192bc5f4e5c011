#include "platform/ServerWords.h"

namespace platform {

std::string serverWords(const std::string& received)
{
    std::string words;
    for (const char c : received) {
        if (c >= 0x20 && c < 0x7f) words += c;
        else if (!words.empty() && words.back() != ' ') words += ' ';
    }
    while (!words.empty() && words.back() == ' ') words.pop_back();
    return words;
}

bool isText(char c)
{
    return (c >= 0x20 && c < 0x7f) || c == '\r' || c == '\n' || c == '\t';
}

std::string withoutTelnetCommands(const std::string& bytes)
{
    constexpr unsigned char Iac = 255, Sb = 250, Se = 240, Will = 251, Dont = 254;
    std::string data;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte != Iac) {
            data += bytes[i];
            continue;
        }
        const auto command = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if (command == Iac) {
            data += bytes[++i];
        } else if (command == Sb) {
            // To IAC SE.
            for (i += 2; i + 1 < bytes.size() && !(static_cast<unsigned char>(bytes[i]) == Iac
                                                  && static_cast<unsigned char>(bytes[i + 1]) == Se); ++i) {}
            ++i;
        } else {
            i += command >= Will && command <= Dont ? 2 : 1;
        }
    }
    return data;
}

} // namespace platform
