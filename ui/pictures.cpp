#include "pictures.h"

#include <QPainter>
#include <QSvgRenderer>

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
    QPixmap picture(pixels);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(Source);
    QPainter painter(&picture);
    renderer.render(&painter, QRectF(QPointF(0, 0), pixels));
    painter.end();
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
