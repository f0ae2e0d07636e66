#include "CrawlState.h"

#include <algorithm>
#include <chrono>

namespace vantora::webcharter {

void Crawl::FetchRobots(const std::string& scheme, const std::string& authority) {
    if (!Options.Robots || Robots.count(authority))
        return;
    RobotsRules& rules = Robots[authority];
    // The first 512 KiB are read and obeyed; the rest of a larger file is not fetched.
    constexpr size_t readLimit = 512 * 1024;
    struct Body {
        std::string Text;
        bool Cut = false;
    } body;
    EasyPtr easy(curl_easy_init());
    const std::string url = scheme + "://" + authority + "/robots.txt";
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    SetCommonOptions(easy.get());
    curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_MAXREDIRS, 5L);
    if (Options.MaxRunSeconds > 0) {
        // the file is read before anything else: it must not outlast the whole run
        const double left = Options.MaxRunSeconds -
                            std::chrono::duration<double>(SteadyClock::now() - Began).count();
        curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS,
                         std::clamp(static_cast<long>(left * 1000), 1L, Options.RequestTimeoutMs));
    }
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(
        easy.get(), CURLOPT_WRITEFUNCTION,
        +[](char* data, size_t size, size_t count, void* user) -> size_t {
            auto* read = static_cast<Body*>(user);
            const size_t length = size * count;
            const size_t room = readLimit - read->Text.size();
            if (length > room) {
                read->Text.append(data, room);
                read->Cut = true;
                return 0; // enough read: ends the transfer
            }
            read->Text.append(data, length);
            return length;
        });
    CURLcode code = curl_easy_perform(easy.get());
    if (code == CURLE_WRITE_ERROR && body.Cut)
        code = CURLE_OK;
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK && status >= 200 && status < 300) {
        if (body.Cut) {
            // a rule cut in the middle is not a rule: keep whole lines only
            const size_t lineEnd = body.Text.find_last_of("\r\n");
            body.Text.resize(lineEnd == std::string::npos ? 0 : lineEnd + 1);
            Note("robots.txt of " + authority +
                 " is larger than 512 KiB; its first 512 KiB are "
                 "obeyed");
        }
        rules = RobotsRules::Parse(body.Text, "webcharter");
        if (rules.RuleCount())
            Note("robots.txt of " + authority + ": " + std::to_string(rules.RuleCount()) +
                 " rule(s) for this crawler");
        return;
    }
    if (code == CURLE_OK && status >= 400 && status < 500)
        return; // no robots.txt: everything is allowed
    if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_CONNECT ||
        code == CURLE_TOO_MANY_REDIRECTS || code == CURLE_UNSUPPORTED_PROTOCOL ||
        code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR)
        return; // the host is not there or not trusted (its pages will say so) or the
                // file is unreachable
    // A server error or no answer: the site's wishes are unknown, so nothing of it is
    // crawled this run, as the robots exclusion standard asks.
    rules = RobotsRules::Parse("User-agent: *\nDisallow: /\n", "webcharter");
    const std::string why = code == CURLE_OK ? "server error " + std::to_string(status)
                                             : std::string(curl_easy_strerror(code));
    RobotsUnreadable.push_back(authority + " (" + why + ")");
    if (status == 0)
        RobotsSilent.insert(authority);
    Note("robots.txt of " + authority + " could not be read (" + why +
         "); nothing there is crawled this run");
}

bool Crawl::RobotsAllow(const Url& url) {
    if (!Options.Robots)
        return true;
    const auto found = Robots.find(url.Authority());
    if (found == Robots.end())
        return true;
    return found->second.Allowed(url.HasQuery ? url.Path + "?" + url.Query : url.Path);
}

} // namespace vantora::webcharter
