#include "ReportFrame.h"

#include "AnswerItems.h"

namespace vantora {

const QString ReportFrame::EndOfReport = QStringLiteral("End of Report");
const QString ReportFrame::TruncatedWarning =
    QStringLiteral("...WARNING! Premature end of file, Report truncated.");

namespace {
const QString Arial = QStringLiteral("Arial");
} // namespace

ReportFrame::ReportFrame(ReportSink& sink) : Out(sink) {
    Apply();
}

void ReportFrame::Apply() {
    Out.SetFormat(Current);
}

void ReportFrame::SetFont(const QString& name, int pointSize) {
    Current.FontName = name;
    Current.PointSize = pointSize;
    Apply();
}

void ReportFrame::SetBold(bool on) {
    Current.Bold = on;
    Apply();
}

void ReportFrame::SetItalic(bool on) {
    Current.Italic = on;
    Apply();
}

void ReportFrame::SetUnderline(bool on) {
    Current.Underline = on;
    Apply();
}

void ReportFrame::SetAlign(ParagraphAlign align) {
    Current.Align = align;
    Apply();
}

void ReportFrame::Line(const QString& text) {
    Out.AppendLine(text);
}

void ReportFrame::Heading(const QString& text) {
    Current.FontName = Arial;
    Current.PointSize = 14;
    Current.Underline = true;
    Apply();
    Line(text);
    EmptyLine();
    Current.PointSize = 10;
    Current.Underline = false;
    Apply();
}

void ReportFrame::End() {
    EmptyLine();
    SetItalic(true);
    Line(EndOfReport);
    SetItalic(false);
    EmptyLine();
}

void ReportFrame::Truncated() {
    Current = ReportFormat();
    Current.FontName = Arial;
    Current.PointSize = 10;
    Current.Bold = true;
    Apply();
    Line(TruncatedWarning);
    Current.Bold = false;
    Current.Italic = true;
    Apply();
    Line(EndOfReport);
    SetItalic(false);
    EmptyLine();
}

bool ReportFrame::Write(const QString& heading, const std::function<void(ReportFrame&)>& body) {
    try {
        Heading(heading);
        body(*this);
        End();
        return true;
    } catch (const MissingItem&) {
        Truncated();
        return false;
    }
}

} // namespace vantora
