// Runs the real sm against sites served by this test on loopback addresses and
// checks the map it writes the way the program reads it.

#include "SiteMapCheck.h"

#include <httplib.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace {

struct Reply {
    int Status = 200;
    std::string Type = "text/html";
    std::string Body;
    std::string Location;
};

// An HTTP server on one loopback address, run on its own thread for one test.
class TestServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    // keepAlive false: every answer says "Connection: close" and the connection ends.
    TestServer(const char* host, Handler handler, bool keepAlive = true) {
        // One thread per connection the crawler may hold open (16 to the site,
        // 2 per outside host) and spare: a kept-alive connection holds its
        // thread, so a smaller pool leaves later connections waiting past the
        // crawler's request time-out on a loaded machine.
        Server.new_task_queue = [] { return new httplib::ThreadPool(48); };
        Server.set_keep_alive_max_count(keepAlive ? 1000 : 1);
        auto route = [handler](const httplib::Request& request, httplib::Response& response) {
            handler(request, response);
        };
        Server.Get(".*", route);
        Port = Server.bind_to_any_port(host);
        Thread = std::thread([this] { Server.listen_after_bind(); });
        for (int i = 0; i < 200 && !Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~TestServer() {
        Server.stop();
        Thread.join();
    }
    int Port = -1;

  private:
    httplib::Server Server;
    std::thread Thread;
};

// An HTTP/1.0 server: one request a connection, answered after a delay and closed,
// each connection on a thread of its own.
class Http10Server {
  public:
    using Handler = std::function<Reply(const std::string& target)>;
    Http10Server(Handler handler, int delayMs) : Answer(std::move(handler)), DelayMs(delayMs) {
        Listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(Listener, 64);
        socklen_t length = sizeof address;
        getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &length);
        Port = ntohs(address.sin_port);
        Acceptor = std::thread([this] { Accept(); });
    }
    ~Http10Server() {
        Done = true;
        Acceptor.join();
        for (std::thread& thread : Connections)
            thread.join();
        close(Listener);
    }
    int Port = -1;

  private:
    void Accept() {
        while (!Done) {
            timeval wait{0, 50000};
            fd_set set;
            FD_ZERO(&set);
            FD_SET(Listener, &set);
            if (select(Listener + 1, &set, nullptr, nullptr, &wait) <= 0)
                continue;
            const int client = accept(Listener, nullptr, nullptr);
            if (client >= 0)
                Connections.emplace_back([this, client] { Serve(client); });
        }
    }
    void Serve(int client) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            const ssize_t got = read(client, buffer, sizeof buffer);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<size_t>(got));
        }
        const size_t space = request.find(' ');
        const std::string target =
            space == std::string::npos
                ? ""
                : request.substr(space + 1, request.find(' ', space + 1) - space - 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(DelayMs));
        const Reply reply = Answer(target);
        const std::string answer =
            "HTTP/1.0 " + std::to_string(reply.Status) + " X\r\nContent-Type: " + reply.Type +
            "\r\nContent-Length: " + std::to_string(reply.Body.size()) + "\r\n\r\n" + reply.Body;
        (void)!write(client, answer.data(), answer.size());
        close(client);
    }

    Handler Answer;
    int DelayMs;
    int Listener = -1;
    std::atomic<bool> Done{false};
    std::thread Acceptor;
    std::vector<std::thread> Connections; // touched by the acceptor thread only
};

// Serves fixed replies by request target and counts the requests for each.
struct StaticSite {
    std::map<std::string, Reply> Replies;
    std::map<std::string, std::string> LinkHeaders; // the Link header of a path
    std::mutex Lock;
    std::map<std::string, int> Hits;

    void Handle(const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            ++Hits[request.target];
        }
        const auto found = Replies.find(request.target);
        if (found == Replies.end()) {
            response.status = 404;
            response.set_content("<html>not found</html>", "text/html");
            return;
        }
        response.status = found->second.Status;
        if (!found->second.Location.empty())
            response.set_header("Location", found->second.Location);
        if (const auto link = LinkHeaders.find(request.target); link != LinkHeaders.end())
            response.set_header("Link", link->second);
        response.set_content(found->second.Body, found->second.Type.c_str());
    }
};

// A port on a loopback address where nothing listens.
int ClosedPort(const char* host) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, host, &address.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

struct Run {
    int ExitCode = -1;
    QString Errors;
    ReadMap Map;
};

Run RunSm(const QStringList& arguments, int timeoutMs = 120000) {
    Run run;
    QTemporaryDir folder;
    QProcess process;
    process.setWorkingDirectory(folder.path());
    // every page read by both link extractors: they must agree on every test site
    process.start(qEnvironmentVariable("VANTORA_BIN_DIR") + "/sm",
                  arguments + QStringList{"--verify-links"});
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.Errors = "sm did not finish";
        return run;
    }
    run.ExitCode = process.exitCode();
    run.Errors = QString::fromUtf8(process.readAllStandardError());
    if (run.Errors.contains("link extractors disagree")) {
        run.Map.Problem = "link extractors disagree: " + run.Errors;
        return run;
    }
    run.Map = ReadSiteMap(folder.filePath("sitemap.tmp"));
    if (QFile::exists(folder.filePath("sitemap.tmp.part")))
        run.Map.Problem = "temporary file left behind";
    return run;
}

// Page full URL -> node index; fails the test on a page listed twice.
QMap<QString, int> PagesOf(const ReadMap& map) {
    QMap<QString, int> pages;
    for (int i = 0; i < map.Nodes.size(); ++i) {
        if (map.Nodes[i].Tag != "PAGE")
            continue;
        const QString url = SiteTreeGetFullURL(map.Nodes, i, i);
        if (pages.contains(url))
            qWarning() << "page listed twice:" << url;
        pages[url] = pages.contains(url) ? -1 : i;
    }
    return pages;
}

QSet<QString> FindingsUnder(const ReadMap& map, int page) {
    QSet<QString> lines;
    for (const MapNode& node : map.Nodes)
        if (node.Parent == page && node.Tag != "PAGE")
            lines << "<" + node.Tag + ">" + node.Caption;
    return lines;
}

int PageDepth(const ReadMap& map, int node) {
    int depth = 0;
    for (int p = map.Nodes[node].Parent; p >= 0; p = map.Nodes[p].Parent)
        ++depth;
    return depth;
}

} // namespace

class TestWebcharterCrawl : public QObject {
    Q_OBJECT
  private slots:
    void generatedSite();
    void redirects();
    void robotsTxt();
    void crawlerTraps_data();
    void crawlerTraps();
    void unreachableRoot_data();
    void unreachableRoot();
    void badInput();
    void serversClosingConnections_data();
    void serversClosingConnections();
    void rootNamingAPage_data();
    void rootNamingAPage();
    void folderAndIndexFile();
    void robotsTxtTroubles_data();
    void robotsTxtTroubles();
    void binaryBodies();
    void slowServers();
    void whatIsCounted_data();
    void whatIsCounted();
    void politeCrawling_data();
    void politeCrawling();
    void connectionsPerHost_data();
    void connectionsPerHost();
    void resumeAfterStop_data();
    void resumeAfterStop();
};

