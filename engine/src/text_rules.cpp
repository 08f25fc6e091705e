// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/text_rules.h"

#include "quorvel/error.h"
#include "quorvel/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>

namespace quorvel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the number at the front of Text (IsNumber's grammar), 0 if none.
std::size_t NumberPrefix(std::string_view Text)
{
    std::size_t i = 0;
    const std::size_t n = Text.size();
    if (i < n && (Text[i] == '+' || Text[i] == '-'))
        ++i;
    const std::size_t intStart = i;
    while (i < n && IsDigit(Text[i]))
        ++i;
    std::size_t digits = i - intStart;
    if (i < n && Text[i] == '.') {
        const std::size_t fracStart = ++i;
        while (i < n && IsDigit(Text[i]))
            ++i;
        digits += i - fracStart;
    }
    if (digits == 0)
        return 0;
    if (i < n && (Text[i] == 'e' || Text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (Text[j] == '+' || Text[j] == '-'))
            ++j;
        const std::size_t expStart = j;
        while (j < n && IsDigit(Text[j]))
            ++j;
        if (j > expStart)
            i = j;
    }
    return i;
}

// The value of a number of the usual shape, exactly and without ReadDouble:
// at most 15 digits (below 2^53) and a power of ten up to 1e22 are both
// exact doubles, and one product or quotient is rounded once, just as
// ReadDouble rounds. Nearly every number an export holds has this shape.
// False for any other text, number or not.
bool ExactShortNumber(std::string_view Text, double& Value)
{
    static constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = Text.data();
    const char* const end = p + Text.size();
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    // Past 19 digits the mantissa wraps; such texts are refused below.
    std::uint64_t mantissa = 0;
    const auto readDigits = [&p, end, &mantissa] {
        const char* const first = p;
        for (unsigned digit = 0; p < end && (digit = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10; ++p)
            mantissa = mantissa * 10 + digit;
        return static_cast<int>(p - first);
    };
    int digits = readDigits();
    int power = 0;
    if (p < end && *p == '.') {
        ++p;
        power = -readDigits();
        digits -= power;
    }
    if (digits == 0 || digits > 15)
        return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        const bool negativeExponent = q < end && *q == '-';
        if (q < end && (*q == '-' || *q == '+'))
            ++q;
        int exponent = 0;
        const char* const exponentStart = q;
        for (; q < end && IsDigit(*q) && q - exponentStart < 4; ++q)
            exponent = exponent * 10 + (*q - '0');
        if (q == exponentStart || q - exponentStart == 4)
            return false;
        power += negativeExponent ? -exponent : exponent;
        p = q;
    }
    if (p != end || power < -22 || power > 22)
        return false;
    const auto m = static_cast<double>(mantissa);
    const double magnitude = power >= 0 ? m * PowersOfTen[power] : m / PowersOfTen[-power];
    Value = negative ? -magnitude : magnitude;
    return true;
}

// For an unsigned number of IsNumber's grammar that ReadDouble found out
// of a double's range: whether it is too large rather than too small, told
// by the decimal exponent of its first non-zero digit.
bool TooLarge(std::string_view Text)
{
    const std::size_t exponentAt = Text.find_first_of("eE");
    const std::string_view digits = Text.substr(0, exponentAt);
    const std::size_t point = std::min(digits.find('.'), digits.size());
    const std::size_t first = digits.find_first_of("123456789");
    if (first == std::string_view::npos)
        return false;
    // Each of these is below 2^25 (a line holds at most 16 MB) and the
    // exponent is capped well below 2^62, so nothing here overflows.
    long long leading = first < point ? static_cast<long long>(point - first - 1)
                                      : -static_cast<long long>(first - point);
    if (exponentAt != std::string_view::npos) {
        std::string_view exponent = Text.substr(exponentAt + 1);
        const bool negative = !exponent.empty() && exponent.front() == '-';
        if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+'))
            exponent.remove_prefix(1);
        long long value = 0;
        for (const char c : exponent)
            value = std::min(value * 10 + (c - '0'), 1LL << 40);
        leading += negative ? -value : value;
    }
    return leading > 0;
}

// NumberValue for the texts ExactShortNumber leaves.
double FromChars(std::string_view Text)
{
    const bool negative = !Text.empty() && Text.front() == '-';
    if (!Text.empty() && (Text.front() == '+' || negative))
        Text.remove_prefix(1);
    double value = 0.0;
    const std::errc error = number_text::ReadDouble(Text, value);
    if (error == std::errc::result_out_of_range) {
        // ReadDouble leaves the value alone here; the IEEE answer (strtod's)
        // is infinity for a number too large and zero for one too small:
        // ReadDouble itself reads whatever rounds to a denormal.
        value = TooLarge(Text) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace

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
    if (std::none_of(Text.begin(), Text.end(), isBlank)) {
        const std::size_t length = NumberPrefix(Text);
        return length == 0 ? 0.0 : NumberValue(Text.substr(0, length));
    }
    std::string packed;
    packed.reserve(Text.size());
    std::copy_if(Text.begin(), Text.end(), std::back_inserter(packed), [&](char c) { return !isBlank(c); });
    const std::size_t length = NumberPrefix(packed);
    return length == 0 ? 0.0 : NumberValue(std::string_view(packed).substr(0, length));
}

bool IsNumber(std::string_view Text)
{
    return !Text.empty() && NumberPrefix(Text) == Text.size();
}

double NumberValue(std::string_view Text)
{
    double value = 0.0;
    return ExactShortNumber(Text, value) ? value : FromChars(Text);
}

bool ReadNumber(std::string_view Text, double& Value)
{
    if (ExactShortNumber(Text, Value))
        return true;
    if (!IsNumber(Text))
        return false;
    Value = FromChars(Text);
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
