// The audit report over project data, written to a recording sink.
#include "AuditReport.h"
#include "ProjectFile.h"
#include "RecordingSink.h"
#include "SiteTree.h"
#include "SiteUrlIndex.h"
#include "TimeStamps.h"

#include <QCollator>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

using namespace vantora;
using namespace vantora::test;

Q_DECLARE_METATYPE(AuditOptions)

namespace {

const QLocale US(QLocale::English, QLocale::UnitedStates);
const QLocale DE(QLocale::German, QLocale::Germany);
const QDateTime Now(QDate(2026, 12, 8), QTime(13, 30, 5));
const QString B = QStringLiteral("\u2022 ");
const QString Warning = QStringLiteral("...WARNING! Premature end of file, Report truncated.");

// A stamp as the tools write it.
QString Stamp(const QDate& date, const QTime& time = QTime(10, 15, 30), const QLocale& l = US) {
    return WriteStamp(QDateTime(date, time), l);
}
QString Short(const QDate& date, const QLocale& l = US) {
    return l.toString(date, QLocale::ShortFormat);
}

// A site map from entry lines after the header.
QStringList Map(const QStringList& entries) {
    return QStringList{QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://site.test/")} +
           entries;
}

RecordingSink Audit(const ProjectData& project, const AuditOptions& options,
                    const QLocale& locale = US) {
    RecordingSink sink;
    WriteAuditReport(project, options, Now, locale, sink);
    return sink;
}

// The shown lines from the first that equals from up to, not including, the
// first empty line after it (a section's lines).
QStringList Section(const RecordingSink& sink, const QString& from) {
    const QStringList shown = sink.Texts();
    const qsizetype start = shown.indexOf(from);
    if (start < 0)
        return {QStringLiteral("<missing: ") + from + QLatin1Char('>')};
    QStringList lines;
    for (qsizetype i = start; i < shown.size() && !shown[i].isEmpty(); ++i)
        lines.append(shown[i]);
    return lines;
}

// The recorded line whose text is text, or null.
const RecordedLine* Find(const RecordingSink& sink, const QString& text) {
    for (const RecordedLine& line : sink.Lines)
        if (line.Text == text)
            return &line;
    return nullptr;
}

bool Truncated(const RecordingSink& sink) {
    const QStringList texts = sink.Texts();
    return texts.size() >= 3 && texts[texts.size() - 3] == Warning &&
           texts[texts.size() - 2] == QLatin1String("End of Report") && texts.last().isEmpty();
}

} // namespace

class TestAuditReport : public QObject {
    Q_OBJECT
  private slots:
    void frameWithNoBoxChecked();
    void contentsLine_data();
    void contentsLine();
    void linkSections();
    void listOfPages_data();
    void listOfPages();
    void indexAgreesWithPlainBuild();
    void wholeReportUnchanged_data();
    void wholeReportUnchanged();
    void spamScopeAndLatest_data();
    void spamScopeAndLatest();
    void effectiveness_data();
    void effectiveness();
    void ranking_data();
    void ranking();
    void submissions_data();
    void submissions();
    void failureKeepsSiteMapSections();
    void emptyArchivesAndSummaries();
    void stampReading_data();
    void stampReading();
    void oldProjectStamps();
    void stampsReadBackInEveryLocale();
    void stampsWrittenUnderAnotherLocale_data();
    void stampsWrittenUnderAnotherLocale();
    void latestAcrossTheClockChange_data();
    void latestAcrossTheClockChange();
};

void TestAuditReport::frameWithNoBoxChecked() {
    const RecordingSink sink = Audit(ProjectData(), AuditOptions());
    const QString title = "Sitecensus - Report, created " + Short(Now.date()) + " " +
                          US.toString(Now.time(), QLocale::LongFormat);
    QCOMPARE(sink.Styled(),
             (QStringList{"U Arial 14|" + title, "U Arial 14|", " Arial 10|Audit contents: .",
                          " Arial 10|", "I Arial 10|End of Report", " Arial 10|"}));
    // At exactly midnight the title has the date alone.
    RecordingSink midnight;
    WriteAuditReport(ProjectData(), AuditOptions(), QDateTime(Now.date(), QTime(0, 0)), US,
                     midnight);
    QCOMPARE(midnight.Texts().first(), "Sitecensus - Report, created " + Short(Now.date()));
}

void TestAuditReport::contentsLine_data() {
    QTest::addColumn<QString>("boxes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << ""
                          << "Audit contents: .";
    QTest::newRow("one") << "Remote"
                         << "Audit contents: pages with reciprocal links.";
    QTest::newRow("all in dialog order")
        << "Submited PrevSub Ranking Remote LessEffective Spam ListPages ShowXtal Mailto Broken "
           "Limit"
        << "Audit contents: pages with broken links, pages with E-mail (mailto) links, pages "
           "with external links, a list of all web pages, pages that show spamming, pages less "
           "than 80% effective, pages with reciprocal links, pages ranking above 5 on Search "
           "Engines, pages previously submitted to Infoseek, pages submitted before " +
               Short(QDate(2026, 11, 30)) + ".";
}

void TestAuditReport::contentsLine() {
    QFETCH(QString, boxes);
    QFETCH(QString, expected);
    AuditOptions o;
    o.SubmitDate = QDate(2026, 11, 30);
    o.ScopeDate = Now.date();
    const QStringList set = boxes.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool* flags[] = {&o.Broken, &o.Mailto,  &o.ShowXtal, &o.ListPages, &o.Spam, &o.LessEffective,
                     &o.Remote, &o.Ranking, &o.PrevSub,  &o.Submited,  &o.Limit};
    const char* names[] = {"Broken", "Mailto",  "ShowXtal", "ListPages", "Spam", "LessEffective",
                           "Remote", "Ranking", "PrevSub",  "Submited",  "Limit"};
    for (int i = 0; i < 11; ++i)
        *flags[i] = set.contains(QLatin1String(names[i]));
    const RecordingSink sink = Audit(ProjectData(), o);
    QVERIFY(!Truncated(sink));
    QCOMPARE(sink.Texts().at(2), expected);
}

void TestAuditReport::linkSections() {
    ProjectData project;
    // b.html and a.html both link to the same broken URL; their other links
    // interleave with each other in URL order; a.html holds one link twice.
    project.SiteMapLines = Map({
        "<PAGE>http://site.test/b.html", "<PUSH>", "<BROKEN>http://site.test/gone.html",
        "<ERROR>http://site.test/cgi 500", "<LINK>http://other.test/b",
        "<MAILTO>mailto:zed@site.test", "<POP>", "<PAGE>http://site.test/a.html", "<PUSH>",
        "<LINK>http://other.test/c", "<BROKEN>http://site.test/gone.html",
        "<LINK>http://other.test/a", "<LINK>http://other.test/c", "<MAILTO>mailto:amy@site.test",
        "<POP>",
        "<LINK>http://other.test/top", // outside any page: counted on the root
    });
    AuditOptions o;
    o.Broken = o.Mailto = o.ShowXtal = true;
    const RecordingSink sink = Audit(project, o);
    QVERIFY(!Truncated(sink));
    const QStringList shown = sink.Texts();
    const auto between = [&](const QString& heading, const QString& next) {
        return shown.mid(shown.indexOf(heading), shown.indexOf(next) - shown.indexOf(heading));
    };
    QCOMPARE(between("Pages with broken links,", "Pages with E-mail (mailto) links,"),
             (QStringList{"Pages with broken links,", "",
                          "Page http://site.test/a.html contains broken links to the following "
                          "URLs,",
                          B + "http://site.test/gone.html", "",
                          "Page http://site.test/b.html contains broken links to the following "
                          "URLs,",
                          B + "http://site.test/gone.html",
                          B + "Server ERROR 500 - http://site.test/cgi", ""}));
    QCOMPARE(between("Pages with external links,", "End of Report"),
             (QStringList{"Pages with external links,", "",
                          "Page http://site.test/ contains external links to the following URLs,",
                          B + "http://other.test/top", "",
                          "Page http://site.test/a.html contains external links to the following "
                          "URLs,",
                          B + "http://other.test/a", B + "http://other.test/c", "",
                          "Page http://site.test/b.html contains external links to the following "
                          "URLs,",
                          B + "http://other.test/b", ""}));
    QCOMPARE(Section(sink, "Page http://site.test/b.html contains E-mail links to the following "
                           "addresses,"),
             (QStringList{"Page http://site.test/b.html contains E-mail links to the following "
                          "addresses,",
                          B + "mailto:zed@site.test"}));
    QVERIFY(Find(sink, "Pages with broken links,")->Format.Bold);
    QVERIFY(!Find(sink, "Page http://site.test/a.html contains broken links to the following "
                        "URLs,")
                 ->Format.Bold);
}

void TestAuditReport::listOfPages_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty map") << QStringList() << QStringList{"(No web pages found)"};
    QTest::newRow("URL order, duplicates once, links left out")
        << QStringList{"<PAGE>http://site.test/",
                       "<PUSH>",
                       "<PAGE>zoo.html",
                       "<PAGE>http://site.test/Apple.html",
                       "<LINK>http://elsewhere.test/",
                       "<PAGE>http://site.test/zoo.html",
                       "<PUSH>",
                       "<PAGE>banana.html",
                       "<POP>",
                       "<POP>"}
        << QStringList{"1.http://site.test/", "2.http://site.test/Apple.html",
                       "3.http://site.test/banana.html", "4.http://site.test/zoo.html"};
    QTest::newRow("links only") << QStringList{"<LINK>http://elsewhere.test/"} << QStringList();
}

void TestAuditReport::listOfPages() {
    QFETCH(QStringList, entries);
    QFETCH(QStringList, expected);
    ProjectData project;
    project.SiteMapLines = Map(entries);
    AuditOptions o;
    o.ListPages = true;
    const RecordingSink sink = Audit(project, o);
    QVERIFY(!Truncated(sink));
    QCOMPARE(Section(sink, "A list of all web pages,").mid(1), expected);
}

void TestAuditReport::indexAgreesWithPlainBuild() {
    // Random trees with repeated URLs, differing letter case and relative
    // captions: the fast build gives the plain build's entries in its order.
    QRandomGenerator random(14);
    const QStringList words{"a",   "B",   "b",  "index.html", "Index.html",    "x-y",
                            "x_y", "x y", "10", "9",          "\u00e9t\u00e9", "ete"};
    for (int round = 0; round < 20; ++round) {
        QStringList entries;
        int depth = 0;
        for (int i = 0; i < 300; ++i) {
            const int pick = int(random.bounded(10));
            const QString word = words[int(random.bounded(int(words.size())))];
            if (pick == 0 && i > 0 && depth < 6) {
                entries << "<PUSH>";
                ++depth;
            } else if (pick == 1 && depth > 0) {
                entries << "<POP>";
                --depth;
            } else if (pick < 5) {
                entries << "<PAGE>" + word;
            } else if (pick < 7) {
                entries << "<PAGE>http://Site.test/" + word;
            } else if (pick < 9) {
                entries << "<LINK>http://other.test/" + word;
            } else {
                entries << "<MAILTO>" + word + "@site.test";
            }
        }
        SiteTree tree;
        QCOMPARE(ParseSiteMap(Map(entries), tree).Outcome, BuildOutcome::Complete);
        const SiteUrls urls(tree);
        for (const QLocale& locale : {US, DE}) {
            // Guesses at the order: none, the URLs' own collation order (as
            // the audit guesses), that with a few pairs swapped, a shuffle.
            std::vector<int> byUrl;
            for (int id = 0; id < urls.Count(); ++id)
                byUrl.push_back(id);
            QCollator collator(locale);
            collator.setCaseSensitivity(Qt::CaseInsensitive);
            std::stable_sort(byUrl.begin(), byUrl.end(), [&](int a, int b) {
                return collator.compare(urls.Text(a), urls.Text(b)) < 0;
            });
            std::vector<int> swapped = byUrl;
            for (int swap = 0; swap < 4; ++swap)
                std::swap(swapped[random.bounded(int(swapped.size()))],
                          swapped[random.bounded(int(swapped.size()))]);
            std::vector<int> shuffled = byUrl;
            std::shuffle(shuffled.begin(), shuffled.end(), *QRandomGenerator::global());
            const QStringList plain = BuildSiteUrlIndexByScan(tree, locale);
            for (const std::vector<int>& guess : {std::vector<int>(), byUrl, swapped, shuffled}) {
                QStringList fast;
                for (const SiteUrlEntry& entry : BuildSiteUrlIndex(urls, locale, guess))
                    fast << SiteUrlEntryText(entry);
                QCOMPARE(fast, plain);
            }
        }
    }
}

namespace {

// Records every format set and every line, in order: "= " and the format,
// or "| " and the text.
class StreamSink : public ReportSink {
  public:
    QStringList Stream;
    void ClearReport() override { Stream << QStringLiteral("(clear)"); }
    void SetFormat(const ReportFormat& f) override {
        Stream << QStringLiteral("= %1%2%3 %4 %5 %6")
                      .arg(f.Bold ? 'B' : '-')
                      .arg(f.Italic ? 'I' : '-')
                      .arg(f.Underline ? 'U' : '-')
                      .arg(f.FontName)
                      .arg(f.PointSize)
                      .arg(int(f.Align));
    }
    void AppendLine(const QString& text) override { Stream << QStringLiteral("| ") + text; }
};

// A project whose site map and archives hold the cases the sections sort,
// merge and filter: URLs that differ only in case, accents or punctuation,
// relative captions in nested folders, the same link twice on a page, links
// outside any page, several records of a page, results not checked.
ProjectData VariedProject(const QLocale& locale) {
    QRandomGenerator random(27);
    const QStringList words{"a",    "A",   "b",       "index.html", "Index.html",    "x-y",
                            "x_y",  "x y", "10",      "9",          "\u00e9t\u00e9", "ete",
                            "Zoo/", "zoo", "s/t.htm", "%20"};
    const auto word = [&] { return words[int(random.bounded(int(words.size())))]; };
    QStringList entries;
    int depth = 0;
    for (int i = 0; i < 260; ++i) {
        switch (random.bounded(12)) {
        case 0:
            if (i > 0 && depth < 5) {
                entries << "<PUSH>";
                ++depth;
            }
            break;
        case 1:
            if (depth > 0) {
                entries << "<POP>";
                --depth;
            }
            break;
        case 2:
        case 3:
            entries << "<PAGE>" + word();
            break;
        case 4:
            entries << "<PAGE>http://site.test/" + word();
            break;
        case 5:
            entries << "<LINK>http://other.test/" + word();
            break;
        case 6:
            entries << "<MAILTO>mailto:" + word() + "@site.test";
            break;
        case 7:
            entries << "<BROKEN>http://site.test/gone/" + word();
            break;
        case 8:
            entries << "<BROKEN>" + word(); // relative: under the page's folder
            break;
        case 9:
            entries << "<ERROR>http://site.test/cgi/" + word() + " 500";
            break;
        default:
            // Repeats a link of the entries so far on this page.
            for (qsizetype back = entries.size() - 1; back >= 0 && back > entries.size() - 6;
                 --back)
                if (!entries[back].startsWith("<P")) {
                    entries << entries[back];
                    break;
                }
        }
    }
    while (depth-- > 0)
        entries << "<POP>";
    ProjectData project;
    project.SiteMapLines = Map(entries);

    const QStringList pages{"http://site.test/", "http://site.test/a", "http://site.test/A",
                            "http://site.test/b", "http://site.test/x y"};
    const QStringList engines{"<ENGINE>INFOSEEK", "<ENGINE>YAHOO", "<ENGINE>LYCOS",
                              "<ENGINE>HOTBOT"};
    for (int i = 0; i < 40; ++i) {
        const QString page = pages[int(random.bounded(int(pages.size())))];
        const QString stamp = Stamp(QDate(2026, 10, 25).addDays(int(random.bounded(40))),
                                    QTime(int(random.bounded(24)), 0), locale);
        const bool unchecked = i % 7 == 3;
        project.StuffwatchArchive.Append(page, stamp,
                                         unchecked ? page + "<br>VERDICT: not checked: timeout"
                                         : i % 3   ? page + "<br>NO-SPAM"
                                                   : page + "<br>stuffed");
        project.WordweighArchive.Append(page, stamp, page,
                                        QString::number(random.bounded(101)) + (i % 5 ? "" : "%"));
        project.BackwatchArchive.Append(
            page, stamp, i % 2 ? page + "<br>.<br>END" : page + "<br>http://friend.test/<br>END");
        QString ranks = page + "<br>keyword";
        for (int e = 0; e < 2; ++e) {
            ranks += "<br>" + engines[(i + e) % 4];
            if (unchecked && e == 0)
                ranks += "<br><NOTE>Not checked: timeout";
            ranks += "<br><MATCH>" + QString::number(random.bounded(9)) + "<br>";
        }
        project.RankscoutArchive.Append(page, stamp, ranks);
        project.EnginepostArchive.Append(page, stamp,
                                         page + "<br>Successfully submitted " + page +
                                             " to Lycos<br>Successfully submitted " + page +
                                             " to " + (i % 2 ? "Zap" : "Infoseek"));
    }
    return project;
}

} // namespace

void TestAuditReport::wholeReportUnchanged_data() {
    QTest::addColumn<QString>("name"); // of the file with the expected stream
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<AuditOptions>("options");
    AuditOptions all;
    all.Broken = all.Mailto = all.ShowXtal = all.ListPages = true;
    all.Spam = all.LessEffective = all.Remote = all.Ranking = all.PrevSub = true;
    all.Submited = all.Limit = true;
    all.SearchEngine = AllSearchEngines;
    all.SubmitType = QStringLiteral("after");
    all.SubmitDate = QDate(2026, 11, 10);
    all.ScopeDate = QDate(2026, 11, 1);
    all.Effective = QStringLiteral("60");
    QTest::newRow("every section, limited") << "every-section" << US << all;
    AuditOptions plain = all;
    plain.Limit = false;
    plain.SubmitType = QStringLiteral("on");
    plain.SearchEngine = QStringLiteral("Lycos");
    QTest::newRow("every section, German, not limited") << "every-section-de" << DE << plain;
    AuditOptions some;
    some.Mailto = some.ListPages = some.Remote = true;
    QTest::newRow("E-mail links, pages, reciprocal links") << "some-sections" << DE << some;
}

// The whole stream a report writes (formats and lines) against the one kept
// in a file: a change in how the sections are built must not change a line.
// The same whether the audit builds its own tree or reads the window's, in
// line order or sorted. Setting VANTORA_WRITE_EXPECTED writes the files
// instead (after a change that is meant to change the report).
void TestAuditReport::wholeReportUnchanged() {
    QFETCH(QString, name);
    QFETCH(QLocale, locale);
    QFETCH(AuditOptions, options);
    const ProjectData project = VariedProject(locale);
    StreamSink sink;
    WriteAuditReport(project, options, Now, locale, sink);
    QFile file(QStringLiteral(AUDIT_TEST_DATA "/") + name + QStringLiteral(".txt"));
    if (qEnvironmentVariableIsSet("VANTORA_WRITE_EXPECTED")) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(sink.Stream.join(QLatin1Char('\n')).toUtf8() + '\n');
        QSKIP("expected stream written");
    }
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QStringList expected = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    expected.removeLast();
    QVERIFY(sink.Stream.size() > 50);
    QCOMPARE(sink.Stream, expected);
    SiteTree tree;
    // Its map is read up to a line at fault, as the window reads it.
    QCOMPARE(ParseSiteMap(project.SiteMapLines, tree).Outcome, BuildOutcome::InvalidData);
    for (const bool sorted : {false, true}) {
        tree.Sort(sorted);
        StreamSink given;
        WriteAuditReport(project, options, Now, locale, given, &tree);
        QCOMPARE(given.Stream, expected);
    }
}