void TestWebcharterCrawl::generatedSite() {
    // Outside hosts: 127.0.0.2 answers, 127.0.0.3 refuses. The outside server notes
    // how many requests it holds at once.
    std::atomic<int> outsideNow{0}, outsideMost{0};
    TestServer outside("127.0.0.2", [&](const httplib::Request& request,
                                        httplib::Response& response) {
        const int now = ++outsideNow;
        for (int most = outsideMost; now > most && !outsideMost.compare_exchange_weak(most, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (request.path.rfind("/gone", 0) == 0)
            response.status = 404;
        else if (request.path.rfind("/nohead", 0) == 0 && request.method == "HEAD")
            response.status = 405;
        else
            response.set_content("ok", "text/plain");
        --outsideNow;
    });
    const int dead = ClosedPort("127.0.0.3");
    StaticSite site;
    TestServer server("127.0.0.1", [&](const auto& q, auto& r) { site.Handle(q, r); });
    QVERIFY(server.Port > 0 && outside.Port > 0);
    const std::string origin = "http://127.0.0.1:" + std::to_string(server.Port);
    const std::string ext = "http://127.0.0.2:" + std::to_string(outside.Port);

    const int count = 400;
    std::vector<std::string> paths(count + 20); // the last 20 are never linked
    for (int i = 0; i < static_cast<int>(paths.size()); ++i) {
        if (i == 0)
            paths[i] = "/";
        else if (i == 7)
            paths[i] = "/d2/odd%20name%20%C3%A9.html";
        else if (i == 9)
            paths[i] = "/d4/";
        else
            paths[i] = "/d" + std::to_string(i % 5) + "/" +
                       ((i / 5) % 3 ? "s" + std::to_string(i % 7) + "/" : "") + "p" +
                       std::to_string(i) + ".html";
    }
    auto relative = [](const std::string& from, const std::string& to) {
        std::string folder = from.substr(0, from.rfind('/') + 1), up;
        while (to.compare(0, folder.size(), folder) != 0) {
            folder = folder.substr(0, folder.rfind('/', folder.size() - 2) + 1);
            up += "../";
        }
        const std::string rest = up + to.substr(folder.size());
        return rest.empty() ? std::string("./") : rest;
    };
    std::mt19937 random(20240601);
    std::map<std::string, std::vector<std::string>> linksOf; // page URL -> page URLs
    std::map<std::string, QSet<QString>> expected;           // page URL -> finding lines
    for (int i = 0; i < static_cast<int>(paths.size()); ++i) {
        const std::string url = origin + paths[i];
        std::string html = "<!DOCTYPE html><html><head><title>p</title></head><body>\n";
        std::vector<int> targets;
        if (i < count) {
            for (int child : {2 * i + 1, 2 * i + 2})
                if (child < count)
                    targets.push_back(child);
            for (int k = 0; k < 3; ++k)
                targets.push_back(static_cast<int>(random() % count));
        }
        for (int target : targets) {
            const std::string& to = paths[target];
            std::string href;
            switch (random() % 4) {
            case 0:
                href = origin + to;
                break;
            case 1:
                href = to;
                break;
            case 2:
                href = relative(paths[i], to);
                break;
            default:
                href = "HTTP://127.0.0.1:" + std::to_string(server.Port) + to + "#part";
                break;
            }
            if (target == 7 && random() % 2)
                href = "/d2/odd name \xc3\xa9.html"; // written raw, as careless pages do
            html += "<a href=\"" + href + "\">link</a>\n";
            linksOf[url].push_back(origin + to);
        }
        auto& mine = expected[url];
        if (i < count) {
            const unsigned r = random();
            auto add = [&](const std::string& markup, const std::string& line) {
                html += markup + "\n";
                mine << QString::fromStdString(line);
            };
            if (r % 5 == 0) {
                const std::string miss = "/missing" + std::to_string(r % 10) + ".html";
                add("<a href='" + miss + "'>m</a>", "<ERROR>" + origin + miss + " 404");
            }
            if (r % 7 == 0) {
                const std::string err = "/err" + std::to_string(r % 3) + ".html";
                add("<a href='" + err + "'>e</a>", "<ERROR>" + origin + err + " 500");
            }
            if (r % 3 == 0) {
                const std::string ok = ext + "/ok" + std::to_string(r % 20);
                add("<a href='" + ok + "'>o</a><a href='" + ok + "#again'>o</a>", "<LINK>" + ok);
            }
            if (r % 11 == 0) {
                const std::string gone = ext + "/gone" + std::to_string(r % 5);
                add("<a href='" + gone + "'>g</a>", "<ERROR>" + gone + " 404");
            }
            if (r % 13 == 0) {
                const std::string nohead = ext + "/nohead" + std::to_string(r % 3);
                add("<a href='" + nohead + "'>n</a>", "<LINK>" + nohead);
            }
            if (r % 17 == 0)
                add("<a href='http://127.0.0.3:" + std::to_string(dead) + "/'>d</a>",
                    "<BROKEN>http://127.0.0.3:" + std::to_string(dead) + "/");
            if (r % 4 == 0) {
                const std::string mail = "user" + std::to_string(r % 10) + "@example.org";
                add("<a href='mailto:" + mail + "?subject=Hello%20there'>mail</a>",
                    "<MAILTO>mailto:" + mail);
            }
            if (r % 6 == 0) {
                const std::string image = "/img/missing" + std::to_string(r % 4) + ".png";
                add("<img src='" + image + "'>", "<BROKEN>" + origin + image);
            }
            html += "<img src='/img/ok.png'><a href='/doc" + std::to_string(r % 3) +
                    ".pdf'>pdf</a><a href='javascript:void(0)'>js</a>\n";
        }
        html += "</body></html>\n";
        site.Replies[paths[i]] = {200, "text/html; charset=utf-8", html, ""};
    }
    site.Replies["/img/ok.png"] = {200, "image/png", "\x89PNG", ""};
    for (int k = 0; k < 3; ++k) {
        site.Replies["/doc" + std::to_string(k) + ".pdf"] = {200, "application/pdf", "%PDF-1.4",
                                                             ""};
        site.Replies["/err" + std::to_string(k) + ".html"] = {500, "text/html", "<html>oops</html>",
                                                              ""};
    }

    // Shortest distances from the root, as breadth-first search finds them.
    std::map<std::string, int> distance{{origin + "/", 0}};
    std::vector<std::string> order{origin + "/"};
    for (size_t k = 0; k < order.size(); ++k)
        for (const std::string& to : linksOf[order[k]])
            if (distance.emplace(to, distance[order[k]] + 1).second)
                order.push_back(to);

    const Run run =
        RunSm({"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/", "--quiet"});
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Map.Lines.first(), "<ROOT>http://127.0.0.1:" + QString::number(server.Port) + "/");
    QCOMPARE(run.Map.Nodes.first().Tag, QString("PAGE"));

    const QMap<QString, int> pages = PagesOf(run.Map);
    QCOMPARE(static_cast<size_t>(pages.size()), distance.size());
    for (const auto& [url, depth] : distance) {
        const QString page = QString::fromStdString(url);
        QVERIFY2(pages.value(page, -1) >= 0, qPrintable("missing or twice: " + page));
        const int node = pages[page];
        QCOMPARE(PageDepth(run.Map, node), depth);
        if (node > 0) {
            const int parent = run.Map.Nodes[node].Parent;
            QCOMPARE(run.Map.Nodes[parent].Tag, QString("PAGE"));
            const auto& parentLinks =
                linksOf[SiteTreeGetFullURL(run.Map.Nodes, parent, parent).toStdString()];
            QVERIFY(std::find(parentLinks.begin(), parentLinks.end(), url) != parentLinks.end());
        }
        QCOMPARE(FindingsUnder(run.Map, node), expected[url]);
        // each page was fetched once
        QCOMPARE(site.Hits[url.substr(origin.size())], 1);
    }
    QVERIFY(outsideMost.load() <= 2);
    QVERIFY(outsideMost.load() >= 1);
}

void TestWebcharterCrawl::redirects() {
    // 127.0.0.1 moves to 127.0.0.2, which stands in for the "www." host: one site.
    StaticSite second, first, elsewhere;
    TestServer www("127.0.0.2", [&](const auto& q, auto& r) { second.Handle(q, r); });
    TestServer bare("127.0.0.1", [&](const auto& q, auto& r) { first.Handle(q, r); });
    TestServer other("127.0.0.3", [&](const auto& q, auto& r) { elsewhere.Handle(q, r); });
    const std::string wwwOrigin = "http://127.0.0.2:" + std::to_string(www.Port);
    const std::string bareOrigin = "http://127.0.0.1:" + std::to_string(bare.Port);
    const std::string otherOrigin = "http://127.0.0.3:" + std::to_string(other.Port);
    first.Replies["/"] = {301, "text/html", "", wwwOrigin + "/"};
    first.Replies["/a.html"] = {200, "text/html", "<a href='" + wwwOrigin + "/'>home</a>", ""};
    second.Replies["/"] = {200, "text/html",
                           "<a href=old.html>o</a><a href=loop1>l</a><a href=out>x</a>"
                           "<a href='" +
                               bareOrigin +
                               "/a.html'>a</a><a href=chain0>c</a>"
                               "<a href=new.html>n</a>",
                           ""};
    second.Replies["/old.html"] = {302, "text/html", "", "/new.html"};
    second.Replies["/new.html"] = {200, "text/html", "<p>new</p>", ""};
    second.Replies["/loop1"] = {301, "text/html", "", "/loop2"};
    second.Replies["/loop2"] = {301, "text/html", "", "/loop1"};
    second.Replies["/out"] = {301, "text/html", "", otherOrigin + "/landing"};
    for (int k = 0; k < 12; ++k)
        second.Replies["/chain" + std::to_string(k)] = {302, "text/html", "",
                                                        "/chain" + std::to_string(k + 1)};
    second.Replies["/chain12"] = {200, "text/html", "end", ""};
    elsewhere.Replies["/landing"] = {200, "text/html", "landed", ""};

    const Run run = RunSm({"Search_URL=127.0.0.1:" + QString::number(bare.Port) + "/", "--quiet"});
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    const QMap<QString, int> pages = PagesOf(run.Map);
    QCOMPARE(QSet<QString>(pages.keyBegin(), pages.keyEnd()),
             QSet<QString>({QString::fromStdString(wwwOrigin + "/"),
                            QString::fromStdString(wwwOrigin + "/new.html"),
                            QString::fromStdString(bareOrigin + "/a.html")}));
    QCOMPARE(pages[QString::fromStdString(wwwOrigin + "/")], 0);
    QCOMPARE(FindingsUnder(run.Map, 0),
             QSet<QString>({QString::fromStdString("<BROKEN>" + wwwOrigin + "/loop1"),
                            // a page that moved off-site: listed where it ends
                            QString::fromStdString("<LINK>" + otherOrigin + "/landing"),
                            QString::fromStdString("<BROKEN>" + wwwOrigin + "/chain0")}));
    QCOMPARE(second.Hits["/new.html"], 1);
}

void TestWebcharterCrawl::robotsTxt() {
    StaticSite site;
    TestServer server("127.0.0.1", [&](const auto& q, auto& r) { site.Handle(q, r); });
    site.Replies["/robots.txt"] = {200, "text/plain",
                                   "User-agent: *\nDisallow: /private/\nDisallow: /*.cgi$\n", ""};
    site.Replies["/"] = {
        200, "text/html",
        "<a href=private/a.html>p</a><a href=public.html>q</a><a href=run.cgi>c</a>", ""};
    site.Replies["/private/a.html"] = {200, "text/html", "secret", ""};
    site.Replies["/public.html"] = {200, "text/html", "open", ""};
    site.Replies["/run.cgi"] = {200, "text/html", "script", ""};
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    const QString root = "Search_URL=127.0.0.1:" + QString::number(server.Port) + "/";

    Run run = RunSm({root, "--quiet"});
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem));
    QMap<QString, int> pages = PagesOf(run.Map);
    QCOMPARE(QSet<QString>(pages.keyBegin(), pages.keyEnd()),
             QSet<QString>({origin + "/", origin + "/public.html"}));
    QCOMPARE(site.Hits["/private/a.html"], 0);
    QCOMPARE(site.Hits["/run.cgi"], 0);

    run = RunSm({root, "--quiet", "--no-robots"});
    pages = PagesOf(run.Map);
    QCOMPARE(pages.size(), 4);
    QVERIFY(pages.contains(origin + "/private/a.html"));
}

