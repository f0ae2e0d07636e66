// Watching pages: what a new result of a watched page posts against the one
// before, the checks an Update queues, and the watch list in the project
// file, which files without it (and older readers) take as they are.
#include "BulletinBoard.h"
#include "Fakes.h"
#include "NetFakes.h"
#include "ProjectFile.h"
#include "Transport.h"
#include "Watch.h"

#include <QTest>

using namespace vantora;
using namespace vantora::test;

namespace {

const QString Page = QStringLiteral("http://www.example.org/a.html");

QString Ranks(const QString& phrase, const QList<QPair<QString, QString>>& engines) {
    QString body = "<ROOT>" + Page + "<br><KEYWORDS>" + phrase + "<br>";
    for (const auto& [engine, match] : engines)
        body += "<ENGINE>" + engine + "<br>" +
                (match == "x" ? "<NOTE>Not checked: the service failed.<br><MATCH>0"
                              : "<MATCH>" + match) +
                "<br>";
    return body;
}

QString Links(const QStringList& pages) {
    QString body = Page + "<br>.<br>";
    for (const QString& p : pages)
        body += p + "<br>T<br>L<br>follow<br>2026-12-09T10:00:00Z<br>search s<br>";
    if (pages.isEmpty())
        body += "END<br>";
    return body;
}

class QuietTransportHost : public TransportHost {
  public:
    void SetStatus(const QString&) override {}
    void SetBusy(bool) override {}
    void SetProjectModified() override {}
};

class Host : public BulletinHost {
  public:
    Host() : NetRef(Http, Quiet) {}
    ProjectData Data;
    FakeDialogs Boxes;
    FakeHttpClient Http;
    QuietTransportHost Quiet;
    vantora::Transport NetRef;
    bool Modified = false;
    ProjectData& Project() override { return Data; }
    Dialogs& MessageBoxes() override { return Boxes; }
    vantora::Transport& Net() override { return NetRef; }
    QString ServerAddress() const override { return QStringLiteral("127.0.0.1:47800"); }
    QString UserId() const override { return QString(); }
    bool CheckConnect() override { return true; }
    void SetProjectModified() override { Modified = true; }
};

} // namespace

class TestWatch : public QObject {
    Q_OBJECT
  private slots:
    void changesPostBulletins_data() {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QStringList>("bodies");
        const int r = int(ToolKind::Rankscout);
        const int b = int(ToolKind::Backwatch);
        QTest::newRow("rank moved") << r << Ranks("spades", {{"LYCOS", "7"}, {"YAHOO", "3"}})
                                    << Ranks("spades", {{"LYCOS", "2"}, {"YAHOO", "3"}})
                                    << QStringList{"The rank of " + Page +
                                                   " moved from 7 to 2.<br>Search engine: "
                                                   "LYCOS<br>Key phrase: spades"};
        QTest::newRow("rank lost")
            << r << Ranks("spades", {{"LYCOS", "7"}}) << Ranks("spades", {{"LYCOS", "0"}})
            << QStringList{"The rank of " + Page +
                           " moved from 7 to not ranked.<br>Search engine: "
                           "LYCOS<br>Key phrase: spades"};
        QTest::newRow("rank the same") << r << Ranks("spades", {{"LYCOS", "7"}})
                                       << Ranks("spades", {{"LYCOS", "7"}}) << QStringList();
        QTest::newRow("engine not checked now")
            << r << Ranks("spades", {{"LYCOS", "7"}}) << Ranks("spades", {{"LYCOS", "x"}})
            << QStringList();
        QTest::newRow("engine not checked before")
            << r << Ranks("spades", {{"LYCOS", "x"}}) << Ranks("spades", {{"LYCOS", "4"}})
            << QStringList();
        QTest::newRow("other key phrase") << r << Ranks("rakes", {{"LYCOS", "7"}})
                                          << Ranks("spades", {{"LYCOS", "2"}}) << QStringList();
        QTest::newRow("first result")
            << r << "" << Ranks("spades", {{"LYCOS", "2"}}) << QStringList();
        QTest::newRow("link-backs new and lost")
            << b << Links({"http://old.example/", "http://stays.example/"})
            << Links({"http://stays.example/", "http://new.example/"})
            << QStringList{"A new page links back to " + Page + ":<br>http://new.example/",
                           "A page no longer links back to " + Page + ":<br>http://old.example/"};
        QTest::newRow("link-backs the same") << b << Links({"http://stays.example/"})
                                             << Links({"http://stays.example/"}) << QStringList();
        QTest::newRow("first link-back")
            << b << Links({}) << Links({"http://new.example/"})
            << QStringList{"A new page links back to " + Page + ":<br>http://new.example/"};
        QTest::newRow("not checked is no loss")
            << b << Links({"http://stays.example/"})
            << Page + "<br>.<br>END<br>-<br>-<br>-<br>-<br>-<br>Not checked, so pages that link "
                      "back may have been missed: no search service.<br>-<br>-<br>-<br>-<br>-<br>"
            << QStringList();
    }
    void changesPostBulletins() {
        QFETCH(int, tool);
        QFETCH(QString, before);
        QFETCH(QString, now);
        QFETCH(QStringList, bodies);
        const QList<NewBulletin> posted = ResultChanges(ToolKind(tool), Page, before, now);
        QStringList got;
        for (const NewBulletin& n : posted) {
            got << n.Body;
            QCOMPARE(n.Page, Page);
            QCOMPARE(n.Sender,
                     QString(tool == int(ToolKind::Rankscout) ? "Rankscout" : "Backwatch"));
        }
        QCOMPARE(got, bodies);
        // Posted unread, and read back from the project file as stored.
        ProjectData project;
        project.RootHost = "www.example.org";
        QCOMPARE(PostBulletins(project.BulletinMessages, posted), int(bodies.size()));
        ProjectData back;
        QVERIFY(ParseProject(SerializeProject(project), back).IsOk());
        QCOMPARE(back.BulletinMessages.Bodies(), bodies);
        for (const QString& read : back.BulletinMessages.ReadStates())
            QCOMPARE(read, QString("0"));
    }

