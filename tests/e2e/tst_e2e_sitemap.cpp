// The program makes a site map with the real sm applet: a project for a site
// served here, "Update Site Map", the tree holding the site's pages; and Stop
// during a slow crawl ending the applet and keeping the previous map.
#include "Main.h"
#include "ProcessLauncher.h"
#include "SiteMapController.h"
#include "SiteMapCreation.h"
#include "SiteMapPanel.h"
#include "Transport.h"
#include "WindowFixture.h"
#include "startdlg.h"

#include "../webcharter/NginxSite.h"

#include <httplib.h>

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <chrono>
#include <thread>

using namespace vantora;
using namespace vantora::test;

namespace {

// A little site of 12 pages with one broken link, one external link (to
// another loopback address, never contacted past this machine) and a mail
// link. With SlowMs set every page waits that long.
class Site {
  public:
    std::atomic<int> SlowMs{0};
    std::string Robots; // served as robots.txt when not empty; set while idle
    int Port = 0;

    Site() {
        Server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            if (SlowMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(SlowMs.load()));
            const std::string& path = req.path;
            if (path == "/robots.txt") {
                if (Robots.empty())
                    res.status = 404;
                else
                    res.set_content(Robots, "text/plain");
                return;
            }
            if (path == "/" || path == "/index.html") {
                std::string body = "<html><head><title>Home</title></head><body>";
                for (int i = 1; i <= 5; ++i)
                    body += "<a href=\"section" + std::to_string(i) + "/\">Section</a> ";
                body += "<a href=\"mailto:owner@example.org\">mail</a>"
                        "<a href=\"http://127.0.0.2:9/elsewhere\">partner</a>"
                        "<a href=\"/missing.html\">gone</a></body></html>";
                res.set_content(body, "text/html");
                return;
            }
            if (path.rfind("/section", 0) == 0 && path.back() == '/') {
                res.set_content("<html><body><a href=\"page.html\">page</a></body></html>",
                                "text/html");
                return;
            }
            if (path.size() > 10 && path.compare(path.size() - 10, 10, "/page.html") == 0) {
                res.set_content("<html><body>leaf <a href=\"/\">home</a></body></html>",
                                "text/html");
                return;
            }
            res.status = 404;
            res.set_content("not here", "text/plain");
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

  private:
    httplib::Server Server;
    std::thread Thread;
};

// Counts the launcher's starts and remembers the last id, so the test can
// ask whether the applet still runs.
class WatchedLauncher : public DetachedProcessLauncher {
  public:
    qint64 LastId = 0;
    qint64 Start(const QString& program, const QStringList& arguments,
                 const QString& dir) override {
        LastId = DetachedProcessLauncher::Start(program, arguments, dir);
        return LastId;
    }
};

struct Program : WindowFixture<WatchedLauncher> {
    Program() {
        Start({},
              QDir(qEnvironmentVariable("VANTORA_BIN_DIR")).filePath(QStringLiteral("vantora")));
        window->TipWindow->close();
    }
    // A new project for the served site, as Project Settings makes it.
    void NewProjectFor(int port) {
        window->ApplyNewProjectState(QStringLiteral("http://127.0.0.1:%1/").arg(port));
        window->Project.RootHost = QStringLiteral("127.0.0.1:%1").arg(port);
        window->Project.RootPath = QStringLiteral("/");
        window->SiteMap->Creator().ShowMapperInfo = false;
    }
    QStringList NodeCaptions() const {
        QStringList captions;
        const SiteMapController& c = window->SiteMap->Controller();
        for (int n = 0; n < c.NodeCount(); ++n)
            captions << c.SiteTreeGetFullURL(n, n);
        return captions;
    }
};

} // namespace

class TestEndToEndSiteMap : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        const QString sm =
            QDir(qEnvironmentVariable("VANTORA_BIN_DIR")).filePath(QStringLiteral("sm"));
        if (!QFileInfo(sm).isExecutable())
            QFAIL(qPrintable(QStringLiteral("the applet is missing: ") + sm));
    }
    void updateSiteMapBuildsTheTree();
    void stopDuringSlowCrawlKeepsPreviousMap();
    void mapLeavingThingsOutSaysSo();
    void httpsSiteBehindRedirectsAndCookieWall();
    void scriptBuiltSiteMappedWhenRendered();
};

