// The five on-line tools end to end: the program opens a project for a site
// served here, pages are selected in the site map tree, and Start on each
// tool files one result per page. Wordweigh and Stuffwatch ask the real
// vantora-server; Rankscout, Enginepost and Backwatch ask a stand-in that
// answers in their formats. The project is saved and opened again.
#include "BundledServer.h"
#include "Main.h"
#include "OnlineToolPage.h"
#include "ProjectFile.h"
#include "QtHttpClient.h"
#include "ReportView.h"
#include "SiteMapController.h"
#include "SiteMapPanel.h"
#include "ToolPages.h"
#include "Transport.h"
#include "WindowFixture.h"
#include "startdlg.h"

#include <httplib.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>
#include <thread>

using namespace vantora;
using namespace vantora::test;

namespace {

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// An httplib server on 127.0.0.1 running on its own thread.
class Served {
  public:
    httplib::Server Server;
    int Port = 0;
    void Run() {
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
        for (int i = 0; i < 200 && !Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~Served() {
        Server.stop();
        if (Thread.joinable())
            Thread.join();
    }

  private:
    std::thread Thread;
};

// The stand-in for the three tools that ask search services: it answers in
// their formats and keeps the parameters it was sent.
class StandIn : public Served {
  public:
    std::mutex Lock;
    std::vector<httplib::Params> Received;

    StandIn() {
        const auto keep = [this](const httplib::Request& req) {
            std::lock_guard guard(Lock);
            Received.push_back(req.params);
        };
        Server.Get("/cgi-bin/zeph/text_output/rankscout-pt.cgi",
                   [keep](const httplib::Request& req, httplib::Response& res) {
                       keep(req);
                       res.set_content("RANKSCOUT<br><ROOT>" + req.get_param_value("Search_URL") +
                                           "<br><KEYWORDS>" + req.get_param_value("Search_Text") +
                                           "<br><ENGINE>ALTAVISTA<br><URL1>http://top.test/"
                                           "<br><MATCH>3<br><ENGINE>LYCOS<br><MATCH>12<br>",
                                       "text/plain");
                   });
        Server.Get("/cgi-bin/zeph/text_output/submit-pt.cgi",
                   [keep](const httplib::Request& req, httplib::Response& res) {
                       keep(req);
                       res.set_content("ENGINEPOST-v1.1<br>" + req.get_param_value("url") +
                                           "<br>x<br>AltaVista: submitted<br>a<br>Lycos: "
                                           "submitted<br>b<br>",
                                       "text/plain");
                   });
        Server.Get("/cgi-bin/zeph/text_output/backwatch-pt.cgi",
                   [keep](const httplib::Request& req, httplib::Response& res) {
                       keep(req);
                       res.set_content("BACKWATCH-v1.1<br>" + req.get_param_value("url") +
                                           "<br>x<br>http://friend.test/links.html<br>1<br>2<br>"
                                           "3<br>4<br>5<br>",
                                       "text/plain");
                   });
        Run();
    }
};

class Site : public Served {
  public:
    Site() {
        Server.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
            const std::string name = req.path == "/" ? "home" : req.path.substr(1);
            res.set_content("<html><head><title>Garden tools: " + name +
                                "</title><meta name=\"description\" content=\"Garden tools for "
                                "every garden.\"></head><body><h1>Garden tools</h1><p>We sell "
                                "garden tools of every kind, spades and rakes for your garden. "
                                "Learn C# in the garden too.</p></body></html>",
                            "text/html");
        });
        Run();
    }
};

struct Program : WindowFixture<> {
    QtHttpClient Client;
    Program() {
        platform.http = &Client;
        Start();
        window->TipWindow->close();
    }
    OnlineToolPage& Page(ToolKind kind) { return *window->OnlinePages[size_t(TabIndex(kind))]; }
    QStringList Items(ToolKind kind) {
        QStringList items;
        QComboBox* list = Page(kind).OldReportList();
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        return items;
    }
    // Selects the root's children (the three pages) in the tree.
    void SelectThreePages() {
        SiteMapController& c = window->SiteMap->Controller();
        const QModelIndex root = c.Model()->index(0, 0);
        const QModelIndex first = c.Model()->index(0, 0, root);
        const QModelIndex last = c.Model()->index(2, 0, root);
        c.Selection()->select(QItemSelection(first, last), QItemSelectionModel::ClearAndSelect);
    }
};

} // namespace

