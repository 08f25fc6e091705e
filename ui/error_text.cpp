// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "error_text.h"

#include "quorvel/status_words.h"

#include <QFontMetrics>

#include <vector>

namespace quorvel::ui {

namespace {

bool IsSeparator(QChar Char) { return Char == u'/' || Char == u'\\'; }

// Where Text may break, character by character: after a blank outside the
// paths; inside a path that fits on a line not at all, inside a longer one
// after a separator.
std::vector<bool> BreakAfter(const QString& Text, const QStringList& Paths, const QFontMetrics& Metrics, int Width)
{
    std::vector<bool> breakAfter(static_cast<size_t>(Text.size()));
    for (qsizetype i = 0; i < Text.size(); ++i)
        breakAfter[static_cast<size_t>(i)] = Text[i] == u' ';
    for (const QString& path : Paths) {
        if (path.isEmpty())
            continue;
        const bool whole = Metrics.horizontalAdvance(path) <= Width;
        for (qsizetype at = Text.indexOf(path); at >= 0; at = Text.indexOf(path, at + path.size()))
            for (qsizetype i = at; i < at + path.size(); ++i)
                breakAfter[static_cast<size_t>(i)] = !whole && IsSeparator(Text[i]);
    }
    return breakAfter;
}

// Text cut into the pieces that no line break may split.
QStringList Pieces(const QString& Text, const QStringList& Paths, const QFontMetrics& Metrics, int Width)
{
    const std::vector<bool> breakAfter = BreakAfter(Text, Paths, Metrics, Width);
    QStringList pieces;
    QString piece;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        piece += Text[i];
        if (breakAfter[static_cast<size_t>(i)]) {
            pieces << piece;
            piece.clear();
        }
    }
    if (!piece.isEmpty())
        pieces << piece;
    return pieces;
}

}  // namespace

QString ErrorSentence(const QString& Message, const QStringList& Paths)
{
    std::vector<std::string> paths;
    for (const QString& path : Paths)
        paths.push_back(path.toStdString());
    return QString::fromStdString(status_words::ErrorSentence(Message.toStdString(), paths));
}

QStringList ErrorLines(const QString& Text, const QStringList& Paths, const QFontMetrics& Metrics, int Width)
{
    QStringList lines;
    for (const QString& paragraph : Text.split(u'\n')) {
        QString line;
        for (const QString& piece : Pieces(paragraph, Paths, Metrics, Width)) {
            // A blank at the end of a line takes no room.
            if (!line.isEmpty() && Metrics.horizontalAdvance((line + piece).trimmed()) > Width) {
                lines << line.trimmed();
                line.clear();
            }
            line += piece;
        }
        lines << line.trimmed();
    }
    return lines;
}

}  // namespace quorvel::ui
