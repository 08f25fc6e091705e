// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/tracker_export.h"

#include "quorvel/error.h"
#include "quorvel/text_rules.h"

#include <algorithm>
#include <array>
#include <charconv>
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
    const std::size_t close = Rest.find(';');
    if (close == std::string_view::npos)
        return std::string(TrackerLineCutShort);
    Rest = Rest.substr(0, close);

    std::size_t count = 0;
    std::size_t TrackPos = 0;
    for (;;) {
        while (TrackPos < Rest.size() && Rest[TrackPos] == ' ')
            ++TrackPos;
        if (TrackPos == Rest.size())
            break;
        std::size_t end = TrackPos;
        while (end < Rest.size() && Rest[end] != ' ')
            ++end;
        const std::string_view token = Rest.substr(TrackPos, end - TrackPos);
        if (count == 3)
            return "more than 3 numbers";
        if (!ReadNumber(token, Position[count++]))
            return "'" + Excerpt(token) + "' is not a number";
        TrackPos = end;
    }
    if (count < 3)
        return count == 0 ? "no numbers" : "only " + std::to_string(count) + " of 3 numbers";
    return {};
}

// Tests one line and writes its block or records why it was skipped.
void ExportLine(std::string_view Line, long LineNumber, double Factor, SceneWriter& Writer,
                TrackerSummary& Summary)
{
    const std::size_t marker = Line.find(TrackerMarker);
    if (marker == std::string_view::npos)
        return;
    std::array<double, 3> position{};
    std::string reason = ParseTrackerLine(Line.substr(marker + TrackerMarker.size()), position);
    const std::array<double, 3> scaled = {-Factor * position[0], position[2] * Factor,
                                          position[1] * Factor};
    if (reason.empty() &&
        !(std::isfinite(scaled[0]) && std::isfinite(scaled[1]) && std::isfinite(scaled[2]))) {
        reason = "the scaled position is too large for the scene";
    }
    if (!reason.empty()) {
        ++Summary.SkippedCount;
        if (Summary.Skipped.size() < TrackerSummary::MaxSkippedListed)
            Summary.Skipped.push_back({LineNumber, std::move(reason)});
        return;
    }
    // The block is put together in place and appended once.
    constexpr std::string_view Head = "   Trak {\r\n     Name \"Tracker";
    constexpr std::string_view Middle = "\"\r\n     WPos ";
    constexpr std::string_view Tail = "\r\n   }";
    char block[Head.size() + 24 + Middle.size() + 3 * (PrintFormMax + 1) + Tail.size()];
    char* end = std::copy(Head.begin(), Head.end(), block);
    end = std::to_chars(end, end + 24, ++Summary.Trackers).ptr;
    end = std::copy(Middle.begin(), Middle.end(), end);
    end = WritePrintForm(end, scaled[0]);
    *end++ = ',';
    end = WritePrintForm(end, scaled[1]);
    *end++ = ',';
    end = WritePrintForm(end, scaled[2]);
    end = std::copy(Tail.begin(), Tail.end(), end);
    Writer.Buffer().append(block, static_cast<std::size_t>(end - block));
    Writer.EndLine();
}

}  // namespace

TrackerSummary SaveTrackers(ConvertState& State, LineReader& Reader, SceneWriter& Writer,
                            double Factor)
{
    TrackerSummary summary;
    // The frame-rate line is tested first; the lines after it are only
    // looked at in the reader's buffer, never copied.
    ExportLine(State.CurrentLine, State.CurrentLineNumber, Factor, Writer, summary);
    std::string_view line;
    while (Reader.NextLine(line))
        ExportLine(line, Reader.LineNumber(), Factor, Writer, summary);
    WriteClosingLines(Writer);
    return summary;
}

}  // namespace quorvel