void TestWebcharterCrawl::crawlerTraps_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("limits");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("maxPages");
    QTest::addColumn<int>("maxDepth");
    QTest::newRow("endless calendar, page limit")
        << "/cal/0" << QStringList{"--max-pages=300"} << "page limit" << 300 << 250;
    QTest::newRow("calendar by query string, default limits")
        << "/calendar?m=0" << QStringList{} << "differing query strings" << 1001 << 250;
    QTest::newRow("ever deeper folders, depth limit")
        << "/deeper/" << QStringList{"--max-depth=30"} << "depth limit" << 100000 << 30;
    QTest::newRow("default limits end the depth trap")
        << "/deeper/" << QStringList{} << "depth limit" << 100000 << 250;
    QTest::newRow("relative links nesting for ever, default limits")
        << "/deep/" << QStringList{} << "repeating one path segment" << 100000 << 4;
    QTest::newRow("run time limit")
        << "/slowcal/0" << QStringList{"--max-time=2"} << "run time limit" << 100000 << 250;
}

void TestWebcharterCrawl::crawlerTraps() {
    QFETCH(QString, start);
    QFETCH(QStringList, limits);
    QFETCH(QString, note);
    QFETCH(int, maxPages);
    QFETCH(int, maxDepth);
    TestServer server("127.0.0.1", [](const httplib::Request& request,
                                      httplib::Response& response) {
        const std::string& path = request.path;
        std::string html;
        if (path.rfind("/cal/", 0) == 0 || path.rfind("/slowcal/", 0) == 0) {
            // every month links to the next and the previous month and to a week view
            const bool slow = path[1] == 's';
            if (slow)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::string prefix = slow ? "/slowcal/" : "/cal/";
            const long month = std::atol(path.c_str() + prefix.size());
            for (long m : {month + 1, month - 1})
                html += "<a href='" + prefix + std::to_string(m) + "'>m</a>";
            html += "<a href='" + prefix + std::to_string(month) +
                    "?view=week&n=" + std::to_string(month * 7) + "'>w</a>";
        } else if (path == "/calendar") {
            // one path, the month in the query string: months and years either
            // side, and a week view of each month
            const long month = std::atol(request.get_param_value("m").c_str());
            for (long m : {month + 1, month - 1, month + 12, month - 12})
                html += "<a href='/calendar?m=" + std::to_string(m) + "'>m</a>";
            html += "<a href='/calendar?m=" + std::to_string(month) + "&amp;view=week'>w</a>";
        } else if (path.rfind("/deep/", 0) == 0) {
            html = "<a href='x/'>deeper</a><a href='./'>self</a><a href='/deep/'>top</a>";
        } else if (path.rfind("/deeper/", 0) == 0) {
            // every level a folder of another name
            const auto level = std::count(path.begin(), path.end(), '/');
            html = "<a href='x" + std::to_string(level) + "/'>deeper</a><a href='/deeper/'>top</a>";
        }
        response.set_content(html, "text/html");
    });
    QStringList arguments{"Search_URL=127.0.0.1:" + QString::number(server.Port) + start,
                          "--no-external"};
    const Run run = RunSm(arguments + limits);
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    QVERIFY2(run.Errors.contains(note), qPrintable(run.Errors.right(2000)));
    QVERIFY2(run.Errors.contains("sm: left out: "), qPrintable(run.Errors.right(2000)));
    const QMap<QString, int> pages = PagesOf(run.Map);
    QVERIFY(pages.size() > 1 && pages.size() <= maxPages);
    for (int node : pages)
        QVERIFY(node >= 0 && PageDepth(run.Map, node) <= maxDepth);
}

void TestWebcharterCrawl::unreachableRoot_data() {
    QTest::addColumn<QString>("argument");
    const int closed = ClosedPort("127.0.0.1");
    QTest::newRow("connection refused") << "Search_URL=127.0.0.1:" + QString::number(closed) + "/";
    QTest::newRow("no such host") << "Search_URL=no-such-host.invalid/";
    QTest::newRow("empty") << "Search_URL=";
    QTest::newRow("blank in host") << "Search_URL=exa mple.org/";
    QTest::newRow("bad port") << "Search_URL=127.0.0.1:99999/";
    QTest::newRow("line break") << "Search_URL=127.0.0.1:1/\r\n<END>";
    // A host that takes the connection and never answers, past the run's time limit:
    // the listening socket is kept open, unaccepted, for the rest of the tests.
    static const int silent = [] {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd, 16);
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        return static_cast<int>(ntohs(address.sin_port));
    }();
    QTest::newRow("silent past the time limit")
        << "Search_URL=127.0.0.1:" + QString::number(silent) + "/ --max-time=1";
}

void TestWebcharterCrawl::unreachableRoot() {
    QFETCH(QString, argument);
    // options after the URL are separated by " --"
    QStringList arguments = argument.split(" --");
    for (int i = 1; i < arguments.size(); ++i)
        arguments[i].prepend("--");
    const Run run = RunSm(arguments + QStringList{"--quiet", "--timeout=5"});
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    QCOMPARE(run.Map.Lines.size(), 3);
    QVERIFY(run.Map.Lines[0].startsWith("<ROOT>http://"));
    QCOMPARE(run.Map.Lines[1], QString("Unspecified Host"));
    QCOMPARE(run.Map.Lines[2], QString("<END>"));
}

