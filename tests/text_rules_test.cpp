// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/error.h"
#include "quorvel/text_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorvel;

namespace {

ErrorKind KindOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no error was raised";
    return ErrorKind::FileSystem;
}

TEST(TextRules, FindIsOneBasedAndExact)
{
    EXPECT_EQ(Find(1, "playbackOptions -min 1 -max 100", "-max "), 24u);
    EXPECT_EQ(Find(25, "playbackOptions -min 1 -max 100", "-max "), 0u);
    EXPECT_EQ(Find(4, "abc", "c"), 0u);  // one past the end: not found, no error
    EXPECT_EQ(Find(1, "abc", "C"), 0u);
    EXPECT_EQ(Find(3, "a a a", "a"), 3u);
    EXPECT_EQ(KindOf([] { Find(0, "abc", "a"); }), ErrorKind::InvalidArgument);
}

TEST(TextRules, SubstringAndTrim)
{
    EXPECT_EQ(Substring("abc", 4, 3), "");
    EXPECT_EQ(Substring("abc", 2, 5), "bc");
    EXPECT_EQ(Substring("abc", 1, 0), "");
    EXPECT_EQ(KindOf([] { Substring("abc", 2, -1); }), ErrorKind::InvalidArgument);
    EXPECT_EQ(KindOf([] { Substring("abc", 0, 1); }), ErrorKind::InvalidArgument);
    EXPECT_EQ(Trim("\t"), "\t");
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("   "), "");
}

TEST(TextRules, ValueOfIsLenient)
{
    const std::pair<const char*, double> cases[] = {
        {" 0 ", 0},       {" 25", 25},       {"720;", 720},     {"1.5;", 1.5},
        {" -0.25 ", -0.25}, {"0,5", 0},       {"abc", 0},        {"", 0},
        {" 1 2", 12},     {"1e-05", 0.00001}, {"1.5E+2", 150},  {"-", 0},
        {"2x", 2},        {"1e", 1},         {"+.5", 0.5},      {"\t-3\n", -3},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ValueOf(text), value) << "value of '" << text << "'";
    EXPECT_TRUE(std::isinf(ValueOf("1e999")));
    EXPECT_EQ(ValueOf("1e-999"), 0.0);
}

// Past a double's range a number reads as infinity or zero, as strtod
// reads it; the position of the first digit, not the exponent alone,
// decides which.
TEST(TextRules, NumberValueAtTheEdgesOfTheRange)
{
    constexpr double Infinity = std::numeric_limits<double>::infinity();
    const std::pair<const char*, double> cases[] = {
        {"1.7976931348623158e308", std::numeric_limits<double>::max()},
        {"1.7976931348623159e308", Infinity},
        {"-1e309", -Infinity},
        {"123456789012345678901234567890e280", Infinity},
        {"0.0000000000000000000001e330", 1e308},
        {"1000000000000000000000e-345", 0.0},
        {"3e-324", std::numeric_limits<double>::denorm_min()},
        {"2e-324", 0.0},
        {"-2e-324", -0.0},
        {"1e99999999999999999999999", Infinity},
        {"0.1e-99999999999999999999999", 0.0},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(NumberValue(text), value) << text;
        EXPECT_EQ(std::signbit(NumberValue(text)), std::signbit(value)) << text;
    }
}

TEST(TextRules, IsNumberTakesTheWholeField)
{
    for (const char* text : {"1", "-1", "+1", ".5", "1.", "1.5e-05", "7.1e-3", "1E+16", "0.0"})
        EXPECT_TRUE(IsNumber(text)) << text;
    for (const char* text : {"", "-", ".", "1e", "1;", " 1", "1 ", "inf", "nan", "0x10", "1,5", "e5", "1.5.2"})
        EXPECT_FALSE(IsNumber(text)) << text;
}

