// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "report.h"

#include "options.h"
#include "quorvel/error.h"
#include "quorvel/line_reader.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>

namespace quorvel::cli {

namespace {
int firstWriteError = 0;
}

int JsonWriteError() { return firstWriteError; }

namespace {

// Number and its noun, singular for 1: "1 tracker line skipped".
std::string Count(long Number, const char* One, const char* Many)
{
    return std::to_string(Number) + ' ' + (Number == 1 ? One : Many);
}

// The input as messages name it.
std::string Named(const std::string& Input)
{
    return Input == StandardInputPath ? "standard input" : Printable(Input);
}

}  // namespace

void PrintWarnings(const Outcome& Done)
{
    const std::string name = Named(Done.Input);
    const char* input = name.c_str();
    const auto& trackers = Done.Report.Trackers;
    for (const auto& skipped : Done.SkippedSilenced ? decltype(trackers.Skipped){} : trackers.Skipped) {
        std::fprintf(stderr, "%s: warning: %s, line %ld: tracker line skipped: %s\n", Program, input,
                     skipped.LineNumber, skipped.Reason.c_str());
    }
    const long unlisted = trackers.SkippedCount - static_cast<long>(trackers.Skipped.size());
    if (unlisted > 0 && !Done.SkippedSilenced)
        std::fprintf(stderr, "%s: warning: %s: %s\n", Program, input,
                     Count(unlisted, "more tracker line skipped", "more tracker lines skipped").c_str());
    for (const Warning& warning : Done.Report.Warnings)
        std::fprintf(stderr, "%s: warning: %s: %s\n", Program, input, warning.Message.c_str());
}

void PrintSummaryLine(const Outcome& Done)
{
    const std::string target = Done.Output.empty() ? "" : " -> " + Printable(Done.Output);
    const ConvertReport& report = Done.Report;
    std::fprintf(stderr, "%s: %s%s: %s, %s, %s\n", Program, Named(Done.Input).c_str(), target.c_str(),
                 Count(report.Frames, "frame", "frames").c_str(),
                 Count(report.Trackers.Trackers, "tracker", "trackers").c_str(),
                 Count(report.Trackers.SkippedCount, "tracker line skipped", "tracker lines skipped").c_str());
}

const InterruptionLines& InterruptionSays()
{
    // Each says what an interruption left, as the scene under way had got.
    static const InterruptionLines lines = {
        "quorvel-convert: interrupted: the conversion stopped before writing its scene file\n",
        "quorvel-convert: interrupted: the conversion stopped and left the old scene file as it was\n",
        "quorvel-convert: interrupted: the new scene file was already in place\n",
        "quorvel-convert: interrupted: only part of the scene reached standard output\n",
        "quorvel-convert: interrupted: the whole scene had already reached standard output\n",
    };
    return lines;
}

std::string JsonLine(const Outcome& Done)
{
    // The fields in the order the manual page lists them.
    using Json = nlohmann::ordered_json;
    const ConvertReport& report = Done.Report;
    Json line;
    line["schema"] = ReportSchema;
    line["input"] = Done.Input;
    line["output"] = Done.Output.empty() ? Json() : Json(Done.Output);
    line["written"] = Done.Written;
    line["ok"] = Done.Ok;
    if (Done.Ok) {
        line["error"] = nullptr;
    } else {
        line["error"] = {{"kind", Done.ErrorKind},
                         {"message", Done.ErrorMessage},
                         {"line", Done.ErrorLine > 0 ? Json(Done.ErrorLine) : Json()}};
    }
    const auto value = [&](const auto& Value) { return Done.Ok ? Json(Value) : Json(); };
    line["first_frame"] = value(report.StartFrame);
    line["last_frame"] = value(report.EndFrame);
    line["frames"] = value(report.Frames);
    line["image_width"] = value(report.ImageWidth);
    line["image_height"] = value(report.ImageHeight);
    line["aspect"] = value(report.AspectText);
    line["frame_rate_found"] = value(report.FrameRateFound);
    line["frame_rate_written"] = value(report.FrameRate);
    line["trackers"] = value(report.Trackers.Trackers);
    line["skipped_count"] = value(report.Trackers.SkippedCount);
    Json skipped = Json::array();
    for (const SkippedTracker& entry : report.Trackers.Skipped)
        skipped.push_back({{"line", entry.LineNumber}, {"reason", entry.Reason}});
    line["skipped"] = std::move(skipped);
    Json warnings = Json::array();
    Json details = Json::array();
    for (const Warning& warning : report.Warnings) {
        warnings.push_back(warning.Message);
        details.push_back({{"kind", std::string(WarningKindName(warning.Kind))},
                           {"line", warning.Line > 0 ? Json(warning.Line) : Json()},
                           {"message", warning.Message}});
    }
    line["warnings"] = std::move(warnings);
    line["warning_details"] = std::move(details);
    // File names and export text need not be UTF-8: a byte that is not
    // becomes U+FFFD rather than ending the report.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
}

void PrintJsonLine(const Outcome& Done)
{
    const std::string text = JsonLine(Done);
    if ((std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) &&
        firstWriteError == 0) {
        firstWriteError = errno != 0 ? errno : EIO;
    }
}

}  // namespace quorvel::cli
