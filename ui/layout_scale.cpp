// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "layout_scale.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace quorvel::ui {

double FontScale(const QFontMetricsF& Metrics)
{
    // Dialog units measure the average of the 52 letters.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double charWidth = Metrics.horizontalAdvance(letters) / letters.size();
    return std::max({1.0, charWidth / DesignCharWidth, Metrics.height() / DesignLineHeight});
}

QRect ScaledRect(const QRect& Design, double Scale)
{
    const auto edge = [Scale](int value) { return static_cast<int>(std::lround(value * Scale)); };
    const int left = edge(Design.x());
    const int top = edge(Design.y());
    return {left, top, edge(Design.x() + Design.width()) - left,
            edge(Design.y() + Design.height()) - top};
}

bool CaptionFits(const QWidget& Control, const QSize& Size)
{
    if (qobject_cast<const QAbstractButton*>(&Control)) {
        const QSize hint = Control.sizeHint();
        return hint.width() <= Size.width() && hint.height() <= Size.height();
    }
    if (qobject_cast<const QLineEdit*>(&Control))
        return Control.minimumSizeHint().height() <= Size.height();
    if (const auto* label = qobject_cast<const QLabel*>(&Control)) {
        if (!label->pixmap().isNull()) {
            const QSize picture = label->pixmap().deviceIndependentSize().toSize();
            return picture.width() <= Size.width() && picture.height() <= Size.height();
        }
        const QFontMetrics metrics = label->fontMetrics();
        // With a buddy, "&" marks the mnemonic and is not shown.
        QString text = label->text();
        if (label->buddy())
            text.remove(u'&');
        if (!label->wordWrap() || text.isEmpty())
            return metrics.horizontalAdvance(text) <= Size.width() && metrics.height() <= Size.height();
        // Wrapped text must fit in height, and no single word may stick out.
        for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+"))))
            if (metrics.horizontalAdvance(word) > Size.width())
                return false;
        return label->heightForWidth(Size.width()) <= Size.height();
    }
    return true;
}

}  // namespace quorvel::ui