// --- stored results -------------------------------------------------------

void TestAuditReport::spamScopeAndLatest_data() {
    // Records: page|day offset from ScopeDate|hour|body, separated by ";".
    QTest::addColumn<bool>("limit");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("listed"); // indexes of the records listed
    QTest::addColumn<int>("considered");
    QTest::newRow("dated on ScopeDate left out")
        << true << QStringList{"p1|0|23|spam", "p2|1|0|spam", "p3|-5|9|spam"} << QStringList{"1"}
        << 1;
    QTest::newRow("no limit takes all")
        << false << QStringList{"p1|0|23|spam", "p2|1|0|spam", "p3|-5|9|x<br>NO-SPAM"}
        << QStringList{"0", "1"} << 3;
    QTest::newRow("equal stamps, the later record counts")
        << true
        << QStringList{"p1|2|10|spam", "p1|2|10|x<br>NO-SPAM", "p2|2|10|x<br>NO-SPAM",
                       "p2|2|10|spam"}
        << QStringList{"3"} << 2;
    QTest::newRow("only the newest of a page")
        << false << QStringList{"p1|3|10|x<br>NO-SPAM", "p1|2|22|spam"} << QStringList() << 1;
    QTest::newRow("older record out of scope, newest in scope")
        << true << QStringList{"p1|-1|10|spam", "p1|0|9|spam", "p1|1|8|spam"} << QStringList{"2"}
        << 1;
    QTest::newRow("afternoon beats morning")
        << false << QStringList{"p1|2|15|spam", "p1|2|9|x<br>NO-SPAM"} << QStringList{"0"} << 1;
}

