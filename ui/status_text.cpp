// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "status_text.h"

#include <algorithm>

namespace quorvel::ui {

namespace {

QString Count(long Number, const char* One, const char* Many)
{
    return QString::number(Number) + u' ' + QString::fromLatin1(Number == 1 ? One : Many);
}

}  // namespace

QStringList SummaryTexts(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName)
{
    // A range that ends before it starts writes no keys.
    const QString frames = Count(std::max(0L, Report.Frames), "frame", "frames");
    // The warnings themselves are in the tooltip.
    const long warningCount = static_cast<long>(Report.Warnings.size());
    const QString warnings = warningCount > 0 ? ", " + Count(warningCount, "warning", "warnings") : QString();
    if (!SavedTrackpoints) {
        return {QStringLiteral("Converted %1 to %2, camera only").arg(frames, SceneName) + warnings,
                QStringLiteral("Converted %1, camera only").arg(frames) + warnings,
                QStringLiteral("%1, camera only").arg(frames) + warnings};
    }
    const TrackerSummary& trackers = Report.Trackers;
    const QString trackerCount = Count(trackers.Trackers, "tracker", "trackers");
    const QString skipped = (trackers.SkippedCount > 0
                                 ? QStringLiteral(", %1 skipped").arg(Count(trackers.SkippedCount, "line", "lines"))
                                 : QString()) +
                            warnings;
    return {QStringLiteral("Converted %1 and %2 to %3").arg(frames, trackerCount, SceneName) + skipped,
            QStringLiteral("Converted %1 and %2").arg(frames, trackerCount) + skipped,
            QStringLiteral("%1, %2").arg(frames, trackerCount) + skipped};
}

QString FittedSummary(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName,
                      const QFontMetrics& Metrics, int Width)
{
    const QStringList texts = SummaryTexts(Report, SavedTrackpoints, SceneName);
    for (const QString& text : texts)
        if (Metrics.horizontalAdvance(text) <= Width)
            return text;
    return Metrics.elidedText(texts.constLast(), Qt::ElideRight, Width);
}

QString SummaryToolTip(const ConvertReport& Report, bool SavedTrackpoints, const QString& SceneName)
{
    QString tip = SummaryTexts(Report, SavedTrackpoints, SceneName).constFirst();
    for (const std::string& warning : Report.Warnings)
        tip += QStringLiteral("\nWarning: %1").arg(QString::fromStdString(warning));
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

}  // namespace quorvel::ui
