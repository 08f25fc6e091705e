// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The window's helpers on their own: the dialog's filter list, the status
// line, the error box's text, the scaling of the design, shortened
// captions, the pictures and the busy cursor.
#include "busy_cursor.h"
#include "common_dialog.h"
#include "eliding_style.h"
#include "error_text.h"
#include "layout_scale.h"
#include "pictures.h"
#include "status_text.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QtTest>

#include <stdexcept>

using namespace quorvel::ui;

namespace {

quorvel::ConvertReport Report(long frames, long trackers, long skippedCount, long listed)
{
    quorvel::ConvertReport report;
    report.Frames = frames;
    report.Trackers.Trackers = trackers;
    report.Trackers.SkippedCount = skippedCount;
    for (long i = 0; i < listed; ++i)
        report.Trackers.Skipped.push_back({100 + i, "only 2 of 3 numbers"});
    return report;
}

// A path whose second folder is wider than any line.
constexpr const char* LongFolder = "/a/bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb/c.ma";

QString SkipLines(long first, long count)
{
    QString lines;
    for (long i = 0; i < count; ++i)
        lines += QStringLiteral("\nline %1: only 2 of 3 numbers").arg(first + i);
    return lines;
}

}  // namespace

class UiParts : public QObject {
    Q_OBJECT

private slots:
    void nameFilters_data();
    void nameFilters();
    void summary_data();
    void summary();
    void errorSentence_data();
    void errorSentence();
    void errorLines_data();
    void errorLines();
    void scaledRect_data();
    void scaledRect();
    void alignedEdgesStayAligned();
    void fontScale();
    void fittedCaption_data();
    void fittedCaption();
    void picturesAtAnyRatio();
    void busyCursor();
};

void UiParts::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("input chooser") << ".ma script files|*.ma|All Files|*.*"
                                   << QStringList{".ma script files (*.ma)", "All Files (*)"};
    QTest::newRow("output chooser") << "Syncar Files|*.Syncar" << QStringList{"Syncar Files (*.Syncar *.syncar)"};
    QTest::newRow("several patterns") << "Text|*.txt;*.TXT" << QStringList{"Text (*.txt *.TXT)"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("description without pattern") << "Lonely" << QStringList{};
}

void UiParts::nameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(NameFilters(filter), expected);
}

void UiParts::summary_data()
{
    QTest::addColumn<quorvel::ConvertReport>("report");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("text");     // the status line
    QTest::addColumn<QString>("toolTip");  // its first line names the scene file

    const QString skippedHeader = QStringLiteral("\nTracker lines skipped:");
    QTest::newRow("plain") << Report(120, 37, 0, 0) << true << "Converted 120 frames and 37 trackers"
                           << "Converted 120 frames and 37 trackers to shot.syncar";
    QTest::newRow("one of each") << Report(1, 1, 0, 0) << true << "Converted 1 frame and 1 tracker"
                                 << "Converted 1 frame and 1 tracker to shot.syncar";
    QTest::newRow("camera only") << Report(120, 0, 0, 0) << false << "Converted 120 frames, camera only"
                                 << "Converted 120 frames to shot.syncar, camera only";
    QTest::newRow("range ends before it starts") << Report(-499, 0, 0, 0) << true
                                                 << "Converted 0 frames and 0 trackers"
                                                 << "Converted 0 frames and 0 trackers to shot.syncar";
    const std::string rate = "frame rate 23.976 written as 24 (the scene file holds whole frames per second)";
    quorvel::ConvertReport fractional = Report(2, 0, 0, 0);
    fractional.Warnings = {{quorvel::WarningKind::FrameRate, 7, rate}};
    QTest::newRow("frame rate warning")
        << fractional << true << "Converted 2 frames and 0 trackers\n1 warning"
        << "Converted 2 frames and 0 trackers to shot.syncar\n1 warning\nWarning: " + QString::fromStdString(rate);
    quorvel::ConvertReport everything = Report(5, 3, 1, 1);
    everything.Warnings = {{quorvel::WarningKind::FrameRate, 7, rate}, {quorvel::WarningKind::NoTrackers, 0, "another"}};
    QTest::newRow("warnings and a skipped line, camera only")
        << everything << false << "Converted 5 frames, camera only\n2 warnings"
        << "Converted 5 frames to shot.syncar, camera only\n2 warnings\nWarning: " + QString::fromStdString(rate) +
               "\nWarning: another";
    everything.Warnings.pop_back();
    QTest::newRow("a warning and a skipped line")
        << everything << true << "Converted 5 frames and 3 trackers\n1 line skipped, 1 warning"
        << "Converted 5 frames and 3 trackers to shot.syncar\n1 line skipped, 1 warning\nWarning: " +
               QString::fromStdString(rate) + skippedHeader + SkipLines(100, 1);
    QTest::newRow("one skipped") << Report(5, 3, 1, 1) << true << "Converted 5 frames and 3 trackers\n1 line skipped"
                                 << "Converted 5 frames and 3 trackers to shot.syncar\n1 line skipped" +
                                        skippedHeader + SkipLines(100, 1);
    // The tooltip lists ten lines and counts the rest.
    QTest::newRow("eleven skipped") << Report(9, 4, 11, 11) << true
                                    << "Converted 9 frames and 4 trackers\n11 lines skipped"
                                    << "Converted 9 frames and 4 trackers to shot.syncar\n11 lines skipped" +
                                           skippedHeader + SkipLines(100, 10) + "\nand 1 more";
    QTest::newRow("more skipped than listed")
        << Report(9, 0, 1005, 1000) << true << "Converted 9 frames and 0 trackers\n1005 lines skipped"
        << "Converted 9 frames and 0 trackers to shot.syncar\n1005 lines skipped" + skippedHeader +
               SkipLines(100, 10) + "\nand 995 more";
    // Without trackpoints nothing was skipped, whatever the report holds.
    QTest::newRow("camera only ignores trackers") << Report(2, 7, 3, 3) << false << "Converted 2 frames, camera only"
                                                  << "Converted 2 frames to shot.syncar, camera only";
}