void TestAuditReport::spamScopeAndLatest() {
    QFETCH(bool, limit);
    QFETCH(QStringList, records);
    QFETCH(QStringList, listed);
    QFETCH(int, considered);
    const QDate scope(2026, 10, 1);
    ProjectData project;
    QStringList stamps;
    for (const QString& record : records) {
        const QStringList f = record.split(QLatin1Char('|'));
        const QString stamp = Stamp(scope.addDays(f[1].toInt()), QTime(f[2].toInt(), 0, 0));
        project.StuffwatchArchive.Append("http://site.test/" + f[0], stamp, f[3]);
        stamps << stamp;
    }
    AuditOptions o;
    o.Spam = true;
    o.Limit = limit;
    o.ScopeDate = scope;
    const RecordingSink sink = Audit(project, o);
    QVERIFY(!Truncated(sink));
    QStringList expected{"Pages that show Spamming,"};
    for (const QString& index : listed) {
        const int i = index.toInt();
        expected << B + "http://site.test/" + records[i].section('|', 0, 0) + ", last checked " +
                        stamps[i];
    }
    expected << B + QString::number(listed.size()) + " from " + QString::number(considered) +
                    (limit ? " Stuffwatched pages after " + Short(scope) + " show Spamming."
                           : QStringLiteral(" Stuffwatched pages show Spamming."));
    QCOMPARE(Section(sink, "Pages that show Spamming,"), expected);
    QVERIFY(Find(sink, expected.last())->Format.Italic);
}

