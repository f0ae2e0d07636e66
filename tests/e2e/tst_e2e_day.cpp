// A user's day with the whole product: a fresh settings folder, the program
// starting its bundled analysis server, a new project for a site served here,
// the real sm making the site map, pages picked in the tree, the project
// saved, closed and opened again from the recent-file entry, and the program
// ending with its settings stored and the server gone. Only the message
// boxes' and file dialogs' answers and the clock are scripted; settings,
// network, processes and the file type registration are the real ones.
#include "Audit.h"
#include "BulletinPage.h"
#include "BundledServer.h"
#include "EngineBoxes.h"
#include "HealthPage.h"
#include "Main.h"
#include "NmcliDialUp.h"
#include "OnlineToolPage.h"
#include "ProcessLauncher.h"
#include "ProgramSettings.h"
#include "ProjectFile.h"
#include "QtHttpClient.h"
#include "RealPlatform.h"
#include "ReportPrinters.h"
#include "ReportView.h"
#include "SearchServicesDialog.h"
#include "SiteMapController.h"
#include "SiteMapCreation.h"
#include "SiteMapPanel.h"
#include "SitecensusPage.h"
#include "TagsmithPage.h"
#include "ToolKind.h"
#include "ToolPages.h"
#include "Transport.h"
#include "XdgShellLauncher.h"

#include "Fakes.h"
#include "New.h"
#include "StandIns.h"

#include <httplib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <atomic>
#include <functional>

#include <sys/types.h>
#include <unistd.h>

#include <memory>
#include <thread>

using namespace vantora;
using namespace vantora::test;

