#pragma once

#include <QString>
#include <string_view>

namespace transponder {

// Bytes from the line as an operator reads them: STX and ETX as "<STX>" and
// "<ETX>", every other byte outside printable ASCII as two hex digits in angle
// brackets ("<0D>"), the rest as it is. The traffic monitor and the
// command-line tool both show the transponder's bytes so: a control byte or an
// escape sequence on the line never reaches a terminal or a window as one.
QString frameText(std::string_view bytes);

} // namespace transponder
