#include "transponder/Volts.h"

#include <algorithm>
#include <charconv>

namespace transponder {

std::optional<double> readVolts(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    const bool digitsAndPoint = !text.empty() && text != "." && std::count(text.begin(), text.end(), '.') <= 1
                                && std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    if (!digitsAndPoint) return std::nullopt;
    // from_chars is the C locale's reader whatever the process's locale.
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace transponder
