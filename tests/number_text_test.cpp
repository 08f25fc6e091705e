// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The engine's own number reading and writing against the standard
// library's <charconv> (where it has the floating-point functions) and the
// C library's strtod and printf, both correctly rounded, over millions of
// values: random bits, decimal texts of every length and exponent, the
// exact midpoints between neighbouring doubles and texts just off them,
// powers of two (whose lower neighbour is nearer), and the ends of the range.
#include "quorvel/number_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

double FromBits(std::uint64_t Bits)
{
    double value = 0;
    std::memcpy(&value, &Bits, sizeof value);
    return value;
}

// Positive finite doubles from random bits.
double AnyPositive(std::mt19937_64& Rng)
{
    for (;;) {
        const double value = std::fabs(FromBits(Rng()));
        if (std::isfinite(value) && value != 0)
            return value;
    }
}

std::string Printf(const char* Format, int Precision, double Value)
{
    char text[1200];
    std::snprintf(text, sizeof text, Format, Precision, Value);
    return text;
}

// The exact decimal value halfway between Value and its upper neighbour
// (for the largest double, the first value that reads as infinity): a long
// double holds it exactly, subnormal or not.
std::string Midpoint(double Value)
{
    const double up = std::nextafter(Value, std::numeric_limits<double>::infinity());
    const long double upper = std::isinf(up) ? std::ldexp(1.0L, 1024) : static_cast<long double>(up);
    char text[1200];
    std::snprintf(text, sizeof text, "%.800Le", (static_cast<long double>(Value) + upper) / 2);
    return text;
}

// Text with its last significant digit one more or one less.
std::string Nudged(std::string Text, int Step)
{
    const std::size_t exponent = std::min(Text.find('e'), Text.size());
    std::size_t i = exponent;
    while (i-- > 0) {
        if (Text[i] == '.')
            continue;
        if (Step > 0 && Text[i] != '9') {
            ++Text[i];
            return Text;
        }
        if (Step < 0 && Text[i] != '0') {
            --Text[i];
            return Text;
        }
        Text[i] = Step > 0 ? '0' : '9';
    }
    return Text;
}

std::string RandomDecimal(std::mt19937_64& Rng)
{
    const int digits = 1 + static_cast<int>(Rng() % 30);
    const int point = static_cast<int>(Rng() % (digits + 1));
    std::string text;
    for (int i = 0; i < digits; ++i) {
        if (i == point)
            text += '.';
        text += static_cast<char>('0' + Rng() % 10);
    }
    return text + "e" + std::to_string(static_cast<int>(Rng() % 680) - 350);
}

// Texts of every kind, each category some hundred thousand strong.
std::vector<std::string> ReadCases()
{
    std::mt19937_64 rng(20261207);
    std::vector<std::string> texts = {"0", "0.0", "0e999999", ".5", "1.", "1e400", "1e-400",
                                      "1.7976931348623157e308", "1.7976931348623158e308",
                                      "1.797693134862315807937289714053e308", "2.4703282292062328e-324",
                                      "2.4703282292062327e-324", "4.9406564584124654e-324",
                                      "2.2250738585072011e-308", "2.2250738585072012e-308",
                                      "9007199254740993", "9007199254740993.0000000000000000001",
                                      std::string(900, '1') + "e-700", "0." + std::string(500, '0') + "1e480"};
    for (int i = 0; i < 230000; ++i) {
        const double value = AnyPositive(rng);
        texts.push_back(Printf("%.*g", 17, value));
        texts.push_back(Printf("%.*g", 1 + static_cast<int>(rng() % 16), value));
        texts.push_back(RandomDecimal(rng));
    }
    // Exact midpoints, which round to the even neighbour, and texts just
    // off them either way, also cut short after 17 to 40 digits.
    const auto nearTies = [&texts, &rng](double Value) {
        const std::string midpoint = Midpoint(Value);
        const std::string cut = midpoint.substr(0, 18 + rng() % 24) + midpoint.substr(midpoint.find('e'));
        texts.insert(texts.end(), {midpoint, Nudged(midpoint, 1), Nudged(midpoint, -1), cut, Nudged(cut, 1)});
    };
    for (int i = 0; i < 70000; ++i)
        nearTies(AnyPositive(rng));
    for (int power = -1074; power <= 1023; ++power) {
        const double value = std::ldexp(1.0, power);
        nearTies(value);
        nearTies(std::nextafter(value, 0.0));
        texts.push_back(Printf("%.*g", 17, value));
    }
    nearTies(0.0);
    nearTies(std::nextafter(std::numeric_limits<double>::max(), 0.0));
    texts.push_back(Nudged(Midpoint(std::numeric_limits<double>::max()).substr(0, 30) + "e+308", -1));
    return texts;
}

