// Rendering in the crawl: the real sm with --render against sites this test
// serves on 127.0.0.1, read back through the facts file and the checks; what
// looks script-built; hostile pages bounded; no browser process left behind,
// even when sm is killed.

#include "Checks.h"
#include "CrawlFacts.h"
#include "DevTools.h"
#include "ScriptBuilt.h"

#include <httplib.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

using namespace vantora;

namespace {

using Pages = std::map<std::string, std::string>; // path -> HTML ("*" ends a prefix)

// Serves the pages given; a path ending in "*" answers for every path under it.
class Site {
  public:
    // Called with the path of every request before it is answered.
    std::function<void(const std::string&)> OnRequest;

    explicit Site(Pages pages) : Content(std::move(pages)) {
        Server.new_task_queue = [] { return new httplib::ThreadPool(24); };
        Server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            if (OnRequest)
                OnRequest(request.path);
            const std::string* body = nullptr;
            for (const auto& [path, html] : Content)
                if (path == request.path ||
                    (path.ends_with('*') &&
                     request.path.starts_with(path.substr(0, path.size() - 1))))
                    body = &html;
            if (!body) {
                response.status = 404;
                response.set_content("<html><body>not here</body></html>", "text/html");
                return;
            }
            const bool script = request.path.ends_with(".js");
            response.set_content(*body, script ? "text/javascript" : "text/html; charset=utf-8");
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
        for (int i = 0; i < 200 && !Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Site() {
        Server.stop();
        Thread.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(Port) + path;
    }
    int Port = -1;

  private:
    Pages Content;
    httplib::Server Server;
    std::thread Thread;
};

struct Run {
    int Exit = -1;
    QString Errors;
    health::CrawlFacts Facts;
    std::set<std::string> Pages; // paths of the HTML pages fetched with 200
};

QString Sm() {
    return QDir(qEnvironmentVariable("VANTORA_BIN_DIR")).filePath(QStringLiteral("sm"));
}

// The processes of browsers started with a profile under folder, and of their
// process groups, that still run (zombies do not).
std::set<int> LiveBrowsers(const QString& folder) {
    std::set<int> pids, groups;
    std::map<int, int> groupOf;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number)
            continue;
        std::ifstream stat("/proc/" + entry.toStdString() + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z')
            continue;
        std::istringstream fields(line.substr(close + 4));
        int parent = 0, group = 0;
        fields >> parent >> group;
        groupOf[pid] = group;
        std::ifstream cmdline("/proc/" + entry.toStdString() + "/cmdline");
        const std::string command((std::istreambuf_iterator<char>(cmdline)), {});
        if (command.find(folder.toStdString()) != std::string::npos) {
            pids.insert(pid);
            groups.insert(group);
        }
    }
    for (const auto& [pid, group] : groupOf)
        if (groups.count(group))
            pids.insert(pid);
    return pids;
}

bool NoBrowserWithin(const QString& folder, int ms) {
    for (int waited = 0; waited < ms; waited += 100) {
        if (LiveBrowsers(folder).empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return LiveBrowsers(folder).empty();
}

// Crawls the site with sm; the browser's profile goes under the run's own
// temporary folder, so its processes can be told from any other.
Run Crawl(const Site& site, const QStringList& options, const QTemporaryDir& folder) {
    Run run;
    const QString facts = folder.filePath(QStringLiteral("facts.jsonl"));
    QProcess sm;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), folder.path());
    sm.setProcessEnvironment(environment);
    sm.start(Sm(), QStringList{QStringLiteral("Search_URL=") +
                                   QString::fromStdString(site.Url("/")).mid(7),
                               QStringLiteral("--facts=") + facts,
                               QStringLiteral("--output=") + folder.filePath("map.tmp"),
                               QStringLiteral("--quiet"), QStringLiteral("--no-external")} +
                       options);
    if (!sm.waitForFinished(240000))
        sm.kill();
    sm.waitForFinished();
    run.Exit = sm.exitStatus() == QProcess::NormalExit ? sm.exitCode() : -1;
    run.Errors = QString::fromUtf8(sm.readAllStandardError());
    std::string error;
    if (!health::ReadFactsFile(facts.toStdString(), run.Facts, error))
        qWarning("%s", error.c_str());
    const std::string prefix = site.Url("");
    for (const health::UrlFacts& url : run.Facts.Urls)
        if (url.Html && url.Status == 200)
            run.Pages.insert(std::string(url.Url.substr(prefix.size())));
    return run;
}

std::string Join(const std::set<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : " ") + item;
    return text;
}

// A shell that scripts build: links inserted, a client-side router that moves
// the address by history.replaceState and renders each route's links, which
// are relative to the moved address.
const char* const Shell = R"(<!DOCTYPE html><html><head><title>App</title></head>
<body><div id="root"></div><script>
const root = document.getElementById('root');
function link(href, text) { const a = document.createElement('a'); a.href = href;
  a.textContent = text; a.onclick = e => { e.preventDefault(); history.pushState(null, '', href); }; root.appendChild(a); }
let path = location.pathname;
if (path === '/') { link('/inserted', 'Inserted'); history.replaceState(null, '', '/app/'); path = '/app/'; }
if (path === '/app/') { link('shop', 'Shop'); link('about', 'About'); }
if (path === '/app/shop') link('shop/item', 'Item');
</script></body></html>)";

