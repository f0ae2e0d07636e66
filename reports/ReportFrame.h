#pragma once
// The report idiom every report writer shares: a heading line in Arial 14
// underlined, the body in Arial 10, "End of Report" in italics, and the
// bold truncation warning when the body runs out of items. The frame keeps
// the format in force so that writers change one style at a time.
#include "ReportSink.h"

#include <functional>

namespace vantora {

class ReportFrame {
  public:
    explicit ReportFrame(ReportSink& sink);

    static const QString EndOfReport;      // "End of Report"
    static const QString TruncatedWarning; // "...WARNING! Premature end of file, Report truncated."

    ReportSink& Sink() { return Out; }
    const ReportFormat& Format() const { return Current; }

    void SetFont(const QString& name, int pointSize);
    void SetBold(bool on);
    void SetItalic(bool on);
    void SetUnderline(bool on);
    void SetAlign(ParagraphAlign align);

    // One line in the format in force.
    void Line(const QString& text);
    void EmptyLine() { Line(QString()); }

    // Arial 14 with underline added, the heading as one line and one empty
    // line; then Arial 10 with underline removed for the body.
    void Heading(const QString& text);
    // One empty line, "End of Report" in italics, one empty line.
    void End();
    // Closes a report whose body ran out of items: the bold warning in
    // Arial 10, "End of Report" in italics, one empty line.
    void Truncated();

    // Heading, body and end; a MissingItem thrown by the body closes the
    // report with Truncated() instead, keeping the lines already written.
    // Returns false when the report was truncated.
    bool Write(const QString& heading, const std::function<void(ReportFrame&)>& body);

  private:
    void Apply();

    ReportSink& Out;
    ReportFormat Current;
};

} // namespace vantora