namespace {

QString BinDir() {
    return qEnvironmentVariable("VANTORA_BIN_DIR");
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The user's site: a home page with its title and meta tags, three products
// and a contact page. Every page links home.
class Site {
  public:
    int Port = 0;
    // The site after a release: the contact page lost its title, the old
    // rakes page is back.
    std::atomic<bool> Changed{false};
    Site() {
        Server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string& path = req.path;
            auto page = [&res](const std::string& title, const std::string& body) {
                res.set_content("<html><head><title>" + title +
                                    "</title><meta name=\"description\" content=\"" + title +
                                    " for every garden\"><meta name=\"keywords\" "
                                    "content=\"garden tools, spades\"></head><body><h1>" +
                                    title + "</h1><p>Garden tools of every kind.</p>" + body +
                                    "<a href=\"/\">home</a></body></html>",
                                "text/html");
            };
            if (path == "/" || path == "/index.html")
                page("Garden tools",
                     "<a href=\"/spades.html\">spades</a> <a href=\"/rakes.html\">rakes</a> "
                     "<a href=\"/hoes.html\">hoes</a> <a href=\"/contact.html\">contact</a> "
                     "<a href=\"mailto:shop@example.org\">mail us</a>");
            else if (path == "/spades.html")
                page("Spades", "");
            else if (path == "/rakes.html")
                page("Rakes", "<a href=\"/old-rakes.html\">old rakes</a>");
            else if (path == "/hoes.html")
                page("Hoes", "");
            else if (path == "/contact.html")
                page(Changed ? "" : "Contact", "");
            else if (path == "/old-rakes.html" && Changed)
                page("Old rakes", "");
            else {
                res.status = 404;
                res.set_content("not here", "text/plain");
            }
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
        for (int i = 0; i < 200 && !Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~Site() {
        Server.stop();
        Thread.join();
    }
    QString Root() const { return QStringLiteral("http://127.0.0.1:%1/").arg(Port); }

  private:
    httplib::Server Server;
    std::thread Thread;
};

// Another site whose links page links to one of the user's pages.
class Partner {
  public:
    int Port = 0;
    std::string Target;
    Partner() {
        Server.Get("/links.html", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><head><title>Friends</title></head><body><a href=\"" + Target +
                                "\">the best spades</a></body></html>",
                            "text/html");
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
        for (int i = 0; i < 200 && !Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~Partner() {
        Server.stop();
        Thread.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port) + "/links.html"; }

  private:
    httplib::Server Server;
    std::thread Thread;
};

// The print dialog's answer: the user picks printing to a PDF file.
class PdfPrinters : public ReportPrinters {
  public:
    QString OutputFile;
    int Dialogs = 0;
    bool HasPrinter() override { return true; }
    bool RunPrintDialog(QPrinter& printer, QWidget*) override {
        ++Dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(OutputFile);
        return true;
    }
    bool RunSetupDialog(QPrinter&, QWidget*) override { return true; }
};

// The ids of this process's children running vantora-server.
QList<qint64> ServerChildren() {
    QList<qint64> ids;
    const QString self = QString::number(::getpid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 id = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLocal8Bit(stat.readAll());
        // pid (comm) state ppid ...: comm may hold spaces, so read after the last ')'.
        const int close = line.lastIndexOf(QLatin1Char(')'));
        const int open = line.indexOf(QLatin1Char('('));
        if (open < 0 || close < open)
            continue;
        const QString comm = line.mid(open + 1, close - open - 1);
        const QStringList rest = line.mid(close + 2).split(QLatin1Char(' '));
        if (comm == QLatin1String("vantora-server") && rest.value(1) == self)
            ids << id;
    }
    return ids;
}

// The real platform edge of the program, but for the answers of message
// boxes and file dialogs, the clock and the print dialog.
struct Day {
    FakeDialogs dialogs;
    QtSettingsStore settings;
    FixedClock clock;
    NetworkLocalAddress address;
    XdgFileTypeRegistrar registrar;
    XdgShellLauncher shell;
    QtHttpClient http;
    NmcliDialUp dialUp;
    DetachedProcessLauncher processes;
    PdfPrinters printers;
    Platform platform;
    std::unique_ptr<MainWindow> window;

    Day() {
        platform.dialogs = &dialogs;
        platform.settings = &settings;
        platform.clock = &clock;
        platform.localAddress = &address;
        platform.fileTypes = &registrar;
        platform.shell = &shell;
        platform.http = &http;
        platform.dialUp = &dialUp;
        platform.processes = &processes;
        platform.printers = &printers;
    }

    void Start() {
        window = std::make_unique<MainWindow>(platform, QDir(BinDir()).filePath("vantora"));
        window->SplashMinimumMs = 0;
        window->RunModal = [this](QDialog* dialog) { return Answer(dialog); };
        window->show();
        window->Startup({});
    }

    // What the user does in each modal dialog.
    QString NewProjectUrl;
    int Answer(QDialog* dialog) {
        if (dialog == window->ProjectSettings && !NewProjectUrl.isEmpty()) {
            window->ProjectSettings->show();
            QLineEdit* url = window->ProjectSettings->UrlEdit();
            url->setFocus();
            url->selectAll();
            QTest::keyClicks(url, NewProjectUrl);
            QTest::mouseClick(window->ProjectSettings->OkButton(), Qt::LeftButton);
            const int result = window->ProjectSettings->result();
            window->ProjectSettings->hide();
            return result;
        }
        if (dialog == window->AuditOptionsDlg) {
            AuditDialog* audit = window->AuditOptionsDlg;
            audit->show();
            // Every section; some boxes are enabled only by others, so twice.
            for (int round = 0; round < 2; ++round)
                for (QCheckBox* box :
                     {audit->Broken, audit->Mailto, audit->ShowXtal, audit->ListPages, audit->Spam,
                      audit->LessEffective, audit->Remote, audit->Ranking, audit->PrevSub,
                      audit->Submited})
                    if (box->isEnabled() && !box->isChecked())
                        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
            AuditSections = 0;
            for (QCheckBox* box : audit->findChildren<QCheckBox*>())
                AuditSections += box->isChecked() ? 1 : 0;
            QTest::mouseClick(audit->OkButton, Qt::LeftButton);
            const int result = audit->result();
            audit->hide();
            return result;
        }
        if (auto* services = qobject_cast<SearchServicesDialog*>(dialog); services && Services) {
            services->show();
            Services(*services);
            Shot(services, "search-services.png");
            services->hide();
            return int(QDialog::Accepted);
        }
        return int(QDialog::Rejected);
    }
    int AuditSections = 0;
    // What the user sets in the Search Services dialog.
    std::function<void(SearchServicesDialog&)> Services;
    // Pictures for the closing note, when VANTORA_SHOTS names a folder.
    static void Shot(QWidget* widget, const char* name) {
        const QString folder = qEnvironmentVariable("VANTORA_SHOTS");
        if (!folder.isEmpty() && QDir().mkpath(folder))
            widget->grab().save(QDir(folder).filePath(QLatin1String(name)));
    }

    OnlineToolPage& Page(ToolKind kind) const {
        return *window->OnlinePages[size_t(TabIndex(kind))];
    }
    QStringList OldReports(ToolKind kind) const {
        QStringList items;
        QComboBox* list = Page(kind).OldReportList();
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        return items;
    }
    // Shows the tool's page and presses its Start button; waits for the
    // answers of every request.
    void RunTool(ToolKind kind) {
        window->ToolPages->setCurrentIndex(TabIndex(kind));
        QPushButton* start = Page(kind).StartButton();
        QVERIFY(start->isEnabled());
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window->Net->TransportIdle && window->Net->RequestQueue.isEmpty(),
                                 60000);
    }
    static void Check(EngineBoxes* engines, const QStringList& captions) {
        for (QCheckBox* box : engines->Boxes())
            if (captions.contains(box->text(), Qt::CaseInsensitive) != box->isChecked())
                box->click();
    }

    void Trigger(const char* name) {
        QAction* action = window->FindAction(QString::fromLatin1(name));
        QVERIFY2(action, name);
        QVERIFY2(action->isEnabled(), name);
        action->trigger();
    }

    // The URLs of the tree's items, depth first.
    QStringList TreeUrls() const {
        QStringList urls;
        const SiteMapController& c = window->SiteMap->Controller();
        for (int n = 0; n < c.NodeCount(); ++n)
            urls << c.SiteTreeGetFullURL(n, n);
        return urls;
    }

    // Selects the tree's items whose URL is in pages, as Ctrl+click does.
    void SelectPages(const QStringList& pages) {
        QTreeView* tree = window->SiteMap->Tree();
        QAbstractItemModel* model = tree->model();
        QItemSelectionModel* selection = tree->selectionModel();
        selection->clearSelection();
        std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
            for (int row = 0; row < model->rowCount(parent); ++row) {
                const QModelIndex index = model->index(row, 0, parent);
                const QString text = index.data(Qt::ToolTipRole).toString() + QLatin1Char(' ') +
                                     index.data(Qt::DisplayRole).toString();
                for (const QString& page : pages)
                    if (text.contains(page))
                        selection->select(index, QItemSelectionModel::Select);
                tree->expand(index);
                walk(index);
            }
        };
        walk(QModelIndex());
    }
};

} // namespace

class TestEndToEndDay : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void aUsersDay();
    void aToolFromTheKeyboard();

  private:
    QTemporaryDir Home;
};

void TestEndToEndDay::initTestCase() {
    QVERIFY(Home.isValid());
    for (const char* program : {"vantora", "sm", "vantora-server"})
        QVERIFY2(QFileInfo(QDir(BinDir()).filePath(program)).isExecutable(), program);
}

void TestEndToEndDay::aUsersDay() {
    Site site;
    SearchStandIn search;
    SubmitStandIn submit;
    Partner partner;
    partner.Target = site.Root().toStdString() + "spades.html";
    const std::string siteKey = "127.0.0.1:" + std::to_string(site.Port);
    // The search service ranks the spades page third for the key phrase, and
    // finds the partner's page mentioning it.
    search.SetResults("garden tools", {"http://one.test/", "http://two.test/", partner.Target,
                                       "http://four.test/"});
    search.SetResults("\"" + siteKey + "/spades.html\" -site:127.0.0.1", {partner.Url()});

    // The user's own configuration file of the analysis server: nothing but
    // a comment yet; the services are set up in the Search Services dialog.
    const QString configDir = qEnvironmentVariable("XDG_CONFIG_HOME") + "/vantora";
    const QString configFile = configDir + "/vantora-server.toml";
    QVERIFY(QDir().mkpath(configDir));
    {
        QFile config(configFile);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("# services for the garden shop\n[rankscout]\ndepth = 30\n");
    }
    // The program's own settings name an analysis server on this machine
    // where nothing answers yet.
    const QString serverAddress = QStringLiteral("127.0.0.1:%1").arg(FreePort());
    {
        QSettings stored(QStringLiteral("Korvane Ltd."), QStringLiteral("ZEPH"));
        stored.setValue(QStringLiteral("ServerAddress"), serverAddress);
        stored.setValue(QStringLiteral("Tip"), 0);
        // This machine may have no outside address; never offer to dial.
        stored.setValue(QStringLiteral("Dial"), 0);
    }
    const QString work = Home.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    const QString projectFile = work + "/garden.zpr";

    Day day;
    day.printers.OutputFile = work + "/audit.pdf";
    day.Start();

    // --- the bundled server runs and answers as an analysis server
    QCOMPARE(day.window->ServerAddress, serverAddress);
    QVERIFY(day.window->Bundled->Running());
    QString host;
    quint16 port = 0;
    QVERIFY(BundledServer::SplitAddress(serverAddress, host, port));
    QTRY_COMPARE_WITH_TIMEOUT(BundledServer::Probe(host, port, 1000),
                              BundledServer::Occupant::AnalysisServer, 15000);
    QCOMPARE(ServerChildren().size(), 1);

    // --- New project; yes to making the site map now: the real sm maps the site
    day.NewProjectUrl = site.Root();
    day.dialogs.Answers.enqueue(MsgAnswer::Yes);
    day.Trigger("actNew");
    QVERIFY2(day.window->ProjectIsOpen(), qPrintable(day.dialogs.Texts().join('\n')));
    QCOMPARE(day.window->Project.RootUrl(), site.Root());
    QVERIFY2(!day.window->Project.SiteMapLines.isEmpty(), qPrintable(day.window->StatusText()));
    const QStringList urls = day.TreeUrls();
    for (const char* page :
         {"", "spades.html", "rakes.html", "hoes.html", "contact.html", "old-rakes.html"})
        QVERIFY2(urls.contains(site.Root() + QLatin1String(page)), qPrintable(urls.join('\n')));
    const QString map = day.window->Project.SiteMapLines.join('\n');
    QVERIFY(map.contains(QStringLiteral("<MAILTO>mailto:shop@example.org")));

    // --- the services set up in Tools > Search Services, each tested there
    day.Services = [&](SearchServicesDialog& dialog) {
        SearchServiceBox* ranks = dialog.RanksBox();
        ranks->KindBox()->setCurrentIndex(1); // a SearXNG instance
        QTest::keyClicks(ranks->AddressEdit(), QString::fromStdString(search.Url("")));
        dialog.LinkBacksBox()->KindBox()->setCurrentIndex(5); // the same as for ranks
        dialog.SubmitKindBox()->setCurrentIndex(1);           // IndexNow
        dialog.SubmitEndpointEdit()->clear();
        QTest::keyClicks(dialog.SubmitEndpointEdit(),
                         QString::fromStdString(submit.Url("/indexnow/200")));
        QTest::keyClicks(dialog.SubmitKeyEdit(), "0123456789abcdef0123456789abcdef");
        QTest::mouseClick(ranks->TestButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ranks->StatusLabel()->text().startsWith("Working"), 20000);
        QVERIFY2(ranks->StatusLabel()->text().contains("status 200"),
                 qPrintable(ranks->StatusLabel()->text()));
    };
    day.Trigger("actSearchServices");
    {
        QFile config(configFile);
        QVERIFY(config.open(QIODevice::ReadOnly));
        const QByteArray text = config.readAll();
        QVERIFY2(text.startsWith("# services for the garden shop\n[rankscout]\ndepth = 30\n"),
                 text.constData());
        QVERIFY2(text.contains("[search.ranks]") && text.contains("[submit.submission]"),
                 text.constData());
    }
    QVERIFY(day.window->Bundled->Running());

    // --- pages picked in the tree
    const QStringList picked = {site.Root() + "spades.html", site.Root() + "rakes.html"};
    day.SelectPages({QStringLiteral("spades.html"), QStringLiteral("rakes.html")});
    QTRY_COMPARE_WITH_TIMEOUT(day.window->SelectedPages().size(), 2, 5000);
    for (const QString& page : picked)
        QVERIFY2(day.window->SelectedPages().contains(page),
                 qPrintable(day.window->SelectedPages().join('\n')));

    // --- the five on-line tools on the picked pages, through the bundled server
    MainWindow& w = *day.window;
    auto& wordweigh = static_cast<WordweighPage&>(day.Page(ToolKind::Wordweigh));
    wordweigh.KeyWords()->setText(QStringLiteral("garden tools"));
    day.RunTool(ToolKind::Wordweigh);
    day.RunTool(ToolKind::Stuffwatch);
    auto& rankscout = static_cast<RankscoutPage&>(day.Page(ToolKind::Rankscout));
    rankscout.KeyPhrase()->setText(QStringLiteral("garden tools"));
    Day::Check(rankscout.Engines(), {QStringLiteral("AltaVista")});
    day.RunTool(ToolKind::Rankscout);
    auto& enginepost = static_cast<EnginepostPage&>(day.Page(ToolKind::Enginepost));
    Day::Check(enginepost.Engines(), {QStringLiteral("AltaVista"), QStringLiteral("HotBot")});
    enginepost.Title()->setText(QStringLiteral("Garden tools"));
    enginepost.Description()->setText(QStringLiteral("Spades and rakes for every garden"));
    enginepost.KeyWords()->setText(QStringLiteral("garden tools, spades"));
    enginepost.Email()->setText(QStringLiteral("shop@example.org"));
    day.dialogs.Answers.enqueue(MsgAnswer::Yes); // yes, submit more than one page
    day.RunTool(ToolKind::Backwatch);
    day.RunTool(ToolKind::Enginepost);
    QVERIFY2(day.dialogs.GeneralErrors.isEmpty(), qPrintable(day.dialogs.GeneralErrors.join('\n')));

    QStringList oldReports[5];
    for (const ToolInfo& tool : AllTools()) {
        const QString report = day.Page(tool.Kind).Report()->toPlainText();
        QVERIFY2(w.Project.Archive(tool.Kind).Pages() == picked,
                 qPrintable(QString(tool.Caption) + ": " + day.dialogs.Texts().join('\n')));
        QCOMPARE(report.count(QStringLiteral("End of Report")), 2);
        for (const QString& page : picked)
            QVERIFY2(report.contains(page), qPrintable(QString(tool.Caption) + '\n' + report));
        oldReports[TabIndex(tool.Kind)] = day.OldReports(tool.Kind);
        QCOMPARE(oldReports[TabIndex(tool.Kind)].size(), 2);
    }
    const QString ranks = day.Page(ToolKind::Rankscout).Report()->toPlainText();
    QVERIFY2(ranks.contains(QStringLiteral("Match Position: 3")), qPrintable(ranks));
    const QString links = day.Page(ToolKind::Backwatch).Report()->toPlainText();
    QVERIFY2(links.contains(QString::fromStdString(partner.Url())), qPrintable(links));
    QVERIFY(!w.Project.WordweighArchive.Percentages().value(0).isEmpty());
    bool submitted = false;
    for (const auto& received : submit.Requests())
        submitted = submitted || received.Body.find("spades.html") != std::string::npos;
    QVERIFY2(submitted, qPrintable(day.Page(ToolKind::Enginepost).Report()->toPlainText()));

    // --- Tagsmith writes the meta tags of the user's page
    auto* tagsmith = qobject_cast<TagsmithPage*>(w.ToolPages->widget(TagsmithTab));
    QVERIFY(tagsmith);
    w.ToolPages->setCurrentIndex(TagsmithTab);
    tagsmith->Description->setText(QStringLiteral("Spades and rakes for every garden"));
    tagsmith->KeyWords->setText(QStringLiteral("garden tools, spades, rakes"));
    tagsmith->Owner->setText(QStringLiteral("The Garden Shop"));
    QTest::mouseClick(tagsmith->StartButton(), Qt::LeftButton);
    const QString tags = tagsmith->Report()->toPlainText();
    QVERIFY2(tags.contains(QStringLiteral("Spades and rakes for every garden")), qPrintable(tags));
    QVERIFY2(tags.contains(QStringLiteral("garden tools, spades, rakes")), qPrintable(tags));
    QVERIFY2(tags.contains(QStringLiteral("The Garden Shop")), qPrintable(tags));

    // --- saved, closed, and opened again from the recent-file entry
    day.dialogs.FileNames.enqueue(projectFile);
    day.Trigger("actSave");
    QVERIFY(QFileInfo::exists(projectFile));
    QVERIFY(!day.window->ProjectModified);
    const QStringList savedMap = day.window->Project.SiteMapLines;
    day.Trigger("actClose");
    QVERIFY(!day.window->ProjectIsOpen());
    QVERIFY(day.TreeUrls().isEmpty());
    QAction* recent = day.window->RecentFileActions[0];
    QVERIFY(recent->isVisible());
    QVERIFY2(recent->text().contains(QStringLiteral("garden.zpr")), qPrintable(recent->text()));
    recent->trigger();
    QVERIFY(day.window->ProjectIsOpen());
    QCOMPARE(day.window->ProjectFileName, projectFile);
    QCOMPARE(day.window->Project.SiteMapLines, savedMap);
    QCOMPARE(day.TreeUrls(), urls);
    for (const ToolInfo& tool : AllTools()) {
        QCOMPARE(day.OldReports(tool.Kind), oldReports[TabIndex(tool.Kind)]);
        QCOMPARE(w.Project.Archive(tool.Kind).Pages(), picked);
    }

    // --- Sitecensus with every section, saved as RTF and printed to PDF
    w.ToolPages->setCurrentIndex(SitecensusTab);
    QTest::mouseClick(w.Census->StartButton(), Qt::LeftButton);
    QCOMPARE(day.AuditSections, w.AuditOptionsDlg->findChildren<QCheckBox*>().size());
    const QString audit = w.Census->Report()->toPlainText();
    for (const QString& line :
         {QStringLiteral("Pages with broken links,"),
          QStringLiteral("Pages with E-mail (mailto) links,"),
          QStringLiteral("A list of all web pages,"),
          QStringLiteral("Pages with reciprocal links,"),
          site.Root() + QStringLiteral("old-rakes.html"), QStringLiteral("shop@example.org"),
          site.Root() + QStringLiteral("spades.html, ranked 3,"),
          QStringLiteral("1 from 2 pages contain reciprocal links."),
          QStringLiteral("2 from 2 were less than 80% effective."),
          QStringLiteral("End of Report")})
        QVERIFY2(audit.contains(line),
                 qPrintable(line + QStringLiteral(" missing from\n") + audit));
    const QString rtf = work + "/audit.rtf";
    day.dialogs.FileNames.enqueue(rtf);
    QTest::mouseClick(w.Census->SaveButton(), Qt::LeftButton);
    QFile rtfFile(rtf);
    QVERIFY(rtfFile.open(QIODevice::ReadOnly));
    const QByteArray rtfText = rtfFile.readAll();
    QVERIFY(rtfText.startsWith("{\\rtf1"));
    QVERIFY(rtfText.contains("old-rakes.html"));
    QTest::mouseClick(w.Census->PrintButton(), Qt::LeftButton);
    QCOMPARE(day.printers.Dialogs, 1);
    QFile pdf(day.printers.OutputFile);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");
    QVERIFY(pdf.size() > 1000);
    QVERIFY2(day.dialogs.Asked.size() == 2, qPrintable(day.dialogs.Texts().join('\n')));

    // --- Site Health: no history yet; its one button crawls, then the site
    // changes and the map is updated again: the page compares the two crawls
    auto* health = w.Health;
    w.ToolPages->setCurrentWidget(health);
    QTRY_VERIFY(!health->Loading());
    QVERIFY(!health->Snapshot().HaveHistory);
    auto* crawl = health->findChild<QPushButton*>(QStringLiteral("HealthUpdateSiteMap"));
    QVERIFY(crawl && crawl->isVisible());
    QTest::mouseClick(crawl, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(health->Snapshot().Crawls.size() == 1 && !health->Loading(), 60000);
    site.Changed = true;
    // While the new crawl is kept, the page lets go of the lists of the one
    // shown before, and shows the new ones after.
    bool listsWent = false;
    const auto keeping = connect(&w.SiteMap->Creator(), &SiteMapCreator::KeepingCrawl, health, [&] {
        listsWent = health->Snapshot().Crawls.size() == 1 && !health->Snapshot().Findings &&
                    !health->Snapshot().Changes;
    });
    QVERIFY(health->Snapshot().Findings);
    QTest::mouseClick(w.UpdateSiteMapButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(health->Snapshot().Crawls.size() == 2 && !health->Loading(), 60000);
    disconnect(keeping);
    QVERIFY(listsWent);
    QVERIFY(QFileInfo::exists(work + "/garden.crawls.sqlite"));
    const health::HealthSnapshot& seen = health->Snapshot();
    QCOMPARE(seen.ComparedWith, seen.Crawls[0].Id);
    auto mark = [&](const char* check, const QString& url) {
        for (const health::ComparedFinding& row : *seen.Findings)
            if (row.Item.Check == check && QString::fromStdString(row.Item.Url.str()) == url)
                return QString::fromStdString(std::string(health::ChangeName(row.How)));
        return QStringLiteral("absent");
    };
    QCOMPARE(mark("title-missing", site.Root() + "contact.html"), QStringLiteral("new"));
    QCOMPARE(mark("status-4xx", site.Root() + "old-rakes.html"), QStringLiteral("fixed"));
    QCOMPARE(mark("content-thin", site.Root() + "spades.html"), QStringLiteral("same"));
    QVERIFY(seen.Summary.NewCounts[0] >= 1);
    QVERIFY2(health->findChild<QLabel*>(QStringLiteral("HealthSummary"))
                 ->text()
                 .contains(QStringLiteral("Site score:")),
             "no summary");
    // The missing title's check, its page selected in the site map for the tools.
    auto* checks = health->findChild<QTreeWidget*>(QStringLiteral("HealthChecks"));
    QTreeWidgetItem* missing = nullptr;
    for (QTreeWidgetItemIterator at(checks); *at; ++at)
        if ((*at)->data(0, Qt::UserRole + 1).toString() == QStringLiteral("title-missing"))
            missing = *at;
    QVERIFY(missing);
    checks->setCurrentItem(missing);
    QTest::mouseClick(health->findChild<QPushButton*>(QStringLiteral("HealthSelectInSiteMap")),
                      Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.SelectedPages(), QStringList{site.Root() + "contact.html"}, 5000);
    // Export CSV, the XML sitemap, and the report with its chart printed to PDF.
    day.dialogs.FileNames.enqueue(work + "/health.csv");
    QTest::mouseClick(health->findChild<QPushButton*>(QStringLiteral("HealthExportCsv")),
                      Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!health->Exporting(), 20000); // written off the window's thread
    QFile csv(work + "/health.csv");
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QString csvText = QString::fromUtf8(csv.readAll());
    QVERIFY2(csvText.startsWith(QStringLiteral("check,severity,url,detail,link_score,change\n")),
             qPrintable(csvText));
    QVERIFY2(
        csvText.contains(QStringLiteral("title-missing,error,%1contact.html,").arg(site.Root())),
        qPrintable(csvText));
    QVERIFY2(csvText.contains(QStringLiteral(",fixed\n")), qPrintable(csvText));
    day.dialogs.FileNames.enqueue(work + "/sitemap.xml");
    day.Trigger("actExportXmlSitemap");
    QFile xml(work + "/sitemap.xml");
    QVERIFY(xml.open(QIODevice::ReadOnly));
    const QByteArray xmlText = xml.readAll();
    QVERIFY2(xmlText.contains(("<loc>" + site.Root() + "spades.html</loc>").toUtf8()),
             xmlText.constData());
    day.printers.OutputFile = work + "/health.pdf";
    day.Trigger("actPrint"); // File > Print Report prints the page showing
    QFile healthPdf(work + "/health.pdf");
    QVERIFY(healthPdf.open(QIODevice::ReadOnly));
    const QByteArray pdfBytes = healthPdf.readAll();
    QVERIFY(pdfBytes.startsWith("%PDF-"));
    QVERIFY2(pdfBytes.contains("/Subtype /Image"), "the chart is not in the PDF");
    day.dialogs.FileNames.enqueue(work + "/health.rtf");
    QTest::mouseClick(health->findChild<QPushButton*>(QStringLiteral("HealthSave")),
                      Qt::LeftButton);
    QFile healthRtf(work + "/health.rtf");
    QVERIFY(healthRtf.open(QIODevice::ReadOnly));
    const QByteArray rtfBytes = healthRtf.readAll();
    QVERIFY(rtfBytes.startsWith("{\\rtf1"));
    QVERIFY2(rtfBytes.contains("{\\pict\\pngblip"), "the chart is not in the RTF");
    QVERIFY(rtfBytes.contains("Site score:"));
    QVERIFY2(day.dialogs.Asked.size() == 2, qPrintable(day.dialogs.Texts().join('\n')));
    // Every indexable page of the latest crawl through the IndexNow service set
    // up above: asked first, then the service's answer shown.
    const std::string spadesUrl = (site.Root() + "spades.html").toStdString();
    const size_t postsBefore = submit.Requests().size();
    day.dialogs.Answers.enqueue(MsgAnswer::Yes);
    QTest::mouseClick(health->findChild<QPushButton*>(QStringLiteral("HealthSubmitIndexNow")),
                      Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(day.dialogs.Asked.size() == 4, 30000);
    QVERIFY2(day.dialogs.Asked[2].Text.contains(QStringLiteral("through IndexNow?")),
             qPrintable(day.dialogs.Texts().join('\n')));
    QVERIFY2(day.dialogs.Asked[3].Text.startsWith(QStringLiteral("accepted")),
             qPrintable(day.dialogs.Texts().join('\n')));
    const auto posts = submit.Requests();
    QCOMPARE(posts.size(), postsBefore + 1);
    QVERIFY2(posts.back().Body.find(spadesUrl) != std::string::npos, posts.back().Body.c_str());
    day.Trigger("actSave");

    // --- watching: the spades page's rank and link-backs; an Update posts
    // what changed, and nothing when nothing did
    const QString spades = site.Root() + "spades.html";
    for (const ToolKind kind : {ToolKind::Rankscout, ToolKind::Backwatch}) {
        w.ToolPages->setCurrentIndex(TabIndex(kind));
        QComboBox* list = day.Page(kind).OldReportList();
        list->setCurrentIndex(w.Project.Archive(kind).LastIndexOf(spades));
        QPushButton* watch = day.Page(kind).WatchButton();
        QVERIFY(watch && watch->isEnabled() && !watch->isChecked());
        QTest::mouseClick(watch, Qt::LeftButton);
        QVERIFY(watch->isChecked());
    }
    QCOMPARE(w.Project.RankscoutBulletins, QStringLiteral("Y"));
    const int messagesBefore = w.Project.BulletinMessages.Count();
    // The spades page now ranks first, and the partner's page links elsewhere.
    search.SetResults("garden tools", {spades.toStdString(), "http://one.test/"});
    partner.Target = "http://elsewhere.test/";
    w.ToolPages->setCurrentIndex(BulletinBoardTab);
    QVERIFY(w.BBPage->UpdateButton->isEnabled());
    QTest::mouseClick(w.BBPage->UpdateButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.Net->TransportIdle && w.Net->RequestQueue.isEmpty(), 60000);
    const BulletinList& board = w.Project.BulletinMessages;
    auto posted = [&](const QString& sender) {
        QStringList bodies;
        for (int i = messagesBefore; i < board.Count(); ++i)
            if (board.Senders()[i] == sender)
                bodies << board.Pages()[i] + " | " + board.Bodies()[i];
        return bodies;
    };
    QCOMPARE(posted("Rankscout"),
             QStringList{spades + " | The rank of " + spades +
                         " moved from 3 to 1.<br>Search engine: ALTAVISTA<br>Key phrase: garden "
                         "tools"});
    QCOMPARE(posted("Backwatch"),
             QStringList{spades + " | A page no longer links back to " + spades + ":<br>" +
                         QString::fromStdString(partner.Url())});
    // The second crawl's new error, the missing title, is posted once.
    const QStringList healthPosts = posted("Site Health");
    QVERIFY2(healthPosts.filter(site.Root() + "contact.html | ").size() == 1 &&
                 healthPosts.join('\n').contains("title-missing"),
             qPrintable(healthPosts.join('\n')));
    const int afterUpdate = board.Count();
    QCOMPARE(afterUpdate, messagesBefore + 2 + int(healthPosts.size()));
    QCOMPARE(w.BBList->topLevelItemCount(), board.Count());
    day.Trigger("actUpdateBulletinBoard");
    QTRY_VERIFY_WITH_TIMEOUT(w.Net->TransportIdle && w.Net->RequestQueue.isEmpty(), 60000);
    QCOMPARE(board.Count(), afterUpdate); // nothing changed, nothing posted
    w.BBList->topLevelItem(afterUpdate - 2)->setSelected(true);
    w.BBPage->OpenSelectedMessage();
    Day::Shot(w.BBPage, "bulletin-board.png");
    // Saved and read back with the watch list.
    day.Trigger("actSave");
    QVERIFY(!w.ProjectModified);
    {
        ProjectData back;
        QVERIFY(ReadProjectFile(projectFile, back).IsOk());
        QCOMPARE(back.BulletinMessages.Bodies(), board.Bodies());
        QCOMPARE(back.Watches.size(), 3); // two pages and the crawl posted
    }

    // --- the program ends: settings stored, the bundled server gone
    day.window->close();
    QVERIFY(!day.window->ProjectModified);
    QVERIFY(!day.window->isVisible());
    QVERIFY(!day.window->Bundled->Running());
    QTRY_VERIFY_WITH_TIMEOUT(ServerChildren().isEmpty(), 10000);
    QCOMPARE(BundledServer::Probe(host, port, 500), BundledServer::Occupant::Nobody);
    day.window.reset();

    QSettings stored(QStringLiteral("Korvane Ltd."), QStringLiteral("ZEPH"));
    QCOMPARE(stored.value(QStringLiteral("File0")).toString(), projectFile);
    QCOMPARE(stored.value(QStringLiteral("ServerAddress")).toString(), serverAddress);
    QVERIFY(stored.contains(QStringLiteral("HorzPos")));
    QVERIFY(stored.value(QStringLiteral("HorzPos")).toInt() > 0);
    QVERIFY(stored.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
}

// Presses Tab until want has the focus; false after 60 presses.
static bool TabTo(QWidget* want) {
    for (int i = 0; i < 60; ++i) {
        if (QApplication::focusWidget() == want)
            return true;
        QWidget* focus = QApplication::focusWidget();
        if (!focus)
            return false;
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    return QApplication::focusWidget() == want;
}

// Wordweigh run with keys only: the tree's selection by arrow keys, Tab to
// the key words box, Return as the default button, Tab to Start and Space,
// then Alt+S to save the report and Alt+C to clear it.
void TestEndToEndDay::aToolFromTheKeyboard() {
    // The run's own analysis server on a free port: at the default address
    // another copy of the program on this machine (another test, another
    // user) may already run one, set up otherwise or about to stop, and the
    // tools' requests would go there. No tip window takes the focus at the
    // start, and a machine without an outside address is never offered a dial.
    {
        QSettings stored(QStringLiteral("Korvane Ltd."), QStringLiteral("ZEPH"));
        stored.setValue(QStringLiteral("ServerAddress"),
                        QStringLiteral("127.0.0.1:%1").arg(FreePort()));
        stored.setValue(QStringLiteral("Tip"), 0);
        stored.setValue(QStringLiteral("Dial"), 0);
    }
    Site site;
    const QString root = site.Root();
    const QString work = Home.filePath(QStringLiteral("keys"));
    QVERIFY(QDir().mkpath(work));
    ProjectData project;
    project.RootHost = QStringLiteral("127.0.0.1:%1").arg(site.Port);
    project.RootPath = QStringLiteral("/");
    project.SiteMapLines = {"WEBCHARTER",        "<ROOT>" + root,    "<PAGE>" + root, "<PUSH>",
                            "<PAGE>spades.html", "<PAGE>rakes.html", "<POP>",         "<END>"};
    const QString path = work + "/keys.zpr";
    QVERIFY(WriteProjectFile(path, project).IsOk());

    Day day;
    day.Start();
    MainWindow& w = *day.window;
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    day.dialogs.FileNames.enqueue(path);
    day.Trigger("actOpen");
    QVERIFY(w.ProjectIsOpen());
    QCOMPARE(w.ToolPages->currentIndex(), int(WordweighTab));

    // The tree: Home is the root, Down its first page.
    QTreeView* tree = w.SiteMap->Tree();
    if (!QApplication::focusWidget())
        w.UpdateSiteMapButton->setFocus();
    QVERIFY2(TabTo(tree), qPrintable(QApplication::focusWidget()->objectName()));
    QTest::keyClick(tree, Qt::Key_Home);
    QTest::keyClick(tree, Qt::Key_Right);
    QTest::keyClick(tree, Qt::Key_Down);
    QTRY_COMPARE_WITH_TIMEOUT(w.SelectedPages(), QStringList{root + "spades.html"}, 5000);

    auto& wordweigh = static_cast<WordweighPage&>(day.Page(ToolKind::Wordweigh));
    QVERIFY(TabTo(wordweigh.KeyWords()));
    QTest::keyClicks(wordweigh.KeyWords(), QStringLiteral("garden tools"));
    QTest::keyClick(wordweigh.KeyWords(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(w.Project.WordweighArchive.Count() == 1 && w.Net->TransportIdle,
                             60000);
    ReportView* report = wordweigh.Report();
    QCOMPARE(report->toPlainText().count(QStringLiteral("End of Report")), 1);
    QVERIFY(report->toPlainText().contains(root + "spades.html"));

    QVERIFY(TabTo(wordweigh.StartButton()));
    QTest::keyClick(wordweigh.StartButton(), Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(w.Project.WordweighArchive.Count() == 2 && w.Net->TransportIdle,
                             60000);
    QCOMPARE(report->toPlainText().count(QStringLiteral("End of Report")), 2);

    const QString saved = work + "/wordweigh.rtf";
    day.dialogs.FileNames.enqueue(saved);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(saved).size() > 0, 5000);

    day.dialogs.Answers.enqueue(MsgAnswer::Yes);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY_WITH_TIMEOUT(report->toPlainText().trimmed().isEmpty(), 5000);
    QVERIFY2(day.dialogs.GeneralErrors.isEmpty(), qPrintable(day.dialogs.GeneralErrors.join('\n')));

    day.dialogs.Answers.enqueue(MsgAnswer::No); // no need to save at exit
    w.close();
    QTRY_VERIFY_WITH_TIMEOUT(ServerChildren().isEmpty(), 10000);
}

// A fresh home for the run: settings, the server's configuration and the
// desktop's data go to folders of the test's own, made before anything
// reads the environment.
int main(int argc, char* argv[]) {
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetApplicationIdentity();
    QTEST_SET_MAIN_SOURCE_PATH
    TestEndToEndDay test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_day.moc"
