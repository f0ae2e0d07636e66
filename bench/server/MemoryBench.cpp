// Serves small pages on 127.0.0.1, starts vantora-server beside them and
// sends it many requests from 4 clients, one in ten hostile (an address that
// does not answer, an overlong address, broken percent escapes, an unknown
// script, junk bytes instead of a request). Prints the server's resident
// memory as the run goes, the mean of the first tenth beside the mean of the
// last tenth, and the growth over the run's second half: a server that runs
// for months must level off.
// Usage: bench_server_memory [path/to/vantora-server] [requests] [-- server options...]

#include "ChildServer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

// Resident memory of a process in kB, from /proc; 0 when it is gone.
long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        std::getline(status, key);
    }
    return 0;
}

// A page of about 6 KB whose words change with n, so the server sees as many
// different pages as a real one does.
std::string PageFor(int n) {
    static const char* words[] = {"garden", "tools",   "spade",   "fork",   "hoe",
                                  "soil",   "winter",  "blade",   "handle", "shed",
                                  "season", "growers", "compost", "rake",   "barrow"};
    std::string html = "<!DOCTYPE html><html lang=\"en\"><head><title>Garden tools " +
                       std::to_string(n) +
                       "</title><meta name=\"description\" content=\"Tools chosen by growers, "
                       "page " +
                       std::to_string(n) + ".\"></head><body><h1>Garden tools</h1>";
    for (int p = 0; p < 12; ++p) {
        html += "<h2>Part " + std::to_string(p) + "</h2><p>";
        for (int i = 0; i < 60; ++i)
            html += std::string(words[(n * 7 + p * 5 + i) % 15]) + (i % 12 == 11 ? ". " : " ");
        html += "</p><img src=\"i" + std::to_string(p) + ".jpg\"><a href=\"/p" +
                std::to_string(n + p) + "\">part " + std::to_string(p) + "</a>";
    }
    return html + "</body></html>";
}

// Junk bytes on a raw connection, then the connection dropped.
void SendJunk(int port, int n) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        std::string junk = "\x16\x03\x01 GET /cgi-bin/zeph/" + std::string(300 + n % 700, '\xff');
        (void)!write(fd, junk.data(), junk.size());
        // The junk ends here; the server answers or drops it without waiting
        // for more, and the bench waits at most two seconds.
        shutdown(fd, SHUT_WR);
        timeval wait{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buf[256];
        (void)!read(fd, buf, sizeof buf);
    }
    close(fd);
}

} // namespace

int main(int argc, char** argv) {
    std::string program = argc > 1 ? argv[1] : "";
    if (program.empty()) {
        const char* bin = std::getenv("VANTORA_BIN_DIR");
        program = std::string(bin ? bin : ".") + "/vantora-server";
    }
    const int total = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 100000;
    std::vector<std::string> serverArgs = {program,     "--listen", "127.0.0.1:0",
                                           "--workers", "8",        "--allow-private"};
    for (int i = 3; i < argc; ++i)
        if (std::string(argv[i]) != "--")
            serverArgs.push_back(argv[i]);
    const int clients = 4;

    httplib::Server site;
    site.Get(R"(/p(\d+)\.html)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(PageFor(std::atoi(req.matches[1].str().c_str())), "text/html");
    });
    const int sitePort = site.bind_to_any_port("127.0.0.1");
    std::thread siteThread([&] { site.listen_after_bind(); });

    const vantora::bench::ChildServer started = vantora::bench::StartChildServer(serverArgs);
    const pid_t child = started.Pid;
    const int serverPort = started.Port;
    const bool up = serverPort > 0;
    if (!up) {
        std::fprintf(stderr, "bench_server_memory: %s did not start\n", program.c_str());
        if (child > 0)
            kill(child, SIGTERM);
        site.stop();
        siteThread.join();
        return 1;
    }

    const std::string site0 = "http://127.0.0.1:" + std::to_string(sitePort);
    const long startKb = ResidentKb(child);
    std::atomic<int> next{0}, answered{0}, hostile{0};
    std::mutex samplesLock;
    std::vector<long> samples(100, 0); // one per hundredth of the run
    const auto t0 = Clock::now();
    std::vector<std::thread> workers;
    for (int c = 0; c < clients; ++c)
        workers.emplace_back([&] {
            httplib::Client client("127.0.0.1", serverPort);
            client.set_keep_alive(true);
            client.set_read_timeout(30, 0);
            for (int i = next++; i < total; i = next++) {
                const int kind = i % 10;
                std::string target;
                if (kind == 9) {
                    ++hostile;
                    switch ((i / 10) % 5) {
                    case 0: // nothing answers there
                        target = "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=http://"
                                 "127.0.0.1:1/x.html&keywords=garden";
                        break;
                    case 1: // an overlong address
                        target = "/cgi-bin/zeph/text_output/spam-pt.cgi?url=" + site0 + "/" +
                                 std::string(6000 + i % 2000, 'a');
                        break;
                    case 2: // broken escapes and junk in the key words
                        target = "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=" + site0 +
                                 "/p1.html&keywords=%zz%ff%00%" + std::to_string(i);
                        break;
                    case 3: // a script that does not exist
                        target =
                            "/cgi-bin/zeph/text_output/nothing-" + std::to_string(i) + ".cgi?url=x";
                        break;
                    default:
                        SendJunk(serverPort, i);
                        break;
                    }
                } else {
                    const std::string page = site0 + "/p" + std::to_string(i % 5000) + ".html";
                    target = kind % 2 ? "/cgi-bin/zeph/text_output/spam-pt.cgi?url=" + page
                                      : "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=" + page +
                                            "&keywords=garden%20tools";
                }
                if (!target.empty() && !client.Get(target.c_str()))
                    client.stop();
                const int done = ++answered;
                if (done % (total / 100) == 0) {
                    const std::size_t slot = std::size_t(done / (total / 100) - 1);
                    const long kb = ResidentKb(child);
                    std::lock_guard<std::mutex> hold(samplesLock);
                    if (slot < samples.size())
                        samples[slot] = kb;
                }
            }
        });
    for (auto& w : workers)
        w.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();

    auto mean = [&](std::size_t from, std::size_t to) {
        double sum = 0;
        int n = 0;
        for (std::size_t i = from; i < to; ++i)
            if (samples[i] > 0) {
                sum += double(samples[i]);
                ++n;
            }
        return n ? sum / n / 1024.0 : 0.0;
    };
    long peak = 0;
    for (long kb : samples)
        peak = std::max(peak, kb);
    std::printf("requests                   %d (%d hostile) from %d clients in %.0f s\n",
                int(answered), int(hostile), clients, seconds);
    std::printf("server options            ");
    for (std::size_t i = 1; i < serverArgs.size(); ++i)
        std::printf(" %s", serverArgs[i].c_str());
    std::printf("\nresident memory at start   %.1f MB\n", startKb / 1024.0);
    for (int tenth = 1; tenth <= 10; ++tenth)
        std::printf("  after %3d%%               %.1f MB\n", tenth * 10,
                    samples[std::size_t(tenth * 10 - 1)] / 1024.0);
    const double first = mean(0, 10), last = mean(90, 100), middle = mean(45, 55);
    std::printf("first tenth (mean)         %.1f MB\n", first);
    std::printf("last tenth (mean)          %.1f MB\n", last);
    std::printf("peak                       %.1f MB\n", peak / 1024.0);
    std::printf("second half growth         %+.1f MB (middle tenth %.1f MB to last tenth)\n",
                last - middle, middle);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    site.stop();
    siteThread.join();
    return 0;
}
