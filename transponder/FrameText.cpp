#include "transponder/FrameText.h"

namespace transponder {

QString frameText(std::string_view bytes)
{
    static const char Hex[] = "0123456789ABCDEF";
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()) + 10);
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0x02)
            text += QLatin1String("<STX>");
        else if (u == 0x03)
            text += QLatin1String("<ETX>");
        else if (u < 0x20 || u > 0x7E) {
            const char hex[] = {'<', Hex[u >> 4], Hex[u & 0xF], '>'};
            text += QLatin1String(hex, 4);
        } else
            text += QLatin1Char(c);
    }
    return text;
}

} // namespace transponder
