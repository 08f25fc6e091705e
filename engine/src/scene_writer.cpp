// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/scene_writer.h"

#include "quorvel/error.h"
#include "quorvel/number_text.h"

#include "platform.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quorvel {

namespace {
constexpr std::size_t DrainAt = 1u << 20;
}

SceneWriter::SceneWriter(std::FILE* Out, std::string Name, bool StartWriteback, std::string What)
    : out_(Out), name_(std::move(Name)), what_(std::move(What)), startWriteback_(StartWriteback)
{
    buffer_.reserve(DrainAt + 4096);
}

void SceneWriter::EndLine()
{
    buffer_.append("\r\n");
    if (buffer_.size() >= DrainAt)
        Drain();
}

void SceneWriter::Line(std::string_view Text)
{
    buffer_.append(Text);
    EndLine();
}

void SceneWriter::Lines(std::string_view Text)
{
    // Large pieces go to the stream as they are, not copied first.
    if (Text.size() >= DrainAt / 8) {
        Drain();
        Write(Text);
        return;
    }
    buffer_.append(Text);
    if (buffer_.size() >= DrainAt)
        Drain();
}

void SceneWriter::Drain()
{
    Write(buffer_);
    buffer_.clear();
}

void SceneWriter::Write(std::string_view Text)
{
    if (Text.empty() || !out_)
        return;
    if (std::fwrite(Text.data(), 1, Text.size(), out_) != Text.size())
        ThrowFileError(what_, name_, errno);
    if (startWriteback_) {
        if (std::fflush(out_) != 0)
            ThrowFileError(what_, name_, errno);
        // Only a hint: when it fails, the final fsync still does all the work.
        platform::StartWriteBack(out_, drained_, Text.size());
    }
    drained_ += static_cast<long long>(Text.size());
}

void SceneWriter::Flush()
{
    Drain();
    if (out_ && (std::fflush(out_) != 0 || std::ferror(out_)))
        ThrowFileError(what_, name_, errno);
}

namespace {

constexpr double ExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Magnitude rounded to 15 significant digits, as Digits in [1e14, 1e15) and
// the decimal exponent of the first digit, when one multiplication by an
// exact power of ten certainly gets them right: below 2^50 the product is
// within 1/16 of the exact one, so its rounding is only in doubt near a
// half. False then, and for subnormal or far-off magnitudes: the caller
// asks WriteFifteenDigits, which costs ten times this, and the tracker loop
// prints three numbers per tracker.
bool FifteenDigits(double Magnitude, std::uint64_t& Digits, int& Exponent)
{
    constexpr double Margin = 0.125;
    constexpr double Top = 999999999999999.5;  // rounds up to 1e15
    std::uint64_t bits = 0;
    std::memcpy(&bits, &Magnitude, sizeof bits);  // as std::bit_cast, which not every library has
    const int binary = static_cast<int>(bits >> 52) - 1023;
    // Keeps the scale within the table; also rules out zero, subnormals,
    // infinity and NaN.
    if (binary < -26 || binary > 119)
        return false;
    // floor(binary * log10(2)); floor(log10(Magnitude)) is this or one more.
    int exponent = (binary * 78913) >> 18;
    for (int attempt = 0; attempt < 2; ++attempt, ++exponent) {
        const int scale = 14 - exponent;
        const double scaled =
            scale >= 0 ? Magnitude * ExactPowersOfTen[scale] : Magnitude / ExactPowersOfTen[-scale];
        if (scaled > Top - Margin) {
            if (scaled < Top + Margin)
                return false;
            continue;
        }
        const auto whole = static_cast<std::uint64_t>(scaled);
        const double fraction = scaled - static_cast<double>(whole);
        if (fraction > 0.5 - Margin && fraction < 0.5 + Margin)
            return false;
        Digits = whole + (fraction > 0.5 ? 1 : 0);
        Exponent = exponent;
        return Digits >= 100000000000000u && Digits < 1000000000000000u;
    }
    return false;
}

// The eight decimal digits of Value (below 10^8), the first in the lowest
// byte, as values 0 to 9: split into halves, pairs and digits in parallel
// lanes of one 64-bit integer, each division a multiplication and a shift
// (exact for the lanes' ranges: below 10^4 for /100, below 100 for /10).
inline std::uint64_t EightDigits(std::uint32_t Value)
{
    const std::uint64_t v = Value;
    std::uint64_t x = (v / 10000) | ((v % 10000) << 32);
    std::uint64_t q = ((x * 10486) >> 20) & 0x0000007F0000007Fu;
    x = q | ((x - q * 100) << 16);
    q = ((x * 103) >> 10) & 0x000F000F000F000Fu;
    return q | ((x - q * 10) << 8);
}

void PutDigits(char* Out, std::uint64_t Digits)
{
    const std::uint64_t text = Digits | 0x3030303030303030u;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(Out, &text, 8);
    } else {
        for (int i = 0; i < 8; ++i)
            Out[i] = static_cast<char>(text >> (8 * i));
    }
}

