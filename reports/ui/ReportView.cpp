#include "ReportView.h"

#include "DocumentSink.h"

namespace vantora {

ReportView::ReportView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(true);
}

void ReportView::ClearReport() {
    clear();
}

void ReportView::SetFormat(const ReportFormat& format) {
    Current = format;
}

void ReportView::AppendLine(const QString& text) {
    // The view writes exactly as a report written without a window does.
    DocumentSink sink(*document());
    sink.SetFormat(Current);
    sink.AppendLine(text);
}

} // namespace vantora
