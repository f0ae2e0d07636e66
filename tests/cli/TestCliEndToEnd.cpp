// vantora-cli end to end: the real program and the real sm against a site
// this test serves on 127.0.0.1 with planted faults, crawled twice with the
// site changed between; the health rows, the compare rows, --fail-on, diff,
// the XML sitemap, and a crawl killed half way.

#include <httplib.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <map>
#include <thread>

namespace {

QString Program() {
    return qEnvironmentVariable("VANTORA_BIN_DIR") + "/vantora-cli";
}

std::string Words(int n, const char* word = "word") {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += std::string(word) + std::to_string(i % 7) + " ";
    return text;
}

std::string Page(const std::string& title, const std::string& body, const std::string& head = "") {
    return "<html><head><title>" + title + "</title><meta name=description content=\"About " +
           title + "\">" + head + "</head><body><h1>" + title + "</h1><main>" + body +
           "</main></body></html>";
}

// The site, in version 1 or 2.
struct Site {
    std::atomic<int> Version{1};
    std::atomic<bool> Slow{false};
    int Port = 0;

    void Answer(const httplib::Request& request, httplib::Response& response) {
        const std::string path = request.path;
        const int v = Version.load();
        const std::string base = "http://127.0.0.1:" + std::to_string(Port);
        auto html = [&](const std::string& text) { response.set_content(text, "text/html"); };
        if (Slow.load() && path.rfind("/slow", 0) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::string links;
            for (int i = 0; i < 20; ++i)
                links += "<a href=\"" + path + "x" + std::to_string(i) + "\">x</a>";
            html(Page("Slow " + path, Words(250) + links));
            return;
        }
        if (path == "/") {
            std::string links =
                "<a href=/a>a</a><a href=/old>o</a>"
                "<a href=/dup1>d</a><a href=/dup2>d</a><a href=/words>w</a>"
                "<a href=/words2>w</a><a href=/c#missing>c</a><a href=/c#here>c</a>"
                "<a href=/canon>c</a><a href=/t>t</a><a href=/status>s</a>"
                "<a href=/k1>k</a><a href=/k2>k</a><a href=/k3>k</a><a href=/k4>k</a>";
            links += v == 1 ? "<a href=/b>b</a><a href=/gone>g</a>" : "<a href=/new>n</a>";
            if (Slow.load())
                links += "<a href=/slow1>s</a><a href=/slow2>s</a><a href=/slow3>s</a>";
            html(Page("Home", Words(250) + links));
        } else if (path == "/a") {
            html(Page("Page A", Words(260, "alpha")));
        } else if (path == "/b" && v == 1) {
            html(Page("Page B", Words(260, "beta")));
        } else if (path == "/new" && v == 2) {
            html(Page("Page New", Words(260, "nova")));
        } else if (path == "/gone" && v == 1) {
            response.status = 404;
        } else if (path == "/old") {
            response.status = 301;
            response.set_header("Location", base + "/mid");
        } else if (path == "/mid") {
            response.status = 302;
            response.set_header("Location", base + "/a");
        } else if (path == "/dup1" || path == "/dup2") {
            html(Page("Twin", Words(240, path == "/dup1" ? "one" : "two")));
        } else if (path == "/words") {
            html(Page("Words", Words(v == 1 ? 300 : 330, "gamma")));
        } else if (path == "/words2") {
            html(Page("Words 2", Words(v == 1 ? 300 : 400, "delta")));
        } else if (path == "/c") {
            html(Page("Page C", "<p id=here>" + Words(220, "cee") + "</p>"));
        } else if (path == "/canon") {
            html(Page("Canon", Words(230, "kappa"), v == 2 ? "<link rel=canonical href=/a>" : ""));
        } else if (path == "/t") {
            html(Page(v == 1 ? "Title One" : "Title Two", Words(230, "tau")));
        } else if (path == "/status") {
            if (v == 2)
                response.status = 500;
            else
                html(Page("Status", Words(230, "sigma")));
        } else if (path.size() == 3 && path.rfind("/k", 0) == 0) {
            // canonicals to URLs no link leads to: a 404, a redirect, a noindex
            // page; and a self-canonical
            static const std::map<std::string, std::string> canonicals = {
                {"/k1", "/lost"}, {"/k2", "/moved"}, {"/k3", "/hidden"}, {"/k4", "/k4"}};
            html(Page("Canonical " + path, Words(230, path.c_str() + 1),
                      "<link rel=canonical href=" + base + canonicals.at(path) + ">"));
        } else if (path == "/moved") {
            response.status = 301;
            response.set_header("Location", base + "/a");
        } else if (path == "/hidden") {
            html(Page("Hidden", Words(230, "eta"), "<meta name=robots content=noindex>"));
        } else if (path == "/orphan") {
            html(Page("Orphan", Words(230, "omega")));
        } else if (path == "/sitemap.xml") {
            response.set_content(
                "<?xml version=\"1.0\"?><urlset "
                "xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>" +
                    base + "/</loc></url><url><loc>" + base + "/a</loc></url><url><loc>" + base +
                    "/orphan</loc></url></urlset>",
                "application/xml");
        } else {
            response.status = 404;
        }
    }
};

class Server {
  public:
    explicit Server(Site& site) {
        Http.new_task_queue = [] { return new httplib::ThreadPool(32); };
        Http.Get(".*", [&site](const httplib::Request& request, httplib::Response& response) {
            site.Answer(request, response);
        });
        site.Port = Http.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Http.listen_after_bind(); });
        for (int i = 0; i < 200 && !Http.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Server() {
        Http.stop();
        Thread.join();
    }

  private:
    httplib::Server Http;
    std::thread Thread;
};

struct Run {
    int Exit = -1;
    QString Out, Err;
};

Run Cli(const QStringList& arguments, const QString& temp = {}) {
    QProcess process;
    if (!temp.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temp);
        process.setProcessEnvironment(environment);
    }
    process.start(Program(), arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.Err = "timed out";
        return run;
    }
    run.Exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestCliEndToEnd : public QObject {
    Q_OBJECT
  private slots:
    void twoCrawlsHealthCompareDiff();
    void killedCrawlKeepsTheHistory();
    void badArgumentsAndFailures_data();
    void badArgumentsAndFailures();
};

void TestCliEndToEnd::twoCrawlsHealthCompareDiff() {
    Site site;
    Server server(site);
    QTemporaryDir dir;
    const QString project = dir.filePath("site.zpr");
    const QString root = QString("http://127.0.0.1:%1/").arg(site.Port);
    const QString base = root.chopped(1);

    Run crawl = Cli({"crawl", project, "--new", root, "--sm-options", "--no-external --quiet"});
    QVERIFY2(crawl.Exit == 0, qPrintable(crawl.Err));
    QVERIFY(crawl.Out.isEmpty()); // progress and the summary go to standard error
    QVERIFY(Read(project).startsWith("ZEPHProject\r"));
    QVERIFY(Read(project).contains("WEBCHARTER\r<ROOT>http://127.0.0.1:"));
    QVERIFY(QFile::exists(dir.filePath("site.crawls.sqlite")));

    Run health = Cli({"health", project});
    QCOMPARE(health.Exit, 0);
    const QStringList rows = health.Out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.value(0), "check,severity,url,detail");
    for (const QString& expected :
         {"fragment-missing,warning," + base + "/,http://127.0.0.1:" + QString::number(site.Port) +
              "/c#missing",
          "redirect-chain,warning," + base + "/old," + base + "/old -> " + base + "/mid -> " +
              base + "/a",
          "redirect-internal,notice," + base + "/old," + base + "/mid",
          "sitemap-missing,notice," + base + "/b,not in the XML sitemap",
          "sitemap-orphan,warning," + base + "/orphan,no crawled page links to it",
          "status-4xx,error," + base + "/gone," + base + "/",
          "title-duplicate,warning," + base + "/dup1," + base + "/dup2",
          "title-duplicate,warning," + base + "/dup2," + base + "/dup1",
          "canonical-broken,error," + base + "/k1," + base + "/lost answers 404",
          "canonical-broken,error," + base + "/k2," + base + "/moved redirects to " + base + "/a",
          "canonical-broken,error," + base + "/k3," + base + "/hidden is noindex"})
        QVERIFY2(rows.contains(expected), qPrintable("missing: " + expected + "\n" + health.Out));
    // The self-canonical is fine; the canonical targets were fetched for that
    // alone: they get no findings of their own.
    for (const QString& row : rows) {
        const QString url = row.section(',', 2, 2);
        QVERIFY2(!(url == base + "/k4" && row.startsWith("canonical-")), qPrintable(row));
        QVERIFY2(url != base + "/lost" && url != base + "/moved" && url != base + "/hidden",
                 qPrintable(row));
    }
    QStringList sorted = rows.mid(1);
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        const QStringList x = a.split(','), y = b.split(',');
        return x[0] != y[0] ? x[0] < y[0] : x[2] < y[2];
    });
    QCOMPARE(rows.mid(1), sorted);
    // The fragment that names an id and the page /c itself are fine.
    QVERIFY(!health.Out.contains("/c#here"));
    QCOMPARE(Cli({"health", project, "--fail-on", "error"}).Exit, 3);

    const QString json = dir.filePath("h.json");
    QCOMPARE(Cli({"health", project, "--json", json}).Exit, 0);
    const QJsonArray array = QJsonDocument::fromJson(Read(json)).array();
    QCOMPARE(array.size(), rows.size() - 1);
    QCOMPARE(array[0].toObject().keys(),
             QStringList({"check", "detail", "link_score", "severity", "url"}));
    // Every finding is about a fetched URL, and each of those has a link score.
    for (const QJsonValue& finding : array) {
        const QJsonValue score = finding.toObject().value("link_score");
        QVERIFY2(score.isDouble() && score.toDouble() >= 0 && score.toDouble() <= 100,
                 qPrintable(finding.toObject().value("url").toString()));
    }
    const Run scored = Cli({"health", project, "--csv", "-", "--columns", "url,link_score"});
    QVERIFY2(scored.Out.startsWith("url,link_score\n"), qPrintable(scored.Out));
    QCOMPARE(Cli({"health", project, "--columns", "url,change"}).Exit, 2);

    site.Version = 2;
    crawl = Cli({"crawl", project, "--sm-options", "--no-external"});
    QVERIFY2(crawl.Exit == 0, qPrintable(crawl.Err));
    QVERIFY(crawl.Err.contains("pages done")); // progress lines
    Run crawls = Cli({"crawls", project});
    QCOMPARE(crawls.Out.count('\n'), 2);

    Run compared = Cli({"health", project, "--csv", "-", "--compare", "previous"});
    QCOMPARE(compared.Exit, 0);
    QVERIFY(compared.Out.startsWith("check,severity,url,detail,change\n"));
    for (const QString& expected :
         {"status-4xx,error," + base + "/gone," + base + "/,fixed",
          "status-5xx,error," + base + "/status," + base + "/,new",
          "title-duplicate,warning," + base + "/dup1," + base + "/dup2,same",
          "sitemap-missing,notice," + base + "/b,not in the XML sitemap,fixed",
          "sitemap-missing,notice," + base + "/new,not in the XML sitemap,new"})
        QVERIFY2(compared.Out.contains(expected + "\n"),
                 qPrintable("missing: " + expected + "\n" + compared.Out));
    // A new error fails the deploy; only new findings count with --compare.
    QCOMPARE(Cli({"health", project, "--compare", "previous", "--fail-on", "error"}).Exit, 3);
    QCOMPARE(Cli({"health", project, "--compare", "previous", "--fail-on", "warning"}).Exit, 3);

    Run diff = Cli({"diff", project});
    QCOMPARE(diff.Exit, 0);
    const QString expectedDiff = "change,url,field,old,new\n"
                                 "removed," +
                                 base +
                                 "/b,,,\n"
                                 "changed," +
                                 base + "/canon,canonical,," + base +
                                 "/a\n"
                                 "changed," +
                                 base +
                                 "/canon,indexable,yes,no\n"
                                 "removed," +
                                 base +
                                 "/gone,,,\n"
                                 "added," +
                                 base +
                                 "/new,,,\n"
                                 "changed," +
                                 base +
                                 "/status,indexable,yes,no\n"
                                 "changed," +
                                 base +
                                 "/status,status,200,500\n"
                                 "changed," +
                                 base +
                                 "/t,description,About Title One,About Title Two\n"
                                 "changed," +
                                 base +
                                 "/t,h1,Title One,Title Two\n"
                                 "changed," +
                                 base +
                                 "/t,title,Title One,Title Two\n"
                                 "changed," +
                                 base + "/words2,words,300,400\n";
    QCOMPARE(diff.Out, expectedDiff);

    // Once the same error is there a second time it is no longer new.
    QVERIFY(Cli({"crawl", project, "--sm-options", "--no-external --quiet"}).Exit == 0);
    QCOMPARE(Cli({"health", project, "--compare", "previous", "--fail-on", "error"}).Exit, 0);
    QCOMPARE(Cli({"health", project, "--fail-on", "error"}).Exit, 3);

    const QString xml = dir.filePath("sitemap.xml");
    QCOMPARE(Cli({"sitemap", project, "--xml", xml}).Exit, 0);
    const QByteArray sitemap = Read(xml);
    QVERIFY(sitemap.contains("<loc>" + base.toUtf8() + "/a</loc>"));
    QVERIFY(!sitemap.contains("/canon<")); // canonical elsewhere: not indexable
    QVERIFY(!sitemap.contains("/status<"));
}

