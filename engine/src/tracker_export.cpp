#include "quorvel/tracker_export.h"

#include "quorvel/text_rules.h"

#include <array>
#include <cmath>

namespace quorvel {

namespace {

// Cuts the three numbers after the quotation mark that closes "double3":
// blank-separated, the last one ending at ';' or the line end. Returns the
// reason when the line is malformed, empty when Position holds the numbers.
std::string ParseTrackerLine(std::string_view Line, std::array<double, 3>& Position)
{
    std::string_view rest = Line.substr(Line.find(TrackerMarker) + TrackerMarker.size());
    if (rest.empty() || rest.front() != '"')
        return "no quotation mark after \"double3\"";
    rest.remove_prefix(1);
    rest = rest.substr(0, rest.find(';'));

    std::size_t count = 0;
    std::size_t TrackPos = 0;
    for (;;) {
        TrackPos = rest.find_first_not_of(' ', TrackPos);
        if (TrackPos == std::string_view::npos)
            break;
        const std::size_t end = std::min(rest.find(' ', TrackPos), rest.size());
        const std::string_view token = rest.substr(TrackPos, end - TrackPos);
        if (count == 3)
            return "more than three numbers";
        if (!IsNumber(token))
            return "'" + std::string(token) + "' is not a number";
        Position[count++] = NumberValue(token);
        TrackPos = end;
    }
    if (count < 3)
        return count == 0 ? "no numbers" : "only " + std::to_string(count) + " of three numbers";
    return {};
}

}  // namespace

TrackerSummary SaveTrackers(ConvertState& State, LineReader& Reader, SceneWriter& Writer,
                            double Factor)
{
    TrackerSummary summary;
    std::array<double, 3> position{};
    while (ScanForMarker(Reader, State.CurrentLine, State.CurrentLineNumber, TrackerMarker)) {
        std::string reason = ParseTrackerLine(State.CurrentLine, position);
        const std::array<double, 3> scaled = {-Factor * position[0], position[2] * Factor,
                                              position[1] * Factor};
        if (reason.empty() && !(std::isfinite(scaled[0]) && std::isfinite(scaled[1]) &&
                                std::isfinite(scaled[2]))) {
            reason = "the scaled position is too large for the scene";
        }
        if (reason.empty()) {
            ++summary.Trackers;
            std::string& out = Writer.Buffer();
            out.append("   Trak {\r\n     Name \"Tracker");
            out.append(IntegerText(summary.Trackers));
            out.append("\"\r\n     WPos ");
            AppendPrintForm(out, scaled[0]);
            out.push_back(',');
            AppendPrintForm(out, scaled[1]);
            out.push_back(',');
            AppendPrintForm(out, scaled[2]);
            out.append("\r\n   }");
            Writer.EndLine();
        } else {
            ++summary.SkippedCount;
            if (summary.Skipped.size() < TrackerSummary::MaxSkippedListed)
                summary.Skipped.push_back({State.CurrentLineNumber, std::move(reason)});
        }
        if (Reader.AtEnd())
            break;
        Reader.ReadLine(State.CurrentLine);
        State.CurrentLineNumber = Reader.LineNumber();
    }
    WriteClosingLines(Writer);
    return summary;
}

}  // namespace quorvel