void UiParts::summary()
{
    QFETCH(quorvel::ConvertReport, report);
    QFETCH(bool, saved);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QCOMPARE(SummaryText(report, saved), text);
    QCOMPARE(SummaryToolTip(report, saved, QStringLiteral("shot.syncar")), toolTip);
    // The window makes room for this one: no summary is wider or longer.
    const QFontMetrics metrics(QApplication::font());
    const QRect longest = metrics.boundingRect(QRect(0, 0, 2000, 2000), 0, LongestSummary());
    const QRect shown = metrics.boundingRect(QRect(0, 0, 2000, 2000), 0, text);
    QVERIFY(shown.width() <= longest.width() && shown.height() <= longest.height());
}

void UiParts::errorSentence_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    const QString path = QStringLiteral("/data/shot 0020/track.ma");
    QTest::newRow("starts in lower case") << "the multiplication factor '2x' is not a number"
                                          << "The multiplication factor '2x' is not a number";
    QTest::newRow("after the line") << path + ", line 27: the image width 'w' is not a number"
                                    << path + ", line 27: The image width 'w' is not a number";
    QTest::newRow("after the file") << path + ": the file ends after line 3" << path + ": The file ends after line 3";
    QTest::newRow("starts with a quote") << "'" + path + "' is a folder" << "'" + path + "' is a folder";
    QTest::newRow("already a capital") << "No export file was chosen" << "No export file was chosen";
    QTest::newRow("empty") << "" << "";
}

void UiParts::errorSentence()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QCOMPARE(ErrorSentence(message, {QStringLiteral("/data/shot 0020/track.ma"), QStringLiteral("/out/a.syncar")}),
             expected);
}

void UiParts::errorLines_data()
{
    // Lines at most as wide as "widthOf" in the application's font; "|" marks the breaks.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("widthOf");
    QTest::addColumn<QString>("expected");
    const QString missing = QStringLiteral("/home/artist/shots/shot 0020-a/tracks/gone now.ma");
    const QString sentence = "Cannot open the export file '" + missing + "': No such file or directory";
    QTest::newRow("fits") << sentence << sentence << sentence;
    QTest::newRow("between words") << sentence << "Cannot open the export file '" + missing + "':"
                                   << "Cannot open the export file '" + missing + "':|No such file or directory";
    QTest::newRow("path whole on a line of its own")
        << sentence << "'" + missing + "':"
        << "Cannot open the export file|'" + missing + "':|No such file or directory";
    // Wider than a line: not at the blank or the hyphen inside the path.
    QTest::newRow("path after a separator")
        << "Cannot open the export '" + missing + "'" << "Cannot open the export '/home/artist/shots/"
        << "Cannot open the export '/home/artist/shots/|shot 0020-a/tracks/gone now.ma'";
    QTest::newRow("folder longer than the line") << QString(LongFolder) << "/a/bbbbb" << "/a/|" + QString(LongFolder).mid(3, 31) + "|c.ma";
    QTest::newRow("each line of its own") << "first line\nsecond" << "first line" << "first line|second";
}

void UiParts::errorLines()
{
    QFETCH(QString, text);
    QFETCH(QString, widthOf);
    QFETCH(QString, expected);
    const QFontMetrics metrics(QApplication::font());
    const QStringList paths = {QStringLiteral("/home/artist/shots/shot 0020-a/tracks/gone now.ma"),
                               QString(LongFolder)};
    QCOMPARE(ErrorLines(text, paths, metrics, metrics.horizontalAdvance(widthOf)), expected.split(u'|'));
}

void UiParts::scaledRect_data()
{
    QTest::addColumn<QRect>("design");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("unscaled") << QRect(128, 80, 233, 25) << 1.0 << QRect(128, 80, 233, 25);
    // Edges 128..361 and 80..105 times 1.5: 192..541.5 and 120..157.5.
    QTest::newRow("half again") << QRect(128, 80, 233, 25) << 1.5 << QRect(192, 120, 350, 38);
    // 16..361 times 1.234: 19.744..445.474, 8..73: 9.872..90.082.
    QTest::newRow("odd factor") << QRect(16, 8, 345, 65) << 1.234 << QRect(20, 10, 425, 80);
    QTest::newRow("doubled") << QRect(0, 0, 376, 280) << 2.0 << QRect(0, 0, 752, 560);
}

