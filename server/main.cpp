// vantora-server: answers the analysis requests of the desktop program.
// Standalone: vantora-server [--listen ADDRESS:PORT] [--workers N] ...
// CGI: run by a web server with GATEWAY_INTERFACE set; one request per run.

#include "IndexSite.h"
#include "OffPage.h"
#include "PageText.h"
#include "ServerConfig.h"
#include "Service.h"

#include "HttpFront.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace vantora;

namespace {

std::mutex LogMutex;

void WriteLog(const std::string& line) {
    std::lock_guard lock(LogMutex);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

const char* Usage =
    "Usage: vantora-server [options]\n"
    "  --listen ADDRESS:PORT   where to listen (default 127.0.0.1:47800)\n"
    "  --workers N             requests worked on at once (default 16, 1..256); a\n"
    "                          request that waits long on a page gets an extra one\n"
    "  --allow-private         fetch private, loopback and link-local addresses even\n"
    "                          when listening on a network address\n"
    "  --max-page-bytes N      size cap per fetched page (default 4194304)\n"
    "  --timeout SECONDS       total time allowed per page fetch (default 15)\n"
    "  --record FILE           append stop-bulletin requests to FILE\n"
    "  --key-file FILE         answer only requests whose X-Vantora-Key header holds\n"
    "                          the secret in FILE (readable by its owner only)\n"
    "  --config FILE           search and submission services, link index (TOML;\n"
    "                          default: vantora-server.toml in ~/.config/vantora)\n"
    "  --index-site URL        read the site at URL into the link index and exit\n"
    "  --index-pages N         pages read by --index-site (default 500, 1..100000)\n"
    "  --help                  this text\n"
    "Run with GATEWAY_INTERFACE set (by a web server) it answers one CGI request;\n"
    "then VANTORA_ALLOW_PRIVATE=1 allows private addresses, VANTORA_RECORD_FILE\n"
    "names the record file and VANTORA_CONFIG the configuration file.\n";

bool ParseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || !end || *end || end == text || v < low || v > high)
        return false;
    value = v;
    return true;
}

bool IsLoopbackHost(const std::string& host) {
    if (host == "localhost")
        return true;
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6);
    return false;
}

// Reads the configuration file: the one named, or the default one when it
// exists. Warnings go to standard error; an error stops the server.
bool LoadConfiguration(const std::string& named, ServiceConfig& config) {
    const std::string path = named.empty() ? DefaultConfigPath() : named;
    std::error_code ec;
    auto settings = std::make_shared<OffPageConfig>();
    if (!named.empty() || std::filesystem::exists(path, ec)) {
        const ConfigLoad load = LoadServerConfig(path);
        for (const auto& warning : load.Warnings)
            WriteLog("vantora-server: warning: " + warning);
        if (!load.Ok) {
            WriteLog("vantora-server: " + load.Error);
            return false;
        }
        *settings = load.Config;
    }
    if (settings->LinkIndexPath.empty() && !settings->LinkIndexOff)
        settings->LinkIndexPath = DefaultLinkIndexPath();
    config.OffPage = std::move(settings);
    return true;
}

int RunCgi(const ServiceConfig& config) {
    const char* method = std::getenv("REQUEST_METHOD");
    const std::string script = std::getenv("SCRIPT_NAME") ? std::getenv("SCRIPT_NAME") : "";
    const std::string info = std::getenv("PATH_INFO") ? std::getenv("PATH_INFO") : "";
    const std::string query = std::getenv("QUERY_STRING") ? std::getenv("QUERY_STRING") : "";
    const std::string path = script + info;
    const auto started = std::chrono::steady_clock::now();
    ServiceAnswer answer;
    if (method && std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0) {
        answer.Status = 405;
        answer.Body = "Only GET requests are answered here.<br>";
        answer.Result = "method not allowed";
    } else {
        answer = HandleRequest(path, query, config);
    }
    const char* reason = answer.Status == 200   ? "OK"
                         : answer.Status == 404 ? "Not Found"
                                                : "Method Not Allowed";
    std::printf("Status: %d %s\r\nContent-Type: text/plain; charset=utf-8\r\n"
                "Content-Length: %zu\r\nCache-Control: no-store\r\nX-Vantora-Server: 1\r\n\r\n",
                answer.Status, reason, answer.Body.size());
    if (!method || std::strcmp(method, "HEAD") != 0)
        std::fwrite(answer.Body.data(), 1, answer.Body.size(), stdout);
    std::fflush(stdout);
    const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - started)
                                          .count());
    WriteLog(LogLine(path, answer.Page, answer.Result, ms));
    return 0;
}

