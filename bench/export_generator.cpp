// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "export_generator.h"

#include <array>
#include <charconv>
#include <string>
#include <string_view>

namespace quorvel::bench {

namespace {

// splitmix64: tiny, and unlike the standard distributions its sequence is
// the same on every library, so a seed names one exact file.
class Random {
public:
    explicit Random(std::uint64_t Seed) : state_(Seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // 0 .. Count-1
    int Below(int Count) { return static_cast<int>(Next() % static_cast<std::uint64_t>(Count)); }

private:
    std::uint64_t state_;
};

void AppendInteger(std::string& Out, long long Value)
{
    char text[24];
    Out.append(text, std::to_chars(text, text + sizeof text, Value).ptr);
}

// A number as the tracker prints one: 1 to 12 significant digits, a sign
// for about half, up to IntegerDigits digits before the point, and now and
// then exponent form ("4.4e+02", "-1.5e-05", "7.1e-3") or a bare zero.
void AppendNumber(std::string& Out, Random& Rng, int IntegerDigits)
{
    const int kind = Rng.Below(100);
    if (kind < 3) {
        Out.append(kind == 0 ? "0.0" : "0");
        return;
    }
    if (Rng.Below(2))
        Out.push_back('-');
    const int digits = 1 + Rng.Below(12);
    std::array<char, 12> d{};
    for (int i = 0; i < digits; ++i)
        d[static_cast<std::size_t>(i)] = static_cast<char>('0' + Rng.Below(10));
    d[0] = static_cast<char>('1' + Rng.Below(9));
    if (kind < 11) {
        Out.push_back(d[0]);
        if (digits > 1) {
            Out.push_back('.');
            Out.append(d.data() + 1, static_cast<std::size_t>(digits - 1));
        }
        Out.push_back('e');
        const int exponent = Rng.Below(15) - 8;
        Out.push_back(exponent < 0 ? '-' : '+');
        if (Rng.Below(3) && exponent > -10 && exponent < 10)
            Out.push_back('0');
        AppendInteger(Out, exponent < 0 ? -exponent : exponent);
        return;
    }
    const int before = digits < IntegerDigits ? Rng.Below(digits + 1) : Rng.Below(IntegerDigits + 1);
    if (before == 0)
        Out.push_back('0');
    Out.append(d.data(), static_cast<std::size_t>(before));
    if (before < digits) {
        Out.push_back('.');
        Out.append(d.data() + before, static_cast<std::size_t>(digits - before));
    }
}

constexpr std::array<std::string_view, 6> ChannelNodes = {
    "animCurveTL -n \"VoodooCam_translateX\"", "animCurveTL -n \"VoodooCam_translateY\"",
    "animCurveTL -n \"VoodooCam_translateZ\"", "animCurveTA -n \"VoodooCam_rotateX\"",
    "animCurveTA -n \"VoodooCam_rotateY\"",    "animCurveTA -n \"VoodooCam_rotateZ\""};

class Output {
public:
    explicit Output(std::FILE* Out) : out_(Out) { text_.reserve(Chunk + 4096); }

