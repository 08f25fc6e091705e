// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The engine's fast paths against plain references: the print form against
// fmt's 15 significant digits, number reading against fast_float, the
// buffered line reader against a simple splitter, over many values, forms
// and line shapes, buffer edges included.
#include "quorvel/error.h"
#include "quorvel/line_reader.h"
#include "quorvel/number_text.h"
#include "quorvel/scene_writer.h"
#include "quorvel/text_rules.h"
#include "temp_folder.h"

#include <fast_float/fast_float.h>
#include <gtest/gtest.h>

#include <cstring>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

std::string ReferencePrintForm(double Value)
{
    char digits[32];
    char* const end = number_text::WriteFifteenDigits(digits, std::fabs(Value));
    return std::string(Value < 0 ? "-" : " ").append(digits, end).append(" ");
}

// A decimal number of Digits significant digits at Exponent, read as
// the export's numbers are.
double Decimal(std::mt19937_64& Rng, int Digits, int Exponent)
{
    std::string text = std::to_string(1 + Rng() % 9);
    for (int i = 1; i < Digits; ++i)
        text += static_cast<char>('0' + Rng() % 10);
    text.append("e").append(std::to_string(Exponent - Digits + 1));
    return NumberValue(text);
}

TEST(PrintForm, AgreesWithFifteenDigits)
{
    std::mt19937_64 rng(20261207);
    std::vector<double> values = {
        1e-5, 1e-4, 0.0001, 9.99999999999999e-5, 999999999999999.0, 999999999999999.4,
        999999999999999.5, 999999999999999.6, 1e15, 1e14, 1e22, 1e23, 1e36, 1e37, 5e-324,
        2.2250738585072014e-308, 1.7976931348623157e308, 0.1 + 0.2, 1.0000000000000005,
        0.30000000000000004, 180, 90, 270.5, -0.0, 1.5e-8, 1e-8, 1e-9, 123456789012345.5,
    };
    for (int power = -30; power <= 40; ++power) {
        const double exact = std::pow(10.0, power);
        values.insert(values.end(), {exact, std::nextafter(exact, 0.0), std::nextafter(exact, 1e300)});
    }
    // Numbers as exports hold them, and what a conversion makes of them.
    for (int i = 0; i < 200000; ++i) {
        const double x = Decimal(rng, 1 + static_cast<int>(rng() % 17), static_cast<int>(rng() % 50) - 20);
        values.insert(values.end(), {x, -x, x + 90, 180 - x, x * 0.5, x * -2.5e-1, x * 3, x * 1e-3});
    }
    // Any double at all, most of them far from a short decimal.
    for (int i = 0; i < 200000; ++i) {
        double any = 0;
        const std::uint64_t bits = rng();
        std::memcpy(&any, &bits, sizeof any);
        if (std::isfinite(any))
            values.push_back(any);
    }
    int mismatches = 0;
    for (const double value : values) {
        std::string out;
        AppendPrintForm(out, value);
        const std::string expected = ReferencePrintForm(value);
        if (out != expected && ++mismatches <= 10)
            ADD_FAILURE() << "value " << ReferencePrintForm(value) << " printed as '" << out << "'";
    }
    EXPECT_EQ(mismatches, 0);
}

// What fast_float alone makes of the number at the front of Text, as the
// engine lets it: a '+' skipped, then nothing but a digit or a period after
// an optional '-'.
std::size_t LibraryPrefix(const std::string& Text, double& Value)
{
    const char* const end = Text.data() + Text.size();
    const char* const first = Text.data() + (Text.rfind('+', 0) == 0 ? 1 : 0);
    const char* const start = first + (first < end && *first == '-' ? 1 : 0);
    if (start == end || !((*start >= '0' && *start <= '9') || *start == '.'))
        return 0;
    const auto result = fast_float::from_chars(first, end, Value);
    return result.ec == std::errc::invalid_argument ? 0 : static_cast<std::size_t>(result.ptr - Text.data());
}

