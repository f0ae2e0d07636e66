#include "HttpFront.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vantora {

namespace {

using Clock = std::chrono::steady_clock;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] + 32) : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] + 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

HeadParse Bad(int status) {
    HeadParse result;
    result.Status = HeadStatus::Bad;
    result.ErrorStatus = status;
    return result;
}

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 429:
        return "Too Many Requests";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 403:
        return "Forbidden";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 421:
        return "Misdirected Request";
    case 414:
        return "URI Too Long";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace

HeadParse ParseRequestHead(std::string_view received) {
    // Find the end of the head: an empty line.
    std::size_t pos = 0;
    std::vector<std::string_view> lines;
    std::size_t headEnd = std::string_view::npos;
    while (pos < received.size()) {
        const std::size_t lf = received.find('\n', pos);
        const std::size_t limit = lines.empty() ? MaxRequestLine : MaxRequestHead;
        if (lf == std::string_view::npos) {
            if (received.size() - pos > limit || received.size() > MaxRequestHead)
                return Bad(lines.empty() ? 414 : 431);
            return {};
        }
        std::string_view line = received.substr(pos, lf - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.find('\r') != std::string_view::npos)
            return Bad(400);
        if (lines.empty() && line.size() > MaxRequestLine)
            return Bad(414);
        if (lf + 1 > MaxRequestHead)
            return Bad(431);
        pos = lf + 1;
        if (line.empty()) {
            if (lines.empty())
                continue; // blank lines before a request are allowed
            headEnd = pos;
            break;
        }
        lines.push_back(line);
    }
    if (headEnd == std::string_view::npos)
        return received.size() > MaxRequestHead ? Bad(431) : HeadParse{};

    // The request line: method, target, version, one blank apart.
    const std::string_view requestLine = lines.front();
    const std::size_t sp1 = requestLine.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || requestLine.find(' ', sp2 + 1) != std::string_view::npos)
        return Bad(400);
    const std::string_view method = requestLine.substr(0, sp1);
    const std::string_view target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = requestLine.substr(sp2 + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return Bad(400);
    if (target.empty() || target.front() != '/')
        return Bad(400);
    for (const char c : target) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
            return Bad(400);
    }
    const std::size_t question = target.find('?');
    if (question != std::string_view::npos &&
        target.find('?', question + 1) != std::string_view::npos)
        return Bad(400);

    bool keepAlive = version == "HTTP/1.1";
    bool haveHost = false;
    bool haveLength = false;
    std::size_t bodyLength = 0;
    RequestHead head;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0 || line.front() == ' ' ||
            line.front() == '\t')
            return Bad(400);
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualsNoCase(name, "Connection")) {
            if (value.find("close") != std::string_view::npos ||
                value.find("Close") != std::string_view::npos)
                keepAlive = false;
            else if (EqualsNoCase(value, "keep-alive"))
                keepAlive = true;
        } else if (EqualsNoCase(name, "Content-Length")) {
            // Digits only, and only one length: anything else could make
            // this server and a proxy before it read different requests.
            if (haveLength || value.empty() || value.size() > 12 ||
                value.find_first_not_of("0123456789") != std::string_view::npos)
                return Bad(400);
            haveLength = true;
            bodyLength = std::stoull(std::string(value));
        } else if (EqualsNoCase(name, "Transfer-Encoding")) {
            return Bad(400);
        } else if (EqualsNoCase(name, "Host")) {
            if (haveHost)
                return Bad(400); // two Host headers: which server is meant is unclear
            haveHost = true;
            head.Host = std::string(value);
        } else if (EqualsNoCase(name, "Origin")) {
            head.Origin = std::string(value);
        } else if (EqualsNoCase(name, "X-Vantora-Key")) {
            head.Key = std::string(value);
        } else if (EqualsNoCase(name, "Authorization")) {
            head.Authorization = true;
            if (value.size() > 7 && EqualsNoCase(value.substr(0, 7), "Bearer "))
                head.Bearer = std::string(Trim(value.substr(7)));
        } else if (EqualsNoCase(name, "X-Forwarded-For")) {
            // A proxy appends the address it saw; earlier ones are the client's word.
            const std::size_t comma = value.rfind(',');
            head.ForwardedFor = std::string(
                Trim(comma == std::string_view::npos ? value : value.substr(comma + 1)));
        }
    }
    if (method != "GET" && method != "HEAD" && method != "POST")
        return Bad(405);
    if (method != "POST" && bodyLength != 0)
        return Bad(400); // only a POST carries a body here
    if (method == "POST" && !haveLength)
        return Bad(411);
    if (bodyLength > MaxRequestBody)
        return Bad(413);

    HeadParse result;
    result.Status = HeadStatus::Complete;
    result.Consumed = headEnd;
    result.BodyLength = bodyLength;
    result.Head = std::move(head);
    result.Head.Method = std::string(method);
    result.Head.Target = std::string(target);
    result.Head.Path = PercentDecode(target.substr(0, question));
    if (question != std::string_view::npos)
        result.Head.Query = std::string(target.substr(question + 1));
    result.Head.KeepAlive = keepAlive;
    return result;
}