void TestEndToEndSiteMap::updateSiteMapBuildsTheTree() {
    Site site;
    Program p;
    p.NewProjectFor(site.Port);
    p.window->FindAction(QStringLiteral("actUpdateSiteMap"))->trigger();

    const QStringList& lines = p.window->Project.SiteMapLines;
    QVERIFY2(!lines.isEmpty(), qPrintable(p.window->StatusText()));
    QCOMPARE(lines.first(), QStringLiteral("WEBCHARTER"));
    QVERIFY(lines.value(1).startsWith(QStringLiteral("<ROOT>")));
    QCOMPARE(lines.last(), QStringLiteral("<END>"));
    QVERIFY(p.window->ProjectModified);
    QVERIFY(!p.window->AnimationRunning());

    const QString root = QStringLiteral("http://127.0.0.1:%1/").arg(site.Port);
    const QStringList urls = p.NodeCaptions();
    QVERIFY(urls.contains(root));
    for (int i = 1; i <= 5; ++i) {
        QVERIFY2(urls.contains(root + QStringLiteral("section%1/").arg(i)),
                 qPrintable(urls.join('\n')));
        QVERIFY(urls.contains(root + QStringLiteral("section%1/page.html").arg(i)));
    }
    QVERIFY(urls.contains(root + QStringLiteral("missing.html")));
    QVERIFY(lines.join('\n').contains(QStringLiteral("<MAILTO>mailto:owner@example.org")));
    // The partner address refuses connections: the external check lists it broken.
    QVERIFY(lines.join(QLatin1Char(10))
                .contains(QStringLiteral("<BROKEN>http://127.0.0.2:9/elsewhere")));
    // Each page of the site is in the tree once.
    QCOMPARE(urls.count(root + QStringLiteral("section3/page.html")), 1);
}

void TestEndToEndSiteMap::stopDuringSlowCrawlKeepsPreviousMap() {
    Site site;
    Program p;
    p.NewProjectFor(site.Port);
    const QStringList previous = {
        QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://127.0.0.1/"),
        QStringLiteral("<PAGE>http://127.0.0.1/old.html"), QStringLiteral("<END>")};
    p.window->Project.SiteMapLines = previous;
    site.SlowMs = 1500;
    QTimer::singleShot(2500, p.window.get(),
                       [&] { p.window->FindAction(QStringLiteral("tbStop"))->trigger(); });
    p.window->FindAction(QStringLiteral("actUpdateSiteMap"))->trigger();

    QCOMPARE(p.window->Project.SiteMapLines, previous);
    QVERIFY(p.processes.LastId > 0);
    QTRY_VERIFY_WITH_TIMEOUT(!p.processes.IsRunning(p.processes.LastId), 5000);
    QVERIFY(!p.window->AnimationRunning());
    QVERIFY(p.window->StatusText().contains(QStringLiteral("stopped"), Qt::CaseInsensitive));
    site.SlowMs = 0;
}

void TestEndToEndSiteMap::mapLeavingThingsOutSaysSo() {
    Site site;
    site.Robots = "User-agent: *\nDisallow: /section2/\n";
    // the program starts sm with the root alone; a small page limit comes through
    // the environment sm reads its options from
    qputenv("VANTORA_SM_OPTIONS", "--max-pages=6");
    Program p;
    p.NewProjectFor(site.Port);
    p.window->FindAction(QStringLiteral("actUpdateSiteMap"))->trigger();
    qunsetenv("VANTORA_SM_OPTIONS");
    QVERIFY(!p.window->Project.SiteMapLines.isEmpty());
    auto information = [&p] {
        QStringList texts;
        for (const auto& asked : p.dialogs.Asked)
            if (asked.Kind == MsgKind::Information)
                texts << asked.Text;
        return texts;
    };
    const QStringList boxes = information();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().contains(QStringLiteral("beyond the page limit of 6")),
             qPrintable(boxes.first()));
    QVERIFY2(boxes.first().contains(QStringLiteral("excluded by the site's robots.txt")),
             qPrintable(boxes.first()));
    QVERIFY(
        !p.NodeCaptions().contains(QStringLiteral("http://127.0.0.1:%1/section2/").arg(site.Port)));

    // The whole site, nothing left out: no box.
    site.Robots.clear();
    p.dialogs.Asked.clear();
    p.window->FindAction(QStringLiteral("actUpdateSiteMap"))->trigger();
    QVERIFY(p.NodeCaptions().contains(
        QStringLiteral("http://127.0.0.1:%1/section2/page.html").arg(site.Port)));
    QVERIFY2(information().isEmpty(), qPrintable(information().join('\n')));
}

