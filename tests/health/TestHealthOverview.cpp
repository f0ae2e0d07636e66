// Link scores, the page's overview (grouping, ordering, site score), compare
// and trend data over stored crawls, settings changing findings, and the
// CSV/JSON columns that carry the link score.

#include "Checks.h"
#include "CrawlFacts.h"
#include "Export.h"
#include "History.h"
#include "LinkScore.h"
#include "Overview.h"
#include "Site.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sstream>

using namespace vantora::health;

namespace {

// "0>1 1>2" -> pairs
LinkGraph Graph(int nodes, const QString& edges) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (const QString& edge : edges.split(' ', Qt::SkipEmptyParts)) {
        const QStringList ends = edge.split('>');
        pairs.emplace_back(ends[0].toUInt(), ends[1].toUInt());
    }
    return LinkGraph::FromPairs(static_cast<std::size_t>(nodes), pairs);
}

QString Edges(const LinkGraph& graph) {
    QStringList edges;
    for (std::size_t u = 0; u < graph.Nodes(); ++u)
        for (std::uint32_t k = graph.Offsets[u]; k < graph.Offsets[u + 1]; ++k)
            edges << QStringLiteral("%1>%2").arg(u).arg(graph.Targets[k]);
    return edges.join(' ');
}

std::string Fetch(int id, const std::string& path, int status = 200,
                  const std::string& extra = "") {
    return "{\"k\":\"fetch\",\"id\":" + std::to_string(id) + ",\"url\":\"http://s.test" + path +
           "\",\"status\":" + std::to_string(status) +
           ",\"depth\":1,\"first_ms\":5,\"bytes\":5000,\"type\":\"text/html\"" +
           (extra.empty() ? "" : "," + extra) + "}\n";
}

std::string Page(int id, const std::string& links, const std::string& extra = "") {
    const std::string n = std::to_string(id);
    return "{\"k\":\"page\",\"id\":" + n + ",\"titles\":[\"Title " + n +
           "\"],\"description\":\"D " + n +
           "\",\"description_chars\":3,\"h1_count\":1,\"h1_with_text\":1,\"h1_texts\":[\"H\"],"
           "\"words\":300,\"hash\":\"h" +
           n + "\",\"links\":[" + links + "]" + (extra.empty() ? "" : "," + extra) + "}\n";
}

CrawlFacts Read(const std::string& records) {
    std::istringstream in(
        "{\"format\":\"vantora-facts\",\"version\":1,\"root\":\"http://s.test/\"}\n" + records +
        "{\"k\":\"end\",\"pages\":1,\"complete\":true}\n");
    CrawlFacts facts;
    std::string error;
    if (!ReadFacts(in, facts, error))
        qFatal("%s", error.c_str());
    return facts;
}

ComparedFinding Row(const char* check, const char* path, double score, Change how = Change::Same,
                    Severity level = Severity::Warning) {
    return {{check, level, std::string("http://s.test") + path, "d", score}, how};
}

QString Urls(const std::vector<ComparedFinding>& all, const std::vector<std::size_t>& rows) {
    QStringList urls;
    for (const std::size_t row : rows)
        urls << QString::fromStdString(all[row].Item.Url.str()).mid(13);
    return urls.join(' ');
}

} // namespace

class TestHealthOverview : public QObject {
    Q_OBJECT
  private slots:
    void linkScore_data();
    void linkScore();
    void siteLinks_data();
    void siteLinks();
    void overviewAndOrdering();
    void compareAndTrendOverThreeCrawls();
    void settingsChangeFindings_data();
    void settingsChangeFindings();
    void axisLabels_data();
    void axisLabels();
    void columns_data();
    void columns();
};

void TestHealthOverview::linkScore_data() {
    // Expected values: PageRank with damping 0.85, dangling rank spread over
    // all nodes, scaled so the best is 100 (worked out by hand for the star:
    // hub C = 0.03 + 0.85 (4 L + C / 5), leaf L = 0.03 + 0.17 C).
    QTest::addColumn<int>("nodes");
    QTest::addColumn<QString>("edges");
    QTest::addColumn<QString>("scores");
    QTest::newRow("chain, its end dangling") << 3 << "0>1 1>2"
                                             << "38.87 71.91 100";
    QTest::newRow("star, leaves link back") << 5 << "0>1 0>2 0>3 0>4 1>0 2>0 3>0 4>0"
                                            << "100 27.56 27.56 27.56 27.56";
    QTest::newRow("leaves to a dangling hub") << 5 << "1>0 2>0 3>0 4>0"
                                              << "100 22.73 22.73 22.73 22.73";
    QTest::newRow("cycle") << 4 << "0>1 1>2 2>3 3>0"
                           << "100 100 100 100";
    QTest::newRow("a dangling page") << 3 << "0>1 0>2 1>0"
                                     << "100 77.03 77.03";
    QTest::newRow("repeated links and self links count once or not")
        << 3 << "0>1 0>1 0>1 0>2 1>0 1>1 2>2"
        << "100 77.03 77.03";
    QTest::newRow("no links at all") << 3 << ""
                                     << "100 100 100";
}

