// One conversion, from the export file to the scene file: the call both the
// desktop program and the command-line converter make.
#pragma once

#include "quorvel/convert_state.h"
#include "quorvel/tracker_export.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace quorvel {

// What the caller decides: the Save Trackpoints option and the factor text.
struct ConvertOptions {
    bool SaveTrackpoints = true;
    std::string FactorText = "1";
};

// What a finished conversion did.
struct ConvertReport {
    long Frames = 0;
    TrackerSummary Trackers;  // all zero when trackpoints were not saved
};

inline constexpr std::string_view BadFactorMessage =
    "The multiplication factor must be a number, such as 1 or 0.5";

// The factor text as a number: the whole text without surrounding blanks
// must be one finite number, otherwise a BadFactor error.
double ParseFactor(std::string_view FactorText);

// Converts State.InputFile into State.OutputFile. The scene is written to a
// temporary file beside the target and renamed over it only when complete,
// so a failed conversion leaves an existing target untouched and nothing
// behind. Errors are quorvel::Error.
ConvertReport RunConversion(ConvertState& State, const ConvertOptions& Options);

// Converts State.InputFile and writes the scene to the open stream Out
// (OutName names it in messages), flushing it at the end. On error Out may
// hold part of a scene: callers that need all-or-nothing use RunConversion.
ConvertReport ConvertToStream(ConvertState& State, const ConvertOptions& Options, std::FILE* Out,
                              const std::string& OutName);

// Converts State.InputFile and writes the scene to standard output once it
// is complete (it is staged in a temporary file first), so that a failed
// conversion writes nothing there.
ConvertReport ConvertToStandardOutput(ConvertState& State, const ConvertOptions& Options);

}  // namespace quorvel
