// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The warnings a conversion gives of the export it read, and the failure
// of a conversion on a warning the caller made fatal.
#pragma once

#include "quorvel/conversion_run.h"
#include "quorvel/line_reader.h"

namespace quorvel {

// The scene holds whole frames per second: a rate such as 23.976 or 29.97
// is written rounded, and the user must know.
void WarnOfRoundedFrameRate(const ConvertState& State, ConvertReport& Report);

// Values the scene file holds as found, though no scene can sensibly use
// them: the user must know, and the bytes written stay as they are.
void WarnOfImpossibleValues(const ConvertState& State, ConvertReport& Report);

// Whether the caller made warnings of Kind fatal.
bool IsFatal(const ConvertOptions& Options, WarningKind Kind);

// The first warning the caller made fatal, in the order they are told:
// skipped tracker lines first.
void FailOnFatalWarning(const ConvertOptions& Options, const LineReader& Reader, const ConvertReport& Report);

}  // namespace quorvel