void TestHealthOverview::linkScore() {
    QFETCH(int, nodes);
    QFETCH(QString, edges);
    QFETCH(QString, scores);
    const RankResult result = PageRank(Graph(nodes, edges));
    QVERIFY(result.Converged);
    double sum = 0;
    for (const double rank : result.Ranks)
        sum += rank;
    QVERIFY(qAbs(sum - 1) < 1e-9);
    const std::vector<double> scaled = ScaledScores(result.Ranks);
    const QStringList expected = scores.split(' ');
    QCOMPARE(scaled.size(), std::size_t(expected.size()));
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(qAbs(scaled[i] - expected[i].toDouble()) < 0.006,
                 qPrintable(QStringLiteral("node %1: %2").arg(i).arg(scaled[i])));
}

void TestHealthOverview::siteLinks_data() {
    QTest::addColumn<QString>("records");
    QTest::addColumn<QString>("edges");
    auto row = [](const char* name, const std::string& records, const char* edges) {
        QTest::newRow(name) << QString::fromStdString(records) << edges;
    };
    const std::string root = Fetch(0, "/", 200, "\"depth\":0");
    row("plain links", root + Page(0, "1,2") + Fetch(1, "/a") + Page(1, "0") + Fetch(2, "/b"),
        "0>1 0>2 1>0");
    row("a nofollow link is not counted, a followed one beside it is",
        root + Page(0, "1,2", "\"nofollow\":[\"http://s.test/b\"]") + Fetch(1, "/a") +
            Fetch(2, "/b"),
        "0>1");
    row("links of a noindex page count",
        root + Page(0, "1") + Fetch(1, "/n") + Page(1, "0", "\"robots\":\"noindex\""), "0>1 1>0");
    row("a page with robots nofollow (or none) hands on nothing",
        root + Page(0, "1,2") + Fetch(1, "/n") + Page(1, "0", "\"robots\":\"noindex, nofollow\"") +
            Fetch(2, "/m", 200, "\"x_robots\":\"none\"") + Page(2, "0"),
        "0>1 0>2");
    row("a redirect links to its target",
        root + Page(0, "1") + Fetch(1, "/r", 301, "\"location\":\"http://s.test/t\"") +
            Fetch(2, "/t"),
        "0>1 1>2");
    row("an error page has no links", root + Page(0, "1") + Fetch(1, "/e", 404) + Page(1, "0"),
        "0>1");
}

void TestHealthOverview::siteLinks() {
    QFETCH(QString, records);
    QFETCH(QString, edges);
    const CrawlFacts facts = Read(records.toStdString());
    const Site site(facts);
    QCOMPARE(Edges(SiteLinks(site)), edges);
    const std::vector<double> scores = LinkScores(site);
    QCOMPARE(scores.size(), facts.Urls.size());
    QCOMPARE(*std::max_element(scores.begin(), scores.end()), 100.0);
}

void TestHealthOverview::overviewAndOrdering() {
    const std::vector<ComparedFinding> all = {
        Row("h1-multiple", "/a", 10, Change::Same, Severity::Notice),
        Row("old-check-gone", "/a", 90, Change::Same, Severity::Warning),
        Row("status-4xx", "/x", -1, Change::New, Severity::Error),
        Row("status-4xx", "/y", 50, Change::Same, Severity::Error),
        Row("status-4xx", "/z", 50, Change::Fixed, Severity::Error),
        Row("title-duplicate", "/b", 20, Change::New),
        Row("title-duplicate", "/c", 80, Change::Same),
        Row("title-duplicate", "/d", 80, Change::New),
        Row("title-duplicate", "/a", -1, Change::Same),
    };
    const Overview overview = Summarise(all, 10);
    QCOMPARE(overview.Counts, (SeverityCounts{2, 5, 1}));
    QCOMPARE(overview.NewCounts, (SeverityCounts{1, 2, 0}));
    // Errors on /x and /y; warnings only on /a, /b, /c, /d: 100 - 20 - 20.
    QCOMPARE(overview.Score, 60);
    QStringList order;
    for (const CheckGroup& group : overview.Checks)
        order << QStringLiteral("%1:%2/%3/%4")
                     .arg(QString::fromStdString(group.Check))
                     .arg(group.Count)
                     .arg(group.New)
                     .arg(group.Fixed);
    QCOMPARE(order.join(' '),
             "status-4xx:2/1/1 title-duplicate:4/2/0 old-check-gone:1/0/0 h1-multiple:1/0/0");
    // An identifier the table does not know is kept, shown by itself.
    QVERIFY(!overview.Checks[2].Known);
    QCOMPARE(QString::fromStdString(overview.Checks[2].Text), "old-check-gone");
    QVERIFY(!overview.Checks[1].Advice.empty());

    QCOMPARE(Urls(all, AffectedRows(all, "title-duplicate", false)), "/c /d /b /a");
    QCOMPARE(Urls(all, AffectedRows(all, "title-duplicate", true)), "/d /b");
    QCOMPARE(Urls(all, AffectedRows(all, "title-duplicate", false, PageOrder::Url, true)),
             "/d /c /b /a");
    QCOMPARE(Urls(all, AffectedRows(all, "status-4xx", false, PageOrder::Change)), "/x /z /y");
    QCOMPARE(AffectedRows(all, "", false).size(), all.size());
    QCOMPARE(SiteScore(0, 0, 0), 100);
    QCOMPARE(SiteScore(3, 5, 0), 0); // more URLs with findings than counted: never below 0
}

