#include "OutsideServices.h"

#include "Metrics.h"

#include "PageText.h"
#include "Url.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>

namespace vantora {

namespace {

constexpr std::size_t MaxServiceAnswerBytes = 2u << 20;
constexpr int MaxSearchPages = 50;

std::string CleanedError(std::string_view error) {
    return CollapseSpace(RepairUtf8(error.substr(0, 160)));
}

std::string Fill(std::string text, std::string_view name, std::string_view value) {
    const std::string slot = "{" + std::string(name) + "}";
    for (std::size_t pos = text.find(slot); pos != std::string::npos;
         pos = text.find(slot, pos + value.size()))
        text.replace(pos, slot.size(), value);
    return text;
}

std::string HostOf(std::string_view url) {
    const auto parsed = ParseUrl(url);
    return parsed ? parsed->Authority() : std::string(url.substr(0, 80));
}

// The results of one search answer, or a reason when it cannot be read.
bool ReadResults(const SearchBackend& backend, const std::string& body,
                 std::vector<std::string>& urls, std::string& reason) {
    const auto json = nlohmann::json::parse(body, nullptr, false);
    if (json.is_discarded()) {
        reason = "answered with something that is not JSON";
        return false;
    }
    const nlohmann::json::json_pointer pointer(backend.ResultsPointer);
    if (!json.contains(pointer) || !json.at(pointer).is_array()) {
        reason = "answered without a list of results at " + backend.ResultsPointer;
        return false;
    }
    for (const auto& result : json.at(pointer)) {
        if (!result.is_object())
            continue;
        const auto field = result.find(backend.UrlField);
        if (field != result.end() && field->is_string())
            urls.push_back(field->get<std::string>());
    }
    return true;
}

std::string IndexNowStatusText(long code, const SubmitBackend& backend,
                               const std::string& pageUrl) {
    switch (code) {
    case 200:
        return "received";
    case 202:
        return "accepted; the service is still checking the site's key";
    case 400:
        return "the service found the submission malformed (400)";
    case 403: {
        std::string keyFile = backend.KeyLocation;
        if (keyFile.empty()) {
            const auto page = ParseUrl(pageUrl);
            keyFile = (page ? page->Scheme + "://" + page->Authority() : std::string("the site")) +
                      "/" + backend.Key + ".txt";
        }
        return "the service did not accept the key (403): the key file must be at " + keyFile +
               ", holding the key " + backend.Key;
    }
    case 422:
        return "the service refused the page (422): it is not on the host the key belongs to, "
               "or the key does not fit the service's rules";
    case 429:
        return "the service is refusing submissions for now (429, too many requests); try "
               "again later";
    default:
        return "the service answered with status " + std::to_string(code);
    }
}

} // namespace

std::string PercentEncode(std::string_view text) {
    static const char* const Hex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

FetchOptions OutsideCallOptions(const FetchOptions& base, long timeoutSeconds,
                                std::size_t maxBytes) {
    FetchOptions options = base;
    options.TotalTimeoutMs = timeoutSeconds * 1000;
    options.ConnectTimeoutMs = std::min(base.ConnectTimeoutMs, options.TotalTimeoutMs);
    options.MaxBytes = maxBytes;
    options.MaxRedirects = std::min(base.MaxRedirects, 5L);
    options.Headers.clear();
    options.PostBody.clear();
    return options;
}

std::string DescribeFailure(const FetchResult& result, long timeoutSeconds) {
    switch (result.Status) {
    case FetchStatus::Ok:
        return {};
    case FetchStatus::HttpError:
        return "answered with status " + std::to_string(result.HttpCode);
    case FetchStatus::Refused:
        return "its address is private or local, and this server does not call such addresses";
    case FetchStatus::BadUrl:
        return "its address cannot be used (" + CleanedError(result.Error) + ")";
    case FetchStatus::Failed:
        break;
    }
    const std::string lower = AsciiLower(result.Error);
    if (lower.find("timed out") != std::string::npos || lower.find("timeout") != std::string::npos)
        return "did not answer within " + std::to_string(timeoutSeconds) +
               (timeoutSeconds == 1 ? " second" : " seconds");
    if (lower.find("redirect") != std::string::npos)
        return "sent too many redirects";
    return "could not be reached (" + CleanedError(result.Error) + ")";
}

SearchOutcome RunSearch(const SearchBackend& backend, std::string_view query, int wanted,
                        const FetchOptions& base,
                        const std::function<bool(const std::vector<std::string>&)>& enough) {
    SearchOutcome out;
    FetchOptions options = OutsideCallOptions(base, backend.TimeoutSeconds, MaxServiceAnswerBytes);
    options.Headers = backend.Headers;
    const bool pages = backend.UrlTemplate.find("{page}") != std::string::npos ||
                       backend.UrlTemplate.find("{page0}") != std::string::npos ||
                       backend.UrlTemplate.find("{offset}") != std::string::npos;
    const int pageCount =
        pages ? std::min(MaxSearchPages, (wanted + backend.PerPage - 1) / backend.PerPage) : 1;
    const std::string encoded = PercentEncode(query);
    // The pages of one search share a budget of three time-outs, so a
    // service that answers each page slowly cannot hold the answer for long.
    const auto started = std::chrono::steady_clock::now();
    const long budgetMs = backend.TimeoutSeconds * 3000;
    for (int page = 1; page <= pageCount; ++page) {
        const long spentMs =
            static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - started)
                                  .count());
        if (spentMs >= budgetMs) {
            out.Reason = "the search service \"" + backend.Name + "\" took more than " +
                         std::to_string(budgetMs / 1000) + " seconds for " +
                         std::to_string(page - 1) + " pages of results";
            return out;
        }
        options.TotalTimeoutMs = std::min(backend.TimeoutSeconds * 1000, budgetMs - spentMs);
        options.ConnectTimeoutMs = std::min(options.ConnectTimeoutMs, options.TotalTimeoutMs);
        std::string url = Fill(backend.UrlTemplate, "query", encoded);
        url = Fill(url, "page", std::to_string(page));
        url = Fill(url, "page0", std::to_string(page - 1));
        url = Fill(url, "offset", std::to_string((page - 1) * backend.PerPage));
        url = Fill(url, "count", std::to_string(backend.PerPage));
        const FetchResult result = FetchPage(url, options);
        out.HttpCode = result.HttpCode;
        ++OutsideCalls().SearchCalls;
        if (result.Status != FetchStatus::Ok)
            ++OutsideCalls().SearchFailures;
        const std::string where = "the search service \"" + backend.Name + "\" at " + HostOf(url);
        if (result.Status != FetchStatus::Ok) {
            const bool cutByBudget =
                options.TotalTimeoutMs < backend.TimeoutSeconds * 1000 &&
                result.Status == FetchStatus::Failed &&
                AsciiLower(result.Error).find("timed out") != std::string::npos;
            out.Reason = cutByBudget
                             ? where + " took more than " + std::to_string(budgetMs / 1000) +
                                   " seconds for " + std::to_string(page) + " pages of results"
                             : where + " " + DescribeFailure(result, backend.TimeoutSeconds);
            return out;
        }
        if (result.Truncated) {
            out.Reason = where + " answered with more than " +
                         std::to_string(MaxServiceAnswerBytes >> 20) + " MB";
            return out;
        }
        const std::size_t before = out.Urls.size();
        std::string reason;
        if (!ReadResults(backend, result.Body, out.Urls, reason)) {
            out.Reason = where + " " + reason;
            return out;
        }
        if (out.Urls.size() == before)
            break; // no more results
        if (static_cast<int>(out.Urls.size()) >= wanted || (enough && enough(out.Urls)))
            break;
    }
    if (static_cast<int>(out.Urls.size()) > wanted)
        out.Urls.resize(static_cast<std::size_t>(wanted));
    out.Ok = true;
    return out;
}

