// What quorvel-convert says about each input on standard error.
#pragma once

#include "quorvel/conversion_run.h"

#include <string>

namespace quorvel::cli {

// The warnings of a finished conversion: each skipped tracker line.
void PrintWarnings(const std::string& Input, const ConvertReport& Report);

// The -v line: frames, trackers and skipped tracker lines.
void PrintSummaryLine(const std::string& Input, const std::string& Output, const ConvertReport& Report);

}  // namespace quorvel::cli
