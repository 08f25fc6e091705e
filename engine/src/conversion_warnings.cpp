// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "conversion_warnings.h"

#include "quorvel/error.h"
#include "quorvel/number_text.h"
#include "quorvel/text_rules.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace quorvel {

void WarnOfRoundedFrameRate(const ConvertState& State, ConvertReport& Report)
{
    if (State.FrameRateFound == State.FrameRate)
        return;
    char found[number_text::TextMax];
    char* const end = number_text::WriteShortest(found, State.FrameRateFound);
    Report.Warnings.push_back({WarningKind::FrameRate, State.FrameRateLineNumber,
                               "frame rate " + std::string(found, end) + " written as " +
                                   IntegerText(State.FrameRate) +
                                   " (the scene file holds whole frames per second)"});
}

void WarnOfImpossibleValues(const ConvertState& State, ConvertReport& Report)
{
    const auto warn = [&Report](long Line, std::string Message) {
        Report.Warnings.push_back({WarningKind::ImpossibleValue, Line, std::move(Message)});
    };
    if (State.FrameRate <= 0) {
        warn(State.FrameRateLineNumber, "frame rate written as " + IntegerText(State.FrameRate) +
                                            ": a scene needs at least 1 frame per second");
    }
    if (State.ImageWidth <= 0)
        warn(State.ImageWidthLineNumber, "image width " + IntegerText(State.ImageWidth) + " is not above 0");
    if (State.ImageHeight <= 0)
        warn(State.ImageHeightLineNumber, "image height " + IntegerText(State.ImageHeight) + " is not above 0");
    double aspect = 0.0;
    if (!ReadNumber(Trim(State.AspectText), aspect) || !std::isfinite(aspect) || aspect <= 0)
        warn(State.AspectLineNumber, "image aspect '" + Excerpt(State.AspectText) + "' is not a positive finite number");
}

bool IsFatal(const ConvertOptions& Options, WarningKind Kind)
{
    return std::find(Options.FatalWarnings.begin(), Options.FatalWarnings.end(), Kind) !=
           Options.FatalWarnings.end();
}

void FailOnFatalWarning(const ConvertOptions& Options, const LineReader& Reader, const ConvertReport& Report)
{
    const auto& skipped = Report.Trackers.Skipped;
    if (!skipped.empty() && IsFatal(Options, WarningKind::SkippedTrackerLine)) {
        throw Error(ErrorKind::FatalWarning,
                    Reader.Where(skipped.front().LineNumber) + ": tracker line skipped: " + skipped.front().Reason,
                    skipped.front().LineNumber);
    }
    for (const Warning& warning : Report.Warnings) {
        if (IsFatal(Options, warning.Kind)) {
            const std::string where = warning.Line > 0 ? Reader.Where(warning.Line) : Reader.Path();
            throw Error(ErrorKind::FatalWarning, where + ": " + warning.Message, warning.Line);
        }
    }
}

std::string HardLinkWarning(const std::string& Path, long long OtherNames)
{
    return "the scene file '" + Path + "' had " + std::to_string(OtherNames) +
           (OtherNames == 1 ? " other name (a hard link), which keeps" : " other names (hard links), which keep") +
           " the old scene";
}

}  // namespace quorvel
