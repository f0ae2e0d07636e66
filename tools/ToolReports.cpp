#include "ToolReports.h"

#include "AnswerIntake.h"
#include "AnswerItems.h"
#include "ProjectData.h"
#include "ReportFrame.h"
#include "ResultChecks.h"

namespace vantora {

using namespace Qt::Literals::StringLiterals;

namespace {

// The fields of one stored result a body writer reads.
struct Stored {
    QString Page;
    QString Percentage;
    QString Body;
    AnswerItems Items;
};

QString Bulleted(const QString& text) {
    return QString(QChar(Bullet)) + u' ' + text;
}

void WordweighBody(ReportFrame& f, const Stored& s) {
    f.SetItalic(true);
    f.Line("Analysed URL: "_L1 + s.Page);
    f.SetItalic(false);
    f.SetBold(true);
    f.Line("Percent effectiveness: "_L1 + s.Percentage);
    f.SetBold(false);
    // Advice comes in groups of four items from the fourth on, each group
    // opened by a problem or a tip.
    const bool advice =
        s.Body.contains("PROBLEM:"_L1) || (s.Items.Has(3) && s.Items[3].startsWith("TIP:"_L1));
    if (!advice) {
        f.EmptyLine();
        f.Line(u"No more additional advice."_s);
        return;
    }
    const int count = s.Items.Count();
    for (int k = 3;; k += 4) {
        f.EmptyLine();
        for (int i = k; i < k + 3; ++i)
            f.Line(s.Items[i]);
        if (!(k + 4 < count - 1))
            break;
    }
}

void StuffwatchBody(ReportFrame& f, const Stored& s) {
    f.SetItalic(true);
    f.Line("Stuffwatched URL: "_L1 + s.Items[0]);
    if (s.Items[2] == "NO-SPAM"_L1) {
        f.SetItalic(false);
        f.SetBold(true);
        f.Line(u"Page contains no Spam."_s);
        f.SetBold(false);
        return;
    }
    const int count = s.Items.Count();
    for (int k = 2;; k += 4) {
        f.SetItalic(false);
        f.EmptyLine();
        for (int i = k; i < k + 3; ++i)
            f.Line(s.Items[i]);
        if (!(k + 4 < count - 1))
            break;
    }
}

void RankscoutBody(ReportFrame& f, const Stored& s) {
    f.SetItalic(true);
    f.Line("Analysed URL: "_L1 + s.Items[0].mid(6));
    f.Line("Key Phrase: "_L1 + s.Items[1].mid(10));
    f.SetItalic(false);
    const int count = s.Items.Count();
    int i = 2;
    do {
        f.EmptyLine();
        f.SetBold(true);
        f.Line("Search Engine: "_L1 + s.Items[i].mid(8));
        f.SetBold(false);
        ++i;
        while (!s.Items[i].startsWith("<MATCH>"_L1)) {
            f.Line(u' ' + s.Items[i].mid(6));
            ++i;
        }
        f.SetBold(true);
        f.EmptyLine();
        f.Line("Match Position: "_L1 + s.Items[i].mid(7, 3));
        f.SetBold(false);
        ++i;
        // A last block of only its engine and its position (no detail lines)
        // still follows: the count rule alone would drop it.
    } while (i < count - 2 || (s.Items.Has(i) && s.Items[i].startsWith("<ENGINE>"_L1)));
}

void EnginepostBody(ReportFrame& f, const Stored& s) {
    f.SetItalic(true);
    f.Line("Submitted URL: "_L1 + s.Page);
    f.EmptyLine();
    f.SetItalic(false);
    const int count = s.Items.Count();
    for (int i = 2;; i += 2) {
        f.Line(Bulleted(s.Items[i]));
        if (!(i + 2 < count - 1))
            break;
    }
}

void BackwatchBody(ReportFrame& f, const Stored& s) {
    f.SetBold(true);
    f.Line("The following URLs contain a link back to "_L1 + s.Page);
    f.EmptyLine();
    f.SetBold(false);
    const int count = s.Items.Count();
    bool said = false;
    for (int k = 2;; k += 6) {
        said = said || s.Items[k].startsWith("Not checked"_L1);
        f.Line(s.Items[k] == "END"_L1 ? u"(none)"_s : Bulleted(s.Items[k]));
        if (!(k + 6 < count - 1))
            break;
    }
    // Answers that only noted why nothing was checked get it said here.
    if (const QString reason = UncheckedReason(ToolKind::Backwatch, s.Body);
        !reason.isEmpty() && !said)
        f.Line(Bulleted("Not checked, so pages that link back may have been missed: "_L1 + reason +
                        u'.'));
}

} // namespace

bool WriteStoredReport(const ToolArchive& archive, int index, ReportSink& sink, bool clearFirst) {
    if (index < 0 || index >= archive.Count())
        return false;
    const ToolKind kind = archive.Kind();
    const Stored stored{archive.Pages()[index], archive.Percentages().value(index),
                        archive.Bodies()[index], AnswerItems(archive.Bodies()[index])};
    if (clearFirst)
        sink.ClearReport();
    ReportFrame frame(sink);
    return frame.Write(Tool(kind).Heading + archive.Dates()[index], [&](ReportFrame& f) {
        switch (kind) {
        case ToolKind::Wordweigh:
            WordweighBody(f, stored);
            break;
        case ToolKind::Stuffwatch:
            StuffwatchBody(f, stored);
            break;
        case ToolKind::Rankscout:
            RankscoutBody(f, stored);
            break;
        case ToolKind::Enginepost:
            EnginepostBody(f, stored);
            break;
        case ToolKind::Backwatch:
            BackwatchBody(f, stored);
            break;
        }
    });
}

namespace {

// A sink that keeps nothing.
class NoSink : public ReportSink {
  public:
    void ClearReport() override {}
    void SetFormat(const ReportFormat&) override {}
    void AppendLine(const QString&) override {}
};

} // namespace

bool AnswerIsWhole(ToolKind kind, const QString& page, const QString& body,
                   const QString& percentage) {
    if (kind != ToolKind::Wordweigh)
        return true;
    if (percentage.isEmpty())
        return false;
    ToolArchive one(kind);
    one.Append(page, QString(), body, percentage);
    NoSink none;
    return WriteStoredReport(one, 0, none, false);
}

void WriteIncomplete(ToolKind kind, const QString& page, ReportSink& sink) {
    ReportFrame frame(sink);
    frame.Line("The answer of "_L1 + Tool(kind).Caption + " for "_L1 + page +
               " was incomplete, so it has not been stored."_L1);
    frame.Line(u"(No report has been generated for this URL.)"_s);
    frame.EmptyLine();
}

void WriteNotOpened(ToolKind kind, ReportSink& sink, const QString& reason) {
    ReportFrame frame(sink);
    for (const QString& line : NotOpenedLines(kind, reason))
        frame.Line(line);
}

} // namespace vantora
