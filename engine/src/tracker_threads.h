// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The tracker section's work on one line, shared by the single-threaded
// loop and the chunks handed to threads.
#pragma once

#include "quorvel/line_reader.h"
#include "quorvel/scene_writer.h"
#include "quorvel/tracker_export.h"

#include <array>
#include <string>
#include <string_view>

namespace quorvel {

enum class TrackerLine { Other, Block, Skipped };

// Whether Line is a tracker line; for one that can be exported its position
// scaled by Factor, in the order the scene writes it; for one that cannot,
// why (Reason).
TrackerLine ExamineTrackerLine(std::string_view Line, double Factor, std::array<double, 3>& Scaled,
                               std::string& Reason);

// The same for a line known to hold TrackerMarker: Rest is what follows its
// first one.
TrackerLine ExamineTrackerNumbers(std::string_view Rest, double Factor, std::array<double, 3>& Scaled,
                                  std::string& Reason);

// Room for one tracker block.
inline constexpr std::size_t TrackerBlockMax = 64 + 24 + 3 * (PrintFormMax + 1);

// Tracker block Number, all but the line end of its last line, at Out;
// returns the end of what was written.
char* WriteTrackerBlock(char* Out, long Number, const std::array<double, 3>& Scaled);

// The lines after the one Reader read last, on Threads.Count threads, their
// blocks and skipped lines added to the scene and Summary as the one-thread
// loop adds them. An error (the reader's, the writer's, or one on a thread)
// is raised on this thread once the chunks before it are written, and ends
// the other threads.
void ExportLinesOnThreads(LineReader& Reader, SceneWriter& Writer, double Factor,
                          const TrackerThreads& Threads, TrackerSummary& Summary);

}  // namespace quorvel
