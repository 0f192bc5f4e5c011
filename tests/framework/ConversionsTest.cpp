#include "framework/Conversions.h"
#include "tests/testkit/CommaNumericLocale.h"

#include <gtest/gtest.h>

#include <string>

using namespace fw;

TEST(StrToInt, AcceptsLeadingBlanksButNotTrailingOnes)
{
    struct Case {
        const char* text;
        bool valid;
        int value;
    };
    const Case cases[] = {
        {"1", true, 1},           {" 1", true, 1},        {"   42", true, 42},
        {"1 ", false, 0},         {"", false, 0},         {"   ", false, 0},
        {"-7", true, -7},         {"+7", true, 7},        {"-", false, 0},
        {"12a", false, 0},        {"1.0", false, 0},      {"257", true, 257},
        {"2147483647", true, 2147483647},                 {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0}, {"99999999999", false, 0},
        {"$FF", true, 255},       {"0x10", true, 16},     {"$FFFFFFFF", true, -1},
        {"$", false, 0},          {"\t1", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.valid)
            EXPECT_EQ(StrToInt(QString::fromLatin1(c.text)), c.value);
        else
            EXPECT_THROW(StrToInt(QString::fromLatin1(c.text)), EConvertError);
    }
}

TEST(StrToInt, ErrorTextQuotesTheWholeText)
{
    try {
        StrToInt(QStringLiteral("1 "));
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'1 ' is not a valid integer value");
    }
}

TEST(StrToFloat, UsesTheGivenDecimalSeparatorAndIgnoresOuterBlanks)
{
    struct Case {
        const char* text;
        char separator;
        bool valid;
        double value;
    };
    const Case cases[] = {
        {"1.2", '.', true, 1.2},   {" 1.2 ", '.', true, 1.2}, {"0", '.', true, 0.0},
        {"-0.5", '.', true, -0.5}, {"1,5", '.', false, 0},    {"1,5", ',', true, 1.5},
        {"1.2", ',', false, 0},    {"", '.', false, 0},       {".", '.', false, 0},
        {".5", '.', true, 0.5},    {"5.", '.', true, 5.0},    {"1e3", '.', true, 1000.0},
        {"1e", '.', false, 0},     {"abc", '.', false, 0},    {"1.2.3", '.', false, 0},
        {"\t2\r\n", '.', true, 2.0}, {"1e999", '.', false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " with " + c.separator);
        if (c.valid)
            EXPECT_DOUBLE_EQ(StrToFloat(QString::fromLatin1(c.text), QChar(c.separator)), c.value);
        else
            EXPECT_THROW(StrToFloat(QString::fromLatin1(c.text), QChar(c.separator)), EConvertError);
    }
}

TEST(StrToFloat, ReadsNumbersAlikeWhateverTheProcessLocale)
{
    CommaNumericLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma can be had here";
    struct Case {
        const char* text;
        char separator;
        double value;
    };
    const Case cases[] = {
        {"1,5", ',', 1.5}, {"1.5", '.', 1.5}, {"-0,5", ',', -0.5}, {"2,5e1", ',', 25.0}, {"0.125", '.', 0.125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " with " + c.separator);
        EXPECT_EQ(StrToFloat(QString::fromLatin1(c.text), QChar(c.separator)), c.value);
    }
}

TEST(StrToFloat, ErrorTextQuotesTheText)
{
    try {
        StrToFloat(QStringLiteral("1,5"), u'.');
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'1,5' is not a valid floating point value");
    }
}

TEST(Trim, RemovesCodesUpTo32AtBothEndsOnly)
{
    EXPECT_EQ(Trim(QStringLiteral("\t a b \r\n")), QStringLiteral("a b"));
    EXPECT_EQ(Trim(QString::fromLatin1("\x01x\x1f")), QStringLiteral("x"));
    EXPECT_EQ(Trim(QStringLiteral("   ")), QString());
    EXPECT_EQ(Trim(AnsiString("\x02 1.2 \x03")), AnsiString("1.2"));
    EXPECT_EQ(Trim(AnsiString("\xa0x")), AnsiString("\xa0x")); // 160 is not a blank
}

TEST(AnsiText, EveryByteSurvivesARoundTrip)
{
    AnsiString all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(toAnsi(toQString(all)), all);
    EXPECT_EQ(IntToStr(-65436), QStringLiteral("-65436"));
}
