// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the status line says after a conversion.
#pragma once

#include "quorvel/conversion_run.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

namespace quorvel::ui {

// The summary of a finished conversion into the scene file SceneName, from
// the whole sentence ("Converted 120 frames and 37 trackers to shot.syncar")
// to ever shorter forms for a narrow line.
QStringList SummaryTexts(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName);

// The first summary that fits in Width pixels of Metrics, or the shortest one cut.
QString FittedSummary(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName,
                      const QFontMetrics& Metrics, int Width);

// The whole story for the tooltip: the whole sentence, the warnings, then
// the skipped tracker lines with their line numbers.
QString SummaryToolTip(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName);

// Skipped tracker lines listed in the tooltip before "and N more".
inline constexpr int MaxSkippedInToolTip = 10;

inline const QString FailedText = QStringLiteral("Conversion failed");

}  // namespace quorvel::ui
