// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What a conversion tells the user besides its result: each warning has a
// kind that scripts can name (to silence it or make it fatal), the export
// line it is about and its message.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The names are stable: reports and command lines use them.
enum class WarningKind {
    FrameRate,           // "frame-rate": a rate the scene cannot hold exactly
    SkippedTrackerLine,  // "skipped-tracker-line": a malformed tracker line left out
    ImpossibleValue,     // "impossible-value": a value no scene can sensibly use
    NoTrackers,          // "no-trackers": trackpoints saved, but none found
    HardLink,            // "hard-link": the replaced scene's other names keep the old one
    KeyTimes,            // "key-times": key times that differ from the frames they are given to
};

struct Warning {
    WarningKind Kind = WarningKind::FrameRate;
    long Line = 0;  // the export line it is about, from 1; 0 for none
    std::string Message;
};

// "frame-rate" and so on.
std::string_view WarningKindName(WarningKind Kind);

// The kind of that name; none for a name that is no kind.
std::optional<WarningKind> WarningKindNamed(std::string_view Name);

// Every kind, in the order of their names below.
std::vector<WarningKind> WarningKinds();

// Every kind's name, comma-separated, for messages and help.
std::string WarningKindNames();

}  // namespace quorvel
