// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the window's status line and the page say after a conversion, in
// one wording for both.
#pragma once

#include "quorvel/conversion_run.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::status_words {

// The summary of a finished conversion, one wording per outcome: what was
// converted ("Converted 120 frames and 37 trackers", naming SceneName when
// one is given), then, on a second line when there is any, what needs a
// look ("2 lines skipped, 1 warning").
std::string Summary(const ConvertReport& Report, bool SavedTrackpoints, std::string_view SceneName = {});

// The whole story behind the summary, a line each: the warnings, then the
// skipped tracker lines with their line numbers, the first MaxSkippedListed
// of them, and how many more.
std::vector<std::string> Details(const ConvertReport& Report, bool SavedTrackpoints);
inline constexpr std::size_t MaxSkippedListed = 10;

// What the status line says when a conversion fails.
inline constexpr std::string_view Failed = "Conversion failed";

// Message as a sentence that starts with a capital: after the location
// ("PATH, line 27: ") when it starts with one of Paths, else at its start.
// The engine's messages start in lower case, as command-line messages do.
std::string ErrorSentence(std::string_view Message, const std::vector<std::string>& Paths);

}  // namespace quorvel::status_words
