// The crawl history (storing, choosing earlier crawls, damaged files, Save
// As), comparing findings and pages of two crawls, and XML sitemaps.

#include "Compare.h"
#include "Export.h"
#include "History.h"
#include "XmlSitemap.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>
#include <unistd.h>

#include <sstream>

using namespace vantora::health;

namespace {

PageRow Row(const std::string& path, int status = 200, long long words = 300) {
    PageRow row;
    row.Url = "http://s.test" + path;
    row.Status = status;
    row.Html = true;
    row.Indexable = status == 200;
    row.Title = "T" + path;
    row.Words = words;
    return row;
}

Finding Find(const char* check, const char* path, const char* detail = "d",
             Severity level = Severity::Error) {
    return {check, level, std::string("http://s.test") + path, detail};
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestHealthHistory : public QObject {
    Q_OBJECT
  private slots:
    void storesCrawlsAndFindsEarlierOnes();
    void oldHistoryThatCannotBeWrittenStillReads();
    void damagedHistoryIsReportedAndKept_data();
    void damagedHistoryIsReportedAndKept();
    void saveAsCarriesTheHistory();
    void compareFindings();
    void compareCrawlsAsTheyAreRead_data();
    void compareCrawlsAsTheyAreRead();
    void pageChanges_data();
    void pageChanges();
    void diffStreamsInUrlOrder();
    void csvAndJson();
    void xmlSitemapSplitsIntoAnIndex();
};

void TestHealthHistory::storesCrawlsAndFindsEarlierOnes() {
    QTemporaryDir dir;
    const std::string path = History::PathFor(dir.filePath("Shop.ZPR").toStdString());
    QCOMPARE(QString::fromStdString(path), dir.filePath("Shop.crawls.sqlite"));
    History history;
    std::string error;
    QVERIFY(!history.Open(path, false, error)); // no history: nothing made
    QVERIFY(!QFile::exists(QString::fromStdString(path)));
    QVERIFY2(history.Open(path, true, error), error.c_str());
    QVERIFY(!history.Latest());
    const char* times[] = {"2026-11-30T08:00:00Z", "2026-12-08T09:00:00Z", "2026-12-08T17:00:00Z",
                           "2026-12-09T10:00:00Z"};
    for (int i = 0; i < 4; ++i)
        QVERIFY2(history.Store(times[i], "http://s.test/", {Row("/"), Row("/" + std::to_string(i))},
                               {Find("title-missing", "/x", times[i])}, error),
                 error.c_str());
    History again;
    QVERIFY2(again.Open(path, false, error), error.c_str());
    QCOMPARE(again.Crawls().size(), size_t(4));
    QCOMPARE(QString::fromStdString(again.Latest()->Time), "2026-12-09T10:00:00Z");
    QCOMPARE(QString::fromStdString(again.Earlier("previous")->Time), "2026-12-08T17:00:00Z");
    QCOMPARE(QString::fromStdString(again.Earlier("2026-12-08")->Time), "2026-12-08T17:00:00Z");
    QCOMPARE(QString::fromStdString(again.Earlier("2026-12-08T09")->Time), "2026-12-08T09:00:00Z");
    QCOMPARE(QString::fromStdString(again.Earlier("2026-11")->Time), "2026-11-30T08:00:00Z");
    QVERIFY(!again.Earlier("2026-12-09")); // the latest itself is not an earlier crawl
    QVERIFY(!again.Earlier("yesterday"));
    const std::vector<Finding> findings = again.Findings(again.Latest()->Id);
    QCOMPARE(findings.size(), size_t(1));
    QCOMPARE(QString::fromStdString(findings[0].Detail.str()), "2026-12-09T10:00:00Z");
    std::vector<std::string> urls;
    again.ForEachPage(again.Latest()->Id, [&](const PageRow& row) {
        urls.push_back(row.Url);
        return true;
    });
    QCOMPARE(urls, (std::vector<std::string>{"http://s.test/", "http://s.test/3"}));
}

// A history from before the link scores, on a file this user cannot write:
// its crawls read, with unknown scores, instead of the history being refused.
void TestHealthHistory::oldHistoryThatCannotBeWrittenStillReads() {
    if (geteuid() == 0)
        QSKIP("the superuser can write any file, so a read-only history cannot be made");
    QTemporaryDir dir;
    const std::string path = dir.filePath("Old.crawls.sqlite").toStdString();
    std::string error;
    {
        History history;
        QVERIFY2(history.Open(path, true, error), error.c_str());
        QVERIFY2(history.Store("2026-11-30T08:00:00Z", "http://s.test/", {Row("/")},
                               {Find("title-missing", "/")}, error),
                 error.c_str());
    }
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, "DROP TABLE link_scores", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    QVERIFY(QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner));
    History old;
    QVERIFY2(old.Open(path, false, error), error.c_str());
    const std::vector<Finding> findings = old.Findings(old.Latest()->Id);
    QCOMPARE(findings.size(), size_t(1));
    QCOMPARE(findings[0].LinkScore, -1.0);
    QVERIFY(!old.Store("2026-12-01T08:00:00Z", "http://s.test/", {Row("/")}, {}, error));
}

void TestHealthHistory::damagedHistoryIsReportedAndKept_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("says");
    QTest::newRow("not a database") << QByteArray("ZEPHProject\rjunk") << "damaged";
    QTest::newRow("empty database file") << QByteArray() << "";
    QByteArray torn(8192, '\0');
    torn.replace(0, 16, "SQLite format 3\0");
    QTest::newRow("torn database") << torn << "damaged";
}