void TestHealthOverview::compareAndTrendOverThreeCrawls() {
    QTemporaryDir dir;
    History history;
    std::string error;
    QVERIFY2(history.Open(dir.filePath("s.crawls.sqlite").toStdString(), true, error),
             error.c_str());
    auto page = [](const char* path, double score) {
        PageRow row;
        row.Url = std::string("http://s.test") + path;
        row.Status = 200;
        row.LinkScore = score;
        return row;
    };
    auto finding = [](const char* check, const char* path) {
        const CheckRule* rule = FindCheck(check);
        return Finding{check, rule ? rule->Level : Severity::Notice,
                       std::string("http://s.test") + path, "d"};
    };
    const std::vector<PageRow> pages = {page("/", 100), page("/a", 40), page("/b", 12.5)};
    QVERIFY(history.Store(
        "2026-12-01T10:00:00Z", "http://s.test/", pages,
        {finding("status-4xx", "/a"), finding("h1-missing", "/a"), finding("h1-missing", "/b")},
        error));
    QVERIFY(history.Store("2026-12-02T10:00:00Z", "http://s.test/", pages,
                          {finding("h1-missing", "/b"), finding("content-thin", "/b")}, error));
    QVERIFY(history.Store("2026-12-03T10:00:00Z", "http://s.test/", pages,
                          {finding("h1-missing", "/b"), finding("title-missing", "/"),
                           finding("from-an-older-table", "/a")},
                          error));
    const std::vector<TrendPoint> trend = Trend(history);
    QCOMPARE(trend.size(), std::size_t(3));
    QCOMPARE(trend[0].Counts, (SeverityCounts{1, 2, 0}));
    QCOMPARE(trend[1].Counts, (SeverityCounts{0, 1, 1}));
    QCOMPARE(trend[2].Counts, (SeverityCounts{1, 1, 1}));
    QCOMPARE(trend[0].Score, 50); // /a error, /b warning: 100 - 33.3 - 16.7
    QCOMPARE(trend[1].Score, 83);
    QCOMPARE(trend[2].Score, 50); // "/" error, /b warning, /a only a notice
    QCOMPARE(QString::fromStdString(trend[1].Crawl.Time), "2026-12-02T10:00:00Z");

    const std::vector<Finding> now = history.Findings(trend[2].Crawl.Id);
    QCOMPARE(now.size(), std::size_t(3));
    QCOMPARE(now[2].Check, std::string("title-missing"));
    QCOMPARE(now[2].LinkScore, 100.0);
    QCOMPARE(now[1].LinkScore, 12.5);
    const std::vector<ComparedFinding> compared =
        CompareFindings(now, history.Findings(trend[0].Crawl.Id));
    QStringList marks;
    for (const ComparedFinding& row : compared)
        marks << QString::fromStdString(row.Item.Check.str() + row.Item.Url.str().substr(13) + "=" +
                                        std::string(ChangeName(row.How)));
    QCOMPARE(marks.join(' '), "from-an-older-table/a=new h1-missing/a=fixed h1-missing/b=same "
                              "status-4xx/a=fixed title-missing/=new");
    const Overview overview = Summarise(compared, 3);
    QCOMPARE(overview.NewCounts, (SeverityCounts{1, 0, 1}));

    // A page row read back carries its score; a crawl stored without scores reads unknown.
    PageRow row;
    QVERIFY(history.PageReader(trend[0].Crawl.Id)(row));
    QCOMPARE(row.LinkScore, 100.0);
    QVERIFY(history.Store("2026-12-04T10:00:00Z", "http://s.test/", {page("/", -1)},
                          {finding("h1-missing", "/")}, error));
    QCOMPARE(history.Findings(history.Latest()->Id).at(0).LinkScore, -1.0);
}