class TestEndToEndTools : public QObject {
    Q_OBJECT
  private slots:
    void fiveToolsFileOneResultPerPage();
};

void TestEndToEndTools::fiveToolsFileOneResultPerPage() {
    Site site;
    StandIn standIn;
    const QString address = QStringLiteral("127.0.0.1:%1").arg(FreePort());
    BundledServer server;
    QVERIFY(server.Start(address, qEnvironmentVariable("VANTORA_BIN_DIR") + QLatin1Char('/')));
    QString host;
    quint16 port = 0;
    QVERIFY(BundledServer::SplitAddress(address, host, port));
    QTRY_VERIFY_WITH_TIMEOUT(BundledServer::Answers(host, port, 200), 10000);

    const QString root = QStringLiteral("http://127.0.0.1:%1/").arg(site.Port);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("garden.zpr"));
    ProjectData project;
    project.RootHost = QStringLiteral("127.0.0.1:%1").arg(site.Port);
    project.RootPath = QStringLiteral("/");
    project.SiteMapLines = {"WEBCHARTER",   "<ROOT>" + root, "<PAGE>" + root,
                            "<PUSH>",       "<PAGE>a.html",  "<PAGE>b.html",
                            "<PAGE>c.html", "<POP>",         "<END>"};
    QVERIFY(WriteProjectFile(path, project).IsOk());
    const QStringList pages{root + "a.html", root + "b.html", root + "c.html"};

    Program p;
    // The program sends the started server's key, as at its own start-up.
    p.Client.SetServerKey(address, server.Key());
    MainWindow& w = *p.window;
    p.dialogs.FileNames.enqueue(path);
    p.Trigger("actOpen");
    QVERIFY(w.ProjectIsOpen());
    p.SelectThreePages();
    QCOMPARE(w.SelectedPages(), pages);
    QVERIFY(w.StartButtons[0]->isEnabled());
    w.ServerAddress = address;

    // Wordweigh, then Stuffwatch while Wordweigh still runs.
    auto& wordweigh = static_cast<WordweighPage&>(p.Page(ToolKind::Wordweigh));
    wordweigh.KeyWords()->setText(QStringLiteral("C# garden"));
    wordweigh.StartButton()->click();
    p.Page(ToolKind::Stuffwatch).StartButton()->click();
    QCOMPARE(w.Net->RequestQueue.size(), 6);
    QTRY_VERIFY_WITH_TIMEOUT(w.Net->TransportIdle, 60000);
    QVERIFY2(p.dialogs.Asked.isEmpty(), qPrintable(p.dialogs.Texts().join('|')));
    for (const ToolKind kind : {ToolKind::Wordweigh, ToolKind::Stuffwatch}) {
        const ToolArchive& archive = w.Project.Archive(kind);
        QCOMPARE(archive.Pages(), pages);
        QCOMPARE(p.Items(kind).size(), 3);
        QCOMPARE(p.Page(kind).Report()->toPlainText().count("End of Report"), 3);
    }
    QVERIFY(w.ProjectModified);
    // The key words reached the server whole, "#" and all.
    QVERIFY2(w.Project.WordweighArchive.Bodies().join("").contains("C# garden"),
             qPrintable(w.Project.WordweighArchive.Bodies().value(0).left(400)));
    QVERIFY(!w.Project.WordweighArchive.Percentages().value(0).isEmpty());

    // The other three against the stand-in.
    w.ServerAddress = QStringLiteral("127.0.0.1:%1").arg(standIn.Port);
    w.Options.ReportGen = false; // Show from the site map only sets the engine defaults
    auto& rankscout = static_cast<RankscoutPage&>(p.Page(ToolKind::Rankscout));
    rankscout.KeyPhrase()->setText(QStringLiteral("garden tools"));
    rankscout.ShowFromSiteMap(QStringLiteral("http://nowhere.test/")); // sets the engine default
    rankscout.StartButton()->click();
    auto& enginepost = static_cast<EnginepostPage&>(p.Page(ToolKind::Enginepost));
    enginepost.ShowFromSiteMap(QStringLiteral("http://nowhere.test/"));
    enginepost.Title()->setText(QStringLiteral("My #1 garden"));
    enginepost.Description()->setText(QStringLiteral("Tools"));
    enginepost.KeyWords()->setText(QStringLiteral("garden tools"));
    enginepost.Email()->setText(QStringLiteral("me@garden.test"));
    p.dialogs.Answers.enqueue(MsgAnswer::Yes); // submit more than one page
    enginepost.StartButton()->click();
    p.Page(ToolKind::Backwatch).StartButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.Net->TransportIdle && w.Net->RequestQueue.isEmpty(), 60000);
    QTRY_COMPARE_WITH_TIMEOUT(w.Project.BackwatchArchive.Count(), 3, 10000);
    for (const ToolKind kind : {ToolKind::Rankscout, ToolKind::Enginepost, ToolKind::Backwatch}) {
        QCOMPARE(w.Project.Archive(kind).Pages(), pages);
        QCOMPARE(p.Items(kind).size(), 3);
        QCOMPARE(p.Page(kind).Report()->toPlainText().count("End of Report"), 3);
    }
    QVERIFY(p.Page(ToolKind::Rankscout).Report()->toPlainText().contains("Match Position: 12"));
    QVERIFY(p.Page(ToolKind::Backwatch).Report()->toPlainText().contains("friend.test"));
    {
        std::lock_guard guard(standIn.Lock);
        QCOMPARE(standIn.Received.size(), size_t(9));
        bool sawTitle = false;
        for (const auto& params : standIn.Received) {
            const auto title = params.find("title");
            if (title != params.end()) {
                QCOMPARE(QString::fromStdString(title->second), QStringLiteral("My #1 garden"));
                QCOMPARE(QString::fromStdString(params.find("email")->second),
                         QStringLiteral("me@garden.test"));
                sawTitle = true;
            }
        }
        QVERIFY(sawTitle);
    }

    // Pictures of the five pages for a person to look at, when asked for.
    const QString shots = qEnvironmentVariable("VANTORA_SCREENSHOTS");
    if (!shots.isEmpty()) {
        w.resize(1100, 760);
        for (const ToolInfo& tool : AllTools()) {
            w.ToolPages->setCurrentIndex(TabIndex(tool.Kind));
            QTest::qWait(200);
            w.grab().save(QDir(shots).filePath(QString(tool.Caption) + ".png"));
        }
    }

    // Saved and opened again, every list comes back in archive order.
    QStringList before[5];
    for (const ToolInfo& tool : AllTools())
        before[TabIndex(tool.Kind)] = p.Items(tool.Kind);
    p.Trigger("actSave");
    QVERIFY(!w.ProjectModified);
    p.Trigger("actClose");
    QCOMPARE(p.Items(ToolKind::Wordweigh).size(), 0);
    p.dialogs.FileNames.enqueue(path);
    p.Trigger("actOpen");
    for (const ToolInfo& tool : AllTools())
        QCOMPARE(p.Items(tool.Kind), before[TabIndex(tool.Kind)]);
    server.Stop();
}

QTEST_MAIN(TestEndToEndTools)
#include "tst_e2e_tools.moc"
