// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Captions that do not fit their control end in an ellipsis instead of being
// cut at its edges: the window caps its scale to fit the screen, and at a
// very large font some captions then no longer fit whole.
#pragma once

#include <QProxyStyle>

class QFontMetrics;

namespace quorvel::ui {

// Text as drawn in Rect with Flags (Qt::AlignmentFlag, Qt::TextFlag): whole
// when it fits, else wrapped text loses its last words and a single line is
// cut, each ending in an ellipsis.
QString FittedCaption(const QFontMetrics& Metrics, const QRect& Rect, int Flags, const QString& Text);

class ElidingStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawItemText(QPainter* Painter, const QRect& Rect, int Flags, const QPalette& Palette, bool Enabled,
                      const QString& Text, QPalette::ColorRole TextRole) const override;
};

}  // namespace quorvel::ui
