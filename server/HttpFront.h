#pragma once
// The standalone server's HTTP transport: one thread reads requests from
// every connection at once, each with a deadline for the whole request, and
// hands only complete, well-formed requests to the workers. A client that
// sends slowly therefore holds a connection slot, never a worker; a malformed
// request gets its error answer and the connection is closed. Workers that
// wait long (a page fetched slowly) are joined by extra ones, so answers that
// need no long wait keep flowing.
#include "Service.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantora {

// The parts of a request the service needs.
struct RequestHead {
    std::string Method;
    std::string Target; // as received
    std::string Path;   // percent-decoded, without the query
    std::string Query;  // raw, after the first "?"
    bool KeepAlive = true;
    std::string Host;   // the Host header, empty when there is none
    std::string Origin; // the Origin header, empty when there is none
    std::string Key;    // the X-Vantora-Key header
    // "Authorization: Bearer TOKEN": the token; Authorization tells whether
    // the header was there at all (with any scheme).
    std::string Bearer;
    bool Authorization = false;
    std::string ForwardedFor; // the last address of X-Forwarded-For, as a proxy adds it
    // A POST's body (Content-Length bytes); empty for GET and HEAD.
    std::string Body;
    // Set by the transport: the address the connection came from and
    // whether it is a loopback one.
    std::string Peer;
    bool PeerLoopback = false;
};

// The address a request stands for: the one a proxy on this machine names
// in X-Forwarded-For, else the connection's own. A forwarded address from
// any other peer is not believed, so it cannot dodge the address limit.
std::string ClientAddress(const RequestHead& head);
// Straight from this machine, not through a proxy.
bool DirectlyLocal(const RequestHead& head);

enum class HeadStatus { Incomplete, Complete, Bad };

struct HeadParse {
    HeadStatus Status = HeadStatus::Incomplete;
    RequestHead Head;
    int ErrorStatus = 0;        // for Bad: 400, 405, 411, 413, 414 or 431
    std::size_t Consumed = 0;   // for Complete: the bytes of this request's head
    std::size_t BodyLength = 0; // for Complete: the body's bytes after the head
};

inline constexpr std::size_t MaxRequestLine = 8192;
inline constexpr std::size_t MaxRequestHead = 64 * 1024;
// A POST's body: room for 10,000 page addresses of a typical length.
inline constexpr std::size_t MaxRequestBody = 4u << 20;

// Who may ask: a browser page elsewhere can send requests to a server on
// this machine, and with a name of its own that resolves here (DNS
// rebinding) read the answers too. Hosts: the names a Host header may give
// (without port, lower case; empty accepts any). Key: the secret every
// request must carry in X-Vantora-Key (empty: none needed).
struct FrontPolicy {
    std::vector<std::string> Hosts;
    std::string Key;
    // Bearer tokens of a shared server. When there are any, every request
    // except "/healthz" needs one unless it comes straight from this machine
    // to a server that listens on loopback only (Exposed false).
    std::vector<std::string> Tokens;
    bool Exposed = false;
    // Requests a minute per token and per address (0: no limit); requests
    // straight from this machine are not counted.
    long PerTokenPerMinute = 0;
    long PerAddressPerMinute = 0;
};

// 0 when the request may be answered, else its refusal status: 421 for a
// Host naming another server, 403 for a foreign Origin or a missing or
// wrong key, 400 for a token in the query string, 401 for a missing or
// wrong token, 403 for "/metrics" asked from elsewhere without a token. An
// Origin must name one of Hosts; a request without Origin (not from a
// browser page) passes that check.
int RefusalStatus(const RequestHead& head, const FrontPolicy& policy);
// The index of the request's valid token in policy.Tokens, or -1.
int TokenIndex(const RequestHead& head, const FrontPolicy& policy);
// The refusal's answer text for a RefusalStatus.
std::string RefusalText(int status);

// Requests a minute per key, as buckets that fill evenly: a client may
// send a burst of perMinute, then perMinute/60 a second.
class RateLimiter {
  public:
    // 0 when the request may go, else the seconds to wait (Retry-After).
    int Take(const std::string& key, long perMinute, double nowSeconds);
    void Clear();

  private:
    struct Bucket {
        double Level = 0;
        double Updated = 0;
    };
    std::unordered_map<std::string, Bucket> Buckets;
};

// Reads the request at the start of received (the bytes of a connection so
// far): its request line and header lines up to the empty line. Lines end in
// CR LF or LF; a CR anywhere else, a second "?" in the target, a request line
// over MaxRequestLine, a head over MaxRequestHead, a method other than GET,
// HEAD and POST, a GET or HEAD with a body, a POST without Content-Length
// (411) or with one over MaxRequestBody (413), or Transfer-Encoding make it
// Bad. The body itself is the caller's to wait for (BodyLength bytes).
HeadParse ParseRequestHead(std::string_view received);

// The bytes of one HTTP/1.1 answer, marked with "X-Vantora-Server: 1" so the
// program can tell its own server from another program on the same port.
// The body is plain text on one line: any CR or LF in it is sent as a blank,
// so an answer never holds a line break.
// keepLines sends the body as it is (the metrics, a text of many lines).
std::string FormatResponse(int status, std::string_view body, bool keepAlive, bool headOnly,
                           std::string_view extraHeaders = {}, bool keepLines = false);

// One request through the service, as a worker answers it.
std::string AnswerRequest(const RequestHead& head, const ServiceConfig& config,
                          const PageFetcher& fetch = FetchPage);

struct HttpFrontOptions {
    int Workers = 16;                  // requests worked on at once when none waits long
    int MaxWorkers = 256;              // with the extra workers for requests that wait long
    int RequestTimeoutMs = 10000;      // from the first byte to the end of the request head
    int KeepAliveMs = 2000;            // an idle connection between requests
    int WriteTimeoutMs = 10000;        // one answer's send
    int ExtraWorkerDelayMs = 50;       // a request queued this long gets an extra worker
    std::size_t MaxConnections = 1024; // connections being read
    // Whole requests waiting for a worker; past it a request is answered
    // 503 with Retry-After at once.
    std::size_t MaxQueued = 256;
    FrontPolicy Policy;
    // Told of every request refused before it reached the handler (the
    // metrics count them); runs on the reading thread.
    std::function<void(const RequestHead& head, int status)> OnRefusal;
};

class HttpFront {
  public:
    // Answers a complete request; runs on a worker thread. The log line is
    // the handler's business.
    using Handler = std::function<std::string(const RequestHead& head)>;

    HttpFront(Handler handler, HttpFrontOptions options = {});
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Listens on host:port (port 0: any free port). The port, or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop.
    void Run();
    // Ends Run from any thread or a signal handler. Requests still waiting
    // for a worker are answered 503; the workers finish the answer they
    // are on (the caller ends their fetches) and take no other.
    void Stop();
    // Takes another policy for the requests read from now on (a reloaded
    // configuration); the connections and requests in progress stay.
    void SetPolicy(FrontPolicy policy);

  private:
    struct State;
    std::unique_ptr<State> S;
};

} // namespace vantora
