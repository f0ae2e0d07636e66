#pragma once
// What report writers write to: clear, set the insertion format, append a
// line at the end in that format. The report view is one sink; tests use a
// recording sink.
#include <QString>

namespace vantora {

enum class ParagraphAlign { Left, Centre, Right, Bullet };

struct ReportFormat {
    QString FontName = QStringLiteral("Arial");
    int PointSize = 10;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    ParagraphAlign Align = ParagraphAlign::Left;
    bool operator==(const ReportFormat&) const = default;
};

class ReportSink {
  public:
    virtual ~ReportSink() = default;
    virtual void ClearReport() = 0;
    virtual void SetFormat(const ReportFormat& format) = 0;
    virtual void AppendLine(const QString& text) = 0;
};

} // namespace vantora
