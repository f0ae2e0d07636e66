#include "NodeImages.h"

#include <QPainter>
#include <QPainterPath>

namespace vantora {

namespace {

void DrawPage(QPainter& p) {
    // A sheet with a folded corner and three text lines.
    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(11.5, 1.5);
    sheet.lineTo(15.5, 5.5);
    sheet.lineTo(15.5, 16.5);
    sheet.lineTo(3.5, 16.5);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(60, 80, 120), 1));
    p.setBrush(QColor(235, 242, 255));
    p.drawPath(sheet);
    p.setBrush(QColor(190, 205, 235));
    p.drawPolygon(QPolygonF({QPointF(11.5, 1.5), QPointF(11.5, 5.5), QPointF(15.5, 5.5)}));
    p.setPen(QPen(QColor(70, 110, 190), 1));
    for (int y : {8, 11, 14})
        p.drawLine(QPointF(5.5, y + 0.5), QPointF(13.5, y + 0.5));
}

void DrawGlobe(QPainter& p) {
    // A globe with meridians and a small outward arrow: a link off the site.
    p.setPen(QPen(QColor(20, 100, 60), 1));
    p.setBrush(QColor(120, 200, 150));
    p.drawEllipse(QRectF(1.5, 3.5, 12, 12));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(4.5, 3.5, 6, 12));
    p.drawLine(QPointF(1.5, 9.5), QPointF(13.5, 9.5));
    p.setPen(QPen(QColor(0, 70, 170), 2));
    p.drawLine(QPointF(11, 7), QPointF(16, 2));
    p.drawLine(QPointF(12, 2), QPointF(16, 2));
    p.drawLine(QPointF(16, 2), QPointF(16, 6));
}

void DrawEnvelope(QPainter& p) {
    p.setPen(QPen(QColor(140, 90, 0), 1));
    p.setBrush(QColor(255, 220, 120));
    p.drawRect(QRectF(1.5, 4.5, 15, 10));
    p.drawLine(QPointF(1.5, 4.5), QPointF(9, 10.5));
    p.drawLine(QPointF(16.5, 4.5), QPointF(9, 10.5));
}

void DrawBroken(QPainter& p) {
    // Two chain links pulled apart, with a red break between them.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(90, 90, 90), 2));
    p.drawRoundedRect(QRectF(1, 8, 7, 5), 2, 2);
    p.drawRoundedRect(QRectF(10, 5, 7, 5), 2, 2);
    p.setPen(QPen(QColor(210, 20, 20), 2));
    p.drawLine(QPointF(6, 2), QPointF(12, 16));
    p.drawLine(QPointF(12, 2), QPointF(6, 16));
}

void DrawServerError(QPainter& p) {
    // A red warning disc with an exclamation mark.
    p.setPen(QPen(QColor(140, 0, 0), 1));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(1.5, 1.5, 15, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 4, 2, 7));
    p.drawRect(QRectF(8, 12.5, 2, 2));
}

} // namespace

QImage NodeImage(NodeKind kind) {
    QImage image(NodeImageSize, NodeImageSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case NodeKind::Page:
        DrawPage(p);
        break;
    case NodeKind::ExternalLink:
        DrawGlobe(p);
        break;
    case NodeKind::Mail:
        DrawEnvelope(p);
        break;
    case NodeKind::BrokenLink:
        DrawBroken(p);
        break;
    case NodeKind::ServerError:
        DrawServerError(p);
        break;
    }
    return image;
}

} // namespace vantora
