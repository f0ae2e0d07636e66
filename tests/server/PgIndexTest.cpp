// The link index on PostgreSQL against a throwaway cluster: the same
// answers as the SQLite file, versioned migrations, concurrent writers, and
// a database that stops and starts again under a running server's requests.
#include "LinkIndex.h"
#include "LocalSite.h"
#include "PgCluster.h"
#include "TeamServer.h"

#include <QtTest>

#include <atomic>
#include <set>
#include <thread>

using namespace vantora;
using namespace teamtest;

namespace {

std::vector<SeenLink> Links(const std::vector<std::string>& targets) {
    std::vector<SeenLink> out;
    for (const auto& t : targets)
        out.push_back({t, "to " + t, t.find("nofollow") != std::string::npos});
    return out;
}

} // namespace

class PgIndexTest : public QObject {
    Q_OBJECT
    std::unique_ptr<PgCluster> Pg;
    QTemporaryDir Temp;
    int Databases = 0;

    // A fresh database of the cluster for one test.
    std::string FreshDatabase() {
        const std::string name = "links" + std::to_string(++Databases);
        Pg->Sql(QString::fromStdString("CREATE DATABASE " + name));
        return Pg->Address(name);
    }

  private slots:
    void initTestCase() {
        Pg = std::make_unique<PgCluster>();
        if (!Pg->Ok())
            QSKIP(qPrintable("PostgreSQL cannot start here: " + Pg->Reason()));
    }

    void answersAsTheFileDoes_data() {
        QTest::addColumn<bool>("database");
        QTest::newRow("SQLite file") << false;
        QTest::newRow("PostgreSQL") << true;
    }
    void answersAsTheFileDoes() {
        QFETCH(bool, database);
        LinkIndexLimits limits;
        limits.MaxPerSite = 3;
        const std::string where =
            database ? FreshDatabase()
                     : Temp.filePath(QString("links%1.sqlite").arg(++Databases)).toStdString();
        const LinkIndex index(where, limits);
        QCOMPARE(index.InDatabase(), database);
        std::string error;
        // Own-site links, duplicates and over-long targets are not kept;
        // tracking parameters do not make another source page.
        QVERIFY2(
            index.RecordPage("http://www.blog.example/a?utm_source=x",
                             Links({"http://target.example/page", "https://target.example/page/",
                                    "http://blog.example/own", "http://other.example/nofollow",
                                    "http://target.example/" + std::string(3000, 'x')}),
                             &error),
            error.c_str());
        QVERIFY(index.RecordPage("http://news.example/b", Links({"http://target.example/page"}),
                                 &error));
        QCOMPARE(index.LinkCount(&error), 3LL);
        std::vector<std::string> found = index.PagesLinkingTo("http://target.example/page", 10);
        std::sort(found.begin(), found.end());
        QCOMPARE(found,
                 (std::vector<std::string>{"http://news.example/b", "http://www.blog.example/a"}));
        // A page read again replaces what the index held about it.
        QVERIFY(index.RecordPage("http://www.blog.example/a", Links({"http://third.example/"}),
                                 &error));
        QCOMPARE(index.PagesLinkingTo("http://target.example/page", 10),
                 std::vector<std::string>{"http://news.example/b"});
        // One site's share is bounded: the oldest rows go.
        for (int i = 0; i < 4; ++i)
            QVERIFY(index.RecordPage("http://news.example/p" + std::to_string(i),
                                     Links({"http://x" + std::to_string(i) + ".example/"}),
                                     &error));
        const LinkIndexSize size = index.Size(&error);
        QVERIFY2(error.empty(), error.c_str());
        QCOMPARE(size.Sites, 2LL);
        QCOMPARE(size.Links, 4LL); // three of news.example, one of blog.example
        QVERIFY(size.Bytes > 0);
        QVERIFY(index.Check(&error));
    }

    void migrationsAreVersioned() {
        const std::string address = FreshDatabase();
        const std::string name = address.substr(address.rfind('/') + 1);
        std::string error;
        QVERIFY2(LinkIndex(address).Check(&error), error.c_str());
        QCOMPARE(Pg->Sql("SELECT string_agg(version::text, ',') FROM vantora_schema", name),
                 QString("1"));
        // A database set up by a newer server is not touched.
        const std::string newer = FreshDatabase();
        const std::string newerName = newer.substr(newer.rfind('/') + 1);
        Pg->Sql("CREATE TABLE vantora_schema (version INTEGER PRIMARY KEY, applied TIMESTAMPTZ "
                "NOT NULL DEFAULT now()); INSERT INTO vantora_schema (version) VALUES (7)",
                newerName);
        QVERIFY(!LinkIndex(newer).RecordPage("http://a.example/", Links({"http://b.example/"}),
                                             &error));
        QVERIFY2(error.find("newer vantora-server") != std::string::npos, error.c_str());
        QCOMPARE(Pg->Sql("SELECT count(*) FROM pg_tables WHERE tablename = 'links'", newerName),
                 QString("0"));
    }