    std::string& Text() { return text_; }
    // Ends a line; hands the text over in large pieces.
    bool EndLine()
    {
        text_.append("\r\n");
        return text_.size() < Chunk || Drain();
    }
    bool Line(std::string_view Text)
    {
        text_.append(Text);
        return EndLine();
    }
    bool Drain()
    {
        if (std::fwrite(text_.data(), 1, text_.size(), out_) != text_.size())
            return false;
        written_ += static_cast<long long>(text_.size());
        text_.clear();
        return true;
    }
    long long Written() const { return written_; }

private:
    static constexpr std::size_t Chunk = 1u << 20;
    std::FILE* out_;
    std::string text_;
    long long written_ = 0;
};

bool WriteHeader(Output& Out, const ExportShape& Shape)
{
    std::string& t = Out.Text();
    bool ok = Out.Line("//Maya ASCII 4.0 scene") && Out.Line("//Name: synthetic_export.ma") &&
              Out.Line("requires maya \"4.0\";") &&
              Out.Line("currentUnit -l centimeter -a degree -t film;") &&
              Out.Line("fileInfo \"application\" \"maya\";");
    t.append("playbackOptions -min ");
    AppendInteger(t, Shape.FirstFrame);
    t.append(" -max ");
    AppendInteger(t, Shape.LastFrame);
    t.append(" -animationStartTime ");
    AppendInteger(t, Shape.FirstFrame);
    t.push_back(';');
    return ok && Out.EndLine() && Out.Line("createNode resolution -n \"TrackerResolution\";") &&
           Out.Line("\tsetAttr \".w\" 3840;") && Out.Line("\tsetAttr \".h\" 2160;") &&
           Out.Line("\tsetAttr \".pa\" 1;") && Out.Line("\tsetAttr \".dar\" 1.777778;") &&
           Out.Line("createNode transform -n \"VoodooCam\";") &&
           Out.Line("\tsetAttr \".t\" -type \"double3\" 0 0 0 ;") &&
           Out.Line("\tsetAttr \".r\" -type \"double3\" 0 0 0 ;") &&
           Out.Line("createNode camera -n \"VoodooCamShape\" -p \"VoodooCam\";") &&
           Out.Line("\tsetAttr \".fl\" 35.3;");
}

bool WriteChannels(Output& Out, const ExportShape& Shape, Random& Rng)
{
    const long count = long{Shape.LastFrame} - Shape.FirstFrame + 1;
    for (std::size_t channel = 0; channel < ChannelNodes.size(); ++channel) {
        std::string& t = Out.Text();
        t.append("createNode ").append(ChannelNodes[channel]).push_back(';');
        if (!Out.EndLine())
            return false;
        t.append("\tsetAttr -s ");
        AppendInteger(t, count);
        t.append(" \".ktv[0:");
        AppendInteger(t, count - 1);
        t.append("]\"");
        for (long frame = Shape.FirstFrame; frame <= Shape.LastFrame; ++frame) {
            t.push_back(' ');
            AppendInteger(t, frame);
            t.push_back(' ');
            AppendNumber(t, Rng, channel < 3 ? 2 : 3);
        }
        t.append(" ;");
        if (!Out.EndLine())
            return false;
    }
    return Out.Line("createNode animCurveTU -n \"VoodooCam_visibility\";") &&
           Out.Line("\tsetAttr \".ktv[0]\" 1001 1;") && Out.Line("//Tracker export -fps 24");
}

bool WriteTracker(Output& Out, long Index, Random& Rng)
{
    std::string& t = Out.Text();
    t.append("createNode transform -n \"Tracker_");
    AppendInteger(t, Index);
    t.append("\";\r\n\tsetAttr \".t\" -type \"double3\"");
    for (int axis = 0; axis < 3; ++axis) {
        t.push_back(' ');
        AppendNumber(t, Rng, 2);
    }
    t.append(Rng.Below(2) ? " ;" : ";");
    t.append("\r\ncreateNode locator -n \"Tracker_");
    AppendInteger(t, Index);
    t.append("Shape\" -p \"Tracker_");
    AppendInteger(t, Index);
    t.append("\";\r\n\tsetAttr -k off \".v\";");
    return Out.EndLine();
}

}  // namespace

long long WriteExport(std::FILE* Out, const ExportShape& Shape)
{
    Output out(Out);
    Random rng(Shape.Seed);
    bool ok = WriteHeader(out, Shape) && WriteChannels(out, Shape, rng);
    for (long i = 1; ok && i <= Shape.Trackers; ++i)
        ok = WriteTracker(out, i, rng);
    ok = ok && out.Line("connectAttr \"VoodooCam_translateX.o\" \"VoodooCam.translateX\";") &&
         out.Line("// End of synthetic_export.ma") && out.Drain() && std::fflush(Out) == 0;
    return ok ? out.Written() : -1;
}

}  // namespace quorvel::bench
