// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/tracker_export.h"

#include "quorvel/error.h"
#include "quorvel/line_reader.h"
#include "quorvel/text_rules.h"

#include "tracker_threads.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quorvel {

namespace {

// Cuts the three numbers after the quotation mark that closes "double3"
// (Rest starts just after "double3"): blank-separated, the last one ending
// at the ';' that closes the statement. A line without it may be an export
// cut off inside its last number, which would read as a shorter one.
// Returns the reason when the line is malformed, empty when Position holds
// the numbers.
std::string ParseTrackerLine(std::string_view Rest, std::array<double, 3>& Position)
{
    if (Rest.empty() || Rest.front() != '"')
        return "no quotation mark after \"double3\"";
    Rest.remove_prefix(1);
    const char* const close = FindByte(Rest.data(), Rest.size(), ';');
    if (!close)
        return std::string(TrackerLineCutShort);
    Rest = Rest.substr(0, static_cast<std::size_t>(close - Rest.data()));

    std::size_t count = 0;
    std::size_t TrackPos = 0;
    for (;;) {
        while (TrackPos < Rest.size() && Rest[TrackPos] == ' ')
            ++TrackPos;
        if (TrackPos == Rest.size())
            break;
        if (count == 3)
            return "more than 3 numbers";
        // The number is read where it starts; it must fill its token.
        const std::string_view rest = Rest.substr(TrackPos);
        const std::size_t length = ReadNumberPrefix(rest, Position[count++]);
        if (length == 0 || (length < rest.size() && rest[length] != ' '))
            return "'" + Excerpt(rest.substr(0, rest.find(' '))) + "' is not a number";
        TrackPos += length;
    }
    if (count < 3)
        return count == 0 ? "no numbers" : "only " + std::to_string(count) + " of 3 numbers";
    return {};
}

}  // namespace

TrackerLine ExamineTrackerLine(std::string_view Line, double Factor, std::array<double, 3>& Scaled,
                               std::string& Reason)
{
    const std::size_t marker = FindText(Line, TrackerMarker);
    if (marker == std::string_view::npos)
        return TrackerLine::Other;
    return ExamineTrackerNumbers(Line.substr(marker + TrackerMarker.size()), Factor, Scaled, Reason);
}

TrackerLine ExamineTrackerNumbers(std::string_view Rest, double Factor, std::array<double, 3>& Scaled,
                                  std::string& Reason)
{
    std::array<double, 3> position{};
    Reason = ParseTrackerLine(Rest, position);
    Scaled = {-Factor * position[0], position[2] * Factor, position[1] * Factor};
    if (Reason.empty() && !(std::isfinite(Scaled[0]) && std::isfinite(Scaled[1]) && std::isfinite(Scaled[2])))
        Reason = "the scaled position is too large for the scene";
    return Reason.empty() ? TrackerLine::Block : TrackerLine::Skipped;
}

char* WriteTrackerBlock(char* Out, long Number, const std::array<double, 3>& Scaled)
{
    constexpr std::string_view Head = "   Trak {\r\n     Name \"Tracker";
    constexpr std::string_view Middle = "\"\r\n     WPos ";
    constexpr std::string_view Tail = "\r\n   }";
    char* end = std::copy(Head.begin(), Head.end(), Out);
    end = WriteCount(end, Number);
    end = std::copy(Middle.begin(), Middle.end(), end);
    end = WritePrintForm(end, Scaled[0]);
    *end++ = ',';
    end = WritePrintForm(end, Scaled[1]);
    *end++ = ',';
    end = WritePrintForm(end, Scaled[2]);
    return std::copy(Tail.begin(), Tail.end(), end);
}

namespace {

// Tests one line and writes its block or records why it was skipped.
void ExportLine(std::string_view Line, long LineNumber, double Factor, SceneWriter& Writer,
                TrackerSummary& Summary)
{
    std::array<double, 3> scaled{};
    std::string reason;
    switch (ExamineTrackerLine(Line, Factor, scaled, reason)) {
    case TrackerLine::Other:
        return;
    case TrackerLine::Skipped:
        ++Summary.SkippedCount;
        if (Summary.Skipped.size() < TrackerSummary::MaxSkippedListed)
            Summary.Skipped.push_back({LineNumber, std::move(reason)});
        return;
    case TrackerLine::Block:
        break;
    }
    char block[TrackerBlockMax];
    char* const end = WriteTrackerBlock(block, ++Summary.Trackers, scaled);
    Writer.Buffer().append(block, static_cast<std::size_t>(end - block));
    Writer.EndLine();
}

}  // namespace

TrackerSummary SaveTrackers(ConvertState& State, LineReader& Reader, SceneWriter& Writer,
                            double Factor, const TrackerThreads& Threads)
{
    TrackerSummary summary;
    // The frame-rate line is tested first; the lines after it are only
    // looked at in the reader's buffer, never copied.
    ExportLine(State.CurrentLine, State.CurrentLineNumber, Factor, Writer, summary);
    if (Threads.Count > 1) {
        ExportLinesOnThreads(Reader, Writer, Factor, Threads, summary);
    } else {
        std::string_view line;
        while (Reader.NextLine(line))
            ExportLine(line, Reader.LineNumber(), Factor, Writer, summary);
    }
    WriteClosingLines(Writer);
    return summary;
}

}  // namespace quorvel
