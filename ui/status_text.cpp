// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "status_text.h"

#include <QStringList>

#include <algorithm>

namespace quorvel::ui {

namespace {

QString Count(long Number, const char* One, const char* Many)
{
    return QString::number(Number) + u' ' + QString::fromLatin1(Number == 1 ? One : Many);
}

// The first line, what was converted; " to SceneName" when one is given.
QString Converted(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName)
{
    // A range that ends before it starts writes no keys.
    const QString frames = Count(std::max(0L, Report.Frames), "frame", "frames");
    const QString target = SceneName.isEmpty() ? QString() : " to " + SceneName;
    if (!SavedTrackpoints)
        return QStringLiteral("Converted %1%2, camera only").arg(frames, target);
    return QStringLiteral("Converted %1 and %2%3")
        .arg(frames, Count(Report.Trackers.Trackers, "tracker", "trackers"), target);
}

// The second line: what needs a look, or nothing.
QString Attention(const ConvertReport& Report, bool SavedTrackpoints)
{
    QStringList parts;
    // Without trackpoints nothing was skipped, whatever the report holds.
    if (SavedTrackpoints && Report.Trackers.SkippedCount > 0)
        parts << Count(Report.Trackers.SkippedCount, "line skipped", "lines skipped");
    if (!Report.Warnings.empty())
        parts << Count(static_cast<long>(Report.Warnings.size()), "warning", "warnings");
    return parts.join(QStringLiteral(", "));
}

QString Joined(const QString& First, const QString& Second)
{
    return Second.isEmpty() ? First : First + u'\n' + Second;
}

}  // namespace

QString SummaryText(const ConvertReport& Report, bool SavedTrackpoints)
{
    return Joined(Converted(Report, SavedTrackpoints, {}), Attention(Report, SavedTrackpoints));
}

QString SummaryToolTip(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName)
{
    QString tip = Joined(Converted(Report, SavedTrackpoints, SceneName), Attention(Report, SavedTrackpoints));
    for (const Warning& warning : Report.Warnings)
        tip += QStringLiteral("\nWarning: %1").arg(QString::fromStdString(warning.Message));
    const TrackerSummary& trackers = Report.Trackers;
    if (!SavedTrackpoints || trackers.SkippedCount == 0)
        return tip;
    tip += QStringLiteral("\nTracker lines skipped:");
    long listed = 0;
    for (const SkippedTracker& skipped : trackers.Skipped) {
        if (listed == MaxSkippedInToolTip)
            break;
        tip += QStringLiteral("\nline %1: %2").arg(skipped.LineNumber).arg(QString::fromStdString(skipped.Reason));
        ++listed;
    }
    if (trackers.SkippedCount > listed)
        tip += QStringLiteral("\nand %1 more").arg(trackers.SkippedCount - listed);
    return tip;
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
