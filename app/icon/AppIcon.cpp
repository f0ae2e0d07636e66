#include "AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace vantora {

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Everything is drawn on a 64-unit square so the shapes keep their
    // proportions at every size.
    p.scale(size / 64.0, size / 64.0);

    // The tile.
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(38, 110, 200));
    tile.setColorAt(1, QColor(16, 52, 120));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // The globe: a shaded disc with two meridians and three parallels. Small
    // sizes get thicker lines so the globe still reads at 16 pixels.
    const qreal line = size <= 24 ? 3.2 : 2.2;
    const QRectF globe(9, 8, 36, 36);
    QRadialGradient sea(QPointF(21, 18), 34);
    sea.setColorAt(0, QColor(150, 220, 255));
    sea.setColorAt(1, QColor(40, 150, 215));
    p.setBrush(sea);
    p.setPen(QPen(QColor(235, 248, 255), line));
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(235, 248, 255), line * 0.7));
    p.drawEllipse(QRectF(19, 8, 16, 36));
    p.drawLine(QPointF(27, 8), QPointF(27, 44));
    p.drawLine(QPointF(9, 26), QPointF(45, 26));
    if (size > 24) {
        p.drawLine(QPointF(12.5, 17), QPointF(41.5, 17));
        p.drawLine(QPointF(12.5, 35), QPointF(41.5, 35));
    }

    // The magnifying glass over the lower right of the globe.
    p.setPen(QPen(QColor(60, 40, 10), line * 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(47, 47), QPointF(57, 57));
    p.setPen(QPen(QColor(255, 176, 32), line * 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(47, 47), QPointF(56, 56));
    p.setPen(QPen(QColor(255, 196, 64), line * 1.4));
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawEllipse(QRectF(30, 30, 20, 20));
    p.end();
    return image;
}

} // namespace vantora