void TestEndToEndSiteMap::httpsSiteBehindRedirectsAndCookieWall() {
    // A site as many are today: http sends to https on the same port, "/" to "/en/",
    // and a consent wall that sets a cookie and sends the browser back. The
    // certificate is of an authority this test makes; sm is told of it through the
    // environment it reads its options from.
    const NginxSite site(
        "error_page 497 =301 https://$http_host$request_uri;\n"
        "location = / { return 301 /en/; }\n"
        "location /en/ { if ($cookie_consent != yes) {\n"
        "  add_header Set-Cookie \"consent=yes; Path=/\"; return 302 $request_uri; } }\n"
        "root $ROOT;\n",
        {{"/en/index.html",
          "<title>Home</title><a href=shop/>Shop</a> <a href=about.html>About</a>"
          " <a href=/en/gone.html>Gone</a> <a href=mailto:info@example.org>m</a>"},
         {"/en/about.html", "<title>About</title><a href=/en/>Home</a>"},
         {"/en/shop/index.html", "<title>Shop</title><a href=bench.html>Bench</a>"},
         {"/en/shop/bench.html", "<title>Bench</title><img src=bench.png>"},
         {"/en/shop/bench.png", "\x89PNG\r\n"}},
        true);
    QVERIFY2(site.Running, "nginx did not start");
    qputenv("VANTORA_SM_OPTIONS", ("--ca-file=" + site.CaFile()).toUtf8());
    Program p;
    p.NewProjectFor(site.Port);
    p.window->FindAction(QStringLiteral("actUpdateSiteMap"))->trigger();
    qunsetenv("VANTORA_SM_OPTIONS");
    const QString root = site.Origin() + "/";
    const QStringList urls = p.NodeCaptions();
    for (const char* page : {"en/", "en/about.html", "en/shop/", "en/shop/bench.html"})
        QVERIFY2(urls.contains(root + page), qPrintable(urls.join('\n')));
    QVERIFY(urls.contains(root + "en/gone.html"));
    QVERIFY(
        p.window->Project.SiteMapLines.join('\n').contains("<ERROR>" + root + "en/gone.html 404"));
    // VANTORA_SHOT names a file for a picture of the window with the tree open.
    const QString shot = qEnvironmentVariable("VANTORA_SHOT");
    if (!shot.isEmpty()) {
        p.window->resize(900, 640);
        p.window->show();
        if (auto* tree = p.window->SiteMap->findChild<QTreeView*>())
            tree->expandAll();
        QTest::qWait(500);
        QVERIFY(p.window->grab().save(shot));
    }
}

void TestEndToEndSiteMap::scriptBuiltSiteMappedWhenRendered() {
    // A shop whose pages its scripts build: every path is served the same shell,
    // and a client-side router puts in each route's links. Mapped with rendering
    // (through the environment sm reads its options from), the tree holds the
    // routes; without it only the root.
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty() &&
        QStandardPaths::findExecutable(QStringLiteral("chromium-headless-shell")).isEmpty())
        QSKIP("no Chromium found (chromium or chromium-headless-shell in PATH)");
    const char* shell = R"(<!DOCTYPE html><html><head><title>Shop</title></head><body>
<div id="app"></div><script>
const routes = { '/': ['/chairs/', '/tables/', '/about'], '/chairs/': ['/chairs/oak', '/chairs/walnut'],
  '/tables/': ['/tables/round'], '/about': ['/contact'] };
const app = document.getElementById('app');
const titles = { '/': 'Shop', '/about': 'About us', '/contact': 'Contact' };
document.title = titles[location.pathname] || 'Shop: ' + location.pathname;
for (const href of routes[location.pathname] || ['/']) {
  const a = document.createElement('a'); a.href = href; a.textContent = href;
  a.onclick = e => { e.preventDefault(); history.pushState(null, '', href); };
  app.appendChild(a); }
</script></body></html>)";
    const NginxSite site("location / { try_files $uri /index.html; }\nroot $ROOT;\n",
                         {{"/index.html", shell}}, false);
    QVERIFY2(site.Running, "nginx did not start");
    const QString root = site.Origin();
    for (const char* options : {"--render=off", "--render=on"}) {
        qputenv("VANTORA_SM_OPTIONS", options);
        Program p;
        p.NewProjectFor(site.Port);
        p.window->FindAction(QStringLiteral("actUpdateSiteMap"))->trigger();
        qunsetenv("VANTORA_SM_OPTIONS");
        const QStringList urls = p.NodeCaptions();
        const bool rendered = QByteArray(options) == "--render=on";
        for (const char* page : {"/chairs/oak", "/tables/round", "/contact"})
            QVERIFY2(urls.contains(root + page) == rendered, qPrintable(urls.join('\n')));
        const QString shot = qEnvironmentVariable("VANTORA_SHOT_RENDERED");
        if (rendered && !shot.isEmpty()) {
            p.window->resize(900, 640);
            p.window->show();
            if (auto* tree = p.window->SiteMap->findChild<QTreeView*>())
                tree->expandAll();
            QTest::qWait(500);
            QVERIFY(p.window->grab().save(shot));
        }
    }
}

QTEST_MAIN(TestEndToEndSiteMap)
#include "tst_e2e_sitemap.moc"
