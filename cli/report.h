// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What quorvel-convert says about each input: warnings and the -v line on
// standard error, and the JSON Lines report on standard output.
#pragma once

#include "quorvel/conversion_run.h"
#include "quorvel/interruption.h"

#include <string>

namespace quorvel::cli {

// The version of the JSON report's records: the first field of each.
inline constexpr int ReportSchema = 2;

// How one input went. Output is empty for --check; Report is valid when Ok.
struct Outcome {
    std::string Input;
    std::string Output;
    bool Ok = false;
    bool Written = false;  // the scene file, or standard output, holds the new scene
    ConvertReport Report;  // its Warnings without the kinds --no-warn silences
    bool SkippedSilenced = false;  // --no-warn skipped-tracker-line
    std::string ErrorKind;  // the report's kind of failure, such as "bad-input"
    std::string ErrorMessage;
    long ErrorLine = 0;  // the export line the error is about, 0 for none

    bool HasWarnings() const
    {
        return Ok && ((Report.Trackers.SkippedCount > 0 && !SkippedSilenced) || !Report.Warnings.empty());
    }
};

// Each warning of a successful conversion: skipped tracker lines, then the others.
void PrintWarnings(const Outcome& Done);

// The -v line: frames, trackers and skipped tracker lines.
void PrintSummaryLine(const Outcome& Done);

// What an interruption says on standard error, for each SceneProgress.
const InterruptionLines& InterruptionSays();

// The JSON report's line about one input.
std::string JsonLine(const Outcome& Done);

// JsonLine on standard output, flushed at once so that a reading pipeline
// sees each input as it ends.
void PrintJsonLine(const Outcome& Done);

// The system's reason for the first JSON line that could not be written, 0 if none.
int JsonWriteError();

}  // namespace quorvel::cli