void TestHealthOverview::settingsChangeFindings_data() {
    QTest::addColumn<QString>("check");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<bool>("off");
    QTest::addColumn<bool>("listed");
    QTest::newRow("defaults: 300 words are not thin") << "content-thin" << -1.0 << false << false;
    QTest::newRow("thin below 400 words") << "content-thin" << 400.0 << false << true;
    QTest::newRow("slow over 3 ms first byte") << "response-slow" << 3.0 << false << true;
    QTest::newRow("slow switched off") << "response-slow" << 3.0 << true << false;
    QTest::newRow("heavy over 4000 bytes") << "page-heavy" << 4000.0 << false << true;
    QTest::newRow("deep beyond 0 clicks") << "depth-deep" << 0.0 << false << true;
    QTest::newRow("h1 switched off") << "h1-missing" << -1.0 << true << false;
}

void TestHealthOverview::settingsChangeFindings() {
    QFETCH(QString, check);
    QFETCH(double, threshold);
    QFETCH(bool, off);
    QFETCH(bool, listed);
    // /a: 300 words, first byte 5 ms, 5000 bytes, 1 click deep, no h1.
    const CrawlFacts facts =
        Read(Fetch(0, "/", 200, "\"depth\":0") + Page(0, "1") + Fetch(1, "/a") +
             Page(1, "0", "\"h1_count\":0,\"h1_with_text\":0,\"h1_texts\":[]"));
    CheckSettings settings;
    if (threshold >= 0)
        settings.Limits[check.toStdString()] = threshold;
    if (off)
        settings.Off.insert(check.toStdString());
    bool found = false;
    for (const Finding& finding : FindIssues(facts, settings))
        found |= finding.Check == check.toStdString() && finding.Url == "http://s.test/a";
    QCOMPARE(found, listed);
}

void TestHealthOverview::axisLabels_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("labels");
    QTest::newRow("all fit") << 3 << 10 << "0 1 2";
    QTest::newRow("one point") << 1 << 10 << "0";
    QTest::newRow("five of nine") << 9 << 5 << "0 2 4 6 8";
    QTest::newRow("500 crawls, 6 labels") << 500 << 6 << "0 100 200 299 399 499";
    QTest::newRow("room for one: the latest") << 40 << 1 << "39";
    QTest::newRow("nothing") << 0 << 5 << "";
}

void TestHealthOverview::axisLabels() {
    QFETCH(int, count);
    QFETCH(int, max);
    QFETCH(QString, labels);
    QStringList out;
    for (const std::size_t at :
         AxisLabels(static_cast<std::size_t>(count), static_cast<std::size_t>(max)))
        out << QString::number(at);
    QCOMPARE(out.join(' '), labels);
}

void TestHealthOverview::columns_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<bool>("comparing");
    QTest::addColumn<QString>("csv"); // or the error's start
    QTest::newRow("score added") << "url,link_score" << false
                                 << "url,link_score\nhttp://s.test/a,42.0\nhttp://s.test/b,\n";
    QTest::newRow("change with compare")
        << "check,change" << true << "check,change\nc,new\nc,same\n";
    QTest::newRow("change without compare")
        << "check,change" << false << "error: the column change";
    QTest::newRow("unknown") << "url,score" << false << "error: unknown column \"score\"";
    QTest::newRow("twice") << "url,url" << false << "error: the column url is named twice";
    QTest::newRow("empty") << "" << false << "error: unknown column \"\"";
}

void TestHealthOverview::columns() {
    QFETCH(QString, list);
    QFETCH(bool, comparing);
    QFETCH(QString, csv);
    const std::vector<ComparedFinding> rows = {
        {{"c", Severity::Error, "http://s.test/a", "d", 42}, Change::New},
        {{"c", Severity::Error, "http://s.test/b", "d", -1}, Change::Same}};
    std::vector<std::string> columns;
    std::string error;
    if (!ParseFindingColumns(list.toStdString(), comparing, columns, error)) {
        QVERIFY2(("error: " + error).rfind(csv.toStdString(), 0) == 0, error.c_str());
        return;
    }
    std::ostringstream out;
    WriteFindingsCsv(out, rows, columns);
    QCOMPARE(QString::fromStdString(out.str()), csv);
    std::ostringstream json;
    WriteFindingsJson(json, rows, false);
    QVERIFY(json.str().find("\"link_score\": 42.0") != std::string::npos);
    QVERIFY(json.str().find("\"link_score\": null") != std::string::npos);
}

QTEST_GUILESS_MAIN(TestHealthOverview)
#include "TestHealthOverview.moc"
