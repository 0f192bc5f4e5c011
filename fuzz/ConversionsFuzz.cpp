// The runtime conversions on any text.
//
// Input: one byte choosing how the rest becomes text (bit 0: Latin-1 bytes or
// UTF-16 code units, as an edit box may hold any character), then the text.
// Nothing may escape but EConvertError, whose message must quote the text, and
// each successful conversion is checked against an independent reading:
//  - StrToInt: plain decimal and hexadecimal texts, read with std::from_chars;
//    a decimal result prints back as the text without blanks, "+" and leading zeros;
//  - StrToFloat: the same text with "." and with "," as separator (swapped) gives
//    the same answer, which std::from_chars confirms;
//  - Trim: only blanks and control characters are cut, and only at the ends.
#include "framework/Conversions.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

using fw::EConvertError;

[[noreturn]] void fail(const char* what, const QString& text)
{
    std::fprintf(stderr, "conversions: %s for '%s'\n", what, text.toUtf8().constData());
    std::abort();
}

// what() is a C string: a text with a NUL in it is quoted up to the NUL.
void expectErrorText(const EConvertError& e, const QString& text, const char* suffix)
{
    const QByteArray expected = (QStringLiteral("'") + text + QStringLiteral("' ") + QLatin1String(suffix)).toUtf8();
    if (std::strcmp(e.what(), expected.constData()) != 0) fail("error text does not quote the text", text);
}

std::optional<int> tryStrToInt(const QString& text)
{
    try {
        return fw::StrToInt(text);
    } catch (const EConvertError& e) {
        expectErrorText(e, text, "is not a valid integer value");
        return std::nullopt;
    }
}

std::optional<double> tryStrToFloat(const QString& text, QChar separator)
{
    try {
        return fw::StrToFloat(text, separator);
    } catch (const EConvertError& e) {
        expectErrorText(e, text, "is not a valid floating point value");
        return std::nullopt;
    }
}

bool isAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7F) return false;
    return true;
}

// Leading blanks (code 32 only), an optional sign, then "$" or "0x"/"0X" for
// hexadecimal, then at least one digit of that base and nothing else.
void checkStrToInt(const QString& text)
{
    const std::optional<int> result = tryStrToInt(text);
    if (!isAscii(text)) {
        if (result) fail("StrToInt accepted a non-ASCII character", text);
        return;
    }
    const std::string s = text.toStdString();
    std::size_t i = s.find_first_not_of(' ');
    if (i == std::string::npos) i = s.size();
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (s.compare(i, 2, "0x") == 0 || s.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    }
    const std::string digits = s.substr(i);
    unsigned long long magnitude = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    const bool allDigits = !digits.empty() && end == digits.data() + digits.size();
    if (!allDigits) {
        if (result) fail("StrToInt accepted a text that is not a number", text);
        return;
    }
    bool fits = ec == std::errc{};
    long long expected = 0;
    if (base == 10) {
        fits = fits && magnitude <= (negative ? 2147483648ULL : 2147483647ULL);
        expected = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    } else {
        // Hexadecimal spans the 32 bits: the result is the bit pattern.
        fits = fits && magnitude <= 0xFFFFFFFFULL;
        const std::uint32_t bits = static_cast<std::uint32_t>(negative ? 0 - magnitude : magnitude);
        expected = static_cast<std::int32_t>(bits);
    }
    if (fits && !result) fail("StrToInt rejected a number in range", text);
    if (!fits && result) fail("StrToInt accepted an out-of-range number", text);
    if (!result) return;
    if (*result != expected) fail("StrToInt gave another value", text);
    if (base == 10) {
        // Printed back, a decimal number reads as it was typed, less the blanks,
        // a plus sign and leading zeros.
        const std::size_t first = digits.find_first_not_of('0');
        QString typed = first == std::string::npos ? QStringLiteral("0") : QString::fromStdString(digits.substr(first));
        if (negative && typed != u"0") typed.prepend(u'-');
        const QString printed = fw::IntToStr(*result);
        if (printed != typed) fail("IntToStr does not print the number as typed", text);
        if (tryStrToInt(printed) != result) fail("the printed number does not convert back", text);
    }
}

