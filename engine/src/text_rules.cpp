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

// Length of the number at the front of Text, 0 if none, and its value: an
// optional sign, digits with an optional period and at least one digit,
// then an exponent if one follows whole. fast_float reads just that after
// the sign it takes ('-'), except for the words inf and nan, which no
// digit starts. Past a double's range the value is infinity or zero, as
// strtod's; newer fast_float reports those as out of range.
std::size_t ReadPrefix(std::string_view Text, double& Value)
{
    const char* const end = Text.data() + Text.size();
    const char* const first = Text.data() + (!Text.empty() && Text.front() == '+' ? 1 : 0);
    const char* const start = first + (first < end && *first == '-' ? 1 : 0);
    if (start == end || (!IsDigit(*start) && *start != '.'))
        return 0;
    const auto result = fast_float::from_chars(first, end, Value);
    if (result.ec == std::errc::invalid_argument)
        return 0;
    return static_cast<std::size_t>(result.ptr - Text.data());
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
    double value = 0.0;
    if (std::none_of(Text.begin(), Text.end(), isBlank))
        return ReadPrefix(Text, value) == 0 ? 0.0 : value;
    std::string packed;
    packed.reserve(Text.size());
    std::copy_if(Text.begin(), Text.end(), std::back_inserter(packed), [&](char c) { return !isBlank(c); });
    return ReadPrefix(packed, value) == 0 ? 0.0 : value;
}

bool IsNumber(std::string_view Text)
{
    double value = 0.0;
    return !Text.empty() && ReadPrefix(Text, value) == Text.size();
}

double NumberValue(std::string_view Text)
{
    double value = 0.0;
    return ReadPrefix(Text, value) == 0 ? 0.0 : value;
}

bool ReadNumber(std::string_view Text, double& Value)
{
    double value = 0.0;
    if (Text.empty() || ReadPrefix(Text, value) != Text.size())
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
