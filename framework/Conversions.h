#pragma once

#include <QString>
#include <stdexcept>
#include <string>

namespace fw {

// Raised by the conversions below. Like any exception it ends the handler that
// raised it; the handler wrapper (Application.h) shows it and the program goes on.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Texts on the serial line and in the window logic are 8-bit strings; every byte
// value maps to one character (Latin-1), so a round trip through a label or an
// edit box loses nothing.
using AnsiString = std::string;
QString toQString(const AnsiString& text);
AnsiString toAnsi(const QString& text);

// Signed 32-bit decimal, or hexadecimal after "$" or "0x". Leading blanks are
// accepted, trailing ones are not: " 1" is 1, "1 " fails.
// Throws EConvertError("'<text>' is not a valid integer value").
int StrToInt(const QString& text);

// Decimal number with an optional exponent, written with the system's decimal
// separator; blanks at either end are ignored.
// Throws EConvertError("'<text>' is not a valid floating point value").
double StrToFloat(const QString& text);
double StrToFloat(const QString& text, QChar decimalSeparator);

// Removes every character of code 32 or lower at both ends.
QString Trim(const QString& text);
AnsiString Trim(const AnsiString& text);

QString IntToStr(long long value);

} // namespace fw