void TestWebcharterCrawl::badInput() {
    // A server that resets every connection, standing for a broken outside host.
    const int resetFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.4", &address.sin_addr);
    QCOMPARE(bind(resetFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    listen(resetFd, 16);
    socklen_t length = sizeof address;
    getsockname(resetFd, reinterpret_cast<sockaddr*>(&address), &length);
    const int resetPort = ntohs(address.sin_port);
    std::atomic<bool> done{false};
    std::thread resetter([&] {
        for (int i = 0; i < 50 && !done; ++i) {
            timeval wait{0, 100000};
            fd_set set;
            FD_ZERO(&set);
            FD_SET(resetFd, &set);
            if (select(resetFd + 1, &set, nullptr, nullptr, &wait) <= 0)
                continue;
            const int client = accept(resetFd, nullptr, nullptr);
            linger hard{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            char buffer[512];
            (void)!read(client, buffer, sizeof buffer);
            close(client); // RST
        }
    });

    // Random bytes may open a comment or a raw-text element, so the link comes first.
    std::string binary = "<a href=before-binary.html>";
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i)
        binary += static_cast<char>(random());
    std::string huge = "<a href=after-huge.html>x</a>";
    while (huge.size() < 12 * 1024 * 1024)
        huge += "<p>filler filler filler filler <a href=cut.html>";
    std::string deep;
    for (int i = 0; i < 150000; ++i) // within the 1 MB read, too deep for the tree builder
        deep += "<div>";
    deep += "<a href=after-deep.html>";
    const std::string odd =
        "<a href='a b.html'>blank</a><a href='x&#10;y.html'>newline</a><a "
        "href='&#13;&#10;cr.html'>cr</a>"
        "<a href='\xc3\xa9t\xc3\xa9.html'>utf8</a><a href='q.html?a=<b>&c=\"d\"'>q</a>"
        "<a href='http://[::1'>bad</a><a href='http://exa mple.org/'>bad host</a>"
        "<a href='mailto:a%0D%0Ab@example.org'>mail</a><a href='mailto:Unspecified Host'>m</a>"
        "<a href='Unspecified Host.html'>text</a><a href='\x01\x02ctl.html'>ctl</a>"
        "<a href='" +
        std::string(5000, 'z') +
        "'>long</a><a href='slow.html'>slow</a>"
        "<a href='http://127.0.0.4:" +
        std::to_string(resetPort) +
        "/'>reset</a>"
        "<a href=binary.html>b</a><a href=huge.html>h</a><a href=deep.html>d</a>"
        "<a href=malformed.html>m</a>";
    TestServer server(
        "127.0.0.1", [&](const httplib::Request& request, httplib::Response& response) {
            const std::string& path = request.path;
            if (path == "/")
                response.set_content(odd, "text/html");
            else if (path == "/binary.html")
                response.set_content(binary, "text/html");
            else if (path == "/huge.html")
                response.set_content(huge, "text/html");
            else if (path == "/deep.html")
                response.set_content(deep, "text/html");
            else if (path == "/malformed.html")
                response.set_content(
                    "<html><<a href=\"m1.html\"<b><a href=m2.html <i></b></a></p></div>"
                    "<a href=\"m3.html><table><tr><a href='m4.html'></td>",
                    "text/html");
            else if (path == "/slow.html") {
                // drips a byte every 100 ms for at most 10 seconds
                response.set_chunked_content_provider(
                    "text/html", [](size_t offset, httplib::DataSink& sink) {
                        if (offset >= 100)
                            return false;
                        std::this_thread::sleep_for(std::chrono::milliseconds(100));
                        return sink.write("x", 1);
                    });
            } else
                response.set_content("<p>page</p>", "text/html");
        });
    const Run run = RunSm({"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/", "--quiet",
                           "--timeout=6", "--max-bytes=1048576", "--verbose"});
    done = true;
    resetter.join();
    close(resetFd);
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    QCOMPARE(run.ExitCode, 0);
    QVERIFY(!run.Map.Lines.join("\n").contains("Unspecified Host"));
    QVERIFY2(run.Errors.contains("document size limit"),
             qPrintable(run.Errors + run.Map.Lines.join("\n")));
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    const QMap<QString, int> pages = PagesOf(run.Map);
    QVERIFY(!pages.contains(origin + "/binary.html")); // binary data: not a page
    for (const char* page : {"/after-huge.html", "/after-deep.html", "/a%20b.html", "/xy.html",
                             "/cr.html", "/%C3%A9t%C3%A9.html", "/m2.html"})
        QVERIFY2(pages.contains(origin + page), page);
    QVERIFY(pages.contains(origin + "/q.html?a=%3Cb%3E&c=%22d%22"));
    const QSet<QString> findings = FindingsUnder(run.Map, 0);
    QVERIFY(findings.contains("<BROKEN>http://127.0.0.4:" + QString::number(resetPort) + "/"));
    QVERIFY(findings.contains("<BROKEN>" + origin + "/slow.html"));
    QVERIFY(findings.contains("<BROKEN>http://exa%20mple.org/"));
    QVERIFY(findings.contains("<MAILTO>mailto:a%0D%0Ab@example.org"));
    for (const QString& line : run.Map.Lines)
        QVERIFY2(!line.contains(QChar(1)) && !line.contains(QChar(2)), qPrintable(line));
}

void TestWebcharterCrawl::serversClosingConnections_data() {
    QTest::addColumn<bool>("http10");
    QTest::newRow("HTTP/1.0") << true;
    QTest::newRow("Connection: close") << false;
}

void TestWebcharterCrawl::serversClosingConnections() {
    // 40 pages answering after 300 ms each on servers that take one request a
    // connection: asked one after the other they would outlast the 3 s request
    // time-out, so a crawler that waits for a connection to share breaks pages.
    QFETCH(bool, http10);
    const int count = 40;
    auto page = [count](const std::string& target) {
        Reply reply;
        if (target == "/robots.txt") {
            reply.Status = 404;
            return reply;
        }
        const int n = target == "/" ? 0 : std::atoi(target.c_str() + 2);
        for (int child : {2 * n + 1, 2 * n + 2, (n * 7 + 3) % count})
            if (child < count && child > 0)
                reply.Body += "<a href=/p" + std::to_string(child) + ".html>p</a>";
        return reply;
    };
    std::unique_ptr<Http10Server> old;
    std::unique_ptr<TestServer> closing;
    int port;
    if (http10) {
        old = std::make_unique<Http10Server>(page, 300);
        port = old->Port;
    } else {
        closing = std::make_unique<TestServer>(
            "127.0.0.1",
            [&](const httplib::Request& request, httplib::Response& response) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                const Reply reply = page(request.target);
                response.status = reply.Status;
                response.set_content(reply.Body, reply.Type.c_str());
            },
            false);
        port = closing->Port;
    }
    QStringList first;
    for (int round = 0; round < 3; ++round) {
        const Run run = RunSm(
            {"Search_URL=127.0.0.1:" + QString::number(port) + "/", "--quiet", "--timeout=1.5"});
        QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
        QCOMPARE(PagesOf(run.Map).size(), count);
        QVERIFY2(!run.Map.Lines.join("\n").contains("<BROKEN>"),
                 qPrintable(run.Map.Lines.join("\n")));
        if (round == 0)
            first = run.Map.Lines;
        else
            QCOMPARE(run.Map.Lines, first);
    }
}

void TestWebcharterCrawl::rootNamingAPage_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("firstPage"); // empty: the map is the root's error
    QTest::newRow("page written as a folder") << "/index.html/"
                                              << "/index.html";
    QTest::newRow("page in a folder") << "/docs/start.html/"
                                      << "/docs/start.html";
    QTest::newRow("no page either way") << "/missing.html/"
                                        << "";
}

void TestWebcharterCrawl::rootNamingAPage() {
    QFETCH(QString, root);
    QFETCH(QString, firstPage);
    StaticSite site;
    TestServer server("127.0.0.1", [&](const auto& q, auto& r) { site.Handle(q, r); });
    site.Replies["/index.html"] = {200, "text/html", "<a href=about.html>a</a>", ""};
    site.Replies["/about.html"] = {200, "text/html", "<a href=index.html>i</a>", ""};
    site.Replies["/docs/start.html"] = {200, "text/html", "<a href=next.html>n</a>", ""};
    site.Replies["/docs/next.html"] = {200, "text/html", "end", ""};
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    const Run run =
        RunSm({"Search_URL=127.0.0.1:" + QString::number(server.Port) + root, "--quiet"});
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    QCOMPARE(run.Map.Lines.first(), "<ROOT>" + origin + root);
    if (firstPage.isEmpty()) {
        QCOMPARE(run.Map.Lines.mid(1), QStringList({"<ERROR>" + origin + root + " 404", "<END>"}));
        return;
    }
    QVERIFY2(run.Errors.contains(origin + firstPage), qPrintable(run.Errors));
    const QMap<QString, int> pages = PagesOf(run.Map);
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages.value(origin + firstPage, -1), 0);
}

