#pragma once
// The three analyses that look beyond the page: where it ranks on search
// services, submitting it to submission services, and which pages link back
// to it. Each takes a parsed request and returns the answer text the client
// reads; every outside call of one answer runs at the same time as the
// others, each with its own time-out.

#include "LinkIndex.h"
#include "Service.h"

#include <optional>
#include <string>
#include <vector>

namespace vantora {

struct RankRequest {
    std::string PageUrl;
    std::string Phrase;               // decoded key phrase
    std::vector<std::string> Engines; // answer names ("ALTAVISTA"), in the client's order
    bool Detail = false;
};

struct PostRequest {
    std::string PageUrl;
    std::vector<std::string> Engines; // display names ("AltaVista"), in the client's order
    std::string Title;
    std::string Description;
    std::string Keywords;
    std::string Email;
};

// result: a short outcome for the log.
std::string RankscoutAnswer(const RankRequest& request, const ServiceConfig& config,
                            std::string& result);
std::string EnginepostAnswer(const PostRequest& request, const ServiceConfig& config,
                             const PageFetcher& fetch, std::string& result);
std::string BackwatchAnswer(const std::string& pageUrl, const ServiceConfig& config,
                            const PageFetcher& fetch, std::string& result);

// The link index the configuration names, if any.
std::optional<LinkIndex> ConfiguredLinkIndex(const ServiceConfig& config);

// Puts the links of a fetched HTML page into the index; false with a reason
// when the index cannot be written. Pages that are not HTML are skipped.
bool IndexFetchedPage(const LinkIndex& index, const std::string& url, const FetchResult& page,
                      std::string* error = nullptr);

// A fetcher that also feeds every page it fetches into the index.
PageFetcher IndexingFetcher(PageFetcher inner, LinkIndex index);

} // namespace vantora
