#pragma once
// One crawl seen as a site: the facts of its URLs with what the checks ask of
// them across pages (who links where, where redirects end, which pages are
// indexable, which titles, descriptions and texts repeat, what the XML
// sitemaps list). Built once from the facts; the checks only read it.

#include "CrawlFacts.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vantora::health {

// Where a chain of redirects from one URL leads.
struct Chain {
    std::vector<std::size_t> Hops; // the URLs visited, the first one included
    bool Loop = false;             // a redirect returned to a URL already visited
    bool Outside = false;          // it left the fetched URLs (another site, not fetched)
    std::size_t Redirects() const { return Hops.empty() ? 0 : Hops.size() - 1; }
};

class Site {
  public:
    explicit Site(const CrawlFacts& facts);

    const CrawlFacts& Facts() const { return Crawl; }
    const std::vector<UrlFacts>& Urls() const { return Crawl.Urls; }

    // The fetched URL of that text (normalised), or nothing.
    std::optional<std::size_t> Find(const std::string& url) const;
    // A page found by following links that links to the URL, or empty: the
    // smallest such URL, so the answer does not depend on crawl order.
    const std::string& LinkedFrom(std::size_t url) const;
    bool Linked(std::size_t url) const { return !LinkedFrom(url).empty() || IsRoot(url); }
    bool IsRoot(std::size_t url) const { return url == Root; }
    // A page found by following links leads to the URL, by a link or through
    // redirects from a linked URL; the linking page, or empty.
    const std::string& ReachedFrom(std::size_t url) const;
    const Chain& ChainFrom(std::size_t url) const { return Chains[url]; }

    // An HTML page that answered 200 and was found by following links.
    bool IsPage(std::size_t url) const;
    bool NoIndex(std::size_t url) const;
    // A robots meta tag or X-Robots-Tag says nofollow (or none).
    bool NoFollow(std::size_t url) const;
    // The distinct canonicals given by tag and Link header, the page's own URL included.
    std::vector<std::string> CanonicalsOf(std::size_t url) const;
    // Canonical absent or to itself.
    bool SelfCanonical(std::size_t url) const;
    bool Indexable(std::size_t url) const { return IndexableFlags[url]; }

    // Another indexable page with the same collapsed title (description, main
    // text), or empty.
    std::string SameTitle(std::size_t url) const;
    std::string SameDescription(std::size_t url) const;
    std::string SameContent(std::size_t url) const;

    // Some XML sitemap of the site was read.
    bool HasSitemap() const;
    bool Listed(std::size_t url) const { return ListedFlags[url]; }

  private:
    bool RobotsSay(std::size_t url, std::string_view directive) const;
    std::string Another(const std::unordered_map<std::string, std::vector<std::size_t>>& groups,
                        const std::string& key, std::size_t url) const;

    const CrawlFacts& Crawl;
    std::size_t Root = static_cast<std::size_t>(-1);
    std::unordered_map<std::string, std::size_t> ByUrl;
    std::vector<std::string> Linkers, Reachers;
    std::vector<Chain> Chains;
    std::vector<bool> IndexableFlags, ListedFlags;
    std::unordered_map<std::string, std::vector<std::size_t>> Titles, Descriptions, Contents;
};

// The normalised text of an absolute URL (fragment dropped), or the text as
// given when it does not parse.
std::string NormalUrl(const std::string& url);
// White space collapsed and trimmed.
std::string Collapsed(const std::string& text);
// A short printable excerpt: control characters dropped, at most max code points.
std::string Excerpt(const std::string& text, std::size_t max = 120);

} // namespace vantora::health