void TestHealthHistory::damagedHistoryIsReportedAndKept() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString path = dir.filePath("p.crawls.sqlite");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    History history;
    std::string error;
    const bool opened = history.Open(path.toStdString(), true, error);
    if (says.isEmpty()) {
        QVERIFY2(opened, error.c_str()); // an empty file is a new history
        return;
    }
    QVERIFY(!opened);
    QVERIFY2(QString::fromStdString(error).contains(says), error.c_str());
    QVERIFY(QString::fromStdString(error).contains(path));
    QCOMPARE(Read(path), bytes); // nothing was written over it
}

void TestHealthHistory::saveAsCarriesTheHistory() {
    QTemporaryDir dir;
    const std::string from = dir.filePath("a.zpr").toStdString();
    const std::string to = dir.filePath("b.zpr").toStdString();
    std::string error;
    QVERIFY(History::Carry(from, to, error)); // nothing to carry
    QVERIFY(!QFile::exists(dir.filePath("b.crawls.sqlite")));
    {
        History history;
        QVERIFY(history.Open(History::PathFor(from), true, error));
        QVERIFY(history.Store("2026-12-09T10:00:00Z", "http://s.test/", {Row("/")}, {}, error));
    }
    QVERIFY2(History::Carry(from, to, error), error.c_str());
    History copy;
    QVERIFY2(copy.Open(History::PathFor(to), false, error), error.c_str());
    QCOMPARE(copy.Crawls().size(), size_t(1));
}

void TestHealthHistory::compareFindings() {
    const std::vector<Finding> before = {Find("h1-missing", "/a"), Find("title-missing", "/a"),
                                         Find("title-missing", "/b", "old detail")};
    const std::vector<Finding> now = {Find("status-4xx", "/z"),
                                      Find("title-missing", "/b", "new detail")};
    const std::vector<ComparedFinding> rows = CompareFindings(now, before);
    QCOMPARE(rows.size(), size_t(4));
    auto at = [&](int i) {
        return QString::fromStdString(rows[i].Item.Check.str() + " " + rows[i].Item.Url.str() +
                                      " " + rows[i].Item.Detail.str() + " ") +
               QString::fromUtf8(ChangeName(rows[i].How).data());
    };
    QCOMPARE(at(0), "h1-missing http://s.test/a d fixed");
    QCOMPARE(at(1), "status-4xx http://s.test/z d new");
    QCOMPARE(at(2), "title-missing http://s.test/a d fixed");
    QCOMPARE(at(3), "title-missing http://s.test/b new detail same");
}

// Findings as "check path detail", one a list item.
static std::vector<Finding> Findings(const QStringList& items) {
    std::vector<Finding> findings;
    for (const QString& item : items) {
        const QStringList parts = item.split(u' ');
        findings.push_back(Find(parts[0].toUtf8().constData(), parts[1].toUtf8().constData(),
                                parts[2].toUtf8().constData()));
    }
    SortFindings(findings);
    return findings;
}

