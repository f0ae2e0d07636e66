#pragma once
// A tool page's rich-text report: read-only unless the program is in report
// edit mode.
#include "BackgroundSink.h"
#include "DocumentSink.h"
#include "ReportSink.h"

#include <QTextCursor>
#include <QTextEdit>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vantora {

class LongReportLayout;

class ReportView : public QTextEdit, public ReportSink {
    Q_OBJECT
  public:
    explicit ReportView(QWidget* parent = nullptr);
    ~ReportView() override;
    void ClearReport() override;
    void SetFormat(const ReportFormat& format) override;
    void AppendLine(const QString& text) override;

    // The lines written until the program next handles its events may go on
    // in a document written on a thread of its own, which the view takes
    // then: for a writer that writes a whole report at once and reads
    // nothing of the view back meanwhile.
    void AllowBackgroundWriting();

    // Whether the report is long enough to be laid out only where it is
    // shown.
    bool LaidOutWhereShown() const { return Long != nullptr; }

  private:
    // Lines written one after another are laid out once, when the program
    // next handles its events: the view's own layout and scroll range kept
    // up after every line took many times the writing itself.
    void EndBatch();
    // A report written afresh that grows long goes on in a document written
    // on a thread of its own, which the view takes when the batch ends.
    void WriteInBackground();
    void UseLongLayout(QTextDocument* document);

    // The view writes exactly as a report written without a window does.
    std::optional<DocumentSink> Sink;
    std::unique_ptr<BackgroundSink> Background;
    ReportFormat Current;
    QTextCursor Batch;
    bool Batching = false;
    bool BatchFromEmpty = false;
    bool BackgroundAllowed = false;
    // The lines of a batch that started on an empty report, while it is
    // short: the background document is written from them.
    std::vector<std::pair<ReportFormat, QString>> Written;
    LongReportLayout* Long = nullptr;
};

} // namespace vantora
