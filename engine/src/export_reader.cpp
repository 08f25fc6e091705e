// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/export_reader.h"

#include "quorvel/error.h"

#include "key_times.h"

#include <cmath>

namespace quorvel {

namespace {

// Text from the export in a message: only its start, escaped.
std::string Quoted(std::string_view Text) { return "'" + Excerpt(Text) + "'"; }

void ScanOrThrow(ConvertState& State, LineReader& Reader, std::string_view Marker,
                 std::string_view Missing)
{
    if (!ScanForMarker(Reader, State.CurrentLine, State.CurrentLineNumber, Marker)) {
        throw Error(ErrorKind::MissingInput, Reader.Path() + ": " + std::string(Missing) +
                                                 ": no line holds " + Quoted(Marker));
    }
}

std::string Here(const ConvertState& State, const LineReader& Reader)
{
    return Reader.Where(State.CurrentLineNumber);
}

// The number token at the 0-based Offset of the current line, checked.
std::string_view HeaderNumber(const ConvertState& State, const LineReader& Reader,
                              std::size_t Offset, std::string_view What)
{
    const std::string_view token = TokenAt(State.CurrentLine, Offset);
    if (!IsNumber(token)) {
        throw Error(ErrorKind::BadInput,
                    Here(State, Reader) + ": the " + std::string(What) + " " + Quoted(token) + " is not a number",
                    State.CurrentLineNumber);
    }
    return token;
}

// ToInteger16 for a value of the current line: its overflow names the line.
Integer16 LineInteger16(const ConvertState& State, const LineReader& Reader, double Value,
                        std::string_view What)
{
    try {
        return ToInteger16(Value, Here(State, Reader) + ": the " + std::string(What));
    } catch (const Error& error) {
        throw Error(error.kind(), error.what(), State.CurrentLineNumber);
    }
}

Integer16 HeaderInteger(const ConvertState& State, const LineReader& Reader, std::size_t Offset,
                        std::string_view What)
{
    return LineInteger16(State, Reader, ValueOf(HeaderNumber(State, Reader, Offset, What)), What);
}

void ReadPlaybackRange(ConvertState& State, const LineReader& Reader)
{
    const std::string_view line = State.CurrentLine;
    const std::int64_t a = static_cast<std::int64_t>(Find(1, line, "-min "));
    const std::int64_t b = static_cast<std::int64_t>(Find(1, line, "-max "));
    const std::int64_t g = static_cast<std::int64_t>(Find(1, line, "-animationStartTime "));
    if (b == 0 || g == 0 || b - a - 4 < 0 || g - b - 4 < 0) {
        throw Error(ErrorKind::BadInput,
                    Here(State, Reader) +
                        ": the playback line must hold '-min ', '-max ' and "
                        "'-animationStartTime ' in this order",
                    State.CurrentLineNumber);
    }
    const std::string_view first = Trim(Substring(line, a + 4, b - a - 4));
    const std::string_view last = Trim(Substring(line, b + 4, g - b - 4));
    for (const auto& [text, what] : {std::pair{first, "first frame"}, std::pair{last, "last frame"}}) {
        if (!IsNumber(text)) {
            throw Error(ErrorKind::BadInput, Here(State, Reader) + ": the " + what +
                                                 " of the playback range " + Quoted(text) +
                                                 " is not a number",
                        State.CurrentLineNumber);
        }
    }
    State.StartFrame = LineInteger16(State, Reader, ValueOf(first), "first frame");
    State.EndFrame = LineInteger16(State, Reader, ValueOf(last), "last frame");
    if (State.EndFrame < State.StartFrame) {
        throw Error(ErrorKind::BadInput,
                    Here(State, Reader) + ": the playback range ends before it starts (" +
                        IntegerText(State.StartFrame) + " to " + IntegerText(State.EndFrame) + ")",
                    State.CurrentLineNumber);
    }
}

void ReadChannelBlock(ConvertState& State, LineReader& Reader)
{
    const std::string blockStart = IntegerText(State.CurrentLineNumber);
    for (int n = 0; n < ChannelCount; ++n) {
        const std::string wanted = "the key line of camera channel " + std::to_string(n + 1) + " (" +
                                   std::string(ChannelNames[n]) + ") of the block at line " +
                                   blockStart;
        Reader.ReadLine(State.ChannelLine[n], wanted);
        State.ChannelLineNumber[n] = Reader.LineNumber();
        if (n + 1 < ChannelCount) {
            Reader.ReadLine(State.CurrentLine, wanted);
            State.CurrentLineNumber = Reader.LineNumber();
        }
    }
}

void FillChannelTable(ConvertState& State, const LineReader& Reader, int n)
{
    const std::string_view line = State.ChannelLine[n];
    auto& table = State.ChannelTable[n];
    table.clear();
    table.reserve(static_cast<std::size_t>(State.FrameCount()));
    const auto where = [&](long FrameIndex) {
        return Reader.Where(State.ChannelLineNumber[n]) + ": camera channel " +
               std::to_string(n + 1) + " (" + std::string(ChannelNames[n]) + "), frame " +
               std::to_string(FrameIndex);
    };

    std::size_t ScanPos = Find(1, line, "]");
    for (long FrameIndex = State.StartFrame; FrameIndex <= State.EndFrame; ++FrameIndex) {
        std::optional<std::string_view> value;
        ScanPos = Find(static_cast<std::int64_t>(ScanPos) + 1, line, " ");
        if (ScanPos != 0)
            value = FindValue(line, ScanPos);
        if (!value) {
            // Not this frame, which the times may show is not the first without a key.
            throw Error(ErrorKind::BadInput,
                        Reader.Where(State.ChannelLineNumber[n]) + ": camera channel " +
                            std::to_string(n + 1) + " (" + std::string(ChannelNames[n]) + "): " +
                            KeyShortfall(line, State.StartFrame, State.EndFrame),
                        State.ChannelLineNumber[n]);
        }
        double number = 0.0;
        if (!ReadNumber(*value, number) || !std::isfinite(number)) {
            throw Error(ErrorKind::BadInput,
                        where(FrameIndex) + ": the key value " + Quoted(*value) + " is not a number",
                        State.ChannelLineNumber[n]);
        }
        table.emplace_back(*value);
    }
}

}  // namespace

std::optional<std::string_view> FindValue(std::string_view ReadString, std::size_t& StartPos)
{
    StartPos = Find(static_cast<std::int64_t>(StartPos) + 1, ReadString, " ");
    if (StartPos == 0)
        return std::nullopt;
    const std::size_t EndPos = Find(static_cast<std::int64_t>(StartPos) + 1, ReadString, " ");
    std::string_view value = ReadString.substr(StartPos);
    if (EndPos != 0)
        value = value.substr(0, EndPos - StartPos - 1);
    else
        value = value.substr(0, value.find(';'));
    return Trim(value);
}

void ReadCamPath(ConvertState& State, LineReader& Reader)
{
    // A file that is no export at all is told as such, not by the first
    // marker it lacks.
    if (Reader.AtEnd())
        throw Error(ErrorKind::MissingInput, Reader.Path() + ": the file is empty, not a Maya ASCII export");
    Reader.ReadLine(State.CurrentLine);
    State.CurrentLineNumber = Reader.LineNumber();
    std::string first = State.CurrentLine;  // the scan below reuses the line
    if (first.starts_with("\xEF\xBB\xBF"))
        first.erase(0, 3);
    if (!first.starts_with(MayaAsciiHeader) &&
        !ScanForMarker(Reader, State.CurrentLine, State.CurrentLineNumber, PlaybackMarker)) {
        throw Error(ErrorKind::MissingInput,
                    Reader.Path() + ": not a Maya ASCII export: its first line " + Quoted(first) +
                        " does not begin with " + Quoted(MayaAsciiHeader));
    }
    ScanOrThrow(State, Reader, PlaybackMarker, "no playback range");
    ReadPlaybackRange(State, Reader);

    ScanOrThrow(State, Reader, WidthMarker, "no image width");
    std::size_t p = Find(1, State.CurrentLine, WidthMarker);
    State.ImageWidth = HeaderInteger(State, Reader, p - 1 + 13, "image width");
    State.ImageWidthLineNumber = State.CurrentLineNumber;

    ScanOrThrow(State, Reader, HeightMarker, "no image height");
    p = Find(1, State.CurrentLine, HeightMarker);
    State.ImageHeight = HeaderInteger(State, Reader, p - 1 + 13, "image height");
    State.ImageHeightLineNumber = State.CurrentLineNumber;

    ScanOrThrow(State, Reader, AspectMarker, "no image aspect");
    p = Find(1, State.CurrentLine, AspectMarker);
    State.AspectText = HeaderNumber(State, Reader, p - 1 + 15, "image aspect");
    State.AspectLineNumber = State.CurrentLineNumber;

    ScanOrThrow(State, Reader, ChannelBlockMarker, "no camera channel block");
    ReadChannelBlock(State, Reader);
    for (int n = 0; n < ChannelCount; ++n)
        FillChannelTable(State, Reader, n);

    // The line just before the sixth key line is still held and is tested first.
    ScanOrThrow(State, Reader, FrameRateMarker, "no frame rate");
    p = Find(1, State.CurrentLine, FrameRateMarker);
    State.FrameRateFound = ValueOf(HeaderNumber(State, Reader, p - 1 + 4, "frame rate"));
    State.FrameRate = LineInteger16(State, Reader, State.FrameRateFound, "frame rate");
    State.FrameRateLineNumber = State.CurrentLineNumber;
}

}  // namespace quorvel