void TestAuditReport::effectiveness_data() {
    QTest::addColumn<QString>("percent");
    QTest::addColumn<QString>("effective");
    QTest::addColumn<int>("outcome");   // 1 listed, 0 not listed, -1 truncated
    QTest::addColumn<QString>("shown"); // the percentage as the listed line gives it
    QTest::newRow("exactly at the threshold") << "80"
                                              << "80" << 0 << "";
    QTest::newRow("one below") << "79"
                               << "80" << 1 << "79";
    QTest::newRow("above") << "95"
                           << "80" << 0 << "";
    QTest::newRow("digit and a sign") << "7%"
                                      << "80" << 1 << "7";
    QTest::newRow("digits and a letter") << "85a"
                                         << "80" << 0 << "";
    QTest::newRow("threshold out of the list") << "249"
                                               << "250" << 1 << "249";
    QTest::newRow("empty threshold") << "50"
                                     << "" << -1 << "";
    QTest::newRow("no number stored") << "n/a"
                                      << "80" << -1 << "";
}

void TestAuditReport::effectiveness() {
    QFETCH(QString, percent);
    QFETCH(QString, effective);
    QFETCH(int, outcome);
    QFETCH(QString, shown);
    ProjectData project;
    const QString stamp = Stamp(QDate(2026, 11, 2));
    project.WordweighArchive.Append("http://site.test/w.html", stamp, "body", percent);
    AuditOptions o;
    o.LessEffective = true;
    o.Effective = effective;
    const RecordingSink sink = Audit(project, o);
    QCOMPARE(Truncated(sink), outcome < 0);
    if (outcome < 0) {
        QCOMPARE(sink.Texts().at(sink.Texts().size() - 4),
                 "Pages less than " + effective + "% effective,");
        return;
    }
    QStringList expected{"Pages less than " + effective + "% effective,"};
    if (outcome == 1)
        expected << B + "http://site.test/w.html, was only " + shown +
                        "% effective, last checked " + stamp;
    expected << B + QString::number(outcome) + " from 1 were less than " + effective +
                    "% effective.";
    QCOMPARE(Section(sink, expected.first()), expected);
}

