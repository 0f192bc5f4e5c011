#include "Conversions.h"

#include <QLocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <stdlib.h>

namespace fw {

QString toQString(const AnsiString& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

AnsiString toAnsi(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return AnsiString(bytes.constData(), static_cast<size_t>(bytes.size()));
}

namespace {

[[noreturn]] void invalidInteger(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
}

[[noreturn]] void invalidFloat(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text).toStdString());
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

bool isBlankOrControl(QChar c) { return c.unicode() <= 32; }

// strtod follows the process's LC_NUMERIC, which QApplication takes from the
// environment: under a locale with a decimal comma it would stop at the "." of
// a number written in C notation. Such numbers are read in the C locale.
locale_t cNumericLocale()
{
    static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
    return c;
}

} // namespace

int StrToInt(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ') ++i;

    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }

    int base = 10;
    if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }

    if (i >= n) invalidInteger(text);

    // Accumulate as a magnitude in 64 bits and check the 32-bit range at the end:
    // "-2147483648" must convert, "2147483648" must not.
    long long magnitude = 0;
    for (; i < n; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0 || d >= base) invalidInteger(text);
        magnitude = magnitude * base + d;
        if (magnitude > 0x100000000LL) invalidInteger(text);
    }
    const long long value = negative ? -magnitude : magnitude;
    if (base == 10 && (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()))
        invalidInteger(text);
    if (base == 16) {
        // Hexadecimal covers the full 32 bits: "$FFFFFFFF" is -1, as the bit pattern says.
        if (magnitude > 0xFFFFFFFFLL) invalidInteger(text);
        return static_cast<int>(static_cast<unsigned>(negative ? -magnitude : magnitude));
    }
    return static_cast<int>(value);
}

double StrToFloat(const QString& text)
{
    const QString point = QLocale::system().decimalPoint();
    return StrToFloat(text, point.isEmpty() ? QChar(u'.') : point.front());
}

double StrToFloat(const QString& text, QChar decimalSeparator)
{
    const QString t = Trim(text);
    qsizetype i = 0;
    const qsizetype n = t.size();
    auto digits = [&](std::string& out) {
        const qsizetype start = i;
        while (i < n && t[i] >= u'0' && t[i] <= u'9') out += static_cast<char>(t[i++].unicode());
        return i - start;
    };

    // Rebuild the number in the C locale's notation and let strtod do the
    // arithmetic, so rounding is exactly the library's.
    std::string c;
    if (i < n && (t[i] == u'+' || t[i] == u'-')) c += static_cast<char>(t[i++].unicode());
    qsizetype mantissaDigits = digits(c);
    if (i < n && t[i] == decimalSeparator) {
        ++i;
        c += '.';
        mantissaDigits += digits(c);
    }
    if (mantissaDigits == 0) invalidFloat(text);
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        c += 'e';
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-')) c += static_cast<char>(t[i++].unicode());
        if (digits(c) == 0) invalidFloat(text);
    }
    if (i != n) invalidFloat(text);

    const double value = strtod_l(c.c_str(), nullptr, cNumericLocale());
    if (!std::isfinite(value)) invalidFloat(text);
    return value;
}

QString Trim(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlankOrControl(text[first])) ++first;
    while (last > first && isBlankOrControl(text[last - 1])) --last;
    return text.mid(first, last - first);
}

AnsiString Trim(const AnsiString& text)
{
    size_t first = 0;
    size_t last = text.size();
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (first < last && blank(text[first])) ++first;
    while (last > first && blank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

QString IntToStr(long long value)
{
    return QString::number(value);
}

} // namespace fw