SubmitOutcome RunIndexNow(const SubmitBackend& backend, const std::vector<std::string>& urls,
                          const FetchOptions& base) {
    SubmitOutcome out;
    FetchOptions options = OutsideCallOptions(base, backend.TimeoutSeconds, 64u << 10);
    options.Headers = backend.Headers;
    const std::string first = urls.empty() ? std::string() : urls.front();
    const auto page = ParseUrl(first);
    nlohmann::json body = {
        {"host", page ? page->Host : std::string()}, {"key", backend.Key}, {"urlList", urls}};
    if (!backend.KeyLocation.empty())
        body["keyLocation"] = backend.KeyLocation;
    options.PostBody = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    const FetchResult result = FetchPage(backend.Endpoint, options);
    ++OutsideCalls().SubmitCalls;
    if (result.Status != FetchStatus::Ok)
        ++OutsideCalls().SubmitFailures;
    out.HttpCode = result.HttpCode;
    const std::string where =
        "the submission service \"" + backend.Name + "\" at " + HostOf(backend.Endpoint);
    if (result.Status != FetchStatus::Ok && result.Status != FetchStatus::HttpError) {
        out.Text = where + " " + DescribeFailure(result, backend.TimeoutSeconds);
        return out;
    }
    out.Ok = result.HttpCode == 200 || result.HttpCode == 202;
    out.Text = where + ": " + IndexNowStatusText(result.HttpCode, backend, first);
    return out;
}

SubmitOutcome RunSubmission(const SubmitBackend& backend, const SubmitRequest& request,
                            const FetchOptions& base) {
    if (backend.Kind == SubmitKind::IndexNow)
        return RunIndexNow(backend, {request.Url}, base);
    SubmitOutcome out;
    FetchOptions options = OutsideCallOptions(base, backend.TimeoutSeconds, 64u << 10);
    options.Headers = backend.Headers;
    std::string url = Fill(backend.UrlTemplate, "url", PercentEncode(request.Url));
    url = Fill(url, "title", PercentEncode(request.Title));
    url = Fill(url, "desc", PercentEncode(request.Description));
    url = Fill(url, "keywords", PercentEncode(request.Keywords));
    url = Fill(url, "email", PercentEncode(request.Email));
    const FetchResult result = FetchPage(url, options);
    ++OutsideCalls().SubmitCalls;
    if (result.Status != FetchStatus::Ok)
        ++OutsideCalls().SubmitFailures;
    out.HttpCode = result.HttpCode;
    const std::string where = "the submission service \"" + backend.Name + "\" at " + HostOf(url);
    if (result.Status != FetchStatus::Ok && result.Status != FetchStatus::HttpError) {
        out.Text = where + " " + DescribeFailure(result, backend.TimeoutSeconds);
        return out;
    }
    out.Ok = result.Status == FetchStatus::Ok;
    out.Text = where + ": " + (out.Ok ? "accepted (status " : "answered with status ") +
               std::to_string(result.HttpCode) + (out.Ok ? ")" : "");
    return out;
}

} // namespace vantora
