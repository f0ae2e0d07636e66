#include "ReportView.h"

#include "DocumentSink.h"

#include <QTimer>

namespace vantora {

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
    Batch.endEditBlock();
    Batch = QTextCursor();
}

} // namespace vantora
