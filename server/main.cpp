// vantora-server: answers the analysis requests of the desktop program.
// Standalone: vantora-server [--listen ADDRESS:PORT] [--workers N] ...
// CGI: run by a web server with GATEWAY_INTERFACE set; one request per run.

#include "IndexSite.h"
#include "OffPage.h"
#include "PageText.h"
#include "ServerConfig.h"
#include "Service.h"

#include "HttpFront.h"
#include "Metrics.h"

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
    "  --open                  listen on a network address without [access] tokens:\n"
    "                          anyone who reaches it may use the server\n"
    "  --help                  this text\n"
    "Run with GATEWAY_INTERFACE set (by a web server) it answers one CGI request;\n"
    "then VANTORA_ALLOW_PRIVATE=1 allows private addresses, VANTORA_RECORD_FILE\n"
    "names the record file and VANTORA_CONFIG the configuration file.\n"
    "SIGHUP reads the configuration file again; with an error in it the running\n"
    "configuration stays. GET /healthz checks the link index; GET /metrics gives\n"
    "the counters in the Prometheus text format (to this machine or a token).\n";

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
    // With [access] tokens the web server must pass the Authorization header
    // on (HTTP_AUTHORIZATION); without a valid token nothing is done.
    RequestHead head;
    head.Path = path;
    head.Query = query;
    if (const char* authorization = std::getenv("HTTP_AUTHORIZATION")) {
        const std::string text = authorization;
        head.Authorization = true;
        if (text.size() > 7 && (text.rfind("Bearer ", 0) == 0 || text.rfind("bearer ", 0) == 0))
            head.Bearer = text.substr(7);
    }
    FrontPolicy policy;
    policy.Tokens = config.OffPage->Access.Tokens;
    policy.Exposed = true;
    const int refusal = policy.Tokens.empty() ? 0 : RefusalStatus(head, policy);
    if (refusal != 0) {
        answer.Status = refusal;
        answer.Body = RefusalText(refusal);
        answer.Result = "refused " + std::to_string(refusal);
    } else if (method && std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0) {
        answer.Status = 405;
        answer.Body = "Only GET requests are answered here.<br>";
        answer.Result = "method not allowed";
    } else {
        answer = HandleRequest(path, query, config);
    }
    const char* reason = answer.Status == 200   ? "OK"
                         : answer.Status == 404 ? "Not Found"
                         : answer.Status == 400 ? "Bad Request"
                         : answer.Status == 401 ? "Unauthorized"
                         : answer.Status == 403 ? "Forbidden"
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
    WriteLog(LogLine(path, refusal ? std::string() : answer.Page, answer.Result, ms));
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

// What the start gave that a reload cannot change.
struct StartFacts {
    std::string ConfigFile;
    std::string ListenHost;
    bool Loopback = true;
    bool Open = false;
    std::string Key;
    ServiceConfig Base; // the options from the command line, without the file's settings
};

// The transport's policy for a configuration, or false with the reason.
bool MakePolicy(const OffPageConfig& settings, const StartFacts& facts, FrontPolicy& policy,
                std::string& error) {
    policy = FrontPolicy{};
    policy.Key = facts.Key;
    // The Host names answered for: on loopback the names of this machine, so
    // that a web page whose own name resolves here cannot read the answers;
    // on a network address any, unless the configuration names them.
    if (facts.Loopback || !settings.Hosts.empty()) {
        policy.Hosts = settings.Hosts;
        policy.Hosts.push_back(facts.ListenHost);
        if (facts.Loopback)
            for (const char* name : {"127.0.0.1", "localhost", "::1"})
                policy.Hosts.emplace_back(name);
    }
    policy.Tokens = settings.Access.Tokens;
    policy.Exposed = !facts.Loopback;
    policy.PerTokenPerMinute = settings.Access.PerTokenPerMinute;
    policy.PerAddressPerMinute = settings.Access.PerAddressPerMinute;
    if (policy.Exposed && policy.Tokens.empty() && !facts.Open) {
        error = "listening on " + facts.ListenHost +
                " lets anyone on the network use this server; name tokens in [access] of the "
                "configuration file, or start with --open to serve everyone";
        return false;
    }
    return true;
}

// The configuration in force; a reload swaps it, requests in progress keep
// the one they started with.
std::mutex CurrentLock;
std::shared_ptr<const ServiceConfig> Current;

std::shared_ptr<const ServiceConfig> CurrentConfig() {
    std::lock_guard guard(CurrentLock);
    return Current;
}

void LogIndexSize(const ServiceConfig& config) {
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
}

// Reads the configuration file again; the running one stays when it has an
// error, and the error is logged with its line.
void Reload(const StartFacts& facts, HttpFront& server) {
    ServiceConfig fresh = facts.Base;
    if (!LoadConfiguration(facts.ConfigFile, fresh)) {
        WriteLog("vantora-server: the configuration was not reloaded; the running one stays");
        return;
    }
    FrontPolicy policy;
    std::string error;
    if (!MakePolicy(*fresh.OffPage, facts, policy, error)) {
        WriteLog("vantora-server: " + error);
        WriteLog("vantora-server: the configuration was not reloaded; the running one stays");
        return;
    }
    const std::size_t tokens = policy.Tokens.size();
    server.SetPolicy(std::move(policy));
    {
        std::lock_guard guard(CurrentLock);
        Current = std::make_shared<const ServiceConfig>(std::move(fresh));
    }
    WriteLog("vantora-server: configuration reloaded (" + std::to_string(tokens) +
             (tokens == 1 ? " token)" : " tokens)"));
    LogIndexSize(*CurrentConfig());
}

