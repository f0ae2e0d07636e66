#pragma once
// Calls to the search and submission services named in the configuration.
// Every call goes through the page fetcher, so the server's size cap and its
// private-address rule hold for it, with the service's own time-out.

#include "FetchPage.h"
#include "ServerConfig.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

struct SearchOutcome {
    bool Ok = false;               // every page asked for was read
    std::string Reason;            // why not, in words
    std::vector<std::string> Urls; // result URLs in rank order, as far as they were read
    long HttpCode = 0;             // status of the last answer read
};

// Reads result pages until `wanted` results are in, a page comes back empty,
// or `enough` says the caller has what it needs.
SearchOutcome RunSearch(const SearchBackend& backend, std::string_view query, int wanted,
                        const FetchOptions& base,
                        const std::function<bool(const std::vector<std::string>&)>& enough = {});

struct SubmitRequest {
    std::string Url;
    std::string Title;
    std::string Description;
    std::string Keywords;
    std::string Email;
};

struct SubmitOutcome {
    bool Ok = false;
    long HttpCode = 0;
    std::string Text; // what the service said, in words
};

SubmitOutcome RunSubmission(const SubmitBackend& backend, const SubmitRequest& request,
                            const FetchOptions& base);

// Posts urls, all on one host (at most 10,000), to an IndexNow service in
// one request. Ok for 200 and 202; Text says what the answer means.
SubmitOutcome RunIndexNow(const SubmitBackend& backend, const std::vector<std::string>& urls,
                          const FetchOptions& base);

// RFC 3986: everything but unreserved characters percent-encoded.
std::string PercentEncode(std::string_view text);

// The options of one outside call: the server's address rule and user agent,
// the service's time-out and a size cap.
FetchOptions OutsideCallOptions(const FetchOptions& base, long timeoutSeconds,
                                std::size_t maxBytes);

// Why a call failed, in words ("did not answer within 10 seconds").
std::string DescribeFailure(const FetchResult& result, long timeoutSeconds);

} // namespace vantora
