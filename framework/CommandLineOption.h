#pragma once

#include <charconv>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// One option of a command line as our command-line programs spell them:
// "--name VALUE" or "--name=VALUE" for an option that takes a value, "--name"
// for a flag. Every program gives the same error texts.
struct CommandLineOption {
    std::string name;  // without "=VALUE"
    std::string value; // empty for a flag

    // "option '--rate': 'x' is not EXPECTED", for a value that will not do.
    std::string notA(const std::string& expected) const;
};

// Reads the option at args[i] and moves i past its value when that is the next
// word. `valued` and `flags` are the names the program knows. A name it does not
// know, a flag given a value, or a value missing gives nothing, and the reason
// in `error`.
std::optional<CommandLineOption> readOption(const std::vector<std::string>& args, std::size_t& i,
                                            std::initializer_list<std::string_view> valued,
                                            std::initializer_list<std::string_view> flags, std::string& error);

// The whole of `text` as a decimal number, or nothing.
template <typename Number>
std::optional<Number> parseNumber(const std::string& text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace fw