QString swapSeparators(const QString& text)
{
    QString swapped = text;
    for (QChar& c : swapped) {
        if (c == u'.')
            c = u',';
        else if (c == u',')
            c = u'.';
    }
    return swapped;
}

// A number with "." as separator, read by std::from_chars, which takes no
// sign up front and knows no locale.
std::optional<double> referenceFloat(const QString& trimmed)
{
    if (!isAscii(trimmed)) return std::nullopt;
    const std::string s = trimmed.toStdString();
    bool negative = false;
    std::size_t i = 0;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) negative = s[i++] == '-';
    if (i < s.size() && !(s[i] == '.' || (s[i] >= '0' && s[i] <= '9'))) return std::nullopt; // no "inf", "nan"
    if (s.find_first_not_of("0123456789.eE+-", i) != std::string::npos) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data() + i, s.data() + s.size(), value, std::chars_format::general);
    if (ec != std::errc{} || end != s.data() + s.size()) return std::nullopt;
    return negative ? -value : value;
}

void checkStrToFloat(const QString& text)
{
    const std::optional<double> point = tryStrToFloat(text, u'.');
    const std::optional<double> comma = tryStrToFloat(swapSeparators(text), u',');
    if (point.has_value() != comma.has_value()) fail("StrToFloat depends on which separator is used", text);
    if (!point) {
        // A plain, finite number in C notation must convert.
        if (referenceFloat(fw::Trim(text))) fail("StrToFloat rejected a number", text);
        return;
    }
    if (!std::isfinite(*point)) fail("StrToFloat gave a value that is not finite", text);
    if (std::memcmp(&*point, &*comma, sizeof(double)) != 0) fail("StrToFloat differs between separators", text);
    const std::optional<double> expected = referenceFloat(fw::Trim(text));
    // A value that underflows converts (to zero or a denormal) but the reference
    // reports it out of range; every other accepted text must read the same.
    if (expected && std::memcmp(&*expected, &*point, sizeof(double)) != 0) fail("StrToFloat gave another value", text);
    if (!expected && *point != 0 && std::fabs(*point) >= 2.2250738585072014e-308)
        fail("StrToFloat accepted what the reference cannot read", text);
}

bool blank(QChar c) { return c.unicode() <= 32; }

void checkTrim(const QString& text)
{
    const QString trimmed = fw::Trim(text);
    if (!trimmed.isEmpty() && (blank(trimmed.front()) || blank(trimmed.back())))
        fail("Trim left a blank at an end", text);
    const qsizetype at = text.indexOf(trimmed);
    if (at < 0) fail("Trim changed the inside of the text", text);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool inside = i >= at && i < at + trimmed.size();
        if (!inside && !blank(text[i])) fail("Trim cut a character that is not a blank", text);
    }
}

void checkAnsi(const std::string& bytes)
{
    const QString text = fw::toQString(bytes);
    if (fw::toAnsi(text) != bytes) fail("an 8-bit text did not survive the round trip", text);
    if (fw::toAnsi(fw::Trim(text)) != fw::Trim(bytes)) fail("the two Trims disagree", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const bool utf16 = data[0] & 1;
    const char* bytes = reinterpret_cast<const char*>(data) + 1;
    const std::size_t n = size - 1;

    QString text;
    if (utf16) {
        text.resize(static_cast<qsizetype>(n / 2));
        for (std::size_t i = 0; i + 1 < n; i += 2)
            text[static_cast<qsizetype>(i / 2)] = QChar(static_cast<char16_t>(data[1 + i] | data[2 + i] << 8));
    } else {
        checkAnsi(std::string(bytes, n));
        text = QString::fromLatin1(bytes, static_cast<qsizetype>(n));
    }

    checkStrToInt(text);
    checkStrToFloat(text);
    checkTrim(text);
    return 0;
}
