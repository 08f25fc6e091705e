// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "eliding_style.h"

#include <QFontMetrics>
#include <QPainter>

namespace quorvel::ui {

QString FittedCaption(const QFontMetrics& Metrics, const QRect& Rect, int Flags, const QString& Text)
{
    const auto fits = [&](const QString& candidate) {
        const QRect needed = Metrics.boundingRect(Rect, Flags, candidate);
        return needed.width() <= Rect.width() && needed.height() <= Rect.height();
    };
    if (Text.isEmpty() || fits(Text))
        return Text;
    const QChar ellipsis(0x2026);
    if (Flags & Qt::TextWordWrap) {
        QStringList words = Text.split(u' ', Qt::SkipEmptyParts);
        while (words.size() > 1) {
            words.removeLast();
            const QString shorter = words.join(u' ') + ellipsis;
            if (fits(shorter))
                return shorter;
        }
    }
    // The cut measures fractional widths, the fit whole pixels: narrow it
    // until it fits (a pixel or two).
    QString cut;
    for (int width = Rect.width(); width > 0; --width) {
        cut = Metrics.elidedText(Text, Qt::ElideRight, width, Flags & Qt::TextShowMnemonic);
        if (fits(cut))
            break;
    }
    return cut;
}

void ElidingStyle::drawItemText(QPainter* Painter, const QRect& Rect, int Flags, const QPalette& Palette,
                                bool Enabled, const QString& Text, QPalette::ColorRole TextRole) const
{
    QProxyStyle::drawItemText(Painter, Rect, Flags, Palette, Enabled,
                              FittedCaption(Painter->fontMetrics(), Rect, Flags, Text), TextRole);
}

}  // namespace quorvel::ui
