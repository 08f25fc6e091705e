// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/number_text.h"

// No number here is written in the user's locale: without this, fmt brings
// in std::locale, which more than doubles the WebAssembly module.
#define FMT_STATIC_THOUSANDS_SEPARATOR ','
#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace quorvel::number_text {

namespace {

char* Put(char* Out, std::string_view Text) { return std::copy(Text.begin(), Text.end(), Out); }

// Shortest digits (no leading or trailing zeros) and the decimal exponent
// of the first of them, taken from fmt's shortest text in whichever form it
// chose; positive finite values only.
void ShortestDigits(double Value, char* Digits, int& Count, int& Exponent)
{
    char buffer[TextMax];
    const char* const text = buffer;
    const char* const end = fmt::format_to(buffer, FMT_COMPILE("{}"), Value);
    const char* const e = std::find(text, end, 'e');
    const char* const point = std::find(text, e, '.');
    // The power of ten of the first character, then of the first digit
    // that is not a zero.
    int written = 0;  // fmt's exponent: a sign, then digits
    if (e < end)
        std::from_chars(e + 2, end, written);
    Exponent = static_cast<int>(point - text) - 1 + (e < end && e[1] == '-' ? -written : written);
    Count = 0;
    for (const char* p = text; p < e; ++p) {
        if (*p == '.')
            continue;
        if (Count == 0 && *p == '0')
            --Exponent;
        else
            Digits[Count++] = *p;
    }
    while (Digits[Count - 1] == '0')
        --Count;
}

char* PutScientific(char* Out, const char* Digits, int Count, int Exponent)
{
    *Out++ = Digits[0];
    if (Count > 1) {
        *Out++ = '.';
        Out = Put(Out, std::string_view(Digits + 1, static_cast<std::size_t>(Count - 1)));
    }
    *Out++ = 'e';
    *Out++ = Exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(Exponent);
    if (magnitude < 10)
        *Out++ = '0';
    return fmt::format_to(Out, FMT_COMPILE("{}"), magnitude);
}

}  // namespace

std::uint64_t BitsOf(double Value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &Value, sizeof bits);
    return bits;
}

char* WriteShortest(char* Out, double Value)
{
    if (Value == 0 || !std::isfinite(Value))
        return fmt::format_to(Out, FMT_COMPILE("{}"), Value);
    if (Value < 0)
        *Out++ = '-';
    const double magnitude = std::fabs(Value);
    char digits[TextMax];
    int n = 0;
    int exponent = 0;
    ShortestDigits(magnitude, digits, n, exponent);
    const int scientific = n + (n > 1 ? 1 : 0) + 2 + (std::abs(exponent) >= 100 ? 3 : 2);
    const int fixed = exponent >= 0 ? std::max(n, exponent + 1) + (n > exponent + 1 ? 1 : 0)
                                    : 2 + (-exponent - 1) + n;
    if (fixed > scientific)
        return PutScientific(Out, digits, n, exponent);
    // A whole number beyond the digits that read back is written exactly.
    if (exponent + 1 >= n)
        return fmt::format_to(Out, FMT_COMPILE("{:.0f}"), magnitude);
    const std::string_view all(digits, static_cast<std::size_t>(n));
    if (exponent < 0) {
        Out = Put(Out, "0.");
        Out = std::fill_n(Out, -exponent - 1, '0');
        return Put(Out, all);
    }
    const auto whole = static_cast<std::size_t>(exponent + 1);
    Out = Put(Out, all.substr(0, whole));
    *Out++ = '.';
    return Put(Out, all.substr(whole));
}

char* WriteFifteenDigits(char* Out, double Value) { return fmt::format_to(Out, FMT_COMPILE("{:.15g}"), Value); }

}  // namespace quorvel::number_text
