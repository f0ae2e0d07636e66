#pragma once
// One crawl seen as a site: the facts of its URLs with what the checks ask of
// them across pages (who links where, where redirects end, which pages are
// indexable, which titles, descriptions and texts repeat, what the XML
// sitemaps list). Built once from the facts; the checks only read it. Its
// tables are keyed by URL index or by 64-bit hashes of texts, never by the
// texts themselves, so a million URLs cost tens of MB here.

#include "CrawlFacts.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::health {

// Where a chain of redirects from one URL leads.
struct Chain {
    std::span<const std::uint32_t> Hops; // the URLs visited, the first one included
    bool Loop = false;                   // a redirect returned to a URL already visited
    bool Outside = false;                // it left the fetched URLs (another site, not fetched)
    std::size_t Redirects() const { return Hops.empty() ? 0 : Hops.size() - 1; }
};

class Site {
  public:
    explicit Site(const CrawlFacts& facts);

    const CrawlFacts& Facts() const { return Crawl; }
    const std::vector<UrlFacts>& Urls() const { return Crawl.Urls; }

    // The fetched URL of that text (normalised), or nothing.
    std::optional<std::size_t> Find(std::string_view url) const;
    // A page found by following links that links to the URL, or empty: the
    // smallest such URL, so the answer does not depend on crawl order.
    std::string_view LinkedFrom(std::size_t url) const { return TextOf(Linkers[url]); }
    bool Linked(std::size_t url) const { return Linkers[url] != None || IsRoot(url); }
    bool IsRoot(std::size_t url) const { return url == Root; }
    // A page found by following links leads to the URL, by a link or through
    // redirects from a linked URL; the linking page, or empty.
    std::string_view ReachedFrom(std::size_t url) const { return TextOf(Reachers[url]); }
    Chain ChainFrom(std::size_t url) const;

    // An HTML page that answered 200 and was found by following links.
    bool IsPage(std::size_t url) const;
    bool NoIndex(std::size_t url) const;
    // A robots meta tag or X-Robots-Tag says nofollow (or none).
    bool NoFollow(std::size_t url) const;
    // The distinct canonicals given by tag and Link header, the page's own URL included.
    std::vector<std::string> CanonicalsOf(std::size_t url) const;
    // Canonical absent or to itself.
    bool SelfCanonical(std::size_t url) const { return SelfCanonicalFlags[url]; }
    bool Indexable(std::size_t url) const { return IndexableFlags[url]; }

    // Another indexable page with the same collapsed title (description, main
    // text), or empty.
    std::string SameTitle(std::size_t url) const { return Titles.Another(*this, url); }
    std::string SameDescription(std::size_t url) const { return Descriptions.Another(*this, url); }
    std::string SameContent(std::size_t url) const { return Contents.Another(*this, url); }

    // No two URLs of the crawl have the same (normalised) text.
    bool UrlsDistinct() const { return Distinct; }

    // Some XML sitemap of the site was read.
    bool HasSitemap() const;
    bool Listed(std::size_t url) const { return ListedFlags[url]; }

  private:
    static constexpr std::uint32_t None = 0xFFFFFFFFu;

    // URLs that share a key (a hash of a collapsed title, description or
    // main text), and for each key its two smallest member URLs of
    // different text.
    struct Groups {
        std::vector<std::uint32_t> Of; // URL -> group, or None
        std::vector<std::uint32_t> Best, Second;
        void Build(const Site& site, std::vector<std::pair<std::uint64_t, std::uint32_t>> keys,
                   const std::vector<bool>& members);
        std::string Another(const Site& site, std::size_t url) const;
    };

    std::string_view TextOf(std::uint32_t url) const {
        return url == None ? std::string_view() : Crawl.Urls[url].Url;
    }
    bool RobotsSay(std::size_t url, std::string_view directive) const;
    bool ComputeSelfCanonical(std::size_t url) const;

    const CrawlFacts& Crawl;
    std::size_t Root = static_cast<std::size_t>(-1);
    bool Distinct = true;
    // URL hash -> index, open addressing (a zero key is an empty slot).
    std::vector<std::uint64_t> Keys;
    std::vector<std::uint32_t> Slots;
    std::vector<std::uint32_t> Linkers, Reachers;
    std::vector<std::uint32_t> ChainStart, HopPool;
    std::vector<std::uint8_t> ChainEnd; // 1: loop, 2: outside
    std::vector<bool> IndexableFlags, SelfCanonicalFlags, ListedFlags;
    Groups Titles, Descriptions, Contents;
};

// The normalised text of an absolute URL (fragment dropped), or the text as
// given when it does not parse.
std::string NormalUrl(std::string_view url);
// Whether the text is certainly its own normal form (checked byte by byte,
// without parsing): sm writes its URLs so, and most lookups take this path.
bool IsNormalUrl(std::string_view url);
// White space collapsed and trimmed.
std::string Collapsed(std::string_view text);
// A short printable excerpt: control characters dropped, at most max code points.
std::string Excerpt(std::string_view text, std::size_t max = 120);

} // namespace vantora::health