const char* const Plain = "<html><head><title>Plain</title></head><body><main><p>"
                          "A page the server built, with enough words of its own to read "
                          "like any ordinary page of a site that needs no scripts at all "
                          "to show its text to visitors and crawlers alike.</p>"
                          "<script>var counter = 1;</script></main></body></html>";

std::string Page(const std::string& head, const std::string& script) {
    return "<!DOCTYPE html><html><head><title>Served</title>" + head + "</head><body><p>" +
           "Some words</p><script>" + script + "</script></body></html>";
}

} // namespace

class TestRender : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void scriptBuilt_data();
    void scriptBuilt();
    void linksFound_data();
    void linksFound();
    void changedByScripts();
    void hostilePagesAreBounded();
    void killedCrawlLeavesNoBrowser();
    void browserKilledMidCrawlIsRestarted();
    void missingBrowser();

  private:
    bool HaveBrowser = false;
};

void TestRender::initTestCase() {
    QVERIFY2(QFileInfo(Sm()).isExecutable(), "sm is not built");
    HaveBrowser = !render::FindChromium().empty();
}

void TestRender::scriptBuilt_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<bool>("built");
    QTest::newRow("empty root and a script")
        << "<html><body><div id=app></div><script src=/a.js></script></body></html>" << true;
    QTest::newRow("module script, noscript text does not count")
        << "<body><div id=root></div><noscript>You need to enable JavaScript to run this app, "
           "which is a long sentence with many more words than thirty in it, so that it would "
           "count if noscript text counted at all here</noscript>"
           "<script type=module>x()</script></body>"
        << true;
    QTest::newRow("server-built text and a script") << QString(Plain) << false;
    QTest::newRow("little text, no script") << "<html><body><p>Hello</p></body></html>" << false;
    QTest::newRow("only JSON-LD")
        << "<body><div></div><script type=\"application/ld+json\">{}</script></body>" << false;
    QTest::newRow("no body tag, text after the head")
        << "<title>t</title><script>x()</script>" + QString("word ").repeated(40) << false;
    QTest::newRow("title and comments are no body text")
        << "<head><title>" + QString("word ").repeated(40) + "</title></head><body><!-- " +
               QString("word ").repeated(40) + " --><script>x()</script></body>"
        << true;
}

void TestRender::scriptBuilt() {
    QFETCH(QString, html);
    QFETCH(bool, built);
    QCOMPARE(render::LooksScriptBuilt(html.toStdString()), built);
}

void TestRender::linksFound_data() {
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("pages");
    const QString app = "/ /app/about /app/shop /app/shop/item /inserted";
    QTest::newRow("script-built, off") << "app"
                                       << "off"
                                       << "/";
    QTest::newRow("script-built, on") << "app"
                                      << "on" << app;
    QTest::newRow("script-built, auto") << "app"
                                        << "auto" << app;
    QTest::newRow("server-built, auto renders nothing") << "plain"
                                                        << "auto"
                                                        << "/ /next";
}

