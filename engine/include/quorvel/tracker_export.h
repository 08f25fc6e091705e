// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Writes one tracker block per tracked point found after the frame rate.
#pragma once

#include "quorvel/convert_state.h"
#include "quorvel/line_reader.h"
#include "quorvel/scene_writer.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

inline constexpr std::string_view TrackerMarker = "setAttr \".t\" -type \"double3";

// Why a tracker line without the ';' that ends its statement is skipped.
inline constexpr std::string_view TrackerLineCutShort =
    "the line ends before its closing ';': the export may be cut short";

// A tracker line that could not be exported, and why.
struct SkippedTracker {
    long LineNumber = 0;
    std::string Reason;
};

struct TrackerSummary {
    long Trackers = 0;      // blocks written, numbered 1 to Trackers
    long SkippedCount = 0;  // malformed tracker lines left out
    // The first MaxSkippedListed of them; the count goes on past that.
    std::vector<SkippedTracker> Skipped;
    static constexpr std::size_t MaxSkippedListed = 1000;
};

// How the tracker lines are shared out: with more than one thread, the
// lines are cut into chunks of about ChunkBytes, each read and written on a
// thread of its own, and their blocks put into the scene in file order.
struct TrackerThreads {
    int Count = 1;
    std::size_t ChunkBytes = 1u << 18;
};

// Reads the rest of the export from CurrentLine on (the frame-rate line is
// tested first) and writes a block for every well-formed tracker line, its
// position scaled by Factor as (-Factor*x, Factor*z, Factor*y); then writes
// the closing lines. A malformed line is skipped whole and listed. The
// scene and the summary are the same whatever Threads says.
TrackerSummary SaveTrackers(ConvertState& State, LineReader& Reader, SceneWriter& Writer,
                            double Factor, const TrackerThreads& Threads = {});

}  // namespace quorvel
