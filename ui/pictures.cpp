// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "pictures.h"

#if QUORVEL_SVG
#include <QPainter>
#include <QSvgRenderer>
#else
#include <QImage>
#endif

#include <cmath>

// The drawings live in a static library: their resources are registered by hand.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace quorvel::ui {

QPixmap RenderPicture(const QString& Source, const QSize& Size, qreal Ratio)
{
    static const bool registered = (InitIconResources(), true);
    (void)registered;
    const QSize pixels(static_cast<int>(std::lround(Size.width() * Ratio)),
                       static_cast<int>(std::lround(Size.height() * Ratio)));
#if QUORVEL_SVG
    QPixmap picture(pixels);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(Source);
    QPainter painter(&picture);
    renderer.render(&painter, QRectF(QPointF(0, 0), pixels));
    painter.end();
#else
    // A build without Qt SVG (ui/CMakeLists.txt) has the drawing rendered at
    // 256 pixels: scaled down, it is as sharp as the SVG up to 8 times the
    // 32 pixel design.
    QString render = Source;
    render.replace(QLatin1String(".svg"), QLatin1String(".png"));
    QPixmap picture = QPixmap::fromImage(
        QImage(render).scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
#endif
    picture.setDevicePixelRatio(Ratio);
    return picture;
}

QIcon WindowIcon()
{
    // Drawn beforehand rather than through the SVG icon plugin, which a
    // deployment may lack; the icon scales down from the nearest size.
    QIcon builtIn;
    for (int size : {16, 22, 24, 32, 48, 64, 96, 128, 256})
        builtIn.addPixmap(RenderPicture(QuorvelPicture, QSize(size, size), 1.0));
    return QIcon::fromTheme(QStringLiteral("quorvel"), builtIn);
}

}  // namespace quorvel::ui
