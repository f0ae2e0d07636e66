#pragma once
// A document layout for reports of many thousands of paragraphs: it lays out
// only the paragraphs that are drawn, hit or asked for, and gives every other
// one the height its font and length make likely, so that a report of
// millions of lines opens at once and holds little besides its text. Qt's own
// layout lays out every paragraph and keeps its lines, several hundred bytes
// each.
//
// Paragraphs keep their fonts, alignment, margins, indents and list bullets;
// tables and images pasted into such a report are laid out as plain
// paragraphs.
#include <QAbstractTextDocumentLayout>
#include <QHash>

#include <cstdint>
#include <deque>
#include <vector>

class QTextDocument;

namespace vantora {

class LongReportLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT
  public:
    explicit LongReportLayout(QTextDocument* document);

    void draw(QPainter* painter, const PaintContext& context) override;
    int hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame* frame) const override;
    QRectF blockBoundingRect(const QTextBlock& block) const override;

    // How many paragraphs hold a layout of their own at the moment.
    int LaidOutCount() const;

  protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

  private:
    // What a paragraph's format gives its likely height and width.
    struct CharMetrics {
        float LineHeight;
        float CharWidth;
    };
    struct BlockMetrics {
        float Left;     // margin, indent and list indent before the text
        float Right;    // right margin
        float Vertical; // top and bottom margins
        bool Bullet;
    };
    const CharMetrics& CharsOf(const QTextBlock& block) const;
    const BlockMetrics& BlockOf(const QTextBlock& block) const;
    // The text width of a paragraph: the page less the margins, or -1 when
    // the page has no width.
    qreal TextWidth(const BlockMetrics& metrics) const;
    // Whether lines wrap at the page's width: the page has a width and the
    // text options do not forbid it.
    bool Wrapping() const;
    float Estimate(const QTextBlock& block, float& natural) const;
    void Rebuild();
    void BuildSums();
    // Lays out the paragraph numbered number if it has no layout yet, and
    // keeps its height; a paragraph laid out long ago gives its layout up.
    QTextLayout* Ensure(const QTextBlock& block, int number) const;
    void SetHeight(int number, float height) const;
    double Top(int number) const; // below the document margin
    int NumberAt(double y) const;
    void SizeChanged() const;

    // The heights a paragraph, and the sums of a Fenwick tree over them, so
    // that the top of a paragraph and the paragraph at a height take a few
    // steps among millions.
    mutable std::vector<float> Heights;
    mutable std::vector<double> Sums;
    mutable std::vector<std::uint8_t> Exact;
    mutable double Total = 0;
    mutable double Widest = 0;
    // The paragraphs laid out, oldest first; beyond a screenful many, the
    // oldest gives its layout up.
    mutable std::deque<int> LaidOut;
    mutable QHash<int, CharMetrics> CharCache;
    mutable QHash<int, BlockMetrics> BlockCache;
    mutable bool SizePending = false;
    bool Drawing = false;
    qreal PageWidth = -1;
    bool Wrapped = false;
};

} // namespace vantora