void TestAuditReport::ranking_data() {
    QTest::addColumn<QStringList>("bodies"); // one record of one page each
    QTest::addColumn<QString>("rank");
    QTest::addColumn<QStringList>("lines"); // listed lines, or "TRUNCATED"
    QTest::addColumn<int>("considered");
    const QString head = "http://site.test/r.html<br>key<br>";
    QTest::newRow("rank 0 and rank 5 not listed, 4 listed")
        << QStringList{head + "<ENGINE>INFOSEEK<br><MATCH>0<br><ENGINE>YAHOO<br><MATCH>4<br>",
                       head + "<ENGINE>EXCITE<br><TITLE>t<br><MATCH>5<br>"}
        << "5" << QStringList{"Yahoo: ranked 4"} << 3;
    QTest::newRow("rank 1 lists nothing")
        << QStringList{head + "<ENGINE>LYCOS<br><MATCH>1<br>"} << "1" << QStringList() << 1;
    QTest::newRow("no marker, not considered")
        << QStringList{head + "nothing here<br>"} << "5" << QStringList() << 0;
    QTest::newRow("marker without a match")
        << QStringList{head + "<ENGINE>HOTBOT<br>"} << "5" << QStringList{"TRUNCATED"} << 0;
    QTest::newRow("empty rank threshold") << QStringList{head + "<ENGINE>HOTBOT<br><MATCH>3<br>"}
                                          << "" << QStringList{"TRUNCATED"} << 0;
}

void TestAuditReport::ranking() {
    QFETCH(QStringList, bodies);
    QFETCH(QString, rank);
    QFETCH(QStringList, lines);
    QFETCH(int, considered);
    ProjectData project;
    const QString stamp = Stamp(QDate(2026, 11, 2));
    for (int i = 0; i < bodies.size(); ++i)
        project.RankscoutArchive.Append("http://site.test/r" + QString::number(i) + ".html", stamp,
                                        bodies[i]);
    AuditOptions o;
    o.Ranking = true;
    o.Rank = rank;
    const RecordingSink sink = Audit(project, o);
    if (lines == QStringList{"TRUNCATED"}) {
        QVERIFY(Truncated(sink));
        return;
    }
    QVERIFY(!Truncated(sink));
    const QStringList engines{"Infoseek", "AltaVista",      "Excite", "Webcrawler", "Lycos",
                              "Hotbot",   "Northern Light", "Yahoo",  "Linkstar"};
    QStringList expected{"Pages ranking above " + rank + " on Search Engines,"};
    for (const QString& engine : engines) {
        expected << "" << engine;
        QVERIFY(Find(sink, engine)->Format.Underline);
        for (const QString& line : lines)
            if (line.startsWith(engine + ":"))
                expected << B + "http://site.test/r0.html, " + line.mid(engine.size() + 2) +
                                ", last checked " + stamp;
    }
    expected << ""
             << B + QString::number(lines.size()) + " from " + QString::number(considered) +
                    " pages ranked above " + rank + ".";
    const QStringList shown = sink.Texts();
    const qsizetype start = shown.indexOf(expected.first());
    QCOMPARE(shown.mid(start, expected.size()), expected);
}

