#pragma once
// Reading a site's XML sitemaps: found through robots.txt's Sitemap: lines,
// else at /sitemap.xml; sitemap indexes and gzip files (told by their bytes)
// are followed, within bounds on files, URLs and bytes.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::webcharter {

struct SitemapLimits {
    std::size_t MaxFiles = 1000;
    std::size_t MaxUrlsPerFile = 50000;
    std::size_t MaxBytes = 50u << 20; // of one file, after decompression
    long TimeoutMs = 20000;
    long ConnectTimeoutMs = 10000;
    std::string UserAgent;
};

struct SitemapFileRead {
    std::string Url;
    long Status = 0;
    std::size_t Urls = 0;
    std::string Note; // why it was not read, or what of it was left out
};

struct SitemapsRead {
    std::vector<SitemapFileRead> Files;
    std::vector<std::string> Urls; // listed page URLs, each once, in the order met
};

// The Sitemap: lines of a robots.txt, as written.
std::vector<std::string> RobotsSitemapLines(std::string_view robots);

// Inflates gzip data to at most maxBytes; cut tells that there was more.
// False when the data is not gzip or is damaged.
bool Gunzip(std::string_view data, std::size_t maxBytes, std::string& out, bool& cut);

struct SitemapDocument {
    bool Index = false;            // a <sitemapindex>
    bool Sitemap = false;          // a <urlset> or <sitemapindex> at all
    std::vector<std::string> Locs; // <loc> texts, entities decoded, trimmed
    bool Cut = false;              // more than the limit of <loc>s
};
SitemapDocument ParseSitemapXml(std::string_view xml, std::size_t maxLocs);

// Reads the sitemaps of the site whose root is rootUrl ("http://host/...").
SitemapsRead ReadSiteSitemaps(const std::string& rootUrl, const SitemapLimits& limits,
                              const std::atomic<bool>* stop);

struct ListedAnswer {
    std::string Url;
    long Status = 0;
    std::string Error;
    std::string Body; // HTML answers of status 200 only
    bool Html = false;
    void* Easy = nullptr; // the finished transfer, for ReadTransferFacts
};

// Fetches URLs that only a sitemap names (GET, redirects not followed, at most
// concurrency at once), handing each answer to each as it comes.
void FetchListedPages(const std::vector<std::string>& urls, const SitemapLimits& limits,
                      int concurrency, std::size_t maxBytes, const std::atomic<bool>* stop,
                      const std::function<void(ListedAnswer&)>& each);

} // namespace vantora::webcharter