void TestWebcharterCrawl::folderAndIndexFile() {
    StaticSite site;
    TestServer server("127.0.0.1", [&](const auto& q, auto& r) { site.Handle(q, r); });
    const std::string home = "<a href=index.html>h</a><a href=docs/>d</a><a href=news/index.html>"
                             "n</a><a href=news/>n</a><a href=docs/index.html>d</a>"
                             "<a href=shop/Default.htm>s</a><a href=shop/>s</a>";
    site.Replies["/"] = site.Replies["/index.html"] = {200, "text/html", home, ""};
    site.Replies["/docs/"] = site.Replies["/docs/index.html"] = {
        200, "text/html", "<a href=a.html>a</a><a href=./>self</a>", ""};
    site.Replies["/docs/a.html"] = {200, "text/html", "<a href=index.html>up</a>", ""};
    // the index file met first, under a spelling of its own: the folder is that page
    site.Replies["/shop/"] = site.Replies["/shop/Default.htm"] = {200, "text/html", "shop", ""};
    // a folder whose index file differs from the folder's answer: two pages
    site.Replies["/news/"] = {200, "text/html", "today", ""};
    site.Replies["/news/index.html"] = {200, "text/html", "yesterday", ""};
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    const Run run =
        RunSm({"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/", "--quiet"});
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    const QMap<QString, int> pages = PagesOf(run.Map);
    QCOMPARE(
        QSet<QString>(pages.keyBegin(), pages.keyEnd()),
        QSet<QString>({origin + "/", origin + "/docs/", origin + "/docs/a.html", origin + "/news/",
                       origin + "/news/index.html", origin + "/shop/Default.htm"}));
    for (int node : pages)
        QVERIFY(node >= 0);
}

void TestWebcharterCrawl::robotsTxtTroubles_data() {
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<bool>("rootMapped");
    QTest::addColumn<QString>("report");
    QTest::newRow("10 MB file, first rule obeyed") << "huge" << true << "first 512 KiB";
    QTest::newRow("server error") << "error" << false << "could not be read (server error 503)";
    // a host that never answered: its root is no page
    QTest::newRow("no answer") << "silent" << false << "could not be read";
    QTest::newRow("no robots.txt") << "missing" << true << "";
}

void TestWebcharterCrawl::robotsTxtTroubles() {
    QFETCH(QString, trouble);
    QFETCH(bool, rootMapped);
    QFETCH(QString, report);
    std::string huge = "User-agent: *\nDisallow: /private/\n";
    while (huge.size() < 10 * 1024 * 1024)
        huge += "Disallow: /filler/" + std::to_string(huge.size()) + "\n";
    StaticSite site;
    site.Replies["/"] = {200, "text/html", "<a href=private/a.html>p</a><a href=b.html>b</a>", ""};
    site.Replies["/private/a.html"] = {200, "text/html", "secret", ""};
    site.Replies["/b.html"] = {200, "text/html", "open", ""};
    if (trouble == "huge") // a type the test server does not compress (slowly) on the fly
        site.Replies["/robots.txt"] = {200, "application/octet-stream", huge, ""};
    else if (trouble == "error")
        site.Replies["/robots.txt"] = {503, "text/plain", "busy", ""};
    TestServer server("127.0.0.1",
                      [&](const httplib::Request& request, httplib::Response& response) {
                          if (request.path == "/robots.txt" && trouble == "silent")
                              std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                          site.Handle(request, response);
                      });
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    const Run run = RunSm({"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/", "--quiet",
                           trouble == "silent" ? "--timeout=1" : "--timeout=20"});
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    QVERIFY2(run.Errors.contains(report), qPrintable(run.Errors));
    const QMap<QString, int> pages = PagesOf(run.Map);
    QCOMPARE(site.Hits["/private/a.html"], trouble == "missing" ? 1 : 0);
    if (!rootMapped) {
        // nothing fetched but robots.txt; the map is the root alone, and says why
        QCOMPARE(site.Hits["/"], 0);
        if (trouble == "silent")
            QCOMPARE(run.Map.Lines.value(1), QString("Unspecified Host"));
        else
            QCOMPARE(pages.keys(), QList<QString>{origin + "/"});
        QVERIFY(run.Errors.contains("sm: left out: everything on 127.0.0.1"));
        return;
    }
    QCOMPARE(pages.contains(origin + "/private/a.html"), trouble == "missing");
    QVERIFY(pages.contains(origin + "/b.html"));
}

void TestWebcharterCrawl::binaryBodies() {
    std::string noise;
    std::mt19937 random(11);
    for (int i = 0; i < 50000; ++i)
        noise += static_cast<char>(random());
    std::string png = "\x89PNG\r\n\x1a\n";
    png += std::string("\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0", 21) + noise.substr(0, 500);
    // 20 MB of NUL bytes in a few kilobytes, sent deflated: a decompression bomb
    QByteArray bomb = qCompress(QByteArray(20 * 1024 * 1024, '\0'), 9).mid(4);
    TestServer server(
        "127.0.0.1", [&](const httplib::Request& request, httplib::Response& response) {
            const std::string& path = request.path;
            if (path == "/")
                response.set_content("<a href=noise.html>1</a><a href=image.html>2</a>"
                                     "<a href=nuls.html>3</a><a href=bomb.html>4</a>"
                                     "<a href=text.html>5</a>",
                                     "text/html");
            else if (path == "/noise.html")
                response.set_content("<a href=from-noise.html>" + noise, "text/html");
            else if (path == "/image.html")
                response.set_content(png, "text/html");
            else if (path == "/nuls.html")
                response.set_content(std::string(100000, '\0') + "<a href=from-nuls.html>",
                                     "text/html");
            else if (path == "/bomb.html") {
                response.set_header("Content-Encoding", "deflate");
                response.set_content(std::string(bomb.constData(), bomb.size()), "text/html");
            } else
                response.set_content("<p>text</p>", "text/html");
        });
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    const Run run =
        RunSm({"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/", "--quiet"});
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    const QMap<QString, int> pages = PagesOf(run.Map);
    QCOMPARE(QSet<QString>(pages.keyBegin(), pages.keyEnd()),
             QSet<QString>({origin + "/", origin + "/text.html"}));
    // the files are there: links to them are not broken
    QCOMPARE(FindingsUnder(run.Map, 0), QSet<QString>());
}