// Positive finite doubles to write: random bits, powers of two and their
// neighbours, and values next to a tie at 15 significant digits.
std::vector<double> WriteCases()
{
    std::mt19937_64 rng(7);
    std::vector<double> values = {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::denorm_min(), 1e15, 1e16, 1e21, 1e22, 1e23,
                                  0.3, 123456789012345.5, 5e-5, 1e-4, 9.5, 0.5, 0.125};
    for (int i = 0; i < 300000; ++i) {
        values.push_back(AnyPositive(rng));
        std::string text = std::to_string(100000000000000 + rng() % 900000000000000) + "5e" +
                           std::to_string(static_cast<int>(rng() % 60) - 40);
        values.push_back(std::strtod(text.c_str(), nullptr));
    }
    for (int power = -1074; power <= 1023; ++power) {
        const double value = std::ldexp(1.0, power);
        values.insert(values.end(), {value, std::nextafter(value, 0.0), std::nextafter(value, 1e308)});
    }
    return values;
}

std::string Written(char* (*Write)(char*, double), double Value)
{
    char text[number_text::TextMax];
    return std::string(text, Write(text, Value));
}

std::string General(char* (*Write)(char*, double, int), double Value, int Precision)
{
    char text[number_text::TextMax];
    return std::string(text, Write(text, Value, Precision));
}

// The C library is a second reference only where it rounds correctly:
// Windows' msvcrt (and Wine's) reads subnormal values as the smallest
// normal one. There the standard functions are in use and stand alone.
#ifdef _WIN32
constexpr bool CLibraryIsReference = false;
#else
constexpr bool CLibraryIsReference = true;
#endif

}  // namespace

TEST(NumberText, OwnReadingAgreesWithStandardAndCLibrary)
{
    ASSERT_TRUE(CLibraryIsReference || number_text::StandardFunctionsInUse()) << "no reference to compare with";
    const std::vector<std::string> texts = ReadCases();
    ASSERT_GT(texts.size(), 1000000u);
    int mismatches = 0;
    for (const std::string& text : texts) {
        double own = -1;
        const std::errc ownError = number_text::own::ReadDouble(text, own);
        // Where the engine's own are the ones in use, they stand in.
        double standard = own;
        const std::errc standardError = number_text::StandardFunctionsInUse()
                                            ? number_text::ReadDouble(text, standard)
                                            : ownError;
        errno = 0;
        const double c = std::strtod(text.c_str(), nullptr);
        // strtod gives zero or infinity with ERANGE where the others refuse;
        // it also sets ERANGE for subnormal results, which they accept.
        const bool cOutOfRange = errno == ERANGE && (c == 0 || std::isinf(c));
        const bool cAgrees = !CLibraryIsReference ||
                             (cOutOfRange == (ownError != std::errc()) && (ownError != std::errc() || own == c));
        const bool agrees = ownError == standardError && cAgrees && (ownError != std::errc() || own == standard);
        if (!agrees && ++mismatches <= 10)
            ADD_FAILURE() << text.substr(0, 80) << ": own " << own << ", standard " << standard << ", strtod " << c;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(NumberText, OwnWritingAgreesWithStandardAndCLibrary)
{
    ASSERT_TRUE(CLibraryIsReference || number_text::StandardFunctionsInUse()) << "no reference to compare with";
    std::vector<double> values = WriteCases();
    const std::size_t positives = values.size();
    for (std::size_t i = 0; i < positives; i += 7)
        values.push_back(-values[i]);
    values.insert(values.end(), {0.0, -0.0, std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(), std::nan("")});
    int mismatches = 0;
    const auto check = [&mismatches](const std::string& Own, const std::string& Other, double Value, const char* What) {
        if (Own != Other && ++mismatches <= 10)
            ADD_FAILURE() << What << " of " << Printf("%.*g", 17, Value) << ": own '" << Own << "', other '" << Other << "'";
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double value = values[i];
        for (const int precision : {15, 17}) {
            const std::string own = General(number_text::own::WriteGeneral, value, precision);
            if (number_text::StandardFunctionsInUse())
                check(own, General(number_text::WriteGeneral, value, precision), value, "general");
            if (CLibraryIsReference)
                check(own, Printf("%.*g", precision, value), value, "printf %g");
        }
        // The shortest text is only ever shown in messages, and slow to find
        // the engine's way: every sixteenth value, the special ones included.
        if (i % 16 != 0 && i < positives)
            continue;
        const std::string shortest = Written(number_text::own::WriteShortest, value);
        if (number_text::StandardFunctionsInUse())
            check(shortest, Written(number_text::WriteShortest, value), value, "shortest");
        // Where the standard functions are the engine's own, reading back
        // through strtod at least shows the digits are enough.
        if (CLibraryIsReference && std::isfinite(value) && std::strtod(shortest.c_str(), nullptr) != value)
            check(shortest, "reads back", value, "shortest");
    }
    EXPECT_EQ(mismatches, 0);
}