void TestCliEndToEnd::killedCrawlKeepsTheHistory() {
    Site site;
    Server server(site);
    QTemporaryDir dir;
    const QString project = dir.filePath("site.zpr");
    const QString root = QString("http://127.0.0.1:%1/").arg(site.Port);
    QCOMPARE(Cli({"crawl", project, "--new", root, "--sm-options", "--no-external"}).Exit, 0);
    const QByteArray projectBefore = Read(project);
    const QByteArray historyBefore = Read(dir.filePath("site.crawls.sqlite"));

    // The next crawl meets slow pages and is killed while it runs.
    site.Slow = true;
    site.Version = 2;
    QTemporaryDir temp; // the crawls' own temporary folders go here
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", temp.path());
    process.setProcessEnvironment(environment);
    process.start(Program(), {"crawl", project, "--sm-options", "--no-external --concurrency=2"});
    QVERIFY(process.waitForStarted());
    QByteArray err;
    for (int i = 0; i < 200 && !err.contains("pages done"); ++i) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    QVERIFY2(err.contains("pages done"), err.constData());
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    process.waitForFinished();

    QCOMPARE(Read(project), projectBefore);
    QCOMPARE(Read(dir.filePath("site.crawls.sqlite")), historyBefore);
    Run crawls = Cli({"crawls", project});
    QCOMPARE(crawls.Exit, 0);
    QCOMPARE(crawls.Out.count('\n'), 1);
    QCOMPARE(Cli({"health", project}).Exit, 0);

    // The killed crawl's folder is left; the next crawl removes it, and leaves
    // the folder of a crawl that still runs.
    const auto runFolders = [&] {
        return QDir(temp.path()).entryList({"vantora-crawl-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    };
    QCOMPARE(runFolders().size(), 1);
    const QString running = QString("vantora-crawl-%1-x").arg(QCoreApplication::applicationPid());
    QVERIFY(QDir(temp.path()).mkdir(running));
    site.Slow = false;
    QCOMPARE(Cli({"crawl", project, "--sm-options", "--no-external"}, temp.path()).Exit, 0);
    QCOMPARE(runFolders(), QStringList{running});
}

void TestCliEndToEnd::badArgumentsAndFailures_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    QTest::newRow("no command") << QStringList() << 2 << "command is missing";
    QTest::newRow("unknown command") << QStringList{"crawel", "p.zpr"} << 2 << "unknown command";
    QTest::newRow("unknown option")
        << QStringList{"health", "p.zpr", "--cvs", "-"} << 2 << "unknown option";
    QTest::newRow("bad severity") << QStringList{"health", "p.zpr", "--fail-on", "notice"} << 2
                                  << "error or warning";
    QTest::newRow("value missing")
        << QStringList{"diff", "p.zpr", "--from"} << 2 << "needs a value";
    QTest::newRow("sitemap without --xml") << QStringList{"sitemap", "p.zpr"} << 2 << "--xml";
    QTest::newRow("no history yet") << QStringList{"health", "p.zpr"} << 1 << "crawl first";
    QTest::newRow("not a URL") << QStringList{"crawl", "p.zpr", "--new", "http:///x"} << 2
                               << "not a root URL";
    // A port nothing listens on: the crawl cannot run.
    QTest::newRow("unreachable root")
        << QStringList{"crawl", "p.zpr", "--new", "http://127.0.0.1:9/"} << 1
        << "could not be reached";
    QTest::newRow("project is no project file")
        << QStringList{"crawl", "junk.zpr"} << 1 << "not a project file";
}

void TestCliEndToEnd::badArgumentsAndFailures() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exit);
    QFETCH(QString, says);
    QTemporaryDir dir;
    {
        QFile junk(dir.filePath("junk.zpr"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a project\r");
    }
    for (QString& argument : arguments)
        if (argument.endsWith(".zpr"))
            argument = dir.filePath(argument);
    const Run run = Cli(arguments);
    QCOMPARE(run.Exit, exit);
    QVERIFY2(run.Err.contains(says), qPrintable(run.Err));
    QVERIFY(run.Out.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliEndToEnd)
#include "TestCliEndToEnd.moc"
