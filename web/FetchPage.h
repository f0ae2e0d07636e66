#pragma once
// Fetching one web page with libcurl for the analyses: redirects followed
// (http pages that moved to https included), a size cap, time-outs, a clear
// user agent, http and https only, and an optional refusal of private,
// loopback and link-local addresses checked on every connection made, so a
// redirect or a host name that resolves inward cannot get past it. Extra
// headers (a service's key) go only to the host the request was made to:
// a redirect to another host, or from https to http, is followed without
// them.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

struct FetchOptions {
    std::size_t MaxBytes = 4u << 20; // larger pages are cut here
    long ConnectTimeoutMs = 5000;
    long TotalTimeoutMs = 15000;
    long MaxRedirects = 8;
    bool AllowPrivateAddresses = true;
    std::string UserAgent = "vantora-server/1.0 (page analysis; +local)";
    std::vector<std::string> Headers; // extra request headers, "Name: value"
    // When not empty the request is a POST of this body. A POST answered
    // with a redirect is not sent again: the answer is the redirect.
    std::string PostBody;
    std::string PostContentType = "application/json; charset=utf-8";
    // Host names pinned to addresses, "host:port:address[,address...]", as
    // a local set-up may need them.
    std::vector<std::string> Resolve;
    // Which connection addresses count as not public; IsNonPublicAddress
    // when unset.
    std::function<bool(std::string_view numericAddress)> NonPublic;
};

enum class FetchStatus {
    Ok,        // a 2xx answer was read
    HttpError, // the server answered with a status outside 2xx
    Refused,   // the address is not allowed, or the URL is not http/https
    BadUrl,    // the URL cannot be parsed
    Failed     // name resolution, connection, time-out, too many redirects
};

struct FetchResult {
    FetchStatus Status = FetchStatus::Failed;
    long HttpCode = 0;
    std::string FinalUrl;
    std::string ContentType;
    std::string Body;
    bool Truncated = false; // the body was cut at MaxBytes
    std::string Error;      // why it failed, for the log and the answer
};

FetchResult FetchPage(const std::string& url, const FetchOptions& options);

// True for addresses a network-facing server must not reach: loopback,
// private (RFC 1918, unique local), link-local, carrier-grade NAT,
// unspecified, multicast and reserved ranges; IPv4-mapped IPv6 is unwrapped.
// The text is a numeric IPv4 or IPv6 address; anything else counts as not
// public.
bool IsNonPublicAddress(std::string_view numericAddress);

// One-time libcurl set-up; call before starting threads that fetch.
void FetchGlobalInit();

// Ends every fetch in progress (within about a second) and fails every later
// one, for a program that is stopping. Safe in a signal handler.
void CancelAllFetches();
bool FetchesCancelled();

} // namespace vantora