void TestRender::linksFound() {
    QFETCH(QString, site);
    QFETCH(QString, mode);
    QFETCH(QString, pages);
    if (!HaveBrowser && mode != "off")
        QSKIP("no Chromium found (chromium or chromium-headless-shell in PATH)");
    const Pages content =
        site == "app"
            ? Pages{{"/", Shell}, {"/app/*", Shell}, {"/inserted", Plain}}
            : Pages{{"/", std::string(Plain) + "<a href=/next>next</a>"}, {"/next", Plain}};
    Site served(content);
    QTemporaryDir folder;
    const Run run = Crawl(served, {"--render=" + mode}, folder);
    QCOMPARE(run.Exit, 0);
    QCOMPARE(QString::fromStdString(Join(run.Pages)), pages);
    size_t rendered = 0;
    for (const health::UrlFacts& url : run.Facts.Urls)
        rendered += url.Render().Rendered;
    // "on" renders every page; "auto" the script-built ones only (not /inserted).
    const size_t expected = mode == "off" || site == "plain" ? 0
                            : mode == "on"                   ? run.Pages.size()
                                                             : run.Pages.size() - 1;
    QCOMPARE(rendered, expected);
    if (mode == "on") {
        // The root's links to the inserted page and the routes exist only after scripts ran.
        std::set<std::string> found;
        for (const health::Finding& finding : health::FindIssues(run.Facts))
            if (finding.Check == "js-only-links")
                found.insert(finding.Url.str().substr(served.Url("").size()) + " " +
                             finding.Detail.str());
        QVERIFY2(
            found.count("/ 3 pages linked only by scripts, such as " + served.Url("/app/about")),
            Join(found).c_str());
    }
    QVERIFY(NoBrowserWithin(folder.path(), 5000));
}

void TestRender::changedByScripts() {
    if (!HaveBrowser)
        QSKIP("no Chromium found (chromium or chromium-headless-shell in PATH)");
    const std::string setMeta = "function meta(n, c) { let m = document.querySelector("
                                "'meta[name=' + n + ']'); if (!m) { m = document.createElement("
                                "'meta'); m.name = n; document.head.appendChild(m); } "
                                "m.content = c; }";
    Pages pages = {
        {"/title", Page("", "document.title = 'Scripted';")},
        {"/title-same", Page("", "document.title = 'Served';")},
        {"/description", Page("", setMeta + "meta('description', 'Said by a script');")},
        {"/robots",
         Page("<meta name=robots content=index>", setMeta + "meta('robots', 'noindex');")},
        {"/robots-same", Page("<meta name=robots content=\"noindex, follow\">",
                              setMeta + "meta('robots', 'noindex, follow');")},
        {"/canonical", Page("", "const l = document.createElement('link'); l.rel = 'canonical';"
                                "l.href = '/title'; document.head.appendChild(l);")},
        {"/error", Page("", "undefinedFunction();")},
        {"/missing-script", Page("<script src=/missing.js></script>", "")},
        {"/quiet", Page("", "document.body.appendChild(document.createElement('p'));")},
    };
    std::string root = "<html><head><title>Root</title></head><body>";
    for (const auto& [path, html] : pages)
        root += "<a href=\"" + path + "\">" + path + "</a>";
    pages["/"] = root + "</body></html>";
    Site served(pages);
    QTemporaryDir folder;
    const Run run = Crawl(served, {"--render=on"}, folder);
    QCOMPARE(run.Exit, 0);
    std::set<std::string> found;
    for (const health::Finding& finding : health::FindIssues(run.Facts))
        if (finding.Check.view().starts_with("js-") || finding.Check.view().starts_with("render-"))
            found.insert(finding.Check.str() + " " +
                         finding.Url.str().substr(served.Url("").size()));
    const std::set<std::string> expected = {"js-changed-canonical /canonical",
                                            "js-changed-description /description",
                                            "js-changed-robots /robots",
                                            "js-changed-title /title",
                                            "render-error /error",
                                            "render-error /missing-script"};
    QCOMPARE(QString::fromStdString(Join(found)), QString::fromStdString(Join(expected)));
    for (const health::Finding& finding : health::FindIssues(run.Facts)) {
        if (finding.Check == "js-changed-title")
            QCOMPARE(QString::fromStdString(finding.Detail.str()), "\"Served\" -> \"Scripted\"");
        if (finding.Check == "render-error" && finding.Url.view().ends_with("/missing-script"))
            QVERIFY2(finding.Detail.str().find("missing.js answered 404") != std::string::npos,
                     finding.Detail.str().c_str());
    }
}