void TestWebcharterCrawl::slowServers() {
    // An outside host that accepts and never answers, with five links: one time-out
    // costs all five (at most two HEADs and the GETs that ask again reach it), each
    // reported broken.
    std::atomic<int> silentRequests{0};
    std::atomic<bool> release{false};
    TestServer silent("127.0.0.2", [&](const httplib::Request&, httplib::Response& response) {
        ++silentRequests;
        for (int i = 0; i < 100 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        response.set_content("late", "text/plain");
    });
    const std::string hung = "http://127.0.0.2:" + std::to_string(silent.Port);
    // A page of the site that is held past the time-out on its first request only,
    // as a busy server's queue would: asked again, it is a page, not BROKEN.
    std::atomic<int> slowHits{0};
    TestServer server("127.0.0.1",
                      [&](const httplib::Request& request, httplib::Response& response) {
                          if (request.path == "/") {
                              std::string html = "<a href=slow.html>s</a><a href=other.html>o</a>";
                              for (int i = 0; i < 5; ++i)
                                  html += "<a href='" + hung + "/p" + std::to_string(i) + "'>x</a>";
                              response.set_content(html, "text/html");
                          } else if (request.path == "/slow.html") {
                              if (++slowHits == 1)
                                  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                              response.set_content("<a href=after-slow.html>a</a>", "text/html");
                          } else if (request.path == "/robots.txt") {
                              response.status = 404;
                          } else {
                              response.set_content("<p>page</p>", "text/html");
                          }
                      });
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    const Run run = RunSm(
        {"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/", "--quiet", "--timeout=1.5"});
    release = true;
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    const QMap<QString, int> pages = PagesOf(run.Map);
    QVERIFY(pages.contains(origin + "/slow.html"));
    QVERIFY(pages.contains(origin + "/after-slow.html"));
    QCOMPARE(slowHits.load(), 2);
    QSet<QString> expected;
    for (int i = 0; i < 5; ++i)
        expected << QString::fromStdString("<BROKEN>" + hung + "/p" + std::to_string(i));
    QCOMPARE(FindingsUnder(run.Map, 0), expected);
    QVERIFY2(silentRequests.load() <= 4, qPrintable(QString::number(silentRequests.load())));
}

void TestWebcharterCrawl::whatIsCounted_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("pages");    // paths of the site, "$X" the outside origin
    QTest::addColumn<QStringList>("findings"); // all lines that are not pages
    QTest::addColumn<QStringList>("reports");  // texts sm writes on its log
    const QStringList gone{"<ERROR>$O/limit/gone1.html 404", "<ERROR>$O/limit/gone2.html 404",
                           "<ERROR>$O/limit/gone3.html 404"};
    QTest::newRow("files and errors do not use up the page limit")
        << "/limit/" << QStringList{"--max-pages=3"}
        << QStringList{"/limit/", "/limit/p1.html", "/limit/p2.html"} << gone
        << QStringList{"3 broken links, 0 server errors"};
    QTest::newRow("the page limit counts pages")
        << "/limit/" << QStringList{"--max-pages=2"} << QStringList{"/limit/", "/limit/p1.html"}
        << gone << QStringList{"left out: 1 page(s) beyond the page limit of 2"};
    QTest::newRow("answers without a body are pages by their type")
        << "/empty/" << QStringList{} << QStringList{"/empty/", "/empty/blank.html"}
        << QStringList{} << QStringList{};
    QTest::newRow("a page cut at the size limit is reported")
        << "/big/" << QStringList{"--max-bytes=1024"} << QStringList{"/big/"} << QStringList{}
        << QStringList{"left out: 1 page(s) longer than the document size limit of 1024 bytes"};
    QTest::newRow("a HEAD that times out is asked again with GET")
        << "/outside/" << QStringList{"--timeout=1"} << QStringList{"/outside/"}
        << QStringList{"<LINK>$X/slowhead"} << QStringList{};
    QTest::newRow("outside links still waiting at the time limit are unchecked")
        << "/waiting/" << QStringList{"--max-time=1"} << QStringList{"/waiting/"}
        << QStringList{"<LINK>$X/hang1", "<LINK>$X/hang2", "<LINK>$X/hang3"}
        << QStringList{"left out: 3 outside link(s) not checked: the run time limit came first"};
    QStringList five;
    for (int i = 1; i <= 5; ++i)
        five << "<ERROR>$O/many/g" + QString::number(i) + ".html 404";
    QTest::newRow("links kept of one page are bounded")
        << "/many/" << QStringList{"--max-links-per-page=5"} << QStringList{"/many/"} << five
        << QStringList{"left out: 15 link(s) beyond 5 on one page (1 page(s))"};
    QTest::newRow("outside checks are capped")
        << "/outside5/" << QStringList{"--max-outside-checks=2"} << QStringList{"/outside5/"}
        << QStringList{"<LINK>$X/o1", "<LINK>$X/o2", "<LINK>$X/o3", "<LINK>$X/o4", "<LINK>$X/o5"}
        << QStringList{"left out: 3 outside link(s) beyond the first 2 not checked"};
    // 0.0.0.0 reaches this machine; a page must not make sm call it
    QTest::newRow("outside links to this machine's other addresses are refused")
        << "/inward/" << QStringList{} << QStringList{"/inward/"}
        << QStringList{"<LINK>http://0.0.0.0:$P/secret"}
        << QStringList{"left out: 1 outside link(s) to loopback, private or link-local"};
    QTest::newRow("e-mail addresses as a mail program reads them")
        << "/mail/" << QStringList{} << QStringList{"/mail/"}
        << QStringList{"<MAILTO>mailto:Info@example.org", "<MAILTO>mailto:x@y.z"} << QStringList{};
    QTest::newRow("pages a Link header names as next are followed")
        << "/paged/" << QStringList{} << QStringList{"/paged/", "/paged/2", "/paged/3"}
        << QStringList{"<ERROR>$O/paged/gone 404"} << QStringList{};
    QTest::newRow("redirect targets keep to the URL length limit")
        << "/redirect/" << QStringList{} << QStringList{"/redirect/"} << QStringList{}
        << QStringList{"left out: 1 link(s) longer than 2048 characters"};
}

void TestWebcharterCrawl::whatIsCounted() {
    QFETCH(QString, root);
    QFETCH(QStringList, options);
    QFETCH(QStringList, pages);
    QFETCH(QStringList, findings);
    QFETCH(QStringList, reports);
    std::atomic<bool> release{false};
    TestServer outside("127.0.0.2",
                       [&](const httplib::Request& request, httplib::Response& response) {
                           const bool hang = request.path.rfind("/hang", 0) == 0;
                           if (hang || (request.path == "/slowhead" && request.method == "HEAD"))
                               for (int i = 0; i < 60 && !release; ++i)
                                   std::this_thread::sleep_for(std::chrono::milliseconds(50));
                           response.set_content("ok", "text/plain");
                       });
    const std::string x = "http://127.0.0.2:" + std::to_string(outside.Port);
    StaticSite site;
    site.Replies["/limit/"] = {200, "text/html", "", ""};
    for (int i = 1; i <= 5; ++i) {
        const std::string n = std::to_string(i);
        site.Replies["/limit/"].Body += "<a href=f" + n + ".pdf>f</a>";
        site.Replies["/limit/f" + n + ".pdf"] = {200, "application/pdf", "%PDF-1.4", ""};
        if (i <= 3)
            site.Replies["/limit/"].Body += "<a href=gone" + n + ".html>g</a>";
    }
    site.Replies["/limit/"].Body += "<a href=p1.html>1</a><a href=p2.html>2</a>";
    site.Replies["/limit/p1.html"] = {200, "text/html", "<p>1</p>", ""};
    site.Replies["/limit/p2.html"] = {200, "text/html", "<p>2</p>", ""};
    site.Replies["/empty/"] = {
        200, "text/html", "<a href=none>n</a><a href=empty.pdf>e</a><a href=blank.html>b</a>", ""};
    site.Replies["/empty/none"] = {204, "text/html", "", ""};
    site.Replies["/empty/empty.pdf"] = {200, "application/pdf", "", ""};
    site.Replies["/empty/blank.html"] = {200, "text/html", "", ""};
    site.Replies["/big/"] = {200, "text/html", std::string(3000, ' ') + "<a href=after.html>a</a>",
                             ""};
    site.Replies["/outside/"] = {200, "text/html", "<a href='" + x + "/slowhead'>s</a>", ""};
    site.Replies["/waiting/"] = {200, "text/html", "", ""};
    for (int i = 1; i <= 3; ++i)
        site.Replies["/waiting/"].Body += "<a href='" + x + "/hang" + std::to_string(i) + "'>h</a>";
    site.Replies["/redirect/"] = {200, "text/html", "<a href=long>l</a>", ""};
    site.Replies["/many/"] = {200, "text/html", "", ""};
    for (int i = 1; i <= 20; ++i)
        site.Replies["/many/"].Body += "<a href=g" + std::to_string(i) + ".html>g</a>";
    site.Replies["/outside5/"] = {200, "text/html", "", ""};
    for (int i = 1; i <= 5; ++i)
        site.Replies["/outside5/"].Body += "<a href='" + x + "/o" + std::to_string(i) + "'>o</a>";
    site.Replies["/mail/"] = {200, "text/html",
                              "<a href='mailto:Info@Example.ORG#top'>a</a>"
                              "<a href='mailto:Info@example.org?subject=hi'>b</a>"
                              "<a href='mailto:?to=x@y.z&subject=s'>c</a><a href='mailto:'>d</a>",
                              ""};
    // next pages named only in headers: relative, quoted among other relations, a
    // broken one, one the body links already; other relations are not followed
    site.Replies["/paged/"] = {200, "text/html", "<p>1</p>", ""};
    site.LinkHeaders["/paged/"] = "</paged/style.css>; rel=preload, </paged/2>; rel=next";
    site.Replies["/paged/2"] = {200, "text/html", "<p>2</p>", ""};
    site.LinkHeaders["/paged/2"] = "<3>; rel=\"prev next\"; title=\"Page 3\", <gone>; REL=next";
    site.Replies["/paged/3"] = {200, "text/html", "<a href=/paged/>1</a>", ""};
    site.LinkHeaders["/paged/3"] = "</paged/>; rel=next, </paged/alt>; rel=alternate";
    site.Replies["/redirect/long"] = {302, "text/html", "", "/redirect/" + std::string(3000, 'a')};
    TestServer server("127.0.0.1", [&](const auto& q, auto& r) { site.Handle(q, r); });
    site.Replies["/inward/"] = {
        200, "text/html",
        "<a href='http://0.0.0.0:" + std::to_string(server.Port) + "/secret'>s</a>", ""};
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    const Run run = RunSm(
        QStringList{"Search_URL=127.0.0.1:" + QString::number(server.Port) + root, "--quiet"} +
        options);
    release = true;
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    QStringList expected;
    for (const QString& page : pages)
        expected << origin + page;
    const QMap<QString, int> listed = PagesOf(run.Map);
    QCOMPARE(QStringList(listed.keys()), expected);
    QStringList lines;
    for (const MapNode& node : run.Map.Nodes)
        if (node.Tag != "PAGE")
            lines << "<" + node.Tag + ">" + node.Caption;
    lines.sort();
    expected.clear();
    for (const QString& line : findings)
        expected << QString(line)
                        .replace("$O", origin)
                        .replace("$X", QString::fromStdString(x))
                        .replace("$P", QString::number(server.Port));
    QVERIFY2(lines == expected, qPrintable(lines.join('\n').left(2000)));
    for (const QString& report : reports)
        QVERIFY2(run.Errors.contains(report), qPrintable(run.Errors));
    QCOMPARE(site.Hits["/redirect/" + std::string(3000, 'a')], 0);
    QCOMPARE(site.Hits["/secret"], 0);
}