std::string FormatResponse(int status, std::string_view body, bool keepAlive, bool headOnly,
                           std::string_view extraHeaders, bool keepLines) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                      "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                      std::to_string(body.size()) +
                      "\r\nCache-Control: no-store\r\nX-Vantora-Server: 1\r\n" +
                      std::string(extraHeaders) +
                      "Connection: " + (keepAlive ? "keep-alive" : "close") + "\r\n\r\n";
    if (!headOnly && keepLines) {
        out.append(body);
    } else if (!headOnly) {
        const std::size_t start = out.size();
        out.append(body);
        std::replace_if(
            out.begin() + std::ptrdiff_t(start), out.end(),
            [](char c) { return c == '\r' || c == '\n'; }, ' ');
    }
    return out;
}

namespace {

// The host part of a Host header or an origin's authority, lower case,
// without port and brackets: "[::1]:47800" is "::1".
std::string HostName(std::string_view authority) {
    std::string host;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        host = std::string(
            authority.substr(1, close == std::string_view::npos ? authority.npos : close - 1));
    } else {
        host = std::string(authority.substr(0, authority.find(':')));
    }
    for (char& c : host)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    while (!host.empty() && host.back() == '.')
        host.pop_back(); // "localhost." names the same host
    return host;
}

bool AllowedHost(std::string_view host, const std::vector<std::string>& hosts) {
    return hosts.empty() || std::find(hosts.begin(), hosts.end(), host) != hosts.end();
}

// Compares without stopping at the first difference, so the time taken
// does not tell how much of a guess was right.
bool SameSecret(std::string_view a, std::string_view b) {
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    return diff == 0;
}

// Whether the query string carries a token: a parameter named for one, or
// one of the configured tokens anywhere in it.
bool TokenInQuery(std::string_view query, const std::vector<std::string>& tokens) {
    if (query.empty())
        return false;
    const std::string decoded = PercentDecode(query, true);
    for (const std::string& token : tokens)
        if (!token.empty() && decoded.find(token) != std::string::npos)
            return true;
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t amp = query.find('&', start);
        if (amp == std::string_view::npos)
            amp = query.size();
        const std::string_view name =
            query.substr(start, std::min(query.find('=', start), amp) - start);
        for (const char* named : {"token", "access_token", "bearer", "auth"})
            if (EqualsNoCase(name, named))
                return true;
        start = amp + 1;
    }
    return false;
}

} // namespace

std::string ClientAddress(const RequestHead& head) {
    return head.PeerLoopback && !head.ForwardedFor.empty() ? head.ForwardedFor : head.Peer;
}

bool DirectlyLocal(const RequestHead& head) {
    return head.PeerLoopback && head.ForwardedFor.empty();
}

int TokenIndex(const RequestHead& head, const FrontPolicy& policy) {
    if (head.Bearer.empty())
        return -1;
    int found = -1;
    // Every token is compared, so the time taken does not tell which one
    // came close.
    for (std::size_t i = 0; i < policy.Tokens.size(); ++i)
        if (SameSecret(head.Bearer, policy.Tokens[i]) && found < 0)
            found = static_cast<int>(i);
    return found;
}

std::string RefusalText(int status) {
    switch (status) {
    case 421:
        return "This server does not answer for that host name.<br>";
    case 400:
        return "Send the server token in an Authorization: Bearer header, never in the "
               "address.<br>";
    case 401:
        return "This server needs a valid server token (Authorization: Bearer).<br>";
    case 429:
        return "Too many requests; please try again in a few seconds.<br>";
    default:
        return "This server answers only the program it belongs to.<br>";
    }
}

