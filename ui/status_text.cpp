// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "status_text.h"

#include "quorvel/status_words.h"

namespace quorvel::ui {

QString SummaryText(const ConvertReport& Report, bool SavedTrackpoints)
{
    return QString::fromStdString(status_words::Summary(Report, SavedTrackpoints));
}

QString SummaryToolTip(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName)
{
    std::string tip = status_words::Summary(Report, SavedTrackpoints, SceneName.toStdString());
    for (const std::string& line : status_words::Details(Report, SavedTrackpoints))
        tip.append(1, '\n').append(line);
    return QString::fromStdString(tip);
}

QString LongestSummary()
{
    ConvertReport report;
    report.Frames = 1001;
    report.Trackers.Trackers = 888888;
    report.Trackers.SkippedCount = 888888;
    report.Warnings.resize(8);
    return SummaryText(report, true);
}

}  // namespace quorvel::ui
