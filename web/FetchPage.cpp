#include "FetchPage.h"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace vantora {

namespace {

bool V4NonPublic(std::uint32_t a) {
    const auto in = [a](std::uint32_t net, int bits) {
        const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t(0) << (32 - bits);
        return (a & mask) == net;
    };
    return in(0x00000000, 8) ||  // 0.0.0.0/8
           in(0x0A000000, 8) ||  // 10/8
           in(0x64400000, 10) || // 100.64/10
           in(0x7F000000, 8) ||  // 127/8
           in(0xA9FE0000, 16) || // 169.254/16
           in(0xAC100000, 12) || // 172.16/12
           in(0xC0000000, 24) || // 192.0.0/24
           in(0xC0A80000, 16) || // 192.168/16
           in(0xC6120000, 15) || // 198.18/15
           in(0xE0000000, 4) ||  // multicast
           in(0xF0000000, 4);    // reserved and broadcast
}

bool V6NonPublic(const unsigned char* b) {
    static const unsigned char zero[16] = {};
    if (std::memcmp(b, zero, 15) == 0 && (b[15] == 0 || b[15] == 1))
        return true; // :: and ::1
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    static const unsigned char nat64[12] = {0, 0x64, 0xFF, 0x9B, 0, 0, 0, 0, 0, 0, 0, 0};
    if (std::memcmp(b, mapped, 12) == 0 || std::memcmp(b, nat64, 12) == 0 ||
        std::memcmp(b, zero, 12) == 0) {
        const std::uint32_t v4 =
            (std::uint32_t(b[12]) << 24) | (b[13] << 16) | (b[14] << 8) | b[15];
        return V4NonPublic(v4);
    }
    if ((b[0] & 0xFE) == 0xFC)
        return true; // fc00::/7 unique local
    if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80)
        return true; // fe80::/10 link-local
    if (b[0] == 0xFE && (b[1] & 0xC0) == 0xC0)
        return true; // fec0::/10 old site-local
    if (b[0] == 0xFF)
        return true; // multicast
    return false;
}

std::string NumericAddress(const sockaddr* sa) {
    char text[INET6_ADDRSTRLEN] = {};
    if (sa->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
    else if (sa->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, text,
                  sizeof text);
    return text;
}

std::atomic<bool> Cancelled{false};

int Progress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return Cancelled.load(std::memory_order_relaxed) ? 1 : 0;
}

struct Transfer {
    const FetchOptions* Options;
    std::string* Body;
    bool Truncated = false;
    bool Refused = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    const std::size_t room = t->Options->MaxBytes - std::min(t->Options->MaxBytes, t->Body->size());
    if (n > room) {
        t->Body->append(data, room);
        t->Truncated = true;
        return 0; // stops the transfer; reported as a write error and kept
    }
    t->Body->append(data, n);
    return n;
}

// Refuses a connection to an address that is not public; curl then tries
// the name's next address, so a name with a private and a public address
// still reaches the public one.
curl_socket_t OpenSocket(void* user, curlsocktype purpose, curl_sockaddr* address) {
    auto* t = static_cast<Transfer*>(user);
    if (purpose == CURLSOCKTYPE_IPCXN && !t->Options->AllowPrivateAddresses) {
        const std::string numeric = NumericAddress(&address->addr);
        const bool nonPublic =
            t->Options->NonPublic ? t->Options->NonPublic(numeric) : IsNonPublicAddress(numeric);
        if (nonPublic) {
            t->Refused = true;
            return CURL_SOCKET_BAD;
        }
    }
    return socket(address->family, address->socktype, address->protocol);
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

void CancelAllFetches() {
    Cancelled.store(true);
}

bool FetchesCancelled() {
    return Cancelled.load();
}

void FetchGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsNonPublicAddress(std::string_view numericAddress) {
    std::string text(numericAddress);
    if (text.size() > 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1)
        return V4NonPublic(ntohl(v4.s_addr));
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1)
        return V6NonPublic(v6.s6_addr);
    return true;
}