namespace {

// One answer of a polite-crawling site; a path answers its list in turn, the last
// one from then on.
struct Turn {
    int Status = 200;
    std::string RetryAfter; // "seconds" as sent; "date+N": an HTTP date N s ahead
};

struct PoliteCase {
    std::string Robots; // robots.txt; empty: none (404)
    std::map<std::string, std::vector<Turn>> Answers;
    QStringList Arguments;
    double MinGap = 0;                    // least seconds between request starts
    std::map<std::string, double> Waited; // path: least seconds between its first two requests
    QStringList Listed, NotListed;        // pages in the map, pages not in it
    QStringList NotRequested;
    QStringList Log; // texts the log must hold
    int MostRequests = 1000;
    QStringList NotChecked; // the --not-checked list, "STATUS\tPATH", in any order
};

std::map<QString, PoliteCase> PoliteCases() {
    std::map<QString, PoliteCase> cases;
    cases["Crawl-delay"] = {"User-agent: *\nCrawl-delay: 0.3\n", {}, {}, 0.27, {}, {"/a", "/d"}};
    cases["Crawl-delay of another crawler"] = {
        "User-agent: other\nCrawl-delay: 5\n\nUser-agent: *\nDisallow: /x\n",
        {},
        {},
        0,
        {},
        {"/a", "/d"}};
    cases["requests a second"] = {"", {}, {"--max-rate=5"}, 0.18, {}, {"/a", "/b"}};
    cases["Retry-After in seconds"] = {
        "", {{"/b", {{429, "1"}, {200, ""}}}}, {}, 0, {{"/b", 0.9}}, {"/a", "/b"}};
    cases["Retry-After as a date"] = {
        "", {{"/c", {{503, "date+2"}, {200, ""}}}}, {}, 0, {{"/c", 0.9}}, {"/c"}};
    cases["no Retry-After: backing off"] = {
        "", {{"/a", {{503, ""}, {503, ""}, {200, ""}}}}, {}, 0, {{"/a", 0.9}}, {"/a"}};
    // every page but the root refuses for ever: the crawl ends, none is broken
    std::map<std::string, std::vector<Turn>> storm;
    for (int i = 0; i < 40; ++i)
        storm["/p" + std::to_string(i)] = {{503, ""}};
    cases["503 storm"] = {
        "", storm, {}, 0, {}, {"/"}, {"/p0", "/p39"}, {}, {"kept refusing", "not checked"}, 40 * 3};
    cases["401, 403 and 429 are not broken"] = {
        "",
        {{"/a", {{401, ""}}}, {"/b", {{403, ""}}}, {"/c", {{429, ""}}}},
        {"--max-retry-after=0"},
        0,
        {},
        {"/d"},
        {"/a", "/b", "/c"},
        {},
        {"answered 401", "answered 403", "answered 429"},
        1000,
        {"401\t/a", "403\t/b", "429\t/c"}};
    cases["include and exclude"] = {"",
                                    {},
                                    {"--include=/[a-c]$|/$", "--exclude=/b$"},
                                    0,
                                    {},
                                    {"/a", "/c"},
                                    {"/b", "/d"},
                                    {"/b", "/d"},
                                    {"2 URL(s) of the site left out by the include and exclude"}};
    return cases;
}

} // namespace

void TestWebcharterCrawl::politeCrawling_data() {
    QTest::addColumn<QString>("name");
    for (const auto& [name, polite] : PoliteCases())
        QTest::newRow(qPrintable(name)) << name;
}

// Politeness towards a site: Crawl-delay and a request rate space the requests,
// 429 and 503 are asked again as Retry-After asks (or after a growing wait), a
// site that keeps refusing ends the crawl with nothing reported broken, and the
// include and exclude patterns keep URLs from being fetched at all.
void TestWebcharterCrawl::politeCrawling() {
    QFETCH(QString, name);
    const PoliteCase polite = PoliteCases().at(name);
    std::mutex lock;
    std::map<std::string, std::vector<double>> times; // path: request times
    std::vector<double> all;
    const auto began = std::chrono::steady_clock::now();
    std::string links;
    for (const char* page : {"/a", "/b", "/c", "/d"})
        links += std::string("<a href=\"") + page + "\">" + page + "</a>";
    for (const auto& [path, turns] : polite.Answers)
        if (path.rfind("/p", 0) == 0)
            links += "<a href=\"" + path + "\">x</a>";
    TestServer server("127.0.0.1", [&](const httplib::Request& request,
                                       httplib::Response& response) {
        size_t turn;
        {
            std::lock_guard<std::mutex> guard(lock);
            const double at =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            turn = times[request.path].size();
            times[request.path].push_back(at);
            if (request.path != "/robots.txt")
                all.push_back(at);
        }
        if (request.path == "/robots.txt") {
            response.status = polite.Robots.empty() ? 404 : 200;
            response.set_content(polite.Robots, "text/plain");
            return;
        }
        const auto found = polite.Answers.find(request.path);
        Turn answer;
        if (found != polite.Answers.end())
            answer = found->second[std::min(turn, found->second.size() - 1)];
        response.status = answer.Status;
        if (answer.RetryAfter.rfind("date+", 0) == 0) {
            const time_t when = std::time(nullptr) + std::stoi(answer.RetryAfter.substr(5));
            char date[64];
            std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", std::gmtime(&when));
            response.set_header("Retry-After", date);
        } else if (!answer.RetryAfter.empty()) {
            response.set_header("Retry-After", answer.RetryAfter);
        }
        response.set_content("<html><body>" + (request.path == "/" ? links : "") + "</body></html>",
                             "text/html");
    });
    QVERIFY(server.Port > 0);
    const QString origin = "http://127.0.0.1:" + QString::number(server.Port);
    QTemporaryDir lists;
    const QString notCheckedPath = lists.filePath("notchecked.txt");
    const Run run = RunSm(QStringList{"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/",
                                      "--quiet", "--not-checked=" + notCheckedPath} +
                          polite.Arguments);
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + run.Errors));
    QCOMPARE(run.ExitCode, 0);
    const QMap<QString, int> pages = PagesOf(run.Map);
    for (const QString& page : polite.Listed)
        QVERIFY2(pages.contains(origin + page), qPrintable(page + "\n" + run.Map.Lines.join("\n")));
    for (const QString& page : polite.NotListed)
        QVERIFY2(!pages.contains(origin + page), qPrintable(page));
    // nothing refused or rate-limited is called broken
    QVERIFY2(!run.Map.Lines.join("\n").contains("<BROKEN>") &&
                 !run.Map.Lines.join("\n").contains("<ERROR>"),
             qPrintable(run.Map.Lines.join("\n")));
    for (const QString& text : polite.Log)
        QVERIFY2(run.Errors.contains(text), qPrintable(text + "\n" + run.Errors));
    if (!polite.NotChecked.isEmpty()) {
        QFile list(notCheckedPath);
        QVERIFY(list.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(list.readAll()).remove(origin).split("\r\n");
        lines.removeAll(QString());
        lines.sort();
        QCOMPARE(lines, polite.NotChecked);
    }
    std::lock_guard<std::mutex> guard(lock);
    for (const QString& path : polite.NotRequested)
        QVERIFY2(times[path.toStdString()].empty(), qPrintable(path));
    QVERIFY2(static_cast<int>(all.size()) <= polite.MostRequests,
             qPrintable(QString::number(all.size())));
    if (polite.MinGap > 0) {
        std::sort(all.begin(), all.end());
        for (size_t i = 1; i < all.size(); ++i)
            QVERIFY2(all[i] - all[i - 1] >= polite.MinGap,
                     qPrintable(QString::number(all[i] - all[i - 1])));
    }
    for (const auto& [path, least] : polite.Waited) {
        const std::vector<double>& at = times[path];
        QVERIFY2(at.size() >= 2, path.c_str());
        QVERIFY2(at[1] - at[0] >= least, qPrintable(QString::number(at[1] - at[0])));
    }
}

