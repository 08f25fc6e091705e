// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The status words of the window and the page, on every build (the page's
// among them): each outcome's summary, its details, an error's sentence.
#include "quorvel/status_words.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvel;

namespace {

ConvertReport Report(long Frames, long Trackers, long Skipped, std::vector<std::string> Warnings)
{
    ConvertReport report;
    report.Frames = Frames;
    report.Trackers.Trackers = Trackers;
    report.Trackers.SkippedCount = Skipped;
    for (long i = 0; i < std::min(Skipped, 12L); ++i)
        report.Trackers.Skipped.push_back({100 + i, "only 2 of 3 numbers"});
    for (std::string& warning : Warnings)
        report.Warnings.push_back({WarningKind::FrameRate, 0, std::move(warning)});
    return report;
}

std::string Joined(const std::vector<std::string>& Lines)
{
    std::string text;
    for (const std::string& line : Lines)
        text += line + '|';
    return text;
}

}  // namespace

TEST(StatusWords, SummaryAndDetailsPerOutcome)
{
    const struct {
        ConvertReport Report;
        bool Saved;
        const char* Summary;  // naming the scene
        const char* Details;  // '|' ends each line
    } cases[] = {
        {Report(1, 1, 0, {}), true, "Converted 1 frame and 1 tracker to a.syncar", ""},
        {Report(-4, 0, 0, {}), true, "Converted 0 frames and 0 trackers to a.syncar", ""},
        {Report(120, 7, 2, {"w"}), false, "Converted 120 frames to a.syncar, camera only\n1 warning", "Warning: w|"},
        {Report(5, 3, 1, {"w", "v"}), true, "Converted 5 frames and 3 trackers to a.syncar\n1 line skipped, 2 warnings",
         "Warning: w|Warning: v|Tracker lines skipped:|line 100: only 2 of 3 numbers|"},
        {Report(9, 0, 1005, {}), true, "Converted 9 frames and 0 trackers to a.syncar\n1005 lines skipped",
         "Tracker lines skipped:|line 100: only 2 of 3 numbers|line 101: only 2 of 3 numbers|"
         "line 102: only 2 of 3 numbers|line 103: only 2 of 3 numbers|line 104: only 2 of 3 numbers|"
         "line 105: only 2 of 3 numbers|line 106: only 2 of 3 numbers|line 107: only 2 of 3 numbers|"
         "line 108: only 2 of 3 numbers|line 109: only 2 of 3 numbers|and 995 more|"},
    };
    for (const auto& [report, saved, summary, details] : cases) {
        EXPECT_EQ(status_words::Summary(report, saved, "a.syncar"), summary);
        EXPECT_EQ(Joined(status_words::Details(report, saved)), details) << summary;
    }
    EXPECT_EQ(status_words::Summary(Report(2, 0, 0, {}), false), "Converted 2 frames, camera only");
}

TEST(StatusWords, ErrorSentenceBeginsWithACapital)
{
    const std::vector<std::string> paths = {"/in/shot 1.ma", "/scenes/a.syncar"};
    const std::pair<const char*, const char*> cases[] = {
        {"the factor '2x' is not a number", "The factor '2x' is not a number"},
        {"/in/shot 1.ma, line 27: the image width 'w' is not a number",
         "/in/shot 1.ma, line 27: The image width 'w' is not a number"},
        {"/scenes/a.syncar: cannot write", "/scenes/a.syncar: Cannot write"},
        {"'/in/shot 1.ma' is a folder", "'/in/shot 1.ma' is a folder"},
        {"", ""},
    };
    for (const auto& [message, sentence] : cases)
        EXPECT_EQ(status_words::ErrorSentence(message, paths), sentence);
}
