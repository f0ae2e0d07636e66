#include "splash.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QScreen>
#include <QtMath>

namespace vantora {

QPixmap DrawSplashPicture(bool loading) {
    QPixmap pixmap(395, 275);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 275);
    sky.setColorAt(0, QColor(12, 38, 84));
    sky.setColorAt(1, QColor(40, 110, 170));
    p.fillRect(pixmap.rect(), sky);

    // A magnifier over a small site tree: what the program does.
    p.setPen(QPen(QColor(220, 235, 255), 3));
    const QPoint root(90, 70);
    const QPoint kids[] = {{50, 140}, {90, 140}, {130, 140}};
    for (const QPoint& k : kids)
        p.drawLine(root, k);
    p.drawLine(kids[1], QPoint(70, 200));
    p.drawLine(kids[1], QPoint(110, 200));
    p.setBrush(QColor(255, 210, 80));
    p.drawEllipse(root, 12, 12);
    for (const QPoint& k : kids)
        p.drawEllipse(k, 9, 9);
    p.drawEllipse(QPoint(70, 200), 7, 7);
    p.drawEllipse(QPoint(110, 200), 7, 7);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 220), 6));
    p.drawEllipse(QPoint(118, 150), 44, 44);
    p.drawLine(QPoint(150, 182), QPoint(182, 214));

    p.setPen(Qt::white);
    QFont title(QStringLiteral("Sans Serif"), 30, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(190, 70, 200, 50), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Vantora"));
    QFont sub(QStringLiteral("Sans Serif"), 10);
    p.setFont(sub);
    p.drawText(QRect(192, 120, 200, 60), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Get your web site found."));
    if (loading) {
        p.setPen(QColor(200, 215, 235));
        p.drawText(QRect(192, 230, 195, 30), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Loading..."));
    }
    p.setPen(QPen(QColor(255, 255, 255, 120), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return pixmap;
}

QPixmap DrawAnimationFrame(int frame) {
    frame = ((frame % 16) + 16) % 16;
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient sea(QPointF(12, 11), 18);
    sea.setColorAt(0, QColor(120, 190, 255));
    sea.setColorAt(1, QColor(20, 80, 170));
    p.setBrush(sea);
    p.setPen(QPen(QColor(10, 40, 90), 1));
    const QRectF globe(2, 2, 28, 28);
    p.drawEllipse(globe);
    // Meridians: ellipses whose width follows the turning phase.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(230, 245, 255), 1.2));
    for (int m = 0; m < 3; ++m) {
        const double phase = (frame + m * 16.0 / 3.0) / 16.0 * 2.0 * M_PI;
        const double w = 14.0 * qAbs(qCos(phase));
        p.drawEllipse(QRectF(16 - w, 2, 2 * w, 28));
    }
    p.drawLine(QPointF(2, 16), QPointF(30, 16));
    p.drawLine(QPointF(5, 9), QPointF(27, 9));
    p.drawLine(QPointF(5, 23), QPointF(27, 23));
    // A spark that travels round the rim, so even still frames differ.
    const double a = frame / 16.0 * 2.0 * M_PI;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 215, 60));
    p.drawEllipse(QPointF(16 + 13 * qSin(a), 16 - 13 * qCos(a)), 2.6, 2.6);
    return pixmap;
}

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      Picture(DrawSplashPicture()) {
    setObjectName(QStringLiteral("Splash"));
    setFixedSize(395, 275);
}

void SplashScreen::ShowCentred() {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    setCursor(Qt::WaitCursor);
    show();
    raise();
}

void SplashScreen::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, Picture);
}

} // namespace vantora