int RateLimiter::Take(const std::string& key, long perMinute, double now) {
    if (perMinute <= 0)
        return 0;
    const double capacity = double(perMinute);
    const double rate = capacity / 60.0;
    if (Buckets.size() > 100000) {
        // Forget the buckets that have filled up again; they hold nothing.
        for (auto it = Buckets.begin(); it != Buckets.end();)
            it = it->second.Level + (now - it->second.Updated) * rate >= capacity
                     ? Buckets.erase(it)
                     : std::next(it);
    }
    auto [it, fresh] = Buckets.try_emplace(key);
    Bucket& b = it->second;
    if (fresh)
        b.Level = capacity;
    else
        b.Level = std::min(capacity, b.Level + (now - b.Updated) * rate);
    b.Updated = now;
    if (b.Level >= 1.0) {
        b.Level -= 1.0;
        return 0;
    }
    return std::max(1, int((1.0 - b.Level) / rate + 0.999));
}

void RateLimiter::Clear() {
    Buckets.clear();
}

int RefusalStatus(const RequestHead& head, const FrontPolicy& policy) {
    if (!head.Host.empty() && !AllowedHost(HostName(head.Host), policy.Hosts))
        return 421;
    if (!head.Origin.empty()) {
        // "http://127.0.0.1:47800"; "null" and other schemes are foreign.
        const std::string_view origin = head.Origin;
        const std::size_t sep = origin.find("://");
        const std::string_view scheme = origin.substr(0, sep);
        if (sep == std::string_view::npos || (scheme != "http" && scheme != "https") ||
            policy.Hosts.empty() || !AllowedHost(HostName(origin.substr(sep + 3)), policy.Hosts))
            return 403;
    }
    if (!policy.Key.empty() && !SameSecret(head.Key, policy.Key))
        return 403;
    if (!policy.Tokens.empty() && TokenInQuery(head.Query, policy.Tokens))
        return 400;
    const bool local = DirectlyLocal(head);
    const bool valid = TokenIndex(head, policy) >= 0;
    if (head.Path == "/metrics")
        return local || valid ? 0 : policy.Tokens.empty() ? 403 : 401;
    if (head.Path == "/healthz")
        return 0;
    if (!policy.Tokens.empty() && !valid && (policy.Exposed || !local || head.Authorization))
        return 401;
    return 0;
}

std::string AnswerRequest(const RequestHead& head, const ServiceConfig& config,
                          const PageFetcher& fetch) {
    const ServiceAnswer answer = HandleRequest(head.Path, head.Query, config, fetch);
    return FormatResponse(answer.Status, answer.Body, head.KeepAlive, head.Method == "HEAD");
}

// ------------------------------------------------------------------ server

namespace {

struct Connection {
    int Fd = -1;
    std::string Peer;
    bool PeerLoopback = false;
    std::string Received;
    Clock::time_point Deadline;
    bool Started = false; // a byte of the current request has arrived
};

// The connection's address as text and whether it is a loopback one
// (127.0.0.0/8, ::1, or IPv4 loopback mapped into IPv6).
void PeerOf(const sockaddr_storage& from, Connection& c) {
    char text[INET6_ADDRSTRLEN] = "";
    if (from.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(from);
        ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
        c.PeerLoopback = (ntohl(a.sin_addr.s_addr) >> 24) == 127;
    } else if (from.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(from);
        ::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
        c.PeerLoopback = IN6_IS_ADDR_LOOPBACK(&a.sin6_addr) ||
                         (IN6_IS_ADDR_V4MAPPED(&a.sin6_addr) && a.sin6_addr.s6_addr[12] == 127);
    }
    c.Peer = text;
}

void CloseConnection(Connection& c) {
    if (c.Fd >= 0) {
        ::shutdown(c.Fd, SHUT_RDWR);
        ::close(c.Fd);
    }
    c.Fd = -1;
}

bool SetBlocking(int fd, bool blocking) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

// Sends all of data on a blocking socket with a send time-out.
bool SendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data.remove_prefix(std::size_t(sent));
    }
    return true;
}

} // namespace

