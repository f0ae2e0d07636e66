#include "TrendChart.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace vantora::health {

namespace {

const QColor LineColours[3] = {QColor(0xc0, 0x20, 0x20), QColor(0xd0, 0x80, 0x00),
                               QColor(0x20, 0x60, 0xb0)};
const char* const LineNames[3] = {"Errors", "Warnings", "Notices"};

} // namespace

TrendChart::TrendChart(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(160);
    setAccessibleName(QStringLiteral("Findings over the stored crawls"));
}

void TrendChart::SetPoints(std::vector<TrendPoint> points) {
    Data = std::move(points);
    Current = Data.empty() ? -1 : static_cast<int>(Data.size()) - 1;
    SetCurrent(Current);
    update();
}

void TrendChart::SetCurrent(int index) {
    Current = index;
    if (Current < 0 || Current >= static_cast<int>(Data.size())) {
        setAccessibleDescription(QStringLiteral("No crawls stored"));
        return;
    }
    const TrendPoint& point = Data[static_cast<std::size_t>(Current)];
    setAccessibleDescription(QStringLiteral("%1: %2 errors, %3 warnings, %4 notices, score %5")
                                 .arg(QString::fromStdString(point.Crawl.Time))
                                 .arg(point.Counts[0])
                                 .arg(point.Counts[1])
                                 .arg(point.Counts[2])
                                 .arg(point.Score));
    setToolTip(accessibleDescription());
}

QRect TrendChart::PlotArea(QSize size) const {
    const int left = fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 8;
    const int bottom = fontMetrics().height() * 2 + 8;
    return QRect(left, 8, std::max(10, size.width() - left - 12),
                 std::max(10, size.height() - bottom - 8 - fontMetrics().height()));
}

int TrendChart::PointAt(int x, QSize size) const {
    if (Data.empty())
        return -1;
    const QRect plot = PlotArea(size);
    if (Data.size() == 1)
        return 0;
    const double step = double(plot.width()) / double(Data.size() - 1);
    const int index = int(std::lround((x - plot.left()) / step));
    return std::clamp(index, 0, static_cast<int>(Data.size()) - 1);
}

void TrendChart::Draw(QPainter& painter, QSize size, bool focus) const {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const QRect plot = PlotArea(size);
    const QFontMetrics metrics = painter.fontMetrics();
    painter.setPen(Qt::black);
    if (Data.empty()) {
        painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter,
                         QStringLiteral("No crawls stored yet"));
        return;
    }
    std::size_t top = 1;
    for (const TrendPoint& point : Data)
        for (const std::size_t count : point.Counts)
            top = std::max(top, count);
    // A round top for the scale: 1, 2 or 5 times a power of ten.
    const std::size_t scale = [top] {
        for (std::size_t base = 1;; base *= 10)
            for (const std::size_t times : {1, 2, 5})
                if (base * times >= top)
                    return base * times;
    }();
    const auto x = [&](std::size_t i) {
        return Data.size() == 1
                   ? plot.center().x()
                   : plot.left() + int(double(plot.width()) * double(i) / double(Data.size() - 1));
    };
    const auto y = [&](std::size_t value) {
        return plot.bottom() - int(double(plot.height()) * double(value) / double(scale));
    };
    painter.setPen(QColor(0xd0, 0xd0, 0xd0));
    for (int k = 0; k <= 4; ++k) {
        const int at = plot.bottom() - plot.height() * k / 4;
        painter.drawLine(plot.left(), at, plot.right(), at);
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, at - metrics.height() / 2, plot.left() - 4, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(scale * k / 4));
        painter.setPen(QColor(0xd0, 0xd0, 0xd0));
    }
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    // Dates: as many as fit side by side, first and last always.
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("2026-12-09")) + 12;
    const std::size_t fit = std::max<std::size_t>(1, std::size_t(plot.width() / labelWidth));
    const std::vector<std::size_t> labels = AxisLabels(Data.size(), fit);
    // From the latest back, so the newest date is always shown; a label that
    // would touch the one to its right is left out.
    int nextLeft = size.width() + labelWidth;
    for (auto at = labels.rbegin(); at != labels.rend(); ++at) {
        const std::size_t i = *at;
        const QString date = QString::fromStdString(Data[i].Crawl.Time.substr(0, 10));
        const int width = metrics.horizontalAdvance(date);
        const int left = std::clamp(x(i) - width / 2, 0, size.width() - width);
        painter.drawLine(x(i), plot.bottom(), x(i), plot.bottom() + 4);
        if (left + width + 6 > nextLeft)
            continue;
        painter.drawText(left, plot.bottom() + 4 + metrics.ascent(), date);
        nextLeft = left;
    }
    for (int s = 0; s < 3; ++s) {
        QPainterPath path;
        for (std::size_t i = 0; i < Data.size(); ++i) {
            const QPointF at(x(i), y(Data[i].Counts[s]));
            if (i == 0)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        painter.setPen(QPen(LineColours[s], 2));
        painter.drawPath(path);
        if (Data.size() <= 60)
            for (std::size_t i = 0; i < Data.size(); ++i)
                painter.drawEllipse(QPointF(x(i), y(Data[i].Counts[s])), 2.5, 2.5);
    }
    // The legend under the dates.
    int legend = plot.left();
    const int legendY = plot.bottom() + 6 + metrics.height() + metrics.ascent();
    for (int s = 0; s < 3; ++s) {
        painter.setPen(QPen(LineColours[s], 3));
        painter.drawLine(legend, legendY - metrics.ascent() / 2, legend + 16,
                         legendY - metrics.ascent() / 2);
        painter.setPen(Qt::black);
        const QString name = QString::fromLatin1(LineNames[s]);
        painter.drawText(legend + 20, legendY, name);
        legend += 32 + metrics.horizontalAdvance(name);
    }
    if (focus && Current >= 0) {
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawLine(x(std::size_t(Current)), plot.top(), x(std::size_t(Current)),
                         plot.bottom());
    }
}

void TrendChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Draw(painter, size(), hasFocus());
}

QImage TrendChart::Picture(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(font());
    Draw(painter, size, false);
    return image;
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
    const int index = PointAt(int(event->position().x()), size());
    if (index < 0)
        return;
    SetCurrent(index);
    update();
    emit PointChosen(index);
}

void TrendChart::keyPressEvent(QKeyEvent* event) {
    if (Data.empty())
        return QWidget::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Left:
        SetCurrent(std::max(0, Current - 1));
        break;
    case Qt::Key_Right:
        SetCurrent(std::min(static_cast<int>(Data.size()) - 1, Current + 1));
        break;
    case Qt::Key_Home:
        SetCurrent(0);
        break;
    case Qt::Key_End:
        SetCurrent(static_cast<int>(Data.size()) - 1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit PointChosen(Current);
        return;
    default:
        return QWidget::keyPressEvent(event);
    }
    update();
}

} // namespace vantora::health