TEST(TextRules, ToInteger16RoundsHalfToEvenAndChecksTheRange)
{
    EXPECT_EQ(ToInteger16(2.5, "x"), 2);
    EXPECT_EQ(ToInteger16(3.5, "x"), 4);
    EXPECT_EQ(ToInteger16(-2.5, "x"), -2);
    EXPECT_EQ(ToInteger16(29.97, "x"), 30);
    EXPECT_EQ(ToInteger16(-32768.4, "x"), -32768);
    EXPECT_EQ(ToInteger16(32767.4, "x"), 32767);
    EXPECT_EQ(KindOf([] { ToInteger16(32767.5, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(KindOf([] { ToInteger16(std::nan(""), "x"); }), ErrorKind::Overflow);
    try {
        ToInteger16(40000, "shot.ma, line 8: the first frame");
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "shot.ma, line 8: the first frame 40000 is outside the range -32768 to 32767");
    }
}

TEST(TextRules, IntegerTextAndTokens)
{
    EXPECT_EQ(IntegerText(0), "0");
    EXPECT_EQ(IntegerText(-499), "-499");
    EXPECT_EQ(TokenAt("setAttr \".w\" 1920;", 13), "1920");
    EXPECT_EQ(TokenAt("-fps   29.97 more", 4), "29.97");
    EXPECT_EQ(TokenAt("-fps", 4), "");
    EXPECT_EQ(TokenAt("x 1.5", 99), "");
}

// What messages quote: control characters, C1 controls, format characters
// (category Cf) and bytes that are not UTF-8 escaped, other characters kept
// whole; excerpts cut between characters.
TEST(Messages, PrintableAndExcerpt)
{
    const std::pair<std::string, std::string> printable[] = {
        {"plain 1.5;", "plain 1.5;"},
        {"a\tb\r\n", "a\\tb\\r\\n"},
        {"\x1b[2J\x07\x7f", "\\x1b[2J\\x07\\x7f"},
        {"caf\xc3\xa9 \xe2\x80\xa6 \xf0\x9f\x8e\xa5", "caf\xc3\xa9 \xe2\x80\xa6 \xf0\x9f\x8e\xa5"},
        {"\xc2\x9b" "31m", "\\xc2\\x9b31m"},            // C1 CSI, as UTF-8
        {"\xe9t\xc3", "\\xe9t\\xc3"},                    // Latin-1, a cut sequence
        {"\xc0\xaf \xed\xa0\x80", "\\xc0\\xaf \\xed\\xa0\\x80"},  // overlong, surrogate
        {std::string("a\0b", 3), "a\\x00b"},
        // Format characters: right-to-left override, zero-width space, BOM, tag
        {"evil\xe2\x80\xaegpj.ma", "evil\\u202egpj.ma"},
        {"a\xe2\x80\x8b\xef\xbb\xbf\xc2\xad\xf3\xa0\x80\x81", "a\\u200b\\ufeff\\u00ad\\U000e0001"},
        {"\xe2\x80\xad\xe2\x81\xa6", "\\u202d\\u2066"},   // U+202D and U+2066, other ranges
        {"\xe2\x80\xb0\xe2\x81\xa5", "\xe2\x80\xb0\xe2\x81\xa5"},  // U+2030 and U+2065 are no format characters
    };
    for (const auto& [text, shown] : printable)
        EXPECT_EQ(Printable(text), shown) << shown;
    EXPECT_EQ(Excerpt(std::string(40, 'x')), std::string(40, 'x'));
    EXPECT_EQ(Excerpt(std::string(41, 'x')), std::string(40, 'x') + "...");
    EXPECT_EQ(Excerpt("\xc3\xa9\xc3\xa9\xc3\xa9", 2), "\xc3\xa9\xc3\xa9...");
    EXPECT_EQ(Excerpt("\x1b\x1b\x1b", 2), "\\x1b\\x1b...");
    EXPECT_STREQ(Error(ErrorKind::BadInput, "bad \x1b]0;x\x07").what(), "bad \\x1b]0;x\\x07");
}

}  // namespace