void TestHealthHistory::compareCrawlsAsTheyAreRead_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("now");
    QTest::addColumn<bool>("comparing");
    QTest::addColumn<QStringList>("expected"); // "check path detail change score"
    QTest::newRow("new, fixed and same, in byte order")
        << QStringList{"title-missing /a old", "h1-missing /a d", "h1-missing /B d"}
        << QStringList{"title-missing /a new", "h1-multiple /a 2", "h1-missing /B d"} << true
        << QStringList{"h1-missing /B d same 7.0", "h1-missing /a d fixed 12.5",
                       "h1-multiple /a 2 new 12.5", "title-missing /a new same 12.5"};
    QTest::newRow("not compared: all the same")
        << QStringList{"title-missing /a d"} << QStringList{"h1-missing /a d", "h1-missing /c d"}
        << false << QStringList{"h1-missing /a d same 12.5", "h1-missing /c d same -1.0"};
    QTest::newRow("nothing before: all new") << QStringList{} << QStringList{"content-thin /a 3"}
                                             << true << QStringList{"content-thin /a 3 new 12.5"};
    QTest::newRow("nothing now: all fixed; an identifier of a later version")
        << QStringList{"zz-later-check /a x", "content-thin /c 3"} << QStringList{} << true
        << QStringList{"content-thin /c 3 fixed -1.0", "zz-later-check /a x fixed 12.5"};
    QTest::newRow("an identifier that is the start of another")
        << QStringList{"title /a d"} << QStringList{"title-missing /a d", "title /a d"} << true
        << QStringList{"title /a d same 12.5", "title-missing /a d new 12.5"};
}

// Reading both crawls from the history and comparing them as they come gives
// what comparing the two lists does, and the findings of one URL share its text.
void TestHealthHistory::compareCrawlsAsTheyAreRead() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, now);
    QFETCH(bool, comparing);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    History history;
    std::string error;
    QVERIFY2(history.Open(dir.filePath("h.sqlite").toStdString(), true, error), error.c_str());
    std::vector<PageRow> rows = {Row("/B"), Row("/a")};
    rows[0].LinkScore = 7;
    rows[1].LinkScore = 12.5;
    QVERIFY2(history.Store("2026-12-01T00:00:00Z", "http://s.test/", rows, Findings(before), error),
             error.c_str());
    QVERIFY2(history.Store("2026-12-02T00:00:00Z", "http://s.test/", rows, Findings(now), error),
             error.c_str());
    const std::vector<CrawlInfo> crawls = history.Crawls();
    const std::vector<ComparedFinding> read =
        CompareCrawls(history, crawls[1], comparing ? crawls[0].Id : 0);
    QStringList lines;
    for (const ComparedFinding& row : read)
        lines << QString::fromStdString(row.Item.Check.str() + " " + row.Item.Url.str().substr(13) +
                                        " " + row.Item.Detail.str() + " " +
                                        std::string(ChangeName(row.How)) + " ") +
                     QString::number(row.Item.LinkScore, 'f', 1);
    QCOMPARE(lines, expected);
    // The lists' comparison agrees (against no list, every finding is new).
    const std::vector<ComparedFinding> listed =
        CompareFindings(history.Findings(crawls[1].Id),
                        comparing ? history.Findings(crawls[0].Id) : std::vector<Finding>());
    QCOMPARE(listed.size(), read.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        QVERIFY(listed[i].Item.Check == read[i].Item.Check);
        QVERIFY(listed[i].Item.Url == read[i].Item.Url);
        QVERIFY(listed[i].Item.Detail == read[i].Item.Detail);
        QCOMPARE(listed[i].How, comparing ? read[i].How : Change::New);
        for (std::size_t j = 0; j < read.size(); ++j)
            if (read[i].Item.Url == read[j].Item.Url)
                QCOMPARE(read[i].Item.Url.view().data(), read[j].Item.Url.view().data());
    }
}

void TestHealthHistory::pageChanges_data() {
    QTest::addColumn<int>("oldWords");
    QTest::addColumn<int>("newWords");
    QTest::addColumn<bool>("changed");
    QTest::newRow("20 % more") << 100 << 120 << false;
    QTest::newRow("more than 20 % more") << 100 << 121 << true;
    QTest::newRow("20 % fewer") << 100 << 80 << false;
    QTest::newRow("more than 20 % fewer") << 100 << 79 << true;
    QTest::newRow("from none") << 0 << 5 << true;
    QTest::newRow("none both times") << 0 << 0 << false;
}

