#include "FetchPage.h"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

bool SockaddrNonPublic(const sockaddr* sa) {
    if (sa->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
        return V4NonPublic(ntohl(in->sin_addr.s_addr));
    }
    if (sa->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
        return V6NonPublic(in6->sin6_addr.s6_addr);
    }
    return true;
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

curl_socket_t OpenSocket(void* user, curlsocktype purpose, curl_sockaddr* address) {
    auto* t = static_cast<Transfer*>(user);
    if (purpose == CURLSOCKTYPE_IPCXN && !t->Options->AllowPrivateAddresses &&
        SockaddrNonPublic(&address->addr)) {
        t->Refused = true;
        return CURL_SOCKET_BAD;
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

FetchResult FetchPage(const std::string& url, const FetchOptions& options) {
    FetchGlobalInit();
    FetchResult result;
    result.FinalUrl = url;
    if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) {
        result.Status = FetchStatus::BadUrl;
        result.Error = "only http and https pages can be analysed";
        return result;
    }
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.Error = "the fetcher could not start";
        return result;
    }
    Transfer transfer{&options, &result.Body};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, options.MaxRedirects);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.ConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.TotalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, options.UserAgent.c_str());
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, ""); // any encoding curl can decode
    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    auto addHeader = [&headers](const std::string& line) {
        // A header line with a line break would smuggle in a second header.
        if (line.find_first_of("\r\n") != std::string::npos)
            return;
        if (curl_slist* grown = curl_slist_append(headers.get(), line.c_str())) {
            (void)headers.release();
            headers.reset(grown);
        }
    };
    for (const auto& line : options.Headers)
        addHeader(line);
    if (!options.PostBody.empty()) {
        addHeader("Content-Type: " + options.PostContentType);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, options.PostBody.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(options.PostBody.size()));
        // A redirected POST stays a POST, as the services that accept one expect.
        curl_easy_setopt(c, CURLOPT_POSTREDIR, CURL_REDIR_POST_ALL);
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    // Proxies from the environment are not used: the safety check must see
    // the page's own address.
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, &transfer);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);

    const CURLcode code = curl_easy_perform(c);
    result.Truncated = transfer.Truncated;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.HttpCode);
    if (char* effective = nullptr;
        curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        result.FinalUrl = effective;
    if (char* type = nullptr;
        curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        result.ContentType = type;

    if (transfer.Refused) {
        result.Status = FetchStatus::Refused;
        result.Error = "the page's address is private or local and this server does not fetch "
                       "such addresses";
        result.Body.clear();
        return result;
    }
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && transfer.Truncated)) {
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
