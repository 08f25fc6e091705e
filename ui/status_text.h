// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the status line says after a conversion, worded by the engine's
// status_words as the page words it.
#pragma once

#include "quorvel/conversion_run.h"
#include "quorvel/status_words.h"

#include <QString>

namespace quorvel::ui {

// The summary of a finished conversion, one wording per outcome: what was
// converted ("Converted 120 frames and 37 trackers"), then, on a second line
// when there is any, what needs a look ("2 lines skipped, 1 warning").
QString SummaryText(const ConvertReport& Report, bool SavedTrackpoints);

// The whole story for the tooltip: the summary naming the scene file
// SceneName, the warnings, then the skipped tracker lines with their line
// numbers.
QString SummaryToolTip(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName);

// The widest summary a conversion can give, that the window makes room for:
// the most frames a scene holds and six-figure counts.
QString LongestSummary();

inline const QString FailedText =
    QString::fromUtf8(status_words::Failed.data(), static_cast<qsizetype>(status_words::Failed.size()));

}  // namespace quorvel::ui