HttpFront* RunningServer = nullptr;

void StopOnSignal(int) {
    CancelAllFetches();
    if (RunningServer)
        RunningServer->Stop();
}

// The secret of a key file, or an empty text with the reason in error. The
// file must be the user's own and readable by nobody else.
std::string ReadKeyFile(const std::string& path, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = path + " cannot be read";
        return {};
    }
    if ((info.st_mode & 077) != 0 || info.st_uid != ::getuid()) {
        error = path + " must belong to this user and be readable by nobody else (chmod 600)";
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    std::string key;
    std::getline(in, key);
    while (!key.empty() && (key.back() == '\r' || key.back() == ' '))
        key.pop_back();
    if (key.size() < 16) {
        error = path + " holds no key (16 characters or more)";
        return {};
    }
    return key;
}

} // namespace

int main(int argc, char** argv) {
    FetchGlobalInit();
    ServiceConfig config;
    if (std::getenv("GATEWAY_INTERFACE")) {
        const char* allow = std::getenv("VANTORA_ALLOW_PRIVATE");
        config.Fetch.AllowPrivateAddresses = allow && std::strcmp(allow, "1") == 0;
        if (const char* record = std::getenv("VANTORA_RECORD_FILE"))
            config.RecordFile = record;
        const char* configFile = std::getenv("VANTORA_CONFIG");
        if (!LoadConfiguration(configFile ? configFile : "", config)) {
            std::printf("Status: 500 Internal Server Error\r\nContent-Type: text/plain\r\n\r\n"
                        "The server's configuration file has an error.\n");
            return 1;
        }
        return RunCgi(config);
    }

    std::string listen = "127.0.0.1:47800";
    long workers = 16;
    bool allowPrivate = false;
    std::string configFile;
    std::string keyFile;
    std::string indexSite;
    long indexPages = 500;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vantora-server: %s needs a value\n%s", arg.c_str(), Usage);
                std::exit(2);
            }
            return argv[++i];
        };
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--listen") {
            listen = next();
        } else if (arg == "--workers") {
            if (!ParseNumber(next(), 1, 256, workers)) {
                std::fprintf(stderr, "vantora-server: --workers takes a number from 1 to 256\n");
                return 2;
            }
        } else if (arg == "--allow-private") {
            allowPrivate = true;
        } else if (arg == "--max-page-bytes") {
            if (!ParseNumber(next(), 1024, 256L << 20, number)) {
                std::fprintf(stderr, "vantora-server: --max-page-bytes takes 1024 to 268435456\n");
                return 2;
            }
            config.Fetch.MaxBytes = static_cast<std::size_t>(number);
        } else if (arg == "--timeout") {
            if (!ParseNumber(next(), 1, 600, number)) {
                std::fprintf(stderr, "vantora-server: --timeout takes 1 to 600 seconds\n");
                return 2;
            }
            config.Fetch.TotalTimeoutMs = number * 1000;
            config.Fetch.ConnectTimeoutMs = std::min(config.Fetch.ConnectTimeoutMs, number * 1000);
        } else if (arg == "--record") {
            config.RecordFile = next();
        } else if (arg == "--key-file") {
            keyFile = next();
        } else if (arg == "--config") {
            configFile = next();
        } else if (arg == "--index-site") {
            indexSite = next();
        } else if (arg == "--index-pages") {
            if (!ParseNumber(next(), 1, 100000, indexPages)) {
                std::fprintf(stderr, "vantora-server: --index-pages takes 1 to 100000\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "vantora-server: unknown option %s\n%s", arg.c_str(), Usage);
            return 2;
        }
    }

    const auto colon = listen.rfind(':');
    long port = 0;
    std::string host = colon == std::string::npos ? std::string() : listen.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (colon == std::string::npos || host.empty() ||
        !ParseNumber(listen.c_str() + colon + 1, 0, 65535, port)) {
        std::fprintf(stderr,
                     "vantora-server: --listen takes ADDRESS:PORT, such as 127.0.0.1:47800\n");
        return 2;
    }
    const bool loopback = IsLoopbackHost(host);
    config.Fetch.AllowPrivateAddresses = loopback || allowPrivate;
    if (!LoadConfiguration(configFile, config))
        return 2;
    if (!indexSite.empty()) {
        if (config.OffPage->LinkIndexPath.empty()) {
            std::fprintf(stderr, "vantora-server: the configuration turns the link index off\n");
            return 2;
        }
        IndexSiteOptions options;
        options.StartUrl = indexSite;
        options.MaxPages = static_cast<std::size_t>(indexPages);
        options.Fetch = config.Fetch;
        const LinkIndex index(config.OffPage->LinkIndexPath);
        const IndexSiteResult result = IndexSite(options, index, std::cerr);
        if (!result.Ok) {
            std::fprintf(stderr, "vantora-server: %s\n", result.Error.c_str());
            return 1;
        }
        std::printf("%zu pages read, %zu not read; %s holds %lld links\n", result.Pages,
                    result.Failed, index.Path().c_str(), result.Links);
        return 0;
    }

    // A long-running server's memory must level off. glibc gives busy
    // threads malloc arenas of their own and keeps what they free; with many
    // workers coming and going that reads as slow growth. Few arenas and a
    // periodic trim give the freed memory back.
    mallopt(M_ARENA_MAX, 2);
    std::thread([] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(5));
            malloc_trim(0);
        }
    }).detach();

    HttpFrontOptions options;
    options.Workers = static_cast<int>(workers);
    options.MaxWorkers = static_cast<int>(std::min(workers * 16, 1024L));
    if (!keyFile.empty()) {
        std::string error;
        options.Policy.Key = ReadKeyFile(keyFile, error);
        if (options.Policy.Key.empty()) {
            std::fprintf(stderr, "vantora-server: %s\n", error.c_str());
            return 2;
        }
    }
    // The Host names answered for: on loopback the names of this machine, so
    // that a web page whose own name resolves here cannot read the answers;
    // on a network address any, unless the configuration names them.
    std::string listenHost = AsciiLower(host);
    const std::vector<std::string>& named = config.OffPage->Hosts;
    if (loopback || !named.empty()) {
        options.Policy.Hosts = named;
        options.Policy.Hosts.push_back(listenHost);
        if (loopback)
            for (const char* name : {"127.0.0.1", "localhost", "::1"})
                options.Policy.Hosts.emplace_back(name);
    }
    if (const auto index = ConfiguredLinkIndex(config)) {
        std::string error;
        const LinkIndexSize size = index->Size(&error);
        WriteLog(LogLine("link-index", index->Path(),
                         error.empty() ? std::to_string(size.Links) + " links from " +
                                             std::to_string(size.Sites) + " sites, " +
                                             std::to_string(size.Bytes / 1024) + " KB"
                                       : error,
                         0));
    }
    HttpFront server(
        [&config](const RequestHead& head) {
            const auto started = std::chrono::steady_clock::now();
            const ServiceAnswer answer = HandleRequest(head.Path, head.Query, config);
            const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - started)
                                                  .count());
            WriteLog(LogLine(head.Path, answer.Page, answer.Result, ms));
            // A page's parse leaves tens of megabytes free in this thread's
            // arena; they go back to the system, so that an idle server stays small.
            ::malloc_trim(0);
            return FormatResponse(answer.Status, answer.Body, head.KeepAlive,
                                  head.Method == "HEAD");
        },
        options);

    const int boundPort = server.Bind(host, static_cast<int>(port));
    if (boundPort < 0) {
        std::fprintf(stderr, "vantora-server: cannot listen on %s\n", listen.c_str());
        return 1;
    }
    // The port line lets a starter that asked for port 0 learn the port.
    std::printf("vantora-server listening on %s:%d%s\n", host.c_str(), boundPort,
                config.Fetch.AllowPrivateAddresses ? "" : " (private addresses refused)");
    std::fflush(stdout);
    RunningServer = &server;
    std::signal(SIGTERM, StopOnSignal);
    std::signal(SIGINT, StopOnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    server.Run();
    // The workers end the answers they are on: their fetches are cancelled
    // and an analysis has its budget. Should one still hang, the process
    // ends anyway, two seconds after it was asked to.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1800));
        WriteLog("vantora-server: answers still in progress were ended");
        std::_Exit(0);
    }).detach();
    return 0;
}
