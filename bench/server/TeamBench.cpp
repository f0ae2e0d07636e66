// Throughput of a team's deployment, all in one run on 127.0.0.1: Wordweigh
// answers per second from one vantora-server alone, from one behind nginx
// and from two behind nginx (the README's site file, plain http so that the
// figures are the servers' and the proxy's, not TLS's), the servers sharing
// a link index on a throwaway PostgreSQL cluster (an SQLite file when
// PostgreSQL cannot start here).
// Usage: bench_server_team [clients] [requests per client]
#include "NginxFront.h"
#include "PgCluster.h"
#include "TeamServer.h"

#include <QCoreApplication>

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace teamtest;
using Clock = std::chrono::steady_clock;

namespace {

const std::string Token = "bench-team-token-0123456789";

std::string Page() {
    std::string page =
        "<html><head><title>Garden tools for small gardens</title>"
        "<meta name=\"description\" content=\"Spades, rakes and hoes.\"></head><body>";
    for (int i = 0; page.size() < 20000; ++i)
        page += "<p>Garden tools " + std::to_string(i) +
                ": spades and rakes for small gardens, <a href=\"http://partner" +
                std::to_string(i % 20) + ".example/tools\">partner</a>.</p>";
    return page + "</body></html>";
}

// Answers a second with clients at once, each sending requests requests
// (one connection each) to port; failed counts answers other than 200.
double Throughput(int port, int clients, int requests, const std::string& target,
                  std::atomic<int>& failed) {
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    std::atomic<int> done{0};
    const auto until = start + std::chrono::seconds(120);
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            for (int i = 0; i < requests && Clock::now() < until; ++i) {
                const Answer a = Ask(port, target, Bearer(Token));
                (a.Status == 200 ? done : failed)++;
            }
        });
    for (auto& t : threads)
        t.join();
    return done / std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int clients = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
    const int requests = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    qputenv("VANTORA_BIN_DIR", VANTORA_BIN_DIR);

    httplib::Server site;
    const std::string page = Page();
    site.Get("/tools.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(page, "text/html; charset=utf-8");
    });
    const int sitePort = site.bind_to_any_port("127.0.0.1");
    std::thread siteThread([&] { site.listen_after_bind(); });

    QTemporaryDir temp;
    PgCluster pg;
    const std::string index = pg.Ok() ? pg.Address() : temp.filePath("links.sqlite").toStdString();
    if (!pg.Ok())
        std::printf("PostgreSQL cannot start here (%s); the servers share an SQLite file\n",
                    qPrintable(pg.Reason()));
    QFile config(temp.filePath("team.toml"));
    config.open(QIODevice::WriteOnly);
    config.write(("[access]\ntokens = [\"" + Token +
                  "\"]\nrequests_per_minute = 0\nrequests_per_minute_per_address = 0\n"
                  "[backwatch]\nindex = \"" +
                  index + "\"\n")
                     .c_str());
    config.close();
    QProcess one, two;
    // The servers log a line a request on standard error. Nothing here reads
    // a pipe while the clients run, and a full one would hold every worker at
    // its log line (each request then waits out the client's time-out), so
    // the logs go to files.
    one.setStandardErrorFile(temp.filePath("one.log"));
    two.setStandardErrorFile(temp.filePath("two.log"));
    const QStringList arguments{"--listen",        "127.0.0.1:0", "--config",
                                config.fileName(), "--workers",   "8"};
    const int portOne = Start(one, temp, arguments);
    const int portTwo = Start(two, temp, arguments);
    if (portOne < 0 || portTwo < 0) {
        QFile log(temp.filePath(portOne < 0 ? "one.log" : "two.log"));
        log.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "the servers did not start: %s\n", log.readAll().constData());
        return 1;
    }
    NginxFront single(VANTORA_NGINX_SITE, {portOne}, false);
    NginxFront both(VANTORA_NGINX_SITE, {portOne, portTwo}, false);
    if (!single.Running || !both.Running) {
        std::fprintf(stderr, "nginx did not start: %s\n", qPrintable(single.Why + both.Why));
        return 1;
    }
    const std::string target = "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=http://127.0.0.1:" +
                               std::to_string(sitePort) + "/tools.html&keywords=garden%20tools";
    std::atomic<int> failed{0};
    Throughput(portOne, 2, 5, target, failed); // warm up the servers and the index
    Throughput(portTwo, 2, 5, target, failed);
    std::printf("Wordweigh answers of a 20 KB page, %d clients x %d requests, link index on %s, "
                "%u cores\n",
                clients, requests, pg.Ok() ? "PostgreSQL" : "SQLite",
                std::thread::hardware_concurrency());
    const double alone = Throughput(portOne, clients, requests, target, failed);
    const double behindOne = Throughput(single.Port, clients, requests, target, failed);
    const double behindTwo = Throughput(both.Port, clients, requests, target, failed);
    std::printf("  one server alone:          %8.1f answers/s\n", alone);
    std::printf("  one server behind nginx:   %8.1f answers/s (%.2fx alone)\n", behindOne,
                behindOne / alone);
    std::printf("  two servers behind nginx:  %8.1f answers/s (%.2fx alone)\n", behindTwo,
                behindTwo / alone);
    std::printf("  answers other than 200:    %d\n", failed.load());
    one.terminate();
    two.terminate();
    one.waitForFinished(10000);
    two.waitForFinished(10000);
    site.stop();
    siteThread.join();
    return failed.load() == 0 ? 0 : 1;
}
