#pragma once
// A report sink that keeps every line with the format it was written in, so
// a test can assert a report's exact lines, fonts and styles.
#include "ReportSink.h"

#include <QList>
#include <QStringList>

namespace vantora::test {

struct RecordedLine {
    QString Text;
    ReportFormat Format;

    // "B", "I", "U" for the styles in force, then the font and size:
    // "BI Arial 10". Plain lines give " Arial 10".
    QString Style() const {
        QString s;
        if (Format.Bold)
            s += QLatin1Char('B');
        if (Format.Italic)
            s += QLatin1Char('I');
        if (Format.Underline)
            s += QLatin1Char('U');
        return s + QLatin1Char(' ') + Format.FontName + QLatin1Char(' ') +
               QString::number(Format.PointSize);
    }
};

class RecordingSink : public ReportSink {
  public:
    QList<RecordedLine> Lines;
    int Clears = 0;

    void ClearReport() override {
        Lines.clear();
        ++Clears;
    }
    void SetFormat(const ReportFormat& format) override { Current = format; }
    void AppendLine(const QString& text) override { Lines.append({text, Current}); }

    QStringList Texts() const {
        QStringList texts;
        for (const RecordedLine& line : Lines)
            texts << line.Text;
        return texts;
    }
    // Each line as "style|text", the style as RecordedLine::Style() gives it.
    QStringList Styled() const {
        QStringList out;
        for (const RecordedLine& line : Lines)
            out << line.Style() + QLatin1Char('|') + line.Text;
        return out;
    }

  private:
    ReportFormat Current;
};

} // namespace vantora::test