void TestAuditReport::submissions_data() {
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("condition");   // "" when Submited is not checked
    QTest::addColumn<QStringList>("records"); // day offset from SubmitDate|engine names
    QTest::addColumn<QStringList>("lines");   // "record index|engine name"
    QTest::addColumn<int>("considered");      // pages with a listed line
    QTest::addColumn<QString>("echo"); // the page as the answers name it; "" for the filed one
    QTest::newRow("all engines, three successes in table order")
        << "(All Search Engines)"
        << "" << QStringList{"0|Lycos,Infoseek,Megallan"}
        << QStringList{"0|Infoseek", "0|Lycos", "0|Megallan"} << 1 << "";
    QTest::newRow("one engine chosen")
        << "Lycos"
        << "" << QStringList{"0|Lycos,Infoseek,Megallan"} << QStringList{"0|Lycos"} << 1 << "";
    QTest::newRow("What-U-Seek item matches What-u-Seek answers only")
        << "What-U-Seek"
        << "" << QStringList{"0|What-u-Seek", "-1|What-U-Seek"} << QStringList{"0|What-u-Seek"} << 1
        << "";
    // The page counts whenever one of its records is listed, newest or not.
    QTest::newRow("on: that day only")
        << "Zap"
        << "on" << QStringList{"0|Zap", "-1|Zap", "1|Zap"} << QStringList{"0|Zap"} << 1 << "";
    QTest::newRow("before") << "Zap"
                            << "before" << QStringList{"0|Zap", "-1|Zap", "1|Zap"}
                            << QStringList{"1|Zap"} << 1 << "";
    QTest::newRow("after") << "Zap"
                           << "after" << QStringList{"0|Zap", "-1|Zap", "1|Zap"}
                           << QStringList{"2|Zap"} << 1 << "";
    QTest::newRow("nothing listed, no page")
        << "Zap"
        << "after" << QStringList{"-1|Zap", "0|Lycos"} << QStringList() << 0 << "";
    // The server writes its marker words in another case inside the URL it
    // echoes; the result is filed under the URL asked for.
    QTest::newRow("filed under the requested URL")
        << "Zap"
        << "" << QStringList{"0|Zap"} << QStringList{"0|Zap"} << 1
        << "http://site.test/Error-codes.html";
}

void TestAuditReport::submissions() {
    QFETCH(QString, engine);
    QFETCH(QString, condition);
    QFETCH(QStringList, records);
    QFETCH(QStringList, lines);
    QFETCH(int, considered);
    QFETCH(QString, echo);
    const QDate day(2026, 11, 20);
    ProjectData project;
    QStringList stamps;
    // All records are of one page, so every record in scope is listed.
    const QString page =
        echo.isEmpty() ? "http://site.test/s.html" : "http://site.test/ERROR-codes.html";
    const QString named = echo.isEmpty() ? page : echo;
    for (const QString& record : records) {
        const QStringList f = record.split(QLatin1Char('|'));
        QString body = named + "<br>1 of 1";
        for (const QString& name : f[1].split(QLatin1Char(',')))
            body += "<br>Successfully submitted " + named + " to " + name + "<br>OK 200";
        stamps << Stamp(day.addDays(f[0].toInt()));
        project.EnginepostArchive.Append(page, stamps.last(), body);
    }
    AuditOptions o;
    o.PrevSub = true;
    o.SearchEngine = engine;
    o.Submited = !condition.isEmpty();
    o.SubmitType = condition.isEmpty() ? QStringLiteral("before") : condition;
    o.SubmitDate = day;
    const RecordingSink sink = Audit(project, o);
    QVERIFY(!Truncated(sink));
    const QString heading = "Pages previously submitted to " + engine +
                            (condition.isEmpty() ? "" : " " + condition + " " + Short(day)) + ",";
    QStringList expected{heading};
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('|'));
        expected << B + page + ", submitted " + stamps[f[0].toInt()] + " to " + f[1];
    }
    expected << B + QString::number(lines.size()) + " submissions to " + engine + " from " +
                    QString::number(considered) + " pages.";
    QCOMPARE(Section(sink, heading), expected);
}

void TestAuditReport::failureKeepsSiteMapSections() {
    ProjectData project;
    project.SiteMapLines =
        Map({"<PAGE>http://site.test/", "<PUSH>", "<BROKEN>http://site.test/gone", "<POP>"});
    project.WordweighArchive.Append("http://site.test/", Stamp(QDate(2026, 11, 2)), "b", "40");
    AuditOptions o;
    o.Broken = o.ListPages = o.LessEffective = true;
    o.Effective = QString();
    const RecordingSink sink = Audit(project, o);
    QVERIFY(Truncated(sink));
    const QStringList shown = sink.Texts();
    QVERIFY(shown.contains(B + "http://site.test/gone"));
    QVERIFY(shown.contains("1.http://site.test/"));
    const RecordedLine& warning = sink.Lines[sink.Lines.size() - 3];
    QVERIFY(warning.Format.Bold && !warning.Format.Italic && warning.Format.PointSize == 10);
    QVERIFY(sink.Lines[sink.Lines.size() - 2].Format.Italic);
    QVERIFY(!sink.Lines.last().Format.Italic);
}

