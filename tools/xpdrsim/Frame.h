#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xpdrsim {

inline constexpr char STX = '\x02';
inline constexpr char ETX = '\x03';

// One frame as it travels: STX, the item's letter, "=", the value, ETX.
std::string makeFrame(char letter, std::string_view value);

struct Frame {
    char letter = 0;
    std::string value;
};

// Splits a message as the assembler hands it over (STX .. ETX inclusive) into its
// letter and value. A message without the "=" after the letter is not a frame of
// the message set and gives nothing.
std::optional<Frame> parseFrame(std::string_view message);

// The bytes as a person reads them in a log: <STX> and <ETX> by name, every other
// control or non-ASCII byte as <0x1f>, printable ASCII as it is.
std::string readable(std::string_view bytes);

} // namespace xpdrsim
