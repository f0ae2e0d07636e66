#pragma once
// XML sitemaps (sitemaps.org protocol 0.9) of a crawl's indexable pages.

#include "History.h"

#include <string>
#include <vector>

namespace vantora::health {

inline constexpr std::size_t UrlsPerSitemap = 50000;

// Writes the indexable HTML pages of rows (status 200, not noindex, canonical
// to itself or absent) to path, with lastmod where the server gave
// Last-Modified. Over perFile URLs, path becomes a sitemap index and the URLs
// go to numbered files beside it ("sitemap.xml" -> "sitemap-1.xml" ...), which
// the index names under siteFolder (the URL of the folder they will be served
// from, ending in "/"). Each file is written through a temporary file.
// Returns the number of URLs written, or -1 with error.
long long WriteXmlSitemaps(const std::string& path, const std::vector<PageRow>& rows,
                           const std::string& siteFolder, std::string& error,
                           std::size_t perFile = UrlsPerSitemap);

// The XML sitemap of the latest stored crawl's indexable pages at path, the
// numbered files named under the folder of the crawl's root URL. Returns the
// number of URLs written, or -1 with error (no crawl stored, not writable).
long long WriteLatestSitemap(const History& history, const std::string& path, std::string& error);

// True for the pages a sitemap lists and search engines are told of: HTML
// answered 200, not noindex, canonical to itself or absent.
bool Listable(const PageRow& row);

// The latest stored crawl's listable page URLs in batches of at most perBatch,
// each batch one URL a line. Empty, with error, when no crawl is stored.
inline constexpr std::size_t UrlsPerSubmission = 10000;
std::vector<std::string> LatestSubmissionBatches(const History& history, std::string& error,
                                                 std::size_t perBatch = UrlsPerSubmission);

// Text with &, <, >, " and ' written as entities.
std::string XmlEscape(std::string_view text);

} // namespace vantora::health
