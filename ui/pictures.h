// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The window's pictures and icon, drawn from their SVG sources at whatever
// size and device pixel ratio the screen asks for, so they stay sharp.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace quorvel::ui {

// The resource paths of the drawings, as the window shows them left to right.
inline const QString ExportPicture = QStringLiteral(":/icons/export.svg");
inline const QString QuorvelPicture = QStringLiteral(":/icons/quorvel.svg");
inline const QString ScenePicture = QStringLiteral(":/icons/scene.svg");

// Source drawn to fill Size device-independent pixels at Ratio device pixels each.
QPixmap RenderPicture(const QString& Source, const QSize& Size, qreal Ratio);

// The window icon: the installed icon theme's "quorvel" when there is one,
// else the built-in drawing at every usual icon size.
QIcon WindowIcon();

}  // namespace quorvel::ui
