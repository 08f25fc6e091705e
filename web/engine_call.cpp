// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The page's one call into the engine, made from its Web Worker: one
// conversion, its report or its error as a line of JSON, with the words the
// window shows for it.
#include "quorvel/conversion_run.h"
#include "quorvel/error.h"
#include "quorvel/status_words.h"

#include <emscripten/emscripten.h>
#include <nlohmann/json.hpp>

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

namespace {

nlohmann::json ReportJson(const quorvel::ConvertReport& Report, bool SavedTrackpoints)
{
    nlohmann::json warnings = nlohmann::json::array();
    for (const quorvel::Warning& warning : Report.Warnings)
        warnings.push_back(warning.Message);
    nlohmann::json skipped = nlohmann::json::array();
    for (const quorvel::SkippedTracker& line : Report.Trackers.Skipped)
        skipped.push_back({{"line", line.LineNumber}, {"reason", line.Reason}});
    return {{"ok", true},
            {"frames", Report.Frames},
            {"trackers", Report.Trackers.Trackers},
            {"skippedCount", Report.Trackers.SkippedCount},
            {"skipped", skipped},
            {"warnings", warnings},
            {"status", quorvel::status_words::Summary(Report, SavedTrackpoints)},
            {"details", quorvel::status_words::Details(Report, SavedTrackpoints)}};
}

// What keeps the file named SceneName, whose first SceneHeadSize bytes are
// SceneHead, from being replaced: as in the window, only a scene file or
// an empty file is. Empty when nothing does.
std::string SceneHeadProblem(std::string_view SceneName, const char* SceneHead, int SceneHeadSize)
{
    if (SceneHeadSize < 0 || quorvel::IsSceneHead({SceneHead, static_cast<std::size_t>(SceneHeadSize)}))
        return {};
    // Named as the user chose it, without the worker's folder.
    return quorvel::NotASceneFile(std::string(SceneName.substr(SceneName.rfind('/') + 1)));
}

}  // namespace

// Converts InputFile into OutputFile (paths in the worker's file system) as
// the window's Convert does. SceneHead holds the first SceneHeadSize bytes
// of the file the user chose to be replaced (SceneHeadSize is -1 for a
// download, which replaces nothing): as in the window, only a scene file or
// an empty file is replaced. The text stays valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* quorvel_convert(const char* InputFile, const char* OutputFile,
                                                            int SaveTrackpoints, const char* FactorText,
                                                            const char* SceneHead, int SceneHeadSize)
{
    static std::string answer;
    nlohmann::json result;
    try {
        if (const std::string problem = SceneHeadProblem(OutputFile, SceneHead, SceneHeadSize); !problem.empty())
            throw quorvel::Error(quorvel::ErrorKind::FileSystem, problem);
        quorvel::ConvertState state;
        state.InputFile = InputFile;
        state.OutputFile = OutputFile;
        result = ReportJson(quorvel::RunConversion(state, {SaveTrackpoints != 0, FactorText}), SaveTrackpoints != 0);
    } catch (const std::exception& error) {
        // The sentence begins after the file the message names, as the
        // window's does.
        result = {{"ok", false}, {"message", quorvel::status_words::ErrorSentence(error.what(), {InputFile, OutputFile})}};
    }
    // Bytes of the export that are not UTF-8 may reach a message: they are
    // shown as replacement characters rather than lost with the message.
    answer = result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return answer.c_str();
}

// The page's check of a file the user chose, when choosing it and again
// just before the scene replaces it: what SceneHeadProblem says, empty when
// the file may be replaced. The text stays valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* quorvel_scene_head_problem(const char* SceneName, const char* SceneHead,
                                                                       int SceneHeadSize)
{
    static std::string answer;
    answer = SceneHeadProblem(SceneName, SceneHead, SceneHeadSize);
    return answer.c_str();
}
