// Serves one 50 KB page on 127.0.0.1, starts vantora-server beside it, and
// prints: the bare fetch time of the page, Wordweigh answers per second with
// 4 concurrent clients, the time per answer, and the analysis alone beside
// the peer keyphrase analysis on the same page (when bench/wordweigh has its
// node_modules; bench/wordweigh/run.sh installs them).
// Usage: bench_server [path/to/vantora-server] [requests per client]

#include "FetchPage.h"
#include "Service.h"

#include "ChildServer.h"
#include <gumbo.h>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

static double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The peer's mean analysis time of the page over its later runs (the first
// loads its code), or a negative number when node or the peer is missing.
static double PeerMs(const std::string& page, int runs) {
    const std::string dir = VANTORA_PEER_DIR;
    if (std::system(("test -d '" + dir + "/node_modules/yoastseo'").c_str()) != 0)
        return -1;
    const std::string file = "/tmp/vantora-bench-page-" + std::to_string(getpid()) + ".html";
    const std::string manifest = file + ".tsv";
    std::ofstream(file) << page;
    {
        std::ofstream m(manifest);
        for (int i = 0; i <= runs; ++i)
            m << i << '\t' << file
              << "\thttp://127.0.0.1/garden-tools.html\tgarden tools\ten_US\t480\n";
    }
    FILE* out = popen(("cd '" + dir + "' && node peer.js '" + manifest + "'").c_str(), "r");
    double total = 0;
    int counted = 0;
    char line[1 << 14];
    while (out && std::fgets(line, sizeof line, out)) {
        const char* ms = std::strstr(line, "\"ms\":");
        if (ms && std::strncmp(line, "{\"id\":\"0\"", 9) != 0) {
            total += std::atof(ms + 5);
            ++counted;
        }
    }
    if (out)
        pclose(out);
    std::remove(file.c_str());
    std::remove(manifest.c_str());
    return counted ? total / counted : -1;
}

static std::string Page50k() {
    static const char* words[] = {"garden", "tools",   "spade",  "fork",   "hoe",
                                  "soil",   "winter",  "blade",  "handle", "shed",
                                  "season", "growers", "compost"};
    std::string html = "<!DOCTYPE html><html><head><title>Garden tools for every gardener and "
                       "allotment season</title><meta name=\"description\" content=\"Garden "
                       "tools chosen by growers.\"></head><body><header><nav><ul>";
    // A menu, a banner and a footer around the text, as real pages have.
    for (int i = 0; i < 30; ++i)
        html += "<li><a href=\"/m" + std::to_string(i) + "\">Menu entry " + std::to_string(i) +
                "</a></li>";
    html += "</ul></nav></header><div class=\"content\"><h1>Garden tools</h1>";
    int n = 0;
    while (html.size() < 50 * 1024) {
        html += "<h2>Part " + std::to_string(n) + "</h2><p>";
        for (int i = 0; i < 60; ++i)
            html += std::string(words[(n * 7 + i) % 13]) + (i % 12 == 11 ? ". " : " ");
        html += "</p><img src=\"i.jpg\" alt=\"garden tools\"><a href=\"/p" + std::to_string(n) +
                "\">part " + std::to_string(n) + "</a>";
        ++n;
    }
    return html + "</div><footer><p>Garden tools shop, 1 High Street</p></footer></body></html>";
}

int main(int argc, char** argv) {
    std::string program = argc > 1 ? argv[1] : "";
    if (program.empty()) {
        const char* bin = std::getenv("VANTORA_BIN_DIR");
        program = std::string(bin ? bin : ".") + "/vantora-server";
    }
    const int perClient = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const int clients = 4;

    const std::string page = Page50k();
    httplib::Server site;
    site.Get("/page.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(page, "text/html");
    });
    const int sitePort = site.bind_to_any_port("127.0.0.1");
    std::thread siteThread([&] { site.listen_after_bind(); });

    // The server picks a free port and names it on its first output line.
    const vantora::bench::ChildServer started =
        vantora::bench::StartChildServer({program, "--listen", "127.0.0.1:0", "--workers", "8"});
    const pid_t child = started.Pid;
    const int serverPort = started.Port;
    const bool up = serverPort > 0;
    if (!up) {
        std::fprintf(stderr, "bench_server: %s did not start\n", program.c_str());
        if (child > 0)
            kill(child, SIGTERM);
        site.stop();
        siteThread.join();
        return 1;
    }

    const std::string pageUrl = "http://127.0.0.1:" + std::to_string(sitePort) + "/page.html";
    vantora::FetchOptions options;
    // Bare fetch, the same way the server fetches.
    const int fetches = 200;
    auto t0 = Clock::now();
    for (int i = 0; i < fetches; ++i)
        vantora::FetchPage(pageUrl, options);
    const double fetchMs = Ms(Clock::now() - t0) / fetches;

    // The analysis alone, in-process.
    const int analyses = 200;
    t0 = Clock::now();
    std::size_t sink = 0;
    for (int i = 0; i < analyses; ++i)
        sink += vantora::WordweighAnswer(pageUrl, "garden tools", page).size();
    const double analysisMs = Ms(Clock::now() - t0) / analyses;
    // The HTML parser alone: the floor under the analysis on this machine.
    t0 = Clock::now();
    for (int i = 0; i < analyses; ++i) {
        GumboOutput* out =
            gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
        gumbo_destroy_output(&kGumboDefaultOptions, out);
    }
    const double parserMs = Ms(Clock::now() - t0) / analyses;

    const std::string target =
        "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=" + pageUrl + "&keywords=garden%20tools";
    std::atomic<int> ok{0}, failed{0};
    t0 = Clock::now();
    std::vector<std::thread> workers;
    for (int c = 0; c < clients; ++c)
        workers.emplace_back([&] {
            httplib::Client client("127.0.0.1", serverPort);
            client.set_keep_alive(true);
            for (int i = 0; i < perClient; ++i) {
                auto res = client.Get(target.c_str());
                if (res && res->status == 200 && res->body.rfind("WORDWEIGH-v1.1", 0) == 0 &&
                    res->body.find("ERROR-OPENING-URL") == std::string::npos)
                    ++ok;
                else
                    ++failed;
            }
        });
    for (auto& w : workers)
        w.join();
    const double totalMs = Ms(Clock::now() - t0);
    const int answers = ok + failed;

    std::printf("page size                  %zu bytes\n", page.size());
    std::printf("bare fetch (libcurl)       %.3f ms per page (mean of %d)\n", fetchMs, fetches);
    std::printf("analysis alone             %.3f ms per page (parse + Wordweigh, mean of %d)\n",
                analysisMs, analyses);
    std::printf("  of which HTML parser     %.3f ms per page (gumbo alone, mean of %d)\n", parserMs,
                analyses);
    std::printf("through the server         %d answers (%d failed) with %d clients in %.0f ms\n",
                answers, int(failed), clients, totalMs);
    std::printf("                           %.1f answers/s, %.3f ms per answer per client\n",
                answers / (totalMs / 1000.0), totalMs * clients / answers);
    std::printf("analysis share per answer  %.3f ms (target: under 5 ms)\n", analysisMs);
    const double peerMs = PeerMs(page, 10);
    if (peerMs >= 0)
        std::printf("peer analysis (same page)  %.3f ms per page (its own analysis only, node, "
                    "mean of 10)\n",
                    peerMs);
    else
        std::printf("peer analysis (same page)  not measured: run bench/wordweigh/run.sh once to "
                    "install it\n");
    (void)sink;
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    site.stop();
    siteThread.join();
    return failed ? 1 : 0;
}
