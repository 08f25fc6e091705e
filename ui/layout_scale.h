// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The window is designed in twips for an old 8-point system font. It is
// scaled as a whole, like dialog units, so that today's default font fits
// every caption while every position and proportion stays.
#pragma once

#include <QRect>

class QFontMetricsF;
class QWidget;

namespace quorvel::ui {

// The dialog base unit of the font the design was made for, in pixels.
inline constexpr double DesignCharWidth = 6.0;
inline constexpr double DesignLineHeight = 13.0;

// How much larger Metrics is than the design font; never below 1.
double FontScale(const QFontMetricsF& Metrics);

// Design (pixels at 96 dots per inch) to screen: edges are rounded, not
// sizes, so edges that line up in the design line up on screen.
QRect ScaledRect(const QRect& Design, double Scale);

// Whether Control shows its caption or text whole at Size.
bool CaptionFits(const QWidget& Control, const QSize& Size);

}  // namespace quorvel::ui
