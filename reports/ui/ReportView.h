#pragma once
// A tool page's rich-text report: read-only unless the program is in report
// edit mode.
#include "ReportSink.h"

#include <QTextCursor>
#include <QTextEdit>

namespace vantora {

class ReportView : public QTextEdit, public ReportSink {
    Q_OBJECT
  public:
    explicit ReportView(QWidget* parent = nullptr);
    void ClearReport() override;
    void SetFormat(const ReportFormat& format) override;
    void AppendLine(const QString& text) override;

  private:
    // Lines written one after another are laid out once, when the program
    // next handles its events: the view's own layout and scroll range kept
    // up after every line took many times the writing itself.
    void EndBatch();
    ReportFormat Current;
    QTextCursor Batch;
    bool Batching = false;
    int BlocksBefore = 0;
};

} // namespace vantora