struct HttpFront::State {
    Handler Handle;
    HttpFrontOptions Options;
    int Listener = -1;
    int WakeRead = -1;
    int WakeWrite = -1;
    std::atomic<bool> Stopping{false};

    // Requests waiting for a worker, and connections handed back by workers.
    struct Job {
        Connection Conn;
        RequestHead Head;
        Clock::time_point Queued;
    };
    std::mutex Lock;
    std::condition_variable Work;
    std::condition_variable Ended;
    std::deque<Job> Jobs;
    std::vector<Connection> Returned;
    std::shared_ptr<const FrontPolicy> Policy; // under Lock
    RateLimiter Limits;                        // the reading thread's own
    int Threads = 0;
    int Idle = 0;
    std::vector<std::thread> Pool;

    void Wake() {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(WakeWrite, &byte, 1);
    }

    void Enqueue(Connection conn, RequestHead head) {
        {
            std::lock_guard guard(Lock);
            Jobs.push_back({std::move(conn), std::move(head), Clock::now()});
        }
        Work.notify_one();
    }

    // Starts a worker; the base workers stay, extra ones end when idle.
    void StartWorker(bool extra) {
        ++Threads;
        std::thread worker([this, extra] { WorkerLoop(extra); });
        if (extra)
            worker.detach(); // ends by itself when idle; the destructor waits for it
        else
            Pool.push_back(std::move(worker));
    }

    void WorkerLoop(bool extra) {
        std::unique_lock guard(Lock);
        for (;;) {
            ++Idle;
            const bool got = Work.wait_for(guard, std::chrono::seconds(extra ? 5 : 3600),
                                           [this] { return Stopping.load() || !Jobs.empty(); });
            --Idle;
            if (Stopping.load())
                break; // the requests still queued are answered 503 on the way out
            if (!got) {
                if (extra)
                    break;
                continue;
            }
            Job job = std::move(Jobs.front());
            Jobs.pop_front();
            guard.unlock();
            Serve(job);
            guard.lock();
        }
        --Threads;
        Ended.notify_all();
    }