void TestAuditReport::emptyArchivesAndSummaries() {
    ProjectData project;
    project.WordweighArchive.Append("http://site.test/", Stamp(QDate(2026, 11, 2)), "b", "40");
    project.BackwatchArchive.Append("http://site.test/", Stamp(QDate(2026, 11, 2)),
                                    "http://site.test/<br>.<br>END");
    project.BackwatchArchive.Append("http://site.test/b", Stamp(QDate(2026, 11, 2)),
                                    "http://site.test/b<br>http://friend.test/<br>END");
    AuditOptions o;
    o.Spam = o.LessEffective = o.Remote = o.Ranking = o.PrevSub = true;
    o.Limit = true;
    o.ScopeDate = QDate(2026, 11, 1);
    const RecordingSink sink = Audit(project, o);
    QVERIFY(!Truncated(sink));
    const QStringList texts = sink.Texts();
    for (const char* none : {"There are no Stuffwatched pages on record.",
                             "There are no pages analysed with Rankscout on record.",
                             "There are no pages submitted with Enginepost on record."}) {
        const qsizetype at = texts.indexOf(QLatin1String(none));
        QVERIFY2(at > 0, none);
        QVERIFY(sink.Lines[at].Format.Bold);
        QVERIFY(texts[at - 1].isEmpty());
        QVERIFY(!texts[at + 1].startsWith(B)); // no summary
    }
    QCOMPARE(Section(sink, "Pages less than 80% effective,").last(),
             B + "1 from 1 Wordweighed pages after " + Short(o.ScopeDate) +
                 " were less than 80% effective.");
    QCOMPARE(Section(sink, "Pages with reciprocal links,"),
             (QStringList{"Pages with reciprocal links,",
                          B + "http://site.test/b, last checked " + Stamp(QDate(2026, 11, 2)),
                          B + "1 from 2 pages after " + Short(o.ScopeDate) +
                              " contained reciprocal links."}));
}

void TestAuditReport::stampReading_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<QDate>("date"); // invalid: does not read
    QTest::addColumn<QTime>("time");
    QTest::newRow("US today") << US << Stamp(QDate(2026, 3, 4), QTime(16, 5, 6))
                              << QDate(2026, 3, 4) << QTime(16, 5, 6);
    QTest::newRow("US morning") << US << Stamp(QDate(2026, 3, 4), QTime(0, 5, 6))
                                << QDate(2026, 3, 4) << QTime(0, 5, 6);
    QTest::newRow("US old eight characters")
        << US << "12/03/98 14:22:10" << QDate(1998, 12, 3) << QTime(14, 22, 10);
    QTest::newRow("US four-digit year, PM")
        << US << "1/9/2027 2:22:10 PM" << QDate(2027, 1, 9) << QTime(14, 22, 10);
    QTest::newRow("US midnight, no time") << US << "12/8/26" << QDate(2026, 12, 8) << QTime(0, 0);
    QTest::newRow("DE today") << DE << Stamp(QDate(2026, 3, 4), QTime(16, 5, 6), DE)
                              << QDate(2026, 3, 4) << QTime(16, 5, 6);
    QTest::newRow("DE old") << DE << "03.12.98 14:22:10" << QDate(1998, 12, 3) << QTime(14, 22, 10);
    QTest::newRow("DE 2046 is near enough")
        << DE << "1.2.46 1:02:03" << QDate(2046, 2, 1) << QTime(1, 2, 3);
    QTest::newRow("DE 47 is last century")
        << DE << "1.2.47 1:02:03" << QDate(1947, 2, 1) << QTime(1, 2, 3);
    QTest::newRow("no date") << US << "yesterday 10:00:00" << QDate() << QTime();
    QTest::newRow("no such day") << DE << "31.02.26 10:00:00" << QDate() << QTime();
    QTest::newRow("bad time") << US << "1/2/26 25:00:00" << QDate(2026, 1, 2) << QTime();
    // Quoted words in the time, AM/PM words of more than one word.
    QTest::newRow("fr_CA") << QLocale("fr_CA") << "2026-12-08 14 h 30 min 05 s"
                           << QDate(2026, 12, 8) << QTime(14, 30, 5);
    QTest::newRow("sq_AL afternoon") << QLocale("sq_AL") << "8.12.26 2:30:05 E PASDITES"
                                     << QDate(2026, 12, 8) << QTime(14, 30, 5);
    QTest::newRow("pt_MO afternoon") << QLocale("pt_MO") << "08/12/26 2:30:05 da tarde"
                                     << QDate(2026, 12, 8) << QTime(14, 30, 5);
    QTest::newRow("sq_AL as older versions wrote it")
        << QLocale("sq_AL") << "8.12.26 2:30:05 E PASDITES," << QDate(2026, 12, 8)
        << QTime(14, 30, 5);
    // Written under another region: this region's formats do not read it.
    QTest::newRow("US stamp under en_GB")
        << QLocale("en_GB") << "12/8/26 2:30:05 PM" << QDate(2026, 12, 8) << QTime(14, 30, 5);
    QTest::newRow("German stamp under en_US")
        << US << "08.12.26 14:30:05" << QDate(2026, 12, 8) << QTime(14, 30, 5);
}

void TestAuditReport::stampReading() {
    QFETCH(QLocale, locale);
    QFETCH(QString, stamp);
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    const StampReader reader(locale, 2026);
    const std::optional<QDate> readDate = reader.ReadDate(stamp);
    QCOMPARE(readDate.value_or(QDate()), date);
    const std::optional<qint64> full = reader.ReadFullValue(stamp);
    QCOMPARE(full.has_value(), time.isValid());
    if (full)
        QCOMPARE(*full, date.toJulianDay() * 86400000 + time.msecsSinceStartOfDay());
}