void UiParts::scaledRect()
{
    QFETCH(QRect, design);
    QFETCH(double, scale);
    QFETCH(QRect, expected);
    QCOMPARE(ScaledRect(design, scale), expected);
}

void UiParts::alignedEdgesStayAligned()
{
    // Text1 and Shape1 both end at 361 design pixels (5415 twips).
    for (int step = 0; step <= 300; ++step) {
        const double scale = 1.0 + step / 100.0;
        QCOMPARE(ScaledRect(QRect(128, 120, 233, 25), scale).right(),
                 ScaledRect(QRect(16, 8, 345, 65), scale).right());
    }
}

void UiParts::fontScale()
{
    QFont tiny = QApplication::font();
    tiny.setPixelSize(4);
    QCOMPARE(FontScale(QFontMetricsF(tiny)), 1.0);
    double previous = 1.0;
    for (int pixelSize : {16, 24, 32, 48}) {
        QFont font = QApplication::font();
        font.setPixelSize(pixelSize);
        const double scale = FontScale(QFontMetricsF(font));
        QVERIFY2(scale > previous, qPrintable(QString::number(pixelSize)));
        // The design font's line is 13 pixels high.
        QVERIFY(scale >= QFontMetricsF(font).height() / 13.0);
        previous = scale;
    }
}

void UiParts::fittedCaption_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<QString>("widthOf");  // the box is as wide as this text...
    QTest::addColumn<int>("spare");        // ...and these pixels
    QTest::addColumn<int>("lines");        // and this many lines high
    QTest::addColumn<QString>("expected"); // "" when cut inside a word
    const QString button = QStringLiteral("Open &Output File");
    const QString label = QStringLiteral("&Multiplication Factor Trackpoints");
    QTest::newRow("fits") << button << false << "Open Output File" << 0 << 1 << button;
    QTest::newRow("one pixel short") << button << false << "Open Output File" << -1 << 1 << "";
    QTest::newRow("wraps whole") << label << true << "Multiplication Factor" << 0 << 2 << label;
    QTest::newRow("last word goes") << label << true << "Multiplication" << 0 << 2
                                    << QStringLiteral("&Multiplication Factor\u2026");
    QTest::newRow("one line left") << label << true << "Multiplication Factor" << 0 << 1
                                   << QStringLiteral("&Multiplication\u2026");
    QTest::newRow("first word too long") << label << true << "Multipli" << 0 << 3 << "";
}

void UiParts::fittedCaption()
{
    QFETCH(QString, text);
    QFETCH(bool, wrap);
    QFETCH(QString, widthOf);
    QFETCH(int, spare);
    QFETCH(int, lines);
    QFETCH(QString, expected);
    const QFontMetrics metrics(QApplication::font());
    // Measured as the styles measure captions: whole pixels, rounded up.
    // Lines after the first are a line spacing apart: the leading between
    // them is not zero in every font.
    const QRect box(0, 0, metrics.size(0, widthOf).width() + spare,
                    metrics.height() + metrics.lineSpacing() * (lines - 1));
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | (wrap ? Qt::TextWordWrap : 0);
    const QString fitted = FittedCaption(metrics, box, flags, text);
    const QRect needed = metrics.boundingRect(box, flags, fitted);
    QVERIFY2(needed.width() <= box.width() && needed.height() <= box.height(), qPrintable(fitted));
    if (!expected.isEmpty()) {
        QCOMPARE(fitted, expected);
    } else {
        // Cut inside the first words, the mnemonic kept.
        QVERIFY2(fitted.endsWith(QChar(0x2026)) && text.startsWith(fitted.chopped(1)), qPrintable(fitted));
        QVERIFY2(fitted.contains(u'&') || !text.startsWith(u'&'), qPrintable(fitted));
    }
}

void UiParts::picturesAtAnyRatio()
{
    // Drawn anew for each density: twice the ratio, twice the pixels each
    // way, with detail that a doubled small drawing would not have.
    for (const QString& source : {ExportPicture, QuorvelPicture, ScenePicture}) {
        const QPixmap one = RenderPicture(source, QSize(32, 32), 1.0);
        const QPixmap two = RenderPicture(source, QSize(32, 32), 2.0);
        QCOMPARE(one.size(), QSize(32, 32));
        QCOMPARE(two.size(), QSize(64, 64));
        QCOMPARE(two.deviceIndependentSize(), QSizeF(32, 32));
        const QImage doubled = one.toImage().scaled(64, 64).convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(two.toImage().convertToFormat(QImage::Format_ARGB32) != doubled, qPrintable(source));
        QVERIFY2(!one.toImage().isNull() && one.toImage().pixel(16, 16) != 0, qPrintable(source));
    }
}

void UiParts::busyCursor()
{
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    {
        const BusyCursor busy;
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    // An error ends the work early; the cursor still comes back.
    try {
        const BusyCursor busy;
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }
}

QTEST_MAIN(UiParts)
#include "ui_parts_test.moc"
