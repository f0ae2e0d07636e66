#include "LongReportLayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

#include <algorithm>
#include <cmath>

namespace vantora {

namespace {

// Paragraphs that keep their layout beyond those drawn last: enough for a
// few screens, a few hundred kilobytes.
constexpr size_t KeepLaidOut = 2000;

// The height above a paragraph asked for that is laid out with it: more
// than a screen.
constexpr double ScreenAbove = 2500;

// Width of a line that is not wrapped: wider than any text.
constexpr qreal Unbounded = 1e9;

} // namespace

LongReportLayout::LongReportLayout(QTextDocument* document)
    : QAbstractTextDocumentLayout(document) {}

int LongReportLayout::LaidOutCount() const {
    int count = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        if (block.layout() && block.layout()->lineCount() > 0)
            ++count;
    return count;
}

const LongReportLayout::CharMetrics& LongReportLayout::CharsOf(const QTextBlock& block) const {
    const int key = block.charFormatIndex();
    const auto found = CharCache.constFind(key);
    if (found != CharCache.constEnd())
        return *found;
    const QFont font = block.charFormat().font().resolve(document()->defaultFont());
    // The height of a line in that font as a layout makes it, so that an
    // estimate of a one-line paragraph is its height once laid out.
    QTextLayout probe(QStringLiteral("Xg"), font, paintDevice());
    probe.beginLayout();
    QTextLine line = probe.createLine();
    line.setLeadingIncluded(true);
    line.setLineWidth(Unbounded);
    probe.endLayout();
    const QFontMetricsF metrics =
        paintDevice() ? QFontMetricsF(font, paintDevice()) : QFontMetricsF(font);
    return *CharCache.insert(key, {float(line.height()), float(metrics.averageCharWidth())});
}

const LongReportLayout::BlockMetrics& LongReportLayout::BlockOf(const QTextBlock& block) const {
    const int key = block.blockFormatIndex();
    const auto found = BlockCache.constFind(key);
    if (found != BlockCache.constEnd())
        return *found;
    const QTextBlockFormat format = block.blockFormat();
    const qreal indent = document()->indentWidth();
    qreal left = format.leftMargin() + format.indent() * indent;
    const QTextList* list = block.textList();
    if (list)
        left += list->format().indent() * indent;
    return *BlockCache.insert(key,
                              {float(left), float(format.rightMargin()),
                               float(format.topMargin() + format.bottomMargin()), list != nullptr});
}

qreal LongReportLayout::TextWidth(const BlockMetrics& metrics) const {
    if (PageWidth <= 0)
        return -1;
    return std::max<qreal>(1, PageWidth - 2 * document()->documentMargin() - metrics.Left -
                                  metrics.Right);
}

bool LongReportLayout::Wrapping() const {
    return PageWidth > 0 && document()->defaultTextOption().wrapMode() != QTextOption::NoWrap;
}

float LongReportLayout::Estimate(const QTextBlock& block, float& natural) const {
    const CharMetrics& chars = CharsOf(block);
    const BlockMetrics& metrics = BlockOf(block);
    const qreal text = qreal(block.length() - 1) * chars.CharWidth;
    natural = float(text + metrics.Left + metrics.Right);
    const qreal width = TextWidth(metrics);
    const qreal lines = Wrapped ? std::max<qreal>(1, std::ceil(text / width)) : 1;
    return float(lines * chars.LineHeight + metrics.Vertical);
}

void LongReportLayout::Rebuild() {
    const int count = document()->blockCount();
    Heights.assign(size_t(count), 0);
    Exact.assign(size_t(count), 0);
    Widest = 0;
    int number = 0;
    for (QTextBlock block = document()->begin(); block.isValid() && number < count;
         block = block.next(), ++number) {
        float natural = 0;
        Heights[size_t(number)] = block.isVisible() ? Estimate(block, natural) : 0;
        Widest = std::max<double>(Widest, natural);
    }
    BuildSums();
}

void LongReportLayout::BuildSums() {
    // A Fenwick tree built in one pass: each sum passes itself on to the
    // next sum that covers it.
    Sums.assign(Heights.size() + 1, 0);
    for (size_t i = 1; i < Sums.size(); ++i) {
        Sums[i] += Heights[i - 1];
        const size_t up = i + (i & (~i + 1));
        if (up < Sums.size())
            Sums[up] += Sums[i];
    }
    Total = Top(int(Heights.size()));
}

void LongReportLayout::SetHeight(int number, float height) const {
    const double change = double(height) - Heights[size_t(number)];
    if (change == 0)
        return;
    Heights[size_t(number)] = height;
    for (size_t i = size_t(number) + 1; i < Sums.size(); i += i & (~i + 1))
        Sums[i] += change;
    Total += change;
    SizeChanged();
}

double LongReportLayout::Top(int number) const {
    double sum = 0;
    for (size_t i = size_t(number); i > 0; i -= i & (~i + 1))
        sum += Sums[i];
    return sum;
}

int LongReportLayout::NumberAt(double y) const {
    const size_t count = Heights.size();
    if (count == 0)
        return -1;
    size_t step = 1;
    while (step * 2 <= count)
        step *= 2;
    size_t found = 0;
    for (; step > 0; step /= 2)
        if (found + step <= count && Sums[found + step] <= y) {
            found += step;
            y -= Sums[found];
        }
    return int(std::min(found, count - 1));
}

void LongReportLayout::SizeChanged() const {
    auto* self = const_cast<LongReportLayout*>(this);
    // Told at once, so that a view scrolling to a paragraph just laid out
    // has the size it needs; told later while drawing, not to change the
    // view's scroll range while it paints.
    if (!Drawing) {
        emit self->documentSizeChanged(documentSize());
        return;
    }
    if (SizePending)
        return;
    SizePending = true;
    QMetaObject::invokeMethod(
        self,
        [self] {
            self->SizePending = false;
            emit self->documentSizeChanged(self->documentSize());
            emit self->update();
        },
        Qt::QueuedConnection);
}

QTextLayout* LongReportLayout::Ensure(const QTextBlock& block, int number) const {
    QTextLayout* layout = block.layout();
    if (Exact[size_t(number)] && layout->lineCount() > 0)
        return layout;
    const QTextBlockFormat format = block.blockFormat();
    const BlockMetrics& metrics = BlockOf(block);
    QTextOption option = document()->defaultTextOption();
    option.setAlignment(format.alignment());
    option.setTextDirection(format.layoutDirection());
    const qreal width = TextWidth(metrics);
    if (!Wrapped)
        option.setWrapMode(QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->beginLayout();
    qreal y = format.topMargin();
    qreal natural = 0;
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLeadingIncluded(true);
        if (Wrapped) {
            line.setLineWidth(width);
        } else {
            // Unwrapped lines are aligned within the page, or their own
            // width if wider.
            line.setLineWidth(Unbounded);
            line.setLineWidth(std::max(width, line.naturalTextWidth()));
        }
        line.setPosition(QPointF(metrics.Left, y));
        y += line.height();
        natural = std::max(natural, line.naturalTextWidth());
    }
    layout->endLayout();
    Exact[size_t(number)] = 1;
    const double wide = natural + metrics.Left + metrics.Right;
    if (wide > Widest) {
        Widest = wide;
        if (!Wrapped)
            SizeChanged();
    }
    SetHeight(number, block.isVisible() ? float(y + format.bottomMargin()) : 0);
    LaidOut.push_back(number);
    return layout;
}

void LongReportLayout::documentChanged(int from, int charsRemoved, int charsAdded) {
    Q_UNUSED(charsRemoved);
    // A list's or a paragraph's format may have changed under its index.
    BlockCache.clear();
    const qreal width = document()->pageSize().width();
    const int count = document()->blockCount();
    const int before = int(Heights.size());
    QTextBlock first = document()->findBlock(from);
    QTextBlock last = document()->findBlock(from + charsAdded);
    if (!first.isValid())
        first = document()->lastBlock();
    if (!last.isValid())
        last = document()->lastBlock();
    const int firstNumber = first.blockNumber();
    const int lastNumber = last.blockNumber();
    const int added = count - before;
    // The paragraphs [firstNumber, lastNumber - added] before the change are
    // [firstNumber, lastNumber] after it.
    if (width != PageWidth || Wrapping() != Wrapped || before == 0 ||
        lastNumber - added < firstNumber - 1 || lastNumber - added >= before) {
        PageWidth = width;
        Wrapped = Wrapping();
        Rebuild();
    } else {
        if (added != 0) {
            const auto at = [firstNumber](auto& list) { return list.begin() + firstNumber; };
            const int kept = lastNumber - added - firstNumber + 1;
            Heights.erase(at(Heights), at(Heights) + kept);
            Exact.erase(at(Exact), at(Exact) + kept);
            const int made = lastNumber - firstNumber + 1;
            Heights.insert(at(Heights), size_t(made), 0.0F);
            Exact.insert(at(Exact), size_t(made), std::uint8_t(0));
        }
        QTextBlock block = first;
        for (int number = firstNumber; number <= lastNumber && block.isValid();
             ++number, block = block.next()) {
            float natural = 0;
            const float height = block.isVisible() ? Estimate(block, natural) : 0;
            Widest = std::max<double>(Widest, natural);
            Exact[size_t(number)] = 0;
            if (added == 0)
                SetHeight(number, height);
            else
                Heights[size_t(number)] = height;
        }
        if (added != 0)
            BuildSums();
    }
    emit documentSizeChanged(documentSize());
    emit update();
}

QSizeF LongReportLayout::documentSize() const {
    const qreal margin = document()->documentMargin();
    const qreal width = Wrapped ? PageWidth : std::max<qreal>(PageWidth, Widest + 2 * margin);
    return {width, Total + 2 * margin};
}

QRectF LongReportLayout::frameBoundingRect(QTextFrame*) const {
    return {QPointF(0, 0), documentSize()};
}

QRectF LongReportLayout::blockBoundingRect(const QTextBlock& block) const {
    if (!block.isValid())
        return {};
    const int number = block.blockNumber();
    if (number < 0 || size_t(number) >= Heights.size())
        return {};
    Ensure(block, number);
    // The paragraphs a screen above are laid out too: a view that scrolls to
    // this one draws them, and their heights, no longer estimates, would
    // otherwise move it once drawn.
    double above = 0;
    QTextBlock before = block.previous();
    for (int n = number - 1; n >= 0 && above < ScreenAbove && before.isValid();
         --n, before = before.previous()) {
        Ensure(before, n);
        above += Heights[size_t(n)];
    }
    const qreal margin = document()->documentMargin();
    const qreal width = documentSize().width() - 2 * margin;
    return {margin, margin + Top(number), width, Heights[size_t(number)]};
}

int LongReportLayout::hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const {
    const qreal margin = document()->documentMargin();
    const int number = NumberAt(point.y() - margin);
    if (number < 0)
        return -1;
    const QTextBlock block = document()->findBlockByNumber(number);
    if (!block.isValid())
        return -1;
    const QTextLayout* layout = Ensure(block, number);
    const QPointF at = point - QPointF(margin, margin + Top(number));
    if (layout->lineCount() == 0)
        return accuracy == Qt::ExactHit ? -1 : block.position();
    int index = 0;
    while (index + 1 < layout->lineCount() && at.y() >= layout->lineAt(index + 1).y())
        ++index;
    const QTextLine line = layout->lineAt(index);
    if (accuracy == Qt::ExactHit &&
        (at.y() < line.y() || at.y() > line.y() + line.height() || at.x() < line.x() ||
         at.x() > line.x() + line.naturalTextWidth()))
        return -1;
    return block.position() + line.xToCursor(at.x());
}

void LongReportLayout::draw(QPainter* painter, const PaintContext& context) {
    const qreal margin = document()->documentMargin();
    const QRectF clip =
        context.clip.isValid() ? context.clip : QRectF(QPointF(0, 0), documentSize());
    int number = NumberAt(clip.top() - margin);
    if (number < 0)
        return;
    QTextBlock block = document()->findBlockByNumber(number);
    const int firstDrawn = number;
    Drawing = true;
    painter->save();
    painter->setPen(context.palette.color(QPalette::Text));
    for (; block.isValid() && size_t(number) < Heights.size(); block = block.next(), ++number) {
        QTextLayout* layout = Ensure(block, number);
        const qreal top = margin + Top(number);
        if (top > clip.bottom())
            break;
        if (!block.isVisible())
            continue;
        const int start = block.position();
        const int length = block.length();
        QList<QTextLayout::FormatRange> selections;
        for (const Selection& selection : context.selections) {
            const int from = selection.cursor.selectionStart() - start;
            const int to = selection.cursor.selectionEnd() - start;
            if (from < length && to > 0 && to > from)
                selections.append({std::max(from, 0), std::min(to, length) - std::max(from, 0),
                                   selection.format});
        }
        const QPointF offset(margin, top);
        const BlockMetrics& metrics = BlockOf(block);
        if (metrics.Bullet && layout->lineCount() > 0) {
            const QTextLine line = layout->lineAt(0);
            const QFontMetricsF font(block.charFormat().font().resolve(document()->defaultFont()));
            const qreal size = std::max<qreal>(3, font.height() / 3);
            const QPointF centre =
                offset + QPointF(metrics.Left - font.horizontalAdvance(QLatin1Char(' ')) - size / 2,
                                 line.y() + line.ascent() - font.xHeight() / 2);
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setBrush(context.palette.color(QPalette::Text));
            painter->setPen(Qt::NoPen);
            painter->drawEllipse(centre, size / 2, size / 2);
            painter->restore();
        }
        layout->draw(painter, offset, selections, clip);
        const int cursor = context.cursorPosition;
        if (cursor >= start && cursor < start + length)
            layout->drawCursor(painter, offset, cursor - start,
                               property("cursorWidth").isValid() ? property("cursorWidth").toInt()
                                                                 : 1);
    }
    painter->restore();
    Drawing = false;
    // Layouts beyond the few screens drawn last are given up, oldest first,
    // never one of those just drawn.
    for (size_t turns = LaidOut.size(); LaidOut.size() > KeepLaidOut && turns > 0; --turns) {
        const int old = LaidOut.front();
        LaidOut.pop_front();
        if (old >= firstDrawn && old <= number) {
            LaidOut.push_back(old);
            continue;
        }
        QTextBlock gone = document()->findBlockByNumber(old);
        if (gone.isValid())
            gone.clearLayout();
    }
}

} // namespace vantora
