// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// How the error box words and breaks a failed conversion's message.
#pragma once

#include <QString>
#include <QStringList>

class QFontMetrics;

namespace quorvel::ui {

// Message as a sentence that starts with a capital, as the page words it
// (status_words::ErrorSentence).
QString ErrorSentence(const QString& Message, const QStringList& Paths);

// Text broken into lines of at most Width pixels of Metrics: between words;
// any of Paths is kept whole on a line when it fits one, and else broken only
// after a folder separator, so that no name is split. A word or name longer
// than Width keeps a line of its own.
QStringList ErrorLines(const QString& Text, const QStringList& Paths, const QFontMetrics& Metrics, int Width);

}  // namespace quorvel::ui
