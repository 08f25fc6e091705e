#include "quorvel/scene_writer.h"

#include "quorvel/error.h"

#include <cerrno>
#include <charconv>
#include <cmath>

namespace quorvel {

namespace {
constexpr std::size_t DrainAt = 1u << 20;
}

SceneWriter::SceneWriter(std::FILE* Out, std::string Name) : out_(Out), name_(std::move(Name))
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

void SceneWriter::Drain()
{
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
        ThrowFileError("cannot write the scene file", name_, errno);
    buffer_.clear();
}

void SceneWriter::Flush()
{
    Drain();
    if (std::fflush(out_) != 0 || std::ferror(out_))
        ThrowFileError("cannot write the scene file", name_, errno);
}

void AppendPrintForm(std::string& Out, double Value)
{
    // A negative zero prints as zero: the scene has no use for its sign.
    Out.push_back(Value < 0 ? '-' : ' ');
    char digits[32];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, std::fabs(Value), std::chars_format::general, 15);
    Out.append(digits, result.ptr);
    Out.push_back(' ');
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
