#pragma once

#include <optional>
#include <string_view>

namespace transponder {

// A number of volts as the transponder writes it and as an expectation gives
// it: digits with at most one point as the decimal sign, blanks around it
// allowed. The point is read whatever the process's locale says, so that a
// desktop set to a decimal comma reads "27.9" as 27.9 and not as 27. Nothing for
// any other text.
std::optional<double> readVolts(std::string_view text);

} // namespace transponder
