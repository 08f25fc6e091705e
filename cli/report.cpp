#include "report.h"

#include "options.h"

#include <cstdio>

namespace quorvel::cli {

void PrintWarnings(const std::string& Input, const ConvertReport& Report)
{
    const auto& trackers = Report.Trackers;
    for (const auto& skipped : trackers.Skipped) {
        std::fprintf(stderr, "%s: warning: %s, line %ld: tracker line skipped: %s\n", Program,
                     Input.c_str(), skipped.LineNumber, skipped.Reason.c_str());
    }
    const long unlisted = trackers.SkippedCount - static_cast<long>(trackers.Skipped.size());
    if (unlisted > 0) {
        std::fprintf(stderr, "%s: warning: %s: %ld more tracker lines skipped\n", Program,
                     Input.c_str(), unlisted);
    }
}

void PrintSummaryLine(const std::string& Input, const std::string& Output, const ConvertReport& Report)
{
    std::fprintf(stderr, "%s: %s -> %s: %ld frames, %ld trackers, %ld tracker lines skipped\n",
                 Program, Input.c_str(), Output.c_str(), Report.Frames, Report.Trackers.Trackers,
                 Report.Trackers.SkippedCount);
}

}  // namespace quorvel::cli
