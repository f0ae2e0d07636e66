#include "ReportView.h"

#include "LongReportLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vantora {

namespace {

// Stands in for the document's layout while a report turns long: it lays
// out nothing, so that the end of the batch that made it long is not laid
// out by Qt's layout first.
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

// A report of more paragraphs than this is laid out only where it is shown:
// Qt's layout lays out every paragraph, in the background a step at a time,
// and keeps several hundred bytes of each. A report written afresh goes on
// in the background beyond as many lines.
constexpr int LongReport = 20000;

} // namespace

ReportView::ReportView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(true);
    Sink.emplace(*document());
}

ReportView::~ReportView() = default;

void ReportView::ClearReport() {
    EndBatch();
    clear();
    if (Long) {
        document()->setDocumentLayout(nullptr);
        Long = nullptr;
        // A long report's hundreds of megabytes go back to the system, also
        // those the thread that wrote it took.
#if defined(__GLIBC__)
        malloc_trim(0);
#endif
    }
}

void ReportView::SetFormat(const ReportFormat& format) {
    Current = format;
    if (Background)
        Background->SetFormat(format);
    else
        Sink->SetFormat(format);
}

void ReportView::AppendLine(const QString& text) {
    if (!Batching) {
        Batching = true;
        BatchFromEmpty = document()->isEmpty();
        Written.clear();
        // The lines a tool writes are not edits to undo, and undo would keep
        // a second copy of them.
        document()->setUndoRedoEnabled(false);
        Batch = QTextCursor(document());
        Batch.beginEditBlock();
        QTimer::singleShot(0, this, &ReportView::EndBatch);
    }
    if (Background) {
        Background->AppendLine(text);
        return;
    }
    Sink->AppendLine(text);
    if (BatchFromEmpty && BackgroundAllowed) {
        Written.push_back({Current, text});
        if (Written.size() == size_t(LongReport))
            WriteInBackground();
    }
}

void ReportView::AllowBackgroundWriting() {
    BackgroundAllowed = true;
    QTimer::singleShot(0, this, [this] { BackgroundAllowed = false; });
}

void ReportView::WriteInBackground() {
    // A document with the view's settings, written from its first line.
    const QTextDocument& shown = *document();
    auto copy = std::make_unique<QTextDocument>();
    copy->setUndoRedoEnabled(false);
    copy->setDefaultFont(shown.defaultFont());
    copy->setDefaultTextOption(shown.defaultTextOption());
    copy->setDocumentMargin(shown.documentMargin());
    copy->setIndentWidth(shown.indentWidth());
    copy->setPageSize(shown.pageSize());
    copy->setUseDesignMetrics(shown.useDesignMetrics());
    copy->setDefaultStyleSheet(shown.defaultStyleSheet());
    copy->setDefaultCursorMoveStyle(shown.defaultCursorMoveStyle());
    Background = std::make_unique<BackgroundSink>(std::move(copy));
    for (const auto& [format, line] : Written) {
        Background->SetFormat(format);
        Background->AppendLine(line);
    }
    Written = {};
    Background->SetFormat(Current);
}

void ReportView::UseLongLayout(QTextDocument* document) {
    Long = new LongReportLayout(document);
    document->setDocumentLayout(Long);
}

void ReportView::EndBatch() {
    if (!Batching)
        return;
    Batching = false;
    BackgroundAllowed = false;
    Written = {};
    if (Background) {
        std::unique_ptr<QTextDocument> written = Background->Finish();
        Background.reset();
        document()->setDocumentLayout(new NoLayout(document()));
        Batch.endEditBlock();
        Batch = QTextCursor();
        Sink.reset();
        // The view's cursor and its format stay as they were; a cursor at
        // the end, which the lines written pushed along, is at the end.
        const int end = document()->characterCount() - 1;
        const int position = textCursor().position();
        const int anchor = textCursor().anchor();
        const int moved = written->characterCount() - 1 - end;
        const int down = verticalScrollBar()->value();
        const int across = horizontalScrollBar()->value();
        const QTextCharFormat format = currentCharFormat();
        // Laid out where shown before the view first asks it for anything.
        UseLongLayout(written.get());
        written->setParent(this);
        setDocument(written.release());
        QTextCursor cursor(document());
        cursor.setPosition(anchor == end ? anchor + moved : anchor);
        cursor.setPosition(position == end ? position + moved : position, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        setCurrentCharFormat(format);
        // Setting the cursor scrolls to it; the lines written never did.
        verticalScrollBar()->setValue(down);
        horizontalScrollBar()->setValue(across);
        Sink.emplace(*document());
        Sink->SetFormat(Current);
    } else if (!Long && document()->blockCount() > LongReport) {
        document()->setDocumentLayout(new NoLayout(document()));
        Batch.endEditBlock();
        UseLongLayout(document());
    } else {
        Batch.endEditBlock();
    }
    Batch = QTextCursor();
    document()->setUndoRedoEnabled(true);
}

} // namespace vantora