void TestWebcharterCrawl::connectionsPerHost_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("siteLeast"); // requests the site held at once, at least
    QTest::addColumn<int>("siteMost");  // and at most
    QTest::addColumn<int>("outsideMost");
    QTest::newRow("default") << QStringList{} << 3 << 16 << 2;
    QTest::newRow("one") << QStringList{"--per-host=1"} << 1 << 1 << 1;
    QTest::newRow("below --concurrency")
        << QStringList{"--concurrency=8", "--per-host=3"} << 2 << 3 << 2;
}

// Requests held at once by the site and by an outside host, each answer slow.
void TestWebcharterCrawl::connectionsPerHost() {
    QFETCH(QStringList, arguments);
    QFETCH(int, siteLeast);
    QFETCH(int, siteMost);
    QFETCH(int, outsideMost);
    struct AtOnce {
        std::atomic<int> Now{0}, Most{0};
        void Enter() {
            const int now = ++Now;
            for (int most = Most; now > most && !Most.compare_exchange_weak(most, now);) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            --Now;
        }
    } site, other;
    TestServer outside("127.0.0.2", [&](const httplib::Request&, httplib::Response& response) {
        other.Enter();
        response.set_content("ok", "text/plain");
    });
    const int pages = 40;
    TestServer server(
        "127.0.0.1", [&](const httplib::Request& request, httplib::Response& response) {
            if (request.path == "/robots.txt") {
                response.status = 404;
                return;
            }
            site.Enter();
            std::string body = "<html><body>";
            if (request.path == "/")
                for (int i = 0; i < pages; ++i)
                    body += "<a href=\"/p" + std::to_string(i) +
                            "\">p</a><a href=\"http://127.0.0.2:" + std::to_string(outside.Port) +
                            "/o" + std::to_string(i) + "\">o</a>";
            response.set_content(body + "</body></html>", "text/html");
        });
    QVERIFY(server.Port > 0 && outside.Port > 0);
    const Run run =
        RunSm(QStringList{"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/", "--quiet"} +
              arguments);
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + run.Errors));
    QCOMPARE(PagesOf(run.Map).size(), pages + 1);
    QVERIFY2(site.Most >= siteLeast && site.Most <= siteMost,
             qPrintable(QString::number(site.Most)));
    QVERIFY2(other.Most >= 1 && other.Most <= outsideMost, qPrintable(QString::number(other.Most)));
}

void TestWebcharterCrawl::resumeAfterStop_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("chopBytes"); // cut from the end of the journal after the stop
    QTest::newRow("killed") << int(SIGKILL) << 0;
    QTest::newRow("stopped") << int(SIGTERM) << 0;
    QTest::newRow("killed while writing an answer") << int(SIGKILL) << 7;
}

// A crawl with --resume killed or stopped half way, then run again, makes the map
// of a crawl that never stopped, and asks the site again only for what it had not
// answered.
void TestWebcharterCrawl::resumeAfterStop() {
    QFETCH(int, signal);
    QFETCH(int, chopBytes);
    TestServer outside("127.0.0.2",
                       [](const httplib::Request& request, httplib::Response& response) {
                           response.status = request.path.rfind("/gone", 0) == 0 ? 404 : 200;
                       });
    // pages p0..p299, a binary tree; the site answers the first 150 pages, then
    // holds every answer while the gate is shut
    const int count = 300, answeredBeforeGate = 150;
    std::mutex lock;
    std::condition_variable opened;
    bool gateShut = false;
    std::atomic<int> pageRequests{0};
    TestServer server("127.0.0.1", [&](const httplib::Request& request,
                                       httplib::Response& response) {
        const std::string& path = request.path;
        if (path.rfind("/p", 0) == 0 && ++pageRequests > answeredBeforeGate) {
            std::unique_lock<std::mutex> guard(lock);
            opened.wait_for(guard, std::chrono::seconds(60), [&] { return !gateShut; });
        }
        if (path.rfind("/r", 0) == 0) {
            response.status = 301;
            response.set_header("Location", "/p" + path.substr(2));
            return;
        }
        const int page = path == "/"                ? 0
                         : path.rfind("/p", 0) == 0 ? std::atoi(path.c_str() + 2)
                                                    : -1;
        if (path == "/err") {
            response.status = 500;
            return;
        }
        if (page < 0 || page >= count) {
            response.status = 404;
            return;
        }
        std::string body = "<html><head><title>p" + std::to_string(page) + "</title></head><body>";
        for (const int child : {2 * page + 1, 2 * page + 2})
            if (child < count)
                body += "<a href=\"/" + std::string(child % 10 == 3 ? "r" : "p") +
                        std::to_string(child) + "\">c</a>";
        body += "<a href=\"/gone" + std::to_string(page % 17) + "\">g</a><img src=\"/i" +
                std::to_string(page % 5) +
                ".png\"><a href=\"/err\">e</a><a href=\"http://127.0.0.2:" +
                std::to_string(outside.Port) + (page % 3 ? "/ok" : "/gone") +
                std::to_string(page % 11) + "\">o</a></body></html>";
        response.set_content(body, "text/html");
    });
    QVERIFY(server.Port > 0 && outside.Port > 0);
    const QStringList arguments{"Search_URL=127.0.0.1:" + QString::number(server.Port) + "/",
                                "--quiet", "--verify-links", "--resume"};
    const QString sm = qEnvironmentVariable("VANTORA_BIN_DIR") + "/sm";
    QTemporaryDir whole, stopped;
    QProcess process;
    process.setWorkingDirectory(whole.path());
    process.start(sm, arguments);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    const ReadMap expected = ReadSiteMap(whole.filePath("sitemap.tmp"));
    QVERIFY2(expected.Problem.isEmpty(), qPrintable(expected.Problem));
    QCOMPARE(PagesOf(expected).size(), count);
    QVERIFY(!QFile::exists(whole.filePath("sitemap.tmp.resume")));

    {
        std::lock_guard<std::mutex> guard(lock);
        gateShut = true;
    }
    pageRequests = 0;
    process.setWorkingDirectory(stopped.path());
    process.start(sm, arguments);
    QVERIFY(process.waitForStarted());
    for (int i = 0; i < 600 && pageRequests <= answeredBeforeGate; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QVERIFY(pageRequests > answeredBeforeGate);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the journal goes to disk
    ::kill(static_cast<pid_t>(process.processId()), signal);
    QVERIFY(process.waitForFinished(30000));
    {
        std::lock_guard<std::mutex> guard(lock);
        gateShut = false;
    }
    opened.notify_all();
    if (signal == SIGTERM)
        QCOMPARE(process.exitCode(), 130);
    const QString journal = stopped.filePath("sitemap.tmp.resume");
    QVERIFY(!QFile::exists(stopped.filePath("sitemap.tmp")));
    QVERIFY(QFileInfo(journal).size() > 1000);
    if (chopBytes)
        QVERIFY(QFile::resize(journal, QFileInfo(journal).size() - chopBytes));

    pageRequests = 0;
    process.start(sm, arguments);
    QVERIFY(process.waitForFinished(60000));
    const QString log = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 0);
    const ReadMap resumed = ReadSiteMap(stopped.filePath("sitemap.tmp"));
    QVERIFY2(resumed.Problem.isEmpty(), qPrintable(resumed.Problem));
    QCOMPARE(resumed.Lines, expected.Lines);
    QVERIFY2(log.contains("resuming: "), qPrintable(log));
    // most of the pages answered before the stop are not asked again
    QVERIFY2(pageRequests < count - answeredBeforeGate / 2,
             qPrintable(QString::number(pageRequests)));
    QVERIFY(!QFile::exists(journal));
}

QTEST_GUILESS_MAIN(TestWebcharterCrawl)
#include "TestWebcharterCrawl.moc"
