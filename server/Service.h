#pragma once
// The analysis service without its transport: one request (path and raw
// query string) in, one plain-text answer out. The standalone server and the
// CGI front end both call HandleRequest; tests call it directly.

#include "FetchPage.h"
#include "ServerConfig.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vantora {

struct ServiceConfig {
    FetchOptions Fetch;
    std::string RecordFile; // where stop-bulletin requests are appended; empty = log only
    std::size_t MaxUrlLength = 4096;
    std::size_t MaxKeywordsLength = 512; // code points, after decoding
    // Search and submission services and the link index; none when null.
    std::shared_ptr<const OffPageConfig> OffPage;
};

struct ServiceAnswer {
    int Status = 200;
    std::string Body;
    std::string Page;   // for the log
    std::string Result; // short outcome for the log ("ok 87", "not-opened: ...")
};

using PageFetcher = std::function<FetchResult(const std::string& url, const FetchOptions&)>;

// path: the request path, such as "/cgi-bin/zeph/text_output/spam-pt.cgi";
// rawQuery: the query string exactly as received (not decoded).
ServiceAnswer HandleRequest(std::string_view path, std::string_view rawQuery,
                            const ServiceConfig& config, const PageFetcher& fetch = FetchPage);

// The path of the batch submission, answered to POST only.
inline constexpr std::string_view IndexNowPath = "/cgi-bin/zeph/indexnow-pt.cgi";
inline constexpr std::size_t MaxIndexNowUrls = 10000;

// POST IndexNowPath: body is one page address a line (at most
// MaxIndexNowUrls, http or https), sent to the configured IndexNow service,
// one post for each host among them. The answer is one line that starts
// with what happened: "not-configured: ...", "accepted N: ...",
// "refused STATUS: ..." (the service said no) or "failed: ..." (it could not
// be reached); a body that is not such a list gets 400.
ServiceAnswer HandleIndexNowBatch(std::string_view body, const ServiceConfig& config);

// The analyses on a page already in hand (used by the fuzzer and benchmark).
std::string WordweighAnswer(std::string_view pageUrl, std::string_view keywords,
                            std::string_view html);
std::string StuffwatchAnswer(std::string_view pageUrl, std::string_view html);

// Decodes %XX escapes; '+' stays as it is unless plusIsSpace.
std::string PercentDecode(std::string_view text, bool plusIsSpace = false);

// One log line: "2026-01-31T12:00:00 /path page result 12ms".
std::string LogLine(std::string_view path, std::string_view page, std::string_view result,
                    long milliseconds);

} // namespace vantora