// Number reading takes short forms itself: the same length and bits as the
// library over digit counts around 15 to 19 and 2^53, powers of ten around
// 22, leading zeros, -0, exact halfway cases, every exponent spelling, and
// text that goes on after the number.
TEST(NumberReading, AgreesWithTheLibraryOnEveryForm)
{
    std::vector<std::string> texts = {
        "9007199254740992", "9007199254740993", "-9007199254740993.0", "900719925474099.3e1", "-0", "-0.0",
        "0e400", "-0e-400", "1e22", "1e23", "1e-22", "1e-23", "9007199254740992e22", "9007199254740992e-22",
        "1.7976931348623157e308", "4.9406564584124654e-324", "0.1", "1234567890123456789",
        "12345678901234567890", "0000000000000000001", "00000000000000000001", "1.", ".5", "-.5", ".", "-",
        "-.", "1e", "1e+", "1E-", "1ex", "1.5e5x", "+1", "+-1", "+.5e1", "0x1p3", "1e0001", "1e999999999999",
        "7e-00000000000000000000000000000000000000000000022", "1,5", "--1", "1..2", "1e1.5", "1d5",
    };
    std::mt19937_64 rng(30);
    const auto digits = [&rng](std::string& Text, std::uint64_t Count) {
        for (std::uint64_t i = 0; i < Count; ++i)
            Text += static_cast<char>('0' + rng() % 10);
    };
    const char* const tails[] = {"", "", "", " ", " 1", ";", "x", "e", "E+", "e-x", ".", "-1", "5", "e5"};
    for (int i = 0; i < 300000; ++i) {
        std::string text = rng() % 2 ? "-" : "";
        text.append(rng() % 8 == 0 ? rng() % 25 : 0, '0');
        digits(text, rng() % 21);
        if (rng() % 3 != 0) {
            text += '.';
            digits(text, rng() % 21);
        }
        if (rng() % 2 != 0) {
            text += "eE"[rng() % 2];
            text += std::string_view("+-  ").substr(rng() % 4, 1);
            text.append(rng() % 4 == 0 ? rng() % 4 : 0, '0');
            text += std::to_string(rng() % 8 == 0 ? rng() % 400 : rng() % 60);
        }
        texts.push_back(text + tails[rng() % std::size(tails)]);
    }
    // An odd M times 10^E lies exactly halfway between two doubles when it
    // falls between 2^(53+E) and 2^(54+E): the tie goes to the even one.
    for (int e = 1; e <= 9; ++e) {
        const double low = std::ldexp(1.0, 53 + e) / std::pow(10.0, e);
        for (int i = 0; i < 2000; ++i) {
            const auto m = static_cast<std::uint64_t>(low + static_cast<double>(rng() % (1u << 30)) * (low / 2e9)) | 1u;
            texts.push_back(std::to_string(m) + "e" + std::to_string(e));
        }
    }
    int mismatches = 0;
    for (const std::string& text : texts) {
        double value = 0;
        double expected = 0;
        const std::size_t length = ReadNumberPrefix(text, value);
        const std::size_t expectedLength = LibraryPrefix(text, expected);
        const bool same = length == expectedLength &&
                          (length == 0 || number_text::BitsOf(value) == number_text::BitsOf(expected));
        if (!same && ++mismatches <= 10) {
            ADD_FAILURE() << "'" << text << "' read as " << length << " characters, " << value << "; the library "
                          << expectedLength << ", " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

std::vector<std::string> ReferenceLines(const std::string& Bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
        if (Bytes[i] == '\r' || Bytes[i] == '\n') {
            lines.push_back(line);
            line.clear();
            if (Bytes[i] == '\r' && i + 1 < Bytes.size() && Bytes[i + 1] == '\n')
                ++i;
        } else {
            line += Bytes[i];
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Several buffers' worth of lines with every line end, some lines longer
// than the buffer, so that line ends and CR LF pairs fall on its edges.
TEST(LineReader, ViewsMatchASimpleSplitterWhateverTheLineEnds)
{
    const std::vector<std::string> endings[] = {{"\r\n"}, {"\n"}, {"\r"}, {"\r\n", "\n", "\r"}};
    std::mt19937_64 rng(5);
    for (const auto& ends : endings) {
        std::string bytes;
        while (bytes.size() < (1u << 20)) {
            const std::size_t length = rng() % 50 == 0 ? rng() % 400000 : rng() % 120;
            bytes.append(length, static_cast<char>('a' + rng() % 26));
            bytes += ends[rng() % ends.size()];
        }
        bytes += "last line without an end";
        TempFolder folder;
        LineReader reader(folder.Write("in.ma", bytes));
        std::vector<std::string> lines;
        for (std::string_view line; reader.NextLine(line);)
            lines.emplace_back(line);
        const std::vector<std::string> expected = ReferenceLines(bytes);
        EXPECT_EQ(reader.LineNumber(), static_cast<long>(expected.size()));
        EXPECT_TRUE(lines == expected) << "line ends " << ends.size() << " kinds, first "
                                       << static_cast<int>(ends[0][0]);
    }
}

TEST(LineReader, NulFarIntoTheFileNamesItsLine)
{
    std::string bytes;
    for (int i = 0; i < 30000; ++i)
        bytes += "createNode transform -n \"Tracker_" + std::to_string(i) + "\";\n";
    bytes += std::string("bad\0line\n", 9) + "after\n";
    TempFolder folder;
    LineReader reader(folder.Write("with-nul.ma", bytes));
    std::string_view line;
    for (int i = 0; i < 30000; ++i)
        ASSERT_TRUE(reader.NextLine(line));
    try {
        reader.NextLine(line);
        FAIL() << "a NUL byte was accepted";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("with-nul.ma, line 30001: the line holds a NUL byte"),
                  std::string::npos)
            << error.what();
    }
}

}  // namespace
