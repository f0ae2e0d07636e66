// Times the audit over a site map of 100,000 nodes (and of 1,200,000: a site
// of a million pages) and five archives of 20,000 records each with every
// section checked, in wall and processor time, and prints beside it the
// plain methods (the index built by comparing each node URL with every entry,
// the latest record found by rescanning the archive for every record) on
// smaller inputs so that their growth shows. Prints figures; never fails on
// a time. Each whole run also prints a digest of the lines and formats it
// wrote (to compare two builds' reports at full size) and, for the largest,
// the memory the audit took on top of its input at its peak and after it.
#include "AuditReport.h"
#include "SiteUrlIndex.h"
#include "TimeStamps.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <ctime>
#include <malloc.h>

using namespace vantora;

namespace {

const QLocale Locale(QLocale::English, QLocale::UnitedStates);
const QDateTime Now(QDate(2026, 12, 8), QTime(12, 0));

// Counts the lines and folds every format set and line written into a
// digest, so that two builds that write the same report print the same one.
class CountingSink : public ReportSink {
  public:
    int Lines = 0;
    size_t Digest = 0;
    void ClearReport() override {}
    void SetFormat(const ReportFormat& f) override {
        Digest = qHashMulti(Digest, 'F', f.FontName, f.PointSize, f.Bold, f.Italic, f.Underline,
                            int(f.Align));
    }
    void AppendLine(const QString& text) override {
        ++Lines;
        Digest = qHashMulti(Digest, 'L', text);
    }
};

// A figure of this process's memory from /proc/self/status, in MB.
double StatusMegabytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toDouble() /
                   1024;
    return -1;
}