void TestRender::hostilePagesAreBounded() {
    if (!HaveBrowser)
        QSKIP("no Chromium found (chromium or chromium-headless-shell in PATH)");
    const Pages hostile = {
        {"/loop", Page("", "while (true) {}")},
        {"/windows", Page("", "for (let i = 0; i < 1000; ++i) { window.open('/w' + i); "
                              "alert(i); confirm(i); }")},
        {"/scroll", Page("", "let n = 0; setInterval(() => { const a = document.createElement('a');"
                             " a.href = '/more/' + n++; document.body.appendChild(a); "
                             "window.scrollTo(0, 1e9); }, 5);")},
        {"/relocate",
         Page("", "setTimeout(() => { location.href = '/relocate?' + Date.now(); }, 10);")},
        {"/huge",
         Page("", "document.body.innerHTML = '<p>' + 'x '.repeat(50 * 1024 * 1024) + '</p>';")},
        {"/worker", Page("", "navigator.serviceWorker.register('/sw.js');")},
        {"/sw.js", "self.addEventListener('fetch', e => e.respondWith(new Promise(() => {})));"},
        {"/download", Page("", "const a = document.createElement('a'); a.href = '/sw.js';"
                               " a.download = 'x.js'; document.body.appendChild(a); a.click();")},
    };
    Pages pages = hostile;
    std::string root = "<html><head><title>Root</title></head><body>";
    for (const auto& [path, html] : hostile)
        if (!path.ends_with(".js"))
            root += "<a href=\"" + path + "\">" + path + "</a>";
    pages["/"] = root + "</body></html>";
    pages["/more/*"] = Plain;
    Site served(pages);
    QTemporaryDir folder;
    const auto began = std::chrono::steady_clock::now();
    const Run run = Crawl(served, {"--render=on", "--render-budget=3", "--max-pages=16"}, folder);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    QCOMPARE(run.Exit, 0);
    qInfo("hostile site crawled in %.1f s", seconds);
    for (const std::string path : {"/loop", "/windows", "/scroll", "/relocate", "/huge", "/worker"})
        QVERIFY2(run.Pages.count(path), (path + " not listed; pages: " + Join(run.Pages)).c_str());
    std::set<std::string> timedOut, rendered, notes;
    for (const health::UrlFacts& url : run.Facts.Urls) {
        const std::string path(url.Url.substr(served.Url("").size()));
        if (url.Render().Tried && !url.Render().Rendered)
            notes.insert(path + ": " + url.Render().Note);
        if (url.Render().TimedOut)
            timedOut.insert(path);
        if (url.Render().Rendered)
            rendered.insert(path);
    }
    // A loop that never ends and a page that reloads itself never settle.
    QVERIFY2(timedOut.count("/loop") && timedOut.count("/relocate"), Join(timedOut).c_str());
    QVERIFY2(rendered.count("/windows") && rendered.count("/scroll"), Join(notes).c_str());
    QVERIFY(NoBrowserWithin(folder.path(), 5000));
    QVERIFY(QDir(folder.path()).entryList({"vantora-render-*"}, QDir::Dirs).isEmpty());
}