namespace {

struct Origin {
    std::string Scheme;
    std::string Host;
    long Port = 0;
};

Origin OriginOf(const std::string& url) {
    Origin origin;
    CURLU* parts = curl_url();
    if (!parts)
        return origin;
    if (curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* part = nullptr;
        if (curl_url_get(parts, CURLUPART_SCHEME, &part, 0) == CURLUE_OK) {
            origin.Scheme = part;
            curl_free(part);
        }
        if (curl_url_get(parts, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
            origin.Host = part;
            curl_free(part);
        }
        if (curl_url_get(parts, CURLUPART_PORT, &part, CURLU_DEFAULT_PORT) == CURLUE_OK) {
            origin.Port = std::strtol(part, nullptr, 10);
            curl_free(part);
        }
    }
    curl_url_cleanup(parts);
    for (char& ch : origin.Host)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return origin;
}

// Whether a request's own headers may go on to where a redirect points: the
// same host and port, and never from https down to http.
bool SameService(const Origin& from, const Origin& to) {
    if (from.Host.empty() || from.Host != to.Host)
        return false;
    if (from.Scheme == "https" && to.Scheme != "https")
        return false;
    return from.Port == to.Port || (from.Scheme == "http" && to.Scheme == "https");
}

} // namespace

FetchResult FetchPage(const std::string& url, const FetchOptions& options) {
    FetchGlobalInit();
    FetchResult result;
    result.FinalUrl = url;
    if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) {
        result.Status = FetchStatus::BadUrl;
        result.Error = "only http and https pages can be analysed";
        return result;
    }
    if (FetchesCancelled()) {
        result.Error = "the server is stopping";
        return result;
    }
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.Error = "the fetcher could not start";
        return result;
    }
    Transfer transfer{&options, &result.Body};
    CURL* c = curl.get();
    // A request with its own headers or a body follows redirects itself, so
    // that the headers stay with their service and a body is never sent twice.
    const bool ownRedirects = !options.Headers.empty() || !options.PostBody.empty();
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, ownRedirects ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, options.MaxRedirects);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.ConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.TotalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, options.UserAgent.c_str());
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, ""); // any encoding curl can decode
    using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;
    auto addHeader = [](HeaderList& list, const std::string& line) {
        // A header line with a line break would smuggle in a second header.
        if (line.find_first_of("\r\n") != std::string::npos)
            return;
        if (curl_slist* grown = curl_slist_append(list.get(), line.c_str())) {
            (void)list.release();
            list.reset(grown);
        }
    };
    HeaderList headers;
    for (const auto& line : options.Headers)
        addHeader(headers, line);
    if (!options.PostBody.empty()) {
        addHeader(headers, "Content-Type: " + options.PostContentType);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, options.PostBody.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(options.PostBody.size()));
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    HeaderList pinned;
    for (const auto& entry : options.Resolve)
        addHeader(pinned, entry);
    if (pinned)
        curl_easy_setopt(c, CURLOPT_RESOLVE, pinned.get());
    // Proxies from the environment are not used: the safety check must see
    // the page's own address.
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);

    const Origin service = OriginOf(url);
    std::string current = url;
    CURLcode code = CURLE_OK;
    for (long hop = 0;; ++hop) {
        curl_easy_setopt(c, CURLOPT_URL, current.c_str());
        result.Body.clear();
        transfer.Truncated = false;
        transfer.Refused = false;
        errorBuffer[0] = 0;
        code = curl_easy_perform(c);
        if (!ownRedirects || code != CURLE_OK)
            break;
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        char* location = nullptr;
        if (status < 300 || status > 399 ||
            curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location) != CURLE_OK || !location)
            break;
        const std::string next = location;
        if (!options.PostBody.empty()) {
            // The body went to the address asked for; sending it on to
            // wherever that points could hand it to someone else.
            result.Status = FetchStatus::HttpError;
            result.HttpCode = status;
            result.FinalUrl = current;
            const Origin to = OriginOf(next);
            result.Error = "the service answered with a redirect to " +
                           (to.Host.empty() ? std::string("another address") : to.Host) +
                           " and the request was not sent again there";
            result.Body.clear();
            return result;
        }
        if (hop + 1 > options.MaxRedirects) {
            result.Status = FetchStatus::Failed;
            result.Error =
                "Maximum (" + std::to_string(options.MaxRedirects) + ") redirects followed";
            result.Body.clear();
            return result;
        }
        if (!SameService(service, OriginOf(next)) && headers) {
            // Off the service's own host the request goes on without its headers.
            curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
            headers.reset();
        }
        current = next;
    }
    result.Truncated = transfer.Truncated;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.HttpCode);
    if (char* effective = nullptr;
        curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        result.FinalUrl = effective;
    if (char* type = nullptr;
        curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        result.ContentType = type;

    const bool read = code == CURLE_OK || (code == CURLE_WRITE_ERROR && transfer.Truncated);
    if (!read && transfer.Refused) {
        // Only when no allowed address answered: a name may also have a public one.
        result.Status = FetchStatus::Refused;
        result.Error = "the page's address is private or local and this server does not fetch "
                       "such addresses";
        result.Body.clear();
        return result;
    }
    if (!read && code == CURLE_ABORTED_BY_CALLBACK) {
        result.Status = FetchStatus::Failed;
        result.Error = "the server is stopping";
        result.Body.clear();
        return result;
    }
    if (!read) {
        result.Status = code == CURLE_URL_MALFORMAT          ? FetchStatus::BadUrl
                        : code == CURLE_UNSUPPORTED_PROTOCOL ? FetchStatus::Refused
                                                             : FetchStatus::Failed;
        result.Error = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
        result.Body.clear();
        return result;
    }
    if (result.HttpCode < 200 || result.HttpCode > 299) {
        result.Status = FetchStatus::HttpError;
        result.Error = "the web server answered with status " + std::to_string(result.HttpCode);
        return result;
    }
    result.Status = FetchStatus::Ok;
    return result;
}

} // namespace vantora