// Forgets the peak so far: VmHWM then gives the peak from here on.
void ResetPeak() {
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// A crawled site: folders of pages with relative captions, each page with a
// few links; external links repeat across pages as real sites do.
QStringList SiteMap(int nodes, QStringList& pages) {
    QStringList lines{QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://big.test/")};
    QRandomGenerator random(7);
    lines << QStringLiteral("<PAGE>http://big.test/") << QStringLiteral("<PUSH>");
    pages << QStringLiteral("http://big.test/");
    int made = 1;
    int folder = 0;
    while (made < nodes) {
        const QString dir = QStringLiteral("dir%1/").arg(folder++);
        lines << QStringLiteral("<PAGE>") + dir << QStringLiteral("<PUSH>");
        pages << QStringLiteral("http://big.test/") + dir;
        ++made;
        for (int p = 0; p < 40 && made < nodes; ++p) {
            const QString page = QStringLiteral("page%1.html").arg(p);
            lines << QStringLiteral("<PAGE>") + page;
            pages << QStringLiteral("http://big.test/") + dir + page;
            ++made;
            lines << QStringLiteral("<PUSH>");
            for (int l = 0; l < 3 && made < nodes; ++l, ++made) {
                switch (random.bounded(4)) {
                case 0:
                    lines << QStringLiteral("<LINK>http://ext%1.test/").arg(random.bounded(2000));
                    break;
                case 1:
                    lines << QStringLiteral("<MAILTO>mailto:user%1@big.test")
                                 .arg(random.bounded(500));
                    break;
                case 2:
                    lines << QStringLiteral("<BROKEN>http://big.test/gone%1.html")
                                 .arg(random.bounded(5000));
                    break;
                default:
                    lines << QStringLiteral("<ERROR>http://big.test/cgi%1 500")
                                 .arg(random.bounded(100));
                }
            }
            lines << QStringLiteral("<POP>");
        }
        lines << QStringLiteral("<POP>");
    }
    lines << QStringLiteral("<POP>") << QStringLiteral("<END>");
    return lines;
}

// A stamp as the tools write it.
QString Stamp(int day, int second) {
    return WriteStamp(QDateTime(QDate(2026, 1, 1).addDays(day), QTime(0, 0).addSecs(second)),
                      Locale);
}

// Records for pages; every page of the first quarter has several.
void Fill(ProjectData& project, const QStringList& pages, int records) {
    QRandomGenerator random(11);
    const QStringList engines{"<ENGINE>INFOSEEK", "<ENGINE>YAHOO", "<ENGINE>LYCOS"};
    for (int i = 0; i < records; ++i) {
        const QString page = pages[int(random.bounded(int(pages.size()) / 4 + 1))];
        const QString stamp = Stamp(int(random.bounded(330)), int(random.bounded(86400)));
        project.StuffwatchArchive.Append(page, stamp, i % 3 ? "x<br>NO-SPAM" : "x<br>stuffed");
        project.WordweighArchive.Append(page, stamp, "x", QString::number(random.bounded(101)));
        project.BackwatchArchive.Append(page, stamp,
                                        i % 2 ? "x<br>.<br>END" : "x<br>http://f.test/<br>END");
        project.RankscoutArchive.Append(page, stamp,
                                        page + "<br>k<br>" + engines[i % 3] + "<br><MATCH>" +
                                            QString::number(random.bounded(20)) + "<br>" +
                                            engines[(i + 1) % 3] + "<br><MATCH>3<br>");
        project.EnginepostArchive.Append(page, stamp,
                                         "x<br>Successfully submitted " + page + " to Lycos<br>" +
                                             "Successfully submitted " + page + " to Zap");
    }
}

void Row(const QString& what, double seconds) {
    std::printf("%-80s %8.3f\n", qPrintable(what), seconds);
}

// The processor time of every thread of the process so far, in seconds.
double ProcessorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

AuditOptions Everything() {
    AuditOptions o;
    o.Broken = o.Mailto = o.ShowXtal = o.ListPages = true;
    o.Spam = o.LessEffective = o.Remote = o.Ranking = o.PrevSub = o.Submited = o.Limit = true;
    o.SearchEngine = QStringLiteral("(All Search Engines)");
    o.SubmitType = QStringLiteral("after");
    o.SubmitDate = QDate(2026, 2, 1);
    o.ScopeDate = QDate(2026, 1, 15);
    return o;
}

// The plain latest-record rule: every record compared with every other
// (each stamp read once beforehand).
int PlainLatestCount(const ToolArchive& archive, const StampReader& reader) {
    std::vector<qint64> values;
    values.reserve(size_t(archive.Count()));
    for (const QString& stamp : archive.Dates())
        values.push_back(reader.ReadFullValue(stamp).value_or(0));
    int latest = 0;
    for (int i = 0; i < archive.Count(); ++i) {
        bool isLatest = true;
        for (int j = 0; j < archive.Count() && isLatest; ++j)
            if (j != i && archive.Pages().at(j) == archive.Pages().at(i) &&
                values[size_t(j)] > values[size_t(i)])
                isLatest = false;
        latest += isLatest;
    }
    return latest;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // "--audit-only" runs the whole audit alone (for a profiler).
    const bool auditOnly = app.arguments().contains(QStringLiteral("--audit-only"));
    std::printf("%-80s %8s %8s\n", "case", "seconds", "cpu s");

    for (int nodes : {5000, 10000, 100000}) {
        if (auditOnly)
            break;
        QStringList pages;
        SiteTree tree;
        ParseSiteMap(SiteMap(nodes, pages), tree);
        QElapsedTimer timer;
        timer.start();
        const size_t fast = BuildSiteUrlIndex(tree, Locale).size();
        const double fastTime = timer.nsecsElapsed() / 1e9;
        Row(QStringLiteral("index, hash set and one sort, %1 nodes (%2 URLs)").arg(nodes).arg(fast),
            fastTime);
        if (nodes <= 10000) {
            timer.restart();
            const qsizetype plain = BuildSiteUrlIndexByScan(tree, Locale).size();
            Row(QStringLiteral("index, plain scan and insertion, %1 nodes (%2 URLs)")
                    .arg(nodes)
                    .arg(plain),
                timer.nsecsElapsed() / 1e9);
        }
    }

    const StampReader reader(Locale, Now.date().year());
    for (int records : {5000, 10000}) {
        if (auditOnly)
            break;
        ProjectData project;
        QStringList pages;
        SiteMap(records, pages);
        Fill(project, pages, records);
        QElapsedTimer timer;
        timer.start();
        const int latest = PlainLatestCount(project.StuffwatchArchive, reader);
        Row(QStringLiteral("latest records, plain rescan, %1 records (%2 latest)")
                .arg(records)
                .arg(latest),
            timer.nsecsElapsed() / 1e9);
    }

    ProjectData project;
    QStringList pages;
    project.SiteMapLines = SiteMap(100000, pages);
    Fill(project, pages, 20000);
    const auto run = [&](const char* what, const AuditOptions& options) {
        CountingSink sink;
        QElapsedTimer timer;
        timer.start();
        const double processor = ProcessorSeconds();
        WriteAuditReport(project, options, Now, Locale, sink);
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("%-80s %8.3f %8.3f\n",
                    qPrintable(QStringLiteral("%1 (%2 lines, digest %3)")
                                   .arg(QLatin1String(what))
                                   .arg(sink.Lines)
                                   .arg(sink.Digest % 100000000, 8, 10, QLatin1Char('0'))),
                    seconds, ProcessorSeconds() - processor);
    };
    AuditOptions siteMapOnly = Everything();
    siteMapOnly.Spam = siteMapOnly.LessEffective = siteMapOnly.Remote = siteMapOnly.Ranking =
        siteMapOnly.PrevSub = false;
    AuditOptions resultsOnly = Everything();
    resultsOnly.Broken = resultsOnly.Mailto = resultsOnly.ShowXtal = resultsOnly.ListPages = false;
    run("site map sections, 100000 nodes", siteMapOnly);
    run("stored-result sections, 5 x 20000 records", resultsOnly);
    run("whole audit, 100000 nodes, 5 x 20000 records", Everything());

    // A site of a million pages (with their links, some 1.2 million nodes).
    project.SiteMapLines = SiteMap(1200000, pages);
    run("site map sections, 1200000 nodes", siteMapOnly);
    ResetPeak();
    const double before = StatusMegabytes("VmRSS:");
    run("whole audit, 1200000 nodes, 5 x 20000 records", Everything());
    std::printf("memory of the audit above its input: peak %.0f MB, %.0f MB left after it (input "
                "%.0f MB)\n",
                StatusMegabytes("VmHWM:") - before, StatusMegabytes("VmRSS:") - before, before);
    return 0;
}
