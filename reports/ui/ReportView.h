#pragma once
// A tool page's rich-text report: read-only unless the program is in report
// edit mode.
#include "ReportSink.h"

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
    ReportFormat Current;
};

} // namespace vantora