    void concurrentWritersLoseNothing() {
        const std::string address = FreshDatabase();
        // Eight writers, each page written by two of them at once.
        std::atomic<int> failures{0};
        std::vector<std::thread> writers;
        for (int w = 0; w < 8; ++w)
            writers.emplace_back([&, w] {
                const LinkIndex index(address);
                for (int i = 0; i < 25; ++i) {
                    std::vector<std::string> targets;
                    for (int t = 0; t < 20; ++t)
                        targets.push_back("http://t" + std::to_string(t) + ".example/" +
                                          std::to_string(i));
                    std::string error;
                    if (!index.RecordPage("http://s" + std::to_string(w / 2) + ".example/" +
                                              std::to_string(i),
                                          Links(targets), &error))
                        ++failures;
                }
            });
        for (auto& t : writers)
            t.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(LinkIndex(address).LinkCount(), 4LL * 25 * 20);
    }

    // The cluster stops while clients keep asking for analyses, then starts
    // again: every request is answered, each page either went into the
    // index whole or its log line says why not, and writes resume.
    void lostDatabaseMidRunIsReportedThenRecovers() {
        const std::string address = FreshDatabase();
        LocalSite site;
        site.Put("/p", "<html><head><title>Links</title></head><body>"
                       "<a href=\"http://b.example/\">b</a> <a href=\"http://c.example/\">c</a> "
                       "<a href=\"http://d.example/\">d</a></body></html>");
        const QString config = Temp.filePath("pg.toml");
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(("[backwatch]\nindex = \"" + address + "\"\n").c_str());
        file.close();
        // The log goes to a file: a pipe read only at the end could fill.
        QProcess server;
        const QString logFile = Temp.filePath("pg-server.log");
        server.setStandardErrorFile(logFile);
        const auto log = [&] {
            QFile f(logFile);
            f.open(QIODevice::ReadOnly);
            return QString::fromUtf8(f.readAll());
        };
        const int port = Start(server, Temp, {"--listen", "127.0.0.1:0", "--config", config});
        QVERIFY2(port > 0, qPrintable(log()));
        QCOMPARE(Ask(port, "/healthz").Body, std::string("ok"));

        // Three clients, each page address numbered, paced; 2000 requests or 60 s at most.
        std::atomic<int> next{0}, answered{0}, unanswered{0};
        std::atomic<bool> done{false};
        std::vector<std::thread> clients;
        // A failed check returns at once: the clients end first.
        const auto join = qScopeGuard([&] {
            done = true;
            for (auto& t : clients)
                if (t.joinable())
                    t.join();
        });
        for (int c = 0; c < 3; ++c)
            clients.emplace_back([&] {
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                while (!done && std::chrono::steady_clock::now() < until) {
                    const int n = next++;
                    if (n >= 2000)
                        break;
                    const Answer a =
                        Ask(port, "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=" +
                                      site.Url("/p%3Fn=" + std::to_string(n)) + "&keywords=links");
                    (a.Status == 200 ? answered : unanswered)++;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
        const auto waitFor = [&](int count) {
            for (int i = 0; i < 400 && answered < count; ++i)
                QThread::msleep(50);
            return answered >= count;
        };
        const LinkIndex index(address);
        QVERIFY(waitFor(10));
        QVERIFY(Pg->Stop());
        const int stoppedAt = answered;
        std::string error;
        QVERIFY(!index.RecordPage("http://a.example/", Links({"http://c.example/"}), &error));
        QVERIFY2(error.find("is unavailable") != std::string::npos, error.c_str());
        QVERIFY2(error.find("postgresql://vantora@127.0.0.1") != std::string::npos, error.c_str());
        const Answer down = Ask(port, "/healthz");
        QCOMPARE(down.Status, 503);
        QVERIFY2(down.Body.find("unavailable") != std::string::npos, down.Body.c_str());
        QVERIFY(waitFor(stoppedAt + 10));

        QVERIFY2(Pg->Start(), qPrintable(Pg->Reason()));
        QTRY_COMPARE_WITH_TIMEOUT(Ask(port, "/healthz").Status, 200, 10000);
        const int restartedAt = next;
        QVERIFY(waitFor(answered + 10));
        done = true;
        for (auto& t : clients)
            t.join();
        QCOMPARE(server.state(), QProcess::Running);
        QCOMPARE(unanswered.load(), 0);

        const QString said = log();
        QVERIFY2(said.contains(QRegularExpression("links not recorded: [^\\n]*is unavailable")),
                 qPrintable(said.right(2000)));
        QTRY_VERIFY_WITH_TIMEOUT(index.Check(), 5000);
        std::string readError;
        std::vector<std::string> pages =
            index.PagesLinkingTo("http://b.example/", 5000, &readError);
        QVERIFY2(readError.empty(), readError.c_str());
        std::set<int> recorded;
        for (const std::string& page : pages)
            recorded.insert(std::atoi(page.c_str() + page.rfind('=') + 1));
        // Each page whole (three links) or not at all.
        QCOMPARE(index.LinkCount(), 3LL * static_cast<long long>(pages.size()));
        std::set<int> failed;
        for (const auto& m :
             QRegularExpression("/p\\?n=(\\d+) [^\\n]*links not recorded").globalMatch(said))
            failed.insert(m.captured(1).toInt());
        for (int n = 0; n < next && n < 2000; ++n) {
            QVERIFY2(recorded.count(n) != failed.count(n), qPrintable(QString("page %1").arg(n)));
            // Once the index answered again, the writes went through.
            if (n >= restartedAt)
                QVERIFY2(recorded.count(n), qPrintable(QString("page %1 after restart").arg(n)));
        }
        server.terminate();
        QVERIFY(server.waitForFinished(10000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
    }
};

QTEST_GUILESS_MAIN(PgIndexTest)
#include "PgIndexTest.moc"