void TestAuditReport::oldProjectStamps() {
    // A project file as an older version wrote it: Windows-1252 text, CR
    // line ends, eight-character dates with two-digit years, and a
    // percentage with a character after its digit; beside it a record
    // stamped today in the German short format.
    const QString recent = Stamp(QDate(2026, 11, 30), QTime(9, 0, 0), DE);
    QStringList lines{"ZEPHProject", "www.site.test", "/", "", "0", "N", "N", "0"};
    lines << "3"
          << "http://www.site.test/"
          << "http://www.site.test/"
          << "http://www.site.test/x";
    lines << "3"
          << "03.12.98 14:22:10" << recent << "03.12.98 14:22:10";
    lines << "3"
          << "10"
          << "20"
          << "7%";
    lines << "3"
          << "a"
          << "b"
          << "c";
    for (int block = 6; block <= 21; ++block)
        lines << "0";
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + '\r';
    ProjectData project;
    QVERIFY(ParseProject(bytes, project).IsOk());

    AuditOptions o;
    o.LessEffective = true;
    o.Limit = true;
    o.ScopeDate = QDate(1998, 12, 2);
    RecordingSink sink = Audit(project, o, DE);
    QVERIFY(!Truncated(sink));
    QCOMPARE(
        Section(sink, "Pages less than 80% effective,"),
        (QStringList{"Pages less than 80% effective,",
                     B + "http://www.site.test/, was only 20% effective, last checked " + recent,
                     B + "http://www.site.test/x, was only 7% effective, last checked "
                         "03.12.98 14:22:10",
                     B + "2 from 2 Wordweighed pages after " + Short(o.ScopeDate, DE) +
                         " were less than 80% effective."}));
    // A stamp that does not read ends the report once it is read.
    project.WordweighArchive.Append("http://www.site.test/x", "gestern", "b", "30");
    sink = Audit(project, o, DE);
    QVERIFY(Truncated(sink));
}

void TestAuditReport::stampsReadBackInEveryLocale() {
    // A morning, an afternoon, noon, half past midnight, exactly midnight
    // (date alone), a day above 12 and a year of the last century.
    const QList<QDateTime> moments{
        {QDate(2026, 12, 8), QTime(14, 30, 5)}, {QDate(1998, 1, 25), QTime(9, 5, 7)},
        {QDate(2026, 7, 4), QTime(12, 0, 30)},  {QDate(2026, 7, 4), QTime(0, 30, 0)},
        {QDate(2026, 3, 31), QTime(0, 0)},      {QDate(2045, 11, 30), QTime(23, 59, 59)}};
    const QList<QLocale> all =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    QVERIFY(all.size() > 300);
    QStringList wrong;
    for (const QLocale& locale : all) {
        const StampReader reader(locale, 2026);
        for (const QDateTime& when : moments) {
            const QString stamp = WriteStamp(when, locale);
            const std::optional<StampTime> read = reader.Read(stamp);
            if (!read || read->Date != when.date() || read->Time != when.time() ||
                reader.ReadDate(stamp) != when.date())
                wrong << locale.name() + ": " + stamp;
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(QString::number(wrong.size()) + " wrong: " +
                                         wrong.mid(0, 12).join(QStringLiteral(" ; "))));
}

void TestAuditReport::stampsWrittenUnderAnotherLocale_data() {
    QTest::addColumn<QLocale>("reader");
    for (const char* name : {"en_US", "en_GB", "de_DE", "fr_CA", "ko_KR"})
        QTest::newRow(name) << QLocale(name);
}

void TestAuditReport::stampsWrittenUnderAnotherLocale() {
    // An archive written whole under each region Qt knows reads right
    // under the region in use, as long as one of its days is above 12.
    QFETCH(QLocale, reader);
    const QList<QDateTime> moments{{QDate(2026, 12, 8), QTime(14, 30, 5)},
                                   {QDate(2026, 1, 25), QTime(9, 5, 7)},
                                   {QDate(2026, 7, 4), QTime(0, 0)}};
    const StampReader stamps(reader, 2026);
    QStringList wrong;
    for (const QLocale& writer : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        QStringList archive;
        for (const QDateTime& when : moments)
            archive << WriteStamp(when, writer);
        StampSet set(archive, stamps);
        for (int i = 0; i < int(moments.size()); ++i) {
            const std::optional<StampTime> read = set.Read(i);
            if (!read || QDateTime(read->Date, read->Time) != moments[i] ||
                set.Date(i) != moments[i].date())
                wrong << writer.name() + ": " + archive[i];
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(QString::number(wrong.size()) + " wrong: " +
                                         wrong.mid(0, 12).join(QStringLiteral(" ; "))));
}

void TestAuditReport::latestAcrossTheClockChange_data() {
    // Stuffwatch records of one page in archive order (German stamps,
    // Berlin time); the expected newest is the one that shows spamming.
    QTest::addColumn<QStringList>("stamps");
    QTest::addColumn<int>("newest");
    QTest::newRow("the repeated hour: the later record")
        << QStringList{"25.10.26 02:50:00", "25.10.26 02:30:00"} << 1;
    QTest::newRow("the repeated hour, before it")
        << QStringList{"25.10.26 02:50:00", "25.10.26 01:55:00"} << 0;
    QTest::newRow("an ordinary day: the later time")
        << QStringList{"24.10.26 02:50:00", "24.10.26 02:30:00"} << 0;
    QTest::newRow("same stamp: the later record")
        << QStringList{"24.10.26 02:50:00", "24.10.26 02:50:00"} << 1;
    QTest::newRow("an older stamp added later")
        << QStringList{"26.10.26 09:00:00", "24.10.26 10:00:00", "25.10.26 10:00:00"} << 0;
}

void TestAuditReport::latestAcrossTheClockChange() {
    QFETCH(QStringList, stamps);
    QFETCH(int, newest);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    ProjectData project;
    for (int i = 0; i < int(stamps.size()); ++i)
        project.StuffwatchArchive.Append("http://site.test/p", stamps[i],
                                         i == newest ? "x<br>spam" : "x<br>NO-SPAM");
    AuditOptions o;
    o.Spam = true;
    const RecordingSink sink = Audit(project, o, DE);
    qputenv("TZ", zone);
    QCOMPARE(Section(sink, "Pages that show Spamming,"),
             (QStringList{"Pages that show Spamming,",
                          B + "http://site.test/p, last checked " + stamps[newest],
                          B + "1 from 1 Stuffwatched pages show Spamming."}));
}

QTEST_GUILESS_MAIN(TestAuditReport)
#include "TestAuditReport.moc"
