// libFuzzer entry: any bytes, read as a project file, are either refused
// with an empty project or give a project whose columns are paired and
// whose saved form reads back to the same bytes; the audit then reads all
// of it (site map, stored results and their time stamps) under a region
// the input chooses, and must end its report one way or the other.
#include "AuditReport.h"
#include "ProjectFile.h"
#include "ReportFrame.h"
#include "ReportSink.h"

#include <cstdint>
#include <cstdlib>

using namespace vantora;

namespace {

// Keeps only the report's last two lines.
class LastLinesSink : public ReportSink {
  public:
    QString BeforeLast;
    QString Last;
    void ClearReport() override { BeforeLast = Last = QString(); }
    void SetFormat(const ReportFormat&) override {}
    void AppendLine(const QString& text) override {
        BeforeLast = Last;
        Last = text;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // Half of the inputs get the marker so the header and blocks are reached.
    if (size > 0 && (data[0] & 1))
        bytes.prepend("ZEPHProject\r");
    ProjectData project;
    const ProjectFileResult result = ParseProject(bytes, project);
    if (!result.IsOk()) {
        if (!project.SiteMapLines.isEmpty() || !project.RootHost.isEmpty() ||
            project.BulletinMessages.Count() != 0)
            std::abort();
        return 0;
    }
    for (int kind = 1; kind <= 5; ++kind)
        if (!project.ArchiveForTag(kind)->IsConsistent())
            std::abort();
    const QByteArray saved = SerializeProject(project);
    ProjectData again;
    if (!ParseProject(saved, again).IsOk() || SerializeProject(again) != saved)
        std::abort();

    static const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    const QLocale& locale = locales.at(qsizetype(size > 1 ? data[1] : 0) % locales.size());
    AuditOptions options;
    options.Broken = options.Mailto = options.ShowXtal = options.ListPages = true;
    options.Spam = options.LessEffective = options.Remote = options.Ranking = true;
    options.PrevSub = options.Submited = options.Limit = true;
    options.SearchEngine = AllSearchEngines;
    options.SubmitType = QStringLiteral("after");
    options.SubmitDate = QDate(2001, 1, 1);
    options.ScopeDate = QDate(1990, 1, 1);
    LastLinesSink sink;
    WriteAuditReport(project, options, QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5)), locale,
                     sink);
    // Whole or truncated, the report closes with "End of Report" and an empty line.
    if (sink.BeforeLast != ReportFrame::EndOfReport || !sink.Last.isEmpty())
        std::abort();
    return 0;
}
