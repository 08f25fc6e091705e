// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/text_rules.h"

#include "quorvel/error.h"
#include "quorvel/number_text.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

namespace quorvel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr double ExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The digits from P on, not past End, added to Digits (which wraps past 19
// of them); P is left after them.
inline void ReadDigits(const char*& P, const char* End, std::uint64_t& Digits)
{
    for (; P < End; ++P) {
        const unsigned digit = static_cast<unsigned char>(*P) - unsigned{'0'};
        if (digit > 9)
            return;
        Digits = Digits * 10 + digit;
    }
}

}  // namespace

// An optional sign, digits with an optional period and at least one digit,
// then an exponent if one follows whole: what fast_float reads after the
// sign it takes ('-'), except for the words inf and nan, which no digit
// starts. Past a double's range the value is infinity or zero, as strtod's;
// newer fast_float reports those as out of range.
//
// The short forms exports write are read here: at most 19 digits make an
// exact integer; when it is at most 2^53 and the power of ten at most 22,
// both are exact doubles and one multiplication or division rounds the
// true value correctly, so the result is the one correctly rounded double,
// the library's. The library reads anything else (more digits, a larger
// power, an incomplete exponent).
std::size_t ReadNumberPrefix(std::string_view Text, double& Value)
{
    const char* const begin = Text.data();
    const char* const end = begin + Text.size();
    const char* const first = begin + (begin < end && *begin == '+' ? 1 : 0);
    const bool negative = first < end && *first == '-';
    const char* p = first + (negative ? 1 : 0);
    std::uint64_t digits = 0;
    const char* const whole = p;
    ReadDigits(p, end, digits);
    int count = static_cast<int>(p - whole);
    int exponent = 0;
    if (p < end && *p == '.') {
        const char* const fraction = ++p;
        ReadDigits(p, end, digits);
        exponent = -static_cast<int>(p - fraction);
        count -= exponent;
    }
    // No digit: no number (the library agrees).
    if (count == 0)
        return 0;
    bool exact = count <= 19;
    if (exact && p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool below = p < end && *p == '-';
        p += p < end && (*p == '-' || *p == '+') ? 1 : 0;
        int power = 0;
        exact = p < end && IsDigit(*p);
        for (; exact && p < end && IsDigit(*p); ++p) {
            power = power * 10 + (*p - '0');
            exact = power <= 1000;
        }
        exponent += below ? -power : power;
    }
    if (exact && digits <= (std::uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
        const auto value = static_cast<double>(digits);
        Value = exponent >= 0 ? value * ExactPowersOfTen[exponent] : value / ExactPowersOfTen[-exponent];
        Value = negative ? -Value : Value;
        return static_cast<std::size_t>(p - begin);
    }
    const auto result = fast_float::from_chars(first, end, Value);
    if (result.ec == std::errc::invalid_argument)
        return 0;
    return static_cast<std::size_t>(result.ptr - begin);
}

std::size_t Find(std::int64_t StartPos, std::string_view Text, std::string_view Pattern)
{
    if (StartPos < 1)
        throw Error(ErrorKind::InvalidArgument, "find from position " + std::to_string(StartPos));
    if (static_cast<std::uint64_t>(StartPos) > Text.size())
        return 0;
    const std::size_t at = Text.find(Pattern, static_cast<std::size_t>(StartPos - 1));
    return at == std::string_view::npos ? 0 : at + 1;
}

std::string_view Substring(std::string_view Text, std::int64_t Start, std::int64_t Length)
{
    if (Start < 1 || Length < 0) {
        throw Error(ErrorKind::InvalidArgument, "substring from position " + std::to_string(Start) +
                                                    " of length " + std::to_string(Length));
    }
    if (static_cast<std::uint64_t>(Start) > Text.size())
        return {};
    return Text.substr(static_cast<std::size_t>(Start - 1), static_cast<std::size_t>(Length));
}

std::string_view Trim(std::string_view Text)
{
    const std::size_t first = Text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return Text.substr(first, Text.find_last_not_of(' ') - first + 1);
}

double ValueOf(std::string_view Text)
{
    // Usually there is nothing to remove, and the text is read where it is.
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    double value = 0.0;
    if (std::none_of(Text.begin(), Text.end(), isBlank))
        return ReadNumberPrefix(Text, value) == 0 ? 0.0 : value;
    std::string packed;
    packed.reserve(Text.size());
    std::copy_if(Text.begin(), Text.end(), std::back_inserter(packed), [&](char c) { return !isBlank(c); });
    return ReadNumberPrefix(packed, value) == 0 ? 0.0 : value;
}

bool IsNumber(std::string_view Text)
{
    double value = 0.0;
    return !Text.empty() && ReadNumberPrefix(Text, value) == Text.size();
}

double NumberValue(std::string_view Text)
{
    double value = 0.0;
    return ReadNumberPrefix(Text, value) == 0 ? 0.0 : value;
}

bool ReadNumber(std::string_view Text, double& Value)
{
    double value = 0.0;
    if (Text.empty() || ReadNumberPrefix(Text, value) != Text.size())
        return false;
    Value = value;
    return true;
}

Integer16 ToInteger16(double Value, std::string_view What)
{
    double rounded = std::round(Value);
    if (std::fabs(Value - std::trunc(Value)) == 0.5)
        rounded = 2.0 * std::round(Value / 2.0);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) {
        char text[number_text::TextMax];
        const std::string_view shortest(text, static_cast<std::size_t>(number_text::WriteShortest(text, Value) - text));
        throw Error(ErrorKind::Overflow, std::string(What) + " " + std::string(shortest) +
                                             " is outside the range -32768 to 32767");
    }
    return static_cast<Integer16>(rounded);
}

std::string IntegerText(long long Value)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, Value);
    return std::string(text, result.ptr);
}

std::string_view TokenAt(std::string_view Text, std::size_t From)
{
    std::size_t first = From;
    while (first < Text.size() && Text[first] == ' ')
        ++first;
    if (first >= Text.size())
        return {};
    const std::size_t last = Text.find_first_of(" ;", first);
    return Text.substr(first, last == std::string_view::npos ? std::string_view::npos : last - first);
}

}  // namespace quorvel