void TestHealthHistory::pageChanges() {
    QFETCH(int, oldWords);
    QFETCH(int, newWords);
    QFETCH(bool, changed);
    const std::vector<PageChange> changes =
        ComparePages(Row("/", 200, oldWords), Row("/", 200, newWords));
    QCOMPARE(!changes.empty(), changed);
    if (changed)
        QCOMPARE(QString::fromStdString(changes[0].Field), "words");
}

void TestHealthHistory::diffStreamsInUrlOrder() {
    std::vector<PageRow> before = {Row("/a"), Row("/b"), Row("/c"), Row("/d")};
    std::vector<PageRow> now = {Row("/a"), Row("/b", 404), Row("/d"), Row("/e")};
    now[2].Canonical = "http://s.test/a";
    now[2].Indexable = false;
    auto reader = [](const std::vector<PageRow>& rows) {
        auto at = std::make_shared<std::size_t>(0);
        return [&rows, at](PageRow& row) {
            if (*at >= rows.size())
                return false;
            row = rows[(*at)++];
            return true;
        };
    };
    QStringList out;
    DiffPages(reader(before), reader(now), [&](const PageChange& change) {
        out << QString::fromStdString(change.How + " " + change.Url.substr(13) + " " +
                                      change.Field + " " + change.Old + ">" + change.New);
    });
    QCOMPARE(out, QStringList({"changed /b indexable yes>no", "changed /b status 200>404",
                               "removed /c  >", "changed /d canonical >http://s.test/a",
                               "changed /d indexable yes>no", "added /e  >"}));
}

void TestHealthHistory::csvAndJson() {
    const std::vector<ComparedFinding> rows = {
        {Find("title-duplicate", "/a", "http://s.test/b,c \"q\""), Change::New}};
    std::ostringstream csv, json;
    WriteFindingsCsv(csv, rows, true);
    QCOMPARE(QString::fromStdString(csv.str()),
             "check,severity,url,detail,change\n"
             "title-duplicate,error,http://s.test/a,\"http://s.test/b,c \"\"q\"\"\",new\n");
    WriteFindingsJson(json, rows, false);
    QCOMPARE(QString::fromStdString(json.str()),
             "[\n  {\"check\": \"title-duplicate\", \"severity\": \"error\", \"url\": "
             "\"http://s.test/a\", \"detail\": \"http://s.test/b,c \\\"q\\\"\", \"link_score\": "
             "null}\n]\n");
    std::ostringstream empty;
    WriteChangesJson(empty, {});
    QCOMPARE(QString::fromStdString(empty.str()), "[]\n");
}

void TestHealthHistory::xmlSitemapSplitsIntoAnIndex() {
    QTemporaryDir dir;
    std::vector<PageRow> rows;
    for (int i = 0; i < 5; ++i)
        rows.push_back(Row("/p" + std::to_string(i) + "?a=1&b=2"));
    rows[0].Modified = "2026-12-01T10:00:00Z";
    rows.push_back(Row("/gone", 404));
    PageRow noindex = Row("/n");
    noindex.Indexable = false;
    rows.push_back(noindex);
    std::string error;
    const QString one = dir.filePath("one.xml");
    QCOMPARE(WriteXmlSitemaps(one.toStdString(), rows, "http://s.test/", error), 5LL);
    const QByteArray single = Read(one);
    QVERIFY(single.contains(
        "<loc>http://s.test/p0?a=1&amp;b=2</loc><lastmod>2026-12-01T10:00:00Z</lastmod>"));
    QCOMPARE(single.count("<url>"), 5);
    QVERIFY(!single.contains("/gone") && !single.contains("/n<"));
    // Two to a file: an index and three numbered files beside it.
    const QString index = dir.filePath("sitemap.xml");
    QCOMPARE(WriteXmlSitemaps(index.toStdString(), rows, "http://s.test/", error, 2), 5LL);
    const QByteArray text = Read(index);
    QVERIFY(text.contains("<sitemapindex"));
    QCOMPARE(text.count("<sitemap>"), 3);
    QVERIFY(text.contains("<loc>http://s.test/sitemap-3.xml</loc>"));
    QCOMPARE(Read(dir.filePath("sitemap-1.xml")).count("<url>"), 2);
    QCOMPARE(Read(dir.filePath("sitemap-3.xml")).count("<url>"), 1);
}

QTEST_GUILESS_MAIN(TestHealthHistory)
#include "TestHealthHistory.moc"
