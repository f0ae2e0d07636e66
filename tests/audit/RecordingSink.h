#pragma once
// A report sink that keeps every appended text with the format it was
// written in, so tests can assert a report's exact lines and styles.
#include "ReportSink.h"

#include <QList>
#include <QStringList>

namespace vantora {

struct RecordedLine {
    QString Text;
    ReportFormat Format;
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

    // The appended texts as written.
    QStringList Texts() const {
        QStringList texts;
        for (const RecordedLine& line : Lines)
            texts.append(line.Text);
        return texts;
    }
    // The lines as a reader sees them: a leading "\r\n" is an empty line.
    QStringList Shown() const {
        QStringList shown;
        for (const RecordedLine& line : Lines)
            shown.append(line.Text.split(QStringLiteral("\r\n")));
        return shown;
    }
    // The recorded line whose text is text (after a leading "\r\n"), or null.
    const RecordedLine* Find(const QString& text) const {
        for (const RecordedLine& line : Lines)
            if (line.Text == text || line.Text == QStringLiteral("\r\n") + text)
                return &line;
        return nullptr;
    }

  private:
    ReportFormat Current;
};

} // namespace vantora
