#pragma once
// The findings by severity over every stored crawl: one line per severity,
// the crawls' dates along the axis (thinned so they stay readable however
// many crawls there are). Clicking a crawl's point, or choosing it with the
// arrow keys and pressing Enter, asks to compare against it.

#include "Overview.h"

#include <QImage>
#include <QWidget>

namespace vantora::health {

class TrendChart : public QWidget {
    Q_OBJECT
  public:
    explicit TrendChart(QWidget* parent = nullptr);
    void SetPoints(std::vector<TrendPoint> points);
    const std::vector<TrendPoint>& Points() const { return Data; }
    // The chart drawn on an image, for printing and saving.
    QImage Picture(QSize size) const;
    // The point nearest to x along the axis in a chart of that size, or -1.
    int PointAt(int x, QSize size) const;

  signals:
    void PointChosen(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QSize sizeHint() const override { return {480, 240}; }

  private:
    void Draw(QPainter& painter, QSize size, bool focus) const;
    QRect PlotArea(QSize size) const;
    void SetCurrent(int index);

    std::vector<TrendPoint> Data;
    int Current = -1;
};

} // namespace vantora::health