ServerMetrics Metrics;

// "/healthz": whether the link index answers, for a load balancer.
ServiceAnswer Health(const ServiceConfig& config) {
    ServiceAnswer answer;
    answer.Result = "healthz";
    const auto index = ConfiguredLinkIndex(config);
    std::string error;
    if (index && !index->Check(&error)) {
        answer.Status = 503;
        answer.Body = "unavailable: " + error;
        answer.Result = "healthz: " + error;
    } else {
        answer.Body = index ? "ok" : "ok (no link index)";
    }
    return answer;
}

std::string MetricsText(const ServiceConfig& config) {
    const auto index = ConfiguredLinkIndex(config);
    std::string error;
    const LinkIndexSize size = index ? index->Size(&error) : LinkIndexSize{};
    return Metrics.Text(size.Links, size.Sites, size.Bytes, index && error.empty());
}

} // namespace

int main(int argc, char** argv) {
    // SIGHUP is taken by a thread of its own (standalone), so it is blocked in
    // every thread started from here on, the fetcher's too.
    sigset_t hangup;
    sigemptyset(&hangup);
    sigaddset(&hangup, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &hangup, nullptr);

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
    bool open = false;
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
        } else if (arg == "--open") {
            open = true;
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
    const ServiceConfig base = config;
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

    StartFacts facts;
    facts.ConfigFile = configFile;
    facts.ListenHost = AsciiLower(host);
    facts.Loopback = loopback;
    facts.Open = open;
    facts.Base = base;
    if (!keyFile.empty()) {
        std::string error;
        facts.Key = ReadKeyFile(keyFile, error);
        if (facts.Key.empty()) {
            std::fprintf(stderr, "vantora-server: %s\n", error.c_str());
            return 2;
        }
    }
    HttpFrontOptions options;
    options.Workers = static_cast<int>(workers);
    options.MaxWorkers = static_cast<int>(std::min(workers * 16, 1024L));
    {
        std::string error;
        if (!MakePolicy(*config.OffPage, facts, options.Policy, error)) {
            std::fprintf(stderr, "vantora-server: %s\n", error.c_str());
            return 2;
        }
    }
    if (!loopback && options.Policy.Tokens.empty())
        WriteLog("vantora-server: warning: --open: anyone who can reach " + listen +
                 " may use this server and the outside services' quotas");
    options.OnRefusal = [](const RequestHead& head, int status) {
        Metrics.CountRequest(ToolLabel(head.Path, status), status, 0);
    };
    LogIndexSize(config);
    Current = std::make_shared<const ServiceConfig>(config);
    HttpFront server(
        [](const RequestHead& head) {
            const std::shared_ptr<const ServiceConfig> now = CurrentConfig();
            const auto started = std::chrono::steady_clock::now();
            ServiceAnswer answer;
            bool lines = false;
            if (head.Method == "POST" || head.Path == IndexNowPath) {
                if (head.Method == "POST" && head.Path == IndexNowPath) {
                    answer = HandleIndexNowBatch(head.Body, *now);
                } else {
                    answer.Status = 405;
                    answer.Body = head.Method == "POST"
                                      ? "Only GET requests are answered here.<br>"
                                      : "Page addresses are submitted with POST here.<br>";
                    answer.Result = "method not allowed";
                }
            } else if (head.Path == "/healthz") {
                answer = Health(*now);
            } else if (head.Path == "/metrics") {
                answer.Body = MetricsText(*now);
                answer.Result = "metrics";
                lines = true;
            } else {
                answer = HandleRequest(head.Path, head.Query, *now);
            }
            const auto spent = std::chrono::steady_clock::now() - started;
            const long ms = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(spent).count());
            Metrics.CountRequest(ToolLabel(head.Path, answer.Status), answer.Status,
                                 std::chrono::duration<double>(spent).count());
            if (answer.Result.rfind("not-opened: ", 0) == 0 &&
                answer.Result != "not-opened: key words too long")
                Metrics.CountFetchError();
            WriteLog(LogLine(head.Path, answer.Page, answer.Result, ms));
            // A page's parse leaves tens of megabytes free in this thread's
            // arena; they go back to the system, so that an idle server stays small.
            ::malloc_trim(0);
            return FormatResponse(answer.Status, answer.Body, head.KeepAlive, head.Method == "HEAD",
                                  lines ? "X-Content-Type-Options: nosniff\r\n" : "", lines);
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
    std::thread([&facts, &server, hangup] {
        for (;;) {
            int signal = 0;
            if (sigwait(&hangup, &signal) == 0 && signal == SIGHUP)
                Reload(facts, server);
        }
    }).detach();
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