// Writes 15 significant digits the way '%.15g' lays them out: trailing
// zeros dropped, exponent form below 1e-4 and from 1e15 on. Digit runs are
// copied 16 bytes at a time, which PrintFormMax leaves room for.
char* LayOutGeneral(char* Out, std::uint64_t Digits, int Exponent)
{
    // The first 7 digits after a zero, then the last 8; the bytes past them
    // are set too, as the 16-byte copies read them.
    char text[32];
    const std::uint64_t high = EightDigits(static_cast<std::uint32_t>(Digits / 100000000));
    // Short numbers (7 significant digits or fewer) end in eight zeros.
    const auto lowValue = static_cast<std::uint32_t>(Digits % 100000000);
    const std::uint64_t low = lowValue != 0 ? EightDigits(lowValue) : 0;
    PutDigits(text, high);
    PutDigits(text + 8, low);
    std::memset(text + 16, '0', 16);
    const char* const d = text + 1;
    // Trailing zero digits are the zero bytes at the top of low (and of high).
    const int count = low != 0 ? 15 - std::countl_zero(low) / 8 : 7 - std::countl_zero(high) / 8;
    const auto put = [&Out, &d](int From, int Count) {
        std::memcpy(Out, d + From, 16);
        Out += Count;
    };

    if (Exponent < -4 || Exponent >= 15) {
        *Out++ = d[0];
        if (count > 1) {
            *Out++ = '.';
            put(1, count - 1);
        }
        *Out++ = 'e';
        *Out++ = Exponent < 0 ? '-' : '+';
        const int magnitude = Exponent < 0 ? -Exponent : Exponent;
        if (magnitude < 10)
            *Out++ = '0';
        return std::to_chars(Out, Out + 4, magnitude).ptr;
    }
    if (Exponent < 0) {
        *Out++ = '0';
        *Out++ = '.';
        for (int zeros = -Exponent - 1; zeros > 0; --zeros)
            *Out++ = '0';
        put(0, count);
        return Out;
    }
    const int whole = Exponent + 1;
    put(0, whole);  // d holds the zeros of a whole number with fewer digits
    if (count > whole) {
        *Out++ = '.';
        put(whole, count - whole);
    }
    return Out;
}

}  // namespace

char* WritePrintForm(char* Out, double Value)
{
    // A negative zero prints as zero: the scene has no use for its sign.
    *Out++ = Value < 0 ? '-' : ' ';
    const double magnitude = std::fabs(Value);
    std::uint64_t digits = 0;
    int exponent = 0;
    if (magnitude == 0)
        *Out++ = '0';
    else if (FifteenDigits(magnitude, digits, exponent))
        Out = LayOutGeneral(Out, digits, exponent);
    else {
        Out = number_text::WriteFifteenDigits(Out, magnitude);
    }
    *Out++ = ' ';
    return Out;
}

void AppendPrintForm(std::string& Out, double Value)
{
    char text[PrintFormMax];
    Out.append(text, static_cast<std::size_t>(WritePrintForm(text, Value) - text));
}

char* WriteCount(char* Out, long Value)
{
    if (Value < 0 || Value >= 100000000)
        return std::to_chars(Out, Out + 24, Value).ptr;
    // The digits after the leading zeros, which are the zero bytes at the
    // bottom; 0 itself keeps one.
    const std::uint64_t digits = EightDigits(static_cast<std::uint32_t>(Value));
    const int zeros = digits != 0 ? std::countr_zero(digits) / 8 : 7;
    PutDigits(Out, digits >> (8 * zeros));
    return Out + 8 - zeros;
}

void AppendInteger(std::string& Out, long long Value)
{
    char text[24];
    Out.append(text, std::to_chars(text, text + sizeof text, Value).ptr);
}

void SaveCamPath(const ConvertState& State, SceneWriter& Writer)
{
    Writer.Line("SynthEyesScene {");
    Writer.Line("  Imag {");
    Writer.Line("    Came \"VoodooCam\"");
    Writer.Line("    Apth \"C:\\\\Target\"");
    Writer.Line("    Rpth \"C::Target\"");
    Writer << "    Size " << IntegerText(State.ImageWidth) << ',' << IntegerText(State.ImageHeight);
    Writer.EndLine();
    Writer << "    AspK " << State.AspectText;
    Writer.EndLine();
    Writer << "    Rate " << IntegerText(State.FrameRate);
    Writer.EndLine();
    Writer << "    Leng " << IntegerText(State.FrameCount());
    Writer.EndLine();
    Writer << "    Rang " << IntegerText(State.StartFrame) << ',' << IntegerText(State.EndFrame);
    Writer.EndLine();
    Writer.Line("    Aper 24.892");
    Writer.Line("   }");
    Writer.Line("  Obje {");
    Writer.Line("    Name \"VoodooCam\"");
    Writer.Line("    Came 1");
    Writer.Line("    Path {");

    const auto& table = State.ChannelTable;
    for (long i = 0; i < State.FrameCount(); ++i) {
        const auto entry = [&](int channel) -> std::string_view {
            return Trim(table[static_cast<std::size_t>(channel - 1)][static_cast<std::size_t>(i)]);
        };
        std::string& line = Writer.Buffer();
        line.append("      PKey ");
        line.append(IntegerText(State.StartFrame + i));
        for (int channel = 1; channel <= 3; ++channel) {
            line.push_back(',');
            line.append(entry(channel));
        }
        line.push_back(',');
        AppendPrintForm(line, ValueOf(entry(4)) + 90);
        line.push_back(',');
        AppendPrintForm(line, -ValueOf(entry(6)));
        line.push_back(',');
        AppendPrintForm(line, ValueOf(entry(5)) + 180);
        Writer.EndLine();
    }

    Writer.Line("    }");
    Writer.Line("    Zoom {");
    Writer.Line("      FKey 0,37.8397");
    Writer.Line("    }");
}

void WriteClosingLines(SceneWriter& Writer)
{
    Writer.Line("   }");
    Writer.Line("}");
}

}  // namespace quorvel
