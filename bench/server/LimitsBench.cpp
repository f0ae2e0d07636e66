// Serves the costly pages (tests/server/AttackPages.h) and a plain 4 MB page
// on 127.0.0.1, starts vantora-server beside them, and prints for each page
// and analysis the answer's time and the server's peak memory above its idle
// size, beside the bare fetch of the same page (the peer: what reading the
// page costs without analysing it). The target: no page of up to 4 MB takes
// more than 2 s or 64 MB above the idle server.
// Usage: bench_server_limits [path/to/vantora-server]
//        bench_server_limits --write DIR [scale]   writes the pages (fuzz seeds)

#include "AttackPages.h"
#include "FetchPage.h"

#include <httplib.h>

#include <algorithm>
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

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// A field of /proc/PID/status in kB ("VmRSS", "VmHWM"), or -1.
long StatusKb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atol(line.c_str() + prefix.size());
    return -1;
}

// Sets the peak back to the current size, so the next peak is one request's.
void ResetPeak(pid_t pid) {
    std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";
}

std::string PlainPage(std::size_t bytes) {
    static const char* words[] = {"garden", "tools", "spade", "fork",   "hoe",  "soil",
                                  "winter", "blade", "shed",  "season", "rake", "compost"};
    std::string html = "<!DOCTYPE html><html><head><title>Garden tools</title><style>.n{color:"
                       "#333}.h{display:none}</style></head><body><nav><ul>";
    for (int i = 0; i < 40; ++i)
        html +=
            "<li><a href=\"/m" + std::to_string(i) + "\">Menu " + std::to_string(i) + "</a></li>";
    html += "</ul></nav><main><h1>Garden tools</h1>";
    for (int n = 0; html.size() < bytes - 200; ++n) {
        html += "<section><h2 class=n>Part " + std::to_string(n) + "</h2><p>";
        for (int i = 0; i < 80; ++i)
            html += std::string(words[(n * 7 + i) % 12]) + (i % 12 == 11 ? ". " : " ");
        html += "<a href=\"/p" + std::to_string(n) +
                "\">more</a></p><img src=i.jpg alt=tools>"
                "</section>";
    }
    return html + "</main></body></html>";
}

bool WritePages(const std::string& dir, double scale) {
    for (const attack::Page& page : attack::Pages(scale)) {
        std::string name = page.Name;
        for (char& c : name)
            if (c == ' ')
                c = '-';
        std::ofstream out(dir + "/attack-" + name + ".html", std::ios::binary);
        out << page.Html;
        if (!out)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--write") == 0)
        return WritePages(argv[2], argc > 3 ? std::atof(argv[3]) : 0.25) ? 0 : 1;
    std::string program = argc > 1 ? argv[1] : "";
    if (program.empty()) {
        const char* bin = std::getenv("VANTORA_BIN_DIR");
        program = std::string(bin ? bin : ".") + "/vantora-server";
    }

    std::vector<attack::Page> pages = attack::Pages();
    pages.push_back({"plain 4 MB page", PlainPage(4u << 20), false});
    httplib::Server site;
    site.Get(R"(/(\d+)\.html)", [&](const httplib::Request& req, httplib::Response& res) {
        const std::size_t i = std::strtoul(req.matches[1].str().c_str(), nullptr, 10);
        // Sent in pieces of known length, which the stand-in site does not
        // compress: the figures are the server's, not the site's.
        if (i < pages.size()) {
            const std::string& html = pages[i].Html;
            res.set_content_provider(
                html.size(), "text/html",
                [&html](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    return sink.write(html.data() + offset, std::min<std::size_t>(length, 65536));
                });
        } else
            res.set_content("<html><body><p>small</p></body></html>", "text/html");
    });
    const int sitePort = site.bind_to_any_port("127.0.0.1");
    std::thread siteThread([&] { site.listen_after_bind(); });

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        if (!freopen("/dev/null", "w", stderr))
            _exit(127);
        // No link index: the figures are the analyses' own.
        setenv("XDG_CONFIG_HOME", "/nonexistent", 1);
        setenv("XDG_DATA_HOME", "/nonexistent", 1);
        execl(program.c_str(), program.c_str(), "--listen", "127.0.0.1:0", "--workers", "2",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    char line[256] = {};
    FILE* out = fdopen(pipeFds[0], "r");
    if (!out || !std::fgets(line, sizeof line, out)) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const char* colon = std::strrchr(line, ':');
    const int serverPort = colon ? std::atoi(colon + 1) : 0;
    httplib::Client client("127.0.0.1", serverPort);
    client.set_read_timeout(120, 0);
    const std::string base = "http://127.0.0.1:" + std::to_string(sitePort) + "/";
    auto ask = [&](const std::string_view script, const std::string& page) {
        const auto started = Clock::now();
        const bool weigh = script == "wordweigh-pt.cgi";
        const auto res =
            client.Get("/cgi-bin/zeph/text_output/" + std::string(script) + "?url=" + base + page +
                       (weigh ? "&keywords=garden%20tools" : ""));
        return std::make_pair(Ms(Clock::now() - started), res ? res->body : std::string());
    };
    ask("spam-pt.cgi", "small.html");
    ask("wordweigh-pt.cgi", "small.html");
    const long idleKb = StatusKb(child, "VmRSS");
    std::printf("idle server: %.1f MB\n", idleKb / 1024.0);
    std::printf("%-26s %8s | %-10s %9s %9s | %-10s %9s %9s | %s\n", "page", "bytes", "analysis",
                "ms", "MB", "analysis", "ms", "MB", "bare fetch ms (peer)");
    double worstMs = 0, worstMb = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string name = std::to_string(i) + ".html";
        vantora::FetchOptions fetch;
        fetch.MaxBytes = 8u << 20;
        const auto fetchStarted = Clock::now();
        vantora::FetchPage(base + name, fetch);
        const double fetchMs = Ms(Clock::now() - fetchStarted);
        std::printf("%-26s %8zu", pages[i].Name, pages[i].Html.size());
        for (const char* script : {"spam-pt.cgi", "wordweigh-pt.cgi"}) {
            ResetPeak(child);
            const long before = StatusKb(child, "VmRSS");
            const auto [ms, body] = ask(script, name);
            const double mb = (StatusKb(child, "VmHWM") - std::min(before, idleKb)) / 1024.0;
            const bool tooComplex = body.find("too complex to analyse") != std::string::npos;
            std::printf(" | %-10s %9.0f %9.1f", tooComplex ? "too cplx" : "analysed", ms, mb);
            worstMs = std::max(worstMs, ms);
            worstMb = std::max(worstMb, mb);
        }
        std::printf(" | %.0f\n", fetchMs);
        std::fflush(stdout);
    }
    std::printf("worst: %.0f ms, %.1f MB above the idle server (target: 2000 ms, 64 MB)\n", worstMs,
                worstMb);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    site.stop();
    siteThread.join();
    return 0;
}