void TestRender::killedCrawlLeavesNoBrowser() {
    if (!HaveBrowser)
        QSKIP("no Chromium found (chromium or chromium-headless-shell in PATH)");
    Site served({{"/", Page("", "while (true) {}") + "<a href=/a>a</a>"},
                 {"/*", Page("", "while (true) {}")}});
    QTemporaryDir folder;
    QProcess sm;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), folder.path());
    sm.setProcessEnvironment(environment);
    sm.start(Sm(), {"Search_URL=" + QString::fromStdString(served.Url("/")).mid(7), "--quiet",
                    "--render=on", "--output=" + folder.filePath("map.tmp")});
    QVERIFY(sm.waitForStarted());
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
        seen = !LiveBrowsers(folder.path()).empty();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    QVERIFY2(seen, "the browser never started");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(static_cast<pid_t>(sm.processId()), SIGKILL);
    sm.waitForFinished();
    QVERIFY2(NoBrowserWithin(folder.path(), 10000), "browser processes outlived a killed sm");
    // The killed crawler's profile is left; the next rendering crawl removes it.
    const QStringList profiles = {QStringLiteral("vantora-render-*")};
    QCOMPARE(QDir(folder.path()).entryList(profiles, QDir::Dirs).size(), 1);
    Site plain(Pages{{"/", Plain}});
    const Run next = Crawl(plain, {"--render=on"}, folder);
    QCOMPARE(next.Exit, 0);
    QVERIFY2(QDir(folder.path()).entryList(profiles, QDir::Dirs).isEmpty(),
             qPrintable(QDir(folder.path()).entryList(profiles, QDir::Dirs).join(' ')));
}

// The browser killed in the middle of a page: the crawl goes on, a new
// browser renders the pages after it, and none is left at the end.
void TestRender::browserKilledMidCrawlIsRestarted() {
    if (!HaveBrowser)
        QSKIP("no Chromium found (chromium or chromium-headless-shell in PATH)");
    const int count = 8;
    Pages pages;
    for (int n = 1; n <= count; ++n) {
        const std::string insert = "const a = document.createElement('a'); a.href = '/q/" +
                                   std::to_string(n) +
                                   "'; a.textContent = 'q'; document.body.appendChild(a);";
        pages["/p/" + std::to_string(n)] =
            Page(n == 3 ? "<script src=\"/kill.js\"></script>" : "", insert);
    }
    pages["/"] = Page("", "for (let n = 1; n <= " + std::to_string(count) +
                              "; ++n) { const a = document.createElement('a'); a.href = "
                              "'/p/' + n; a.textContent = n; document.body.appendChild(a); }");
    pages["/q/*"] = Plain;
    pages["/kill.js"] = "var killed = true;";
    Site served(pages);
    QTemporaryDir folder;
    std::atomic<int> kills{0};
    served.OnRequest = [&](const std::string& path) {
        if (path != "/kill.js" || kills++ > 0)
            return;
        // The browser's processes only: they name its profile folder.
        for (const int pid : LiveBrowsers(folder.filePath(QStringLiteral("vantora-render-"))))
            kill(pid, SIGKILL);
    };
    const Run run = Crawl(served, {"--render=on", "--render-tabs=1"}, folder);
    QCOMPARE(run.Exit, 0);
    QVERIFY(kills.load() >= 1);
    QVERIFY2(!run.Errors.contains(QStringLiteral("not rendered")), qPrintable(run.Errors));
    for (int n = 1; n <= count; ++n) {
        QVERIFY2(run.Pages.count("/p/" + std::to_string(n)), Join(run.Pages).c_str());
        // The page whose script killed the browser may go unrendered; every
        // other one was rendered by the browser started after it.
        if (n != 3)
            QVERIFY2(run.Pages.count("/q/" + std::to_string(n)), Join(run.Pages).c_str());
    }
    QVERIFY(NoBrowserWithin(folder.path(), 5000));
    QVERIFY(QDir(folder.path()).entryList({"vantora-render-*"}, QDir::Dirs).isEmpty());
}

void TestRender::missingBrowser() {
    Site served({{"/", Shell}, {"/app/*", Shell}, {"/inserted", Plain}});
    QTemporaryDir folder;
    const Run run = Crawl(served, {"--render=on", "--chromium=/nonexistent/chromium"}, folder);
    QCOMPARE(run.Exit, 0);
    QCOMPARE(QString::fromStdString(Join(run.Pages)), "/");
    QCOMPARE(run.Errors.count("Chromium was not found at /nonexistent/chromium"), 1);
}

QTEST_GUILESS_MAIN(TestRender)
#include "TestRender.moc"
