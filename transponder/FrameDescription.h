#pragma once

#include <string>
#include <string_view>

namespace transponder {

enum class Direction { Sent, Received };

// One line that says what a frame means, for a traffic monitor: "query
// assigned code", "set assigned code 7700", "trigger SPI", "reply: operational
// status Mode C/Alt", "interrogation report". A received frame is read the way
// the status display reads it; one the display ignores says so. Bytes that are
// not a frame are "noise". Control characters in values show as <hex>.
std::string describeFrame(std::string_view frame, Direction direction);

} // namespace transponder