    void updateQueuesTheWatchedChecks() {
        Host host;
        ProjectData& p = host.Data;
        p.RankscoutArchive.Append(Page, "d",
                                  Ranks("garden spades", {{"LYCOS", "7"}, {"YAHOO", "2"}}));
        QVERIFY(SetWatched(p, ToolKind::Rankscout, Page, true));
        QVERIFY(!SetWatched(p, ToolKind::Rankscout, Page, true));
        QVERIFY(SetWatched(p, ToolKind::Backwatch, Page, true));
        QCOMPARE(p.RankscoutBulletins, QString("Y"));
        QCOMPARE(p.BackwatchBulletins, QString("Y"));
        // A page watched without a stored rank has no phrase to check: left out.
        SetWatched(p, ToolKind::Rankscout, "http://www.example.org/none.html", true);

        QCOMPARE(UpdateBulletinBoard(host), 2);
        const QStringList& queue = host.NetRef.RequestQueue;
        QCOMPARE(queue.size(), 2);
        QVERIFY2(queue[0].startsWith("3http://127.0.0.1:47800/cgi-bin/zeph/text_output/"
                                     "rankscout-pt.cgi?") &&
                     queue[0].contains("Search_Text=garden+spades") &&
                     queue[0].contains("&lycos=1") && queue[0].contains("&yahoo=1") &&
                     !queue[0].contains("altavista"),
                 qPrintable(queue[0]));
        QVERIFY2(queue[1].startsWith("5http://127.0.0.1:47800/cgi-bin/zeph/text_output/"
                                     "backwatch-pt.cgi?url="),
                 qPrintable(queue[1]));

        // The flags are honoured: a tool whose bulletins are off is not asked.
        p.RankscoutBulletins = "N";
        QCOMPARE(WatchRequests(p, "h:1").size(), 1);
        StopWatching(p, ToolKind::Backwatch);
        QVERIFY(WatchRequests(p, "h:1").isEmpty());
        host.NetRef.RequestQueue.clear();
        QCOMPARE(UpdateBulletinBoard(host), 0);
        QCOMPARE(host.Boxes.Asked.size(), 1); // nothing watched: said so
        QCOMPARE(UpdateBulletinBoard(host, true), 0);
        QCOMPARE(host.Boxes.Asked.size(), 1); // the periodic check is quiet
    }

    void watchListInTheProjectFile() {
        ProjectData p;
        p.RootHost = "www.example.org";
        p.BulletinMessages.Append("Hello", "Support", Page, "1");
        p.BackwatchBulletins = "Y"; // as watching sets it
        const QByteArray old = SerializeProject(p);
        SetWatched(p, ToolKind::Backwatch, Page, true);
        p.Watches << "H 4";
        const QByteArray bytes = SerializeProject(p);
        // The watch list only follows what the file held before.
        QVERIFY(bytes.startsWith(old));
        ProjectData back;
        QVERIFY(ParseProject(bytes, back).IsOk());
        QCOMPARE(back.Watches, p.Watches);
        QCOMPARE(back.BulletinMessages.Bodies(), QStringList{"Hello"});
        ProjectData none;
        QVERIFY(ParseProject(old, none).IsOk());
        QVERIFY(none.Watches.isEmpty());
        ProjectData junk;
        QVERIFY(ParseProject(old + "something else\r3\r", junk).IsOk());
        QVERIFY(junk.Watches.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWatch)
#include "TestWatch.moc"
