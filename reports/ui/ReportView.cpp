#include "ReportView.h"

#include "DocumentSink.h"

#include <QAbstractTextDocumentLayout>
#include <QTimer>

namespace vantora {

namespace {

// Stands in for the document's layout while a large batch of lines ends:
// it lays out nothing.
class NoLayout : public QAbstractTextDocumentLayout {
  public:
    using QAbstractTextDocumentLayout::QAbstractTextDocumentLayout;
    void draw(QPainter*, const PaintContext&) override {}
    int hitTest(const QPointF&, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {}; }
    QRectF frameBoundingRect(QTextFrame*) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock&) const override { return {}; }

  protected:
    void documentChanged(int, int, int) override {}
};

// A batch of more paragraphs than this is laid out afresh rather than as a
// change: Qt lays out a change at once, all of it, while a fresh layout
// does what the view shows first and the rest a step at a time, the window
// going on meanwhile.
constexpr int LargeBatch = 20000;

} // namespace

ReportView::ReportView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(true);
}

void ReportView::ClearReport() {
    EndBatch();
    clear();
}

void ReportView::SetFormat(const ReportFormat& format) {
    Current = format;
}

void ReportView::AppendLine(const QString& text) {
    if (!Batching) {
        Batching = true;
        Batch = QTextCursor(document());
        Batch.beginEditBlock();
        QTimer::singleShot(0, this, &ReportView::EndBatch);
    }
    // The view writes exactly as a report written without a window does.
    DocumentSink sink(*document());
    sink.SetFormat(Current);
    sink.AppendLine(text);
}

void ReportView::EndBatch() {
    if (!Batching)
        return;
    Batching = false;
    const bool large = document()->blockCount() - BlocksBefore > LargeBatch;
    if (large)
        document()->setDocumentLayout(new NoLayout(document()));
    Batch.endEditBlock();
    Batch = QTextCursor();
    // Without a layout of its own the document makes its usual one, which
    // starts from the first paragraph.
    if (large)
        document()->setDocumentLayout(nullptr);
}

} // namespace vantora
