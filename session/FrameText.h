#pragma once

#include <QString>
#include <string_view>

namespace session {

// Bytes from the line as an operator reads them: STX and ETX as "<STX>" and
// "<ETX>", every other byte outside printable ASCII as two hex digits in angle
// brackets ("<0D>"), the rest as it is.
QString frameText(std::string_view bytes);

} // namespace session