    void Serve(Job& job) {
        Connection& conn = job.Conn;
        std::string answer;
        try {
            answer = Handle(job.Head);
        } catch (...) {
            answer = FormatResponse(503, "The request could not be answered.<br>", false,
                                    job.Head.Method == "HEAD");
            job.Head.KeepAlive = false;
        }
        SetBlocking(conn.Fd, true);
        timeval tv{Options.WriteTimeoutMs / 1000, (Options.WriteTimeoutMs % 1000) * 1000};
        ::setsockopt(conn.Fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        if (!SendAll(conn.Fd, answer) || !job.Head.KeepAlive || Stopping.load()) {
            CloseConnection(conn);
            return;
        }
        SetBlocking(conn.Fd, false);
        {
            std::lock_guard guard(Lock);
            Returned.push_back(std::move(conn));
        }
        Wake();
    }

    // Adds an extra worker when a request has waited for one too long.
    void GrowPool() {
        std::lock_guard guard(Lock);
        if (Jobs.empty() || Idle > 0 || Threads >= Options.MaxWorkers)
            return;
        if (Clock::now() - Jobs.front().Queued >=
            std::chrono::milliseconds(Options.ExtraWorkerDelayMs))
            StartWorker(true);
    }

    // Takes whole requests off the front of the connection's bytes: the
    // first goes to a worker; false when the connection was closed.
    bool TakeRequest(Connection& conn, std::vector<Connection>& keep) {
        const HeadParse parsed = ParseRequestHead(conn.Received);
        if (parsed.Status == HeadStatus::Incomplete) {
            keep.push_back(std::move(conn));
            return true;
        }
        if (parsed.Status == HeadStatus::Bad) {
            // A short answer on a socket that can take it; then the
            // connection ends, whatever it asked for.
            const std::string answer = FormatResponse(
                parsed.ErrorStatus, "The request could not be read.<br>", false, false);
            [[maybe_unused]] const ssize_t n =
                ::send(conn.Fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            CloseConnection(conn);
            return false;
        }
        if (conn.Received.size() < parsed.Consumed + parsed.BodyLength) {
            keep.push_back(std::move(conn)); // the body is still on its way
            return true;
        }
        const bool headOnly = parsed.Head.Method == "HEAD";
        RequestHead head = parsed.Head;
        head.Body = conn.Received.substr(parsed.Consumed, parsed.BodyLength);
        head.Peer = conn.Peer;
        head.PeerLoopback = conn.PeerLoopback;
        std::shared_ptr<const FrontPolicy> policy;
        {
            std::lock_guard guard(Lock);
            policy = Policy;
        }
        int refusal = RefusalStatus(head, *policy);
        std::string extra;
        if (refusal == 0 && !DirectlyLocal(head)) {
            const double now =
                std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
            const int token = TokenIndex(head, *policy);
            int wait = token >= 0 ? Limits.Take("t" + std::to_string(token),
                                                policy->PerTokenPerMinute, now)
                                  : 0;
            if (wait == 0)
                wait = Limits.Take("a" + ClientAddress(head), policy->PerAddressPerMinute, now);
            if (wait > 0) {
                refusal = 429;
                extra = "Retry-After: " + std::to_string(wait) + "\r\n";
            }
        }
        if (refusal == 401)
            extra = "WWW-Authenticate: Bearer realm=\"vantora-server\"\r\n";
        if (refusal != 0) {
            if (Options.OnRefusal)
                Options.OnRefusal(head, refusal);
            Refuse(conn, FormatResponse(refusal, RefusalText(refusal), false, headOnly, extra));
            return false;
        }
        bool full = false;
        {
            std::lock_guard guard(Lock);
            full = Jobs.size() >= Options.MaxQueued;
        }
        if (full) {
            Refuse(conn, Busy(headOnly));
            return false;
        }
        conn.Received.erase(0, parsed.Consumed + parsed.BodyLength);
        conn.Started = !conn.Received.empty();
        conn.Deadline = Clock::now() + std::chrono::milliseconds(Options.RequestTimeoutMs);
        Enqueue(std::move(conn), std::move(head));
        return true;
    }

    static std::string Busy(bool headOnly) {
        return FormatResponse(503, "The server is busy, please try again in a few seconds.<br>",
                              false, headOnly, "Retry-After: 5\r\n");
    }

    // A short answer on a socket that can take it without waiting; then the
    // connection ends.
    static void Refuse(Connection& conn, const std::string& answer) {
        [[maybe_unused]] const ssize_t n =
            ::send(conn.Fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        CloseConnection(conn);
    }
};

HttpFront::HttpFront(Handler handler, HttpFrontOptions options) : S(std::make_unique<State>()) {
    S->Handle = std::move(handler);
    S->Options = options;
    S->Options.Workers = std::max(1, S->Options.Workers);
    S->Options.MaxWorkers = std::max(S->Options.Workers, S->Options.MaxWorkers);
    S->Policy = std::make_shared<const FrontPolicy>(S->Options.Policy);
    int pipeFds[2];
    if (::pipe(pipeFds) == 0) {
        S->WakeRead = pipeFds[0];
        S->WakeWrite = pipeFds[1];
        ::fcntl(S->WakeRead, F_SETFL, O_NONBLOCK);
        ::fcntl(S->WakeWrite, F_SETFL, O_NONBLOCK);
    }
}

HttpFront::~HttpFront() {
    Stop();
    {
        std::lock_guard guard(S->Lock);
        S->Stopping = true;
    }
    S->Work.notify_all();
    for (std::thread& t : S->Pool)
        t.join();
    {
        std::unique_lock guard(S->Lock);
        S->Ended.wait(guard, [this] { return S->Threads == 0; });
    }
    for (auto& job : S->Jobs)
        State::Refuse(job.Conn, FormatResponse(503, "The server is stopping.<br>", false,
                                               job.Head.Method == "HEAD", "Retry-After: 5\r\n"));
    for (auto& conn : S->Returned)
        CloseConnection(conn);
    if (S->Listener >= 0)
        ::close(S->Listener);
    if (S->WakeRead >= 0)
        ::close(S->WakeRead);
    if (S->WakeWrite >= 0)
        ::close(S->WakeWrite);
}

int HttpFront::Bind(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0)
        return -1;
    int bound = -1;
    for (addrinfo* a = found; a && bound < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 512) == 0) {
            sockaddr_storage local{};
            socklen_t length = sizeof local;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
            bound = local.ss_family == AF_INET6
                        ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                        : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
            S->Listener = fd;
            SetBlocking(fd, false);
        } else {
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    return bound;
}

void HttpFront::Stop() {
    S->Stopping = true;
    if (S->WakeWrite >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(S->WakeWrite, &byte, 1);
    }
}

void HttpFront::SetPolicy(FrontPolicy policy) {
    auto next = std::make_shared<const FrontPolicy>(std::move(policy));
    std::lock_guard guard(S->Lock);
    S->Policy = std::move(next);
}

void HttpFront::Run() {
    State& s = *S;
    if (s.Listener < 0 || s.WakeRead < 0)
        return;
    {
        std::lock_guard guard(s.Lock);
        for (int i = 0; i < s.Options.Workers; ++i)
            s.StartWorker(false);
    }
    std::vector<Connection> reading;
    std::vector<pollfd> fds;
    while (!s.Stopping.load()) {
        // Connections handed back after an answer wait for their next request.
        {
            std::lock_guard guard(s.Lock);
            for (Connection& c : s.Returned) {
                // Bytes already here belong to the next request (pipelined).
                c.Started = !c.Received.empty();
                c.Deadline =
                    Clock::now() + std::chrono::milliseconds(c.Started ? s.Options.RequestTimeoutMs
                                                                       : s.Options.KeepAliveMs);
                reading.push_back(std::move(c));
            }
            s.Returned.clear();
        }
        // A pipelined request may already be whole.
        {
            std::vector<Connection> keep;
            for (Connection& c : reading) {
                if (!c.Received.empty() && c.Started)
                    s.TakeRequest(c, keep);
                else
                    keep.push_back(std::move(c));
            }
            reading.swap(keep);
        }

        const auto now = Clock::now();
        auto wait = std::chrono::milliseconds(1000);
        {
            std::lock_guard guard(s.Lock);
            if (!s.Jobs.empty())
                wait = std::chrono::milliseconds(std::max(1, s.Options.ExtraWorkerDelayMs / 2));
        }
        for (const Connection& c : reading)
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::max(c.Deadline - now, Clock::duration::zero())) +
                                      std::chrono::milliseconds(1));

        fds.clear();
        fds.push_back({s.WakeRead, POLLIN, 0});
        const bool room = reading.size() < s.Options.MaxConnections;
        fds.push_back({room ? s.Listener : -1, POLLIN, 0});
        for (const Connection& c : reading)
            fds.push_back({c.Fd, POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), int(wait.count()));
        if (ready < 0 && errno != EINTR)
            break;

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(s.WakeRead, drain, sizeof drain) > 0) {
            }
        }
        std::vector<Connection> keep;
        keep.reserve(reading.size() + 8);
        const auto after = Clock::now();
        for (std::size_t i = 0; i < reading.size(); ++i) {
            Connection& c = reading[i];
            const short events = fds[i + 2].revents;
            if (events & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[16384];
                const ssize_t n = ::recv(c.Fd, buffer, sizeof buffer, 0);
                if (n > 0) {
                    if (!c.Started) {
                        c.Started = true;
                        c.Deadline = after + std::chrono::milliseconds(s.Options.RequestTimeoutMs);
                    }
                    c.Received.append(buffer, std::size_t(n));
                    s.TakeRequest(c, keep);
                    continue;
                }
                if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                    CloseConnection(c);
                    continue;
                }
            }
            if (after >= c.Deadline) {
                // Too slow for its whole request, or idle too long: the
                // connection ends, its slot goes to the next client.
                CloseConnection(c);
                continue;
            }
            keep.push_back(std::move(c));
        }
        reading.swap(keep);

        if (fds[1].revents & POLLIN) {
            for (int accepted = 0; accepted < 64 && reading.size() < s.Options.MaxConnections;
                 ++accepted) {
                sockaddr_storage from{};
                socklen_t fromLength = sizeof from;
                const int fd = ::accept4(s.Listener, reinterpret_cast<sockaddr*>(&from),
                                         &fromLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                const int yes = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                Connection c;
                c.Fd = fd;
                PeerOf(from, c);
                c.Deadline = Clock::now() + std::chrono::milliseconds(s.Options.RequestTimeoutMs);
                c.Started = true;
                reading.push_back(std::move(c));
            }
        }
        s.GrowPool();
    }
    for (Connection& c : reading)
        CloseConnection(c);
    ::close(s.Listener);
    s.Listener = -1;
}

} // namespace vantora
