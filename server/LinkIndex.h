#pragma once
// The link index: every link to another site seen in the pages the server
// fetched, kept in an SQLite file so that link-back checks find pages that
// no search service names. Each call opens its own connection, in WAL mode
// with a busy time-out, so that many server processes (one per CGI request)
// can share one file. An index setting "postgresql://..." keeps the same
// rows in a PostgreSQL database instead, which several servers share.

#include "PageModel.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantora {

struct SeenLink {
    std::string Target; // absolute URL
    std::string Anchor; // link text, or the image's alternative text
    bool NoFollow = false;
};

// One page's identity for link and rank matching: host without "www.", port,
// path without a trailing slash, and the query; the scheme and fragment do
// not count. Empty when the text is not an http(s) URL.
std::string PageKey(std::string_view url);
// The site part of PageKey: host without "www." and port.
std::string SiteKey(std::string_view url);
// The current time in UTC as "YYYY-MM-DDTHH:MM:SSZ", for "last seen" and
// "verified" times.
std::string UtcStamp();

// The links of a parsed page resolved against its address (and its <base>).
std::vector<SeenLink> ResolvedLinks(std::string_view pageUrl, const PageModel& page);

// The source page as the index keeps it: its URL without fragment and
// without the query parameters that only track visitors or sessions
// (utm_..., gclid, fbclid, session ids), the others in sorted order, so that
// one page read under many query strings stays one page. Empty when not an
// http(s) URL.
std::string SourceKey(std::string_view url);

// How much the index may hold: every client of the server feeds it, so
// each site's share, the whole and the file's size are bounded, and rows
// not seen again for ExpiryDays go.
struct LinkIndexLimits {
    std::size_t MaxPerSite = 10000; // rows whose source is on one site
    std::size_t MaxTotal = 250000;
    long long MaxBytes = 256ll << 20;
    int ExpiryDays = 180;
};

struct LinkIndexSize {
    long long Links = 0;
    long long Sites = 0; // source sites
    long long Bytes = 0; // of the file
};

class LinkIndex {
  public:
    explicit LinkIndex(std::string path, LinkIndexLimits limits = {});
    // The file, or the database address without its password (for logs).
    const std::string& Path() const { return Shown; }
    bool InDatabase() const { return Database; }

    // Replaces what the index holds about sourceUrl with its links to other
    // sites. False with a reason when the file cannot be written.
    bool RecordPage(std::string_view sourceUrl, const std::vector<SeenLink>& links,
                    std::string* error = nullptr) const;

    // Pages on record as linking to targetUrl, newest first.
    std::vector<std::string> PagesLinkingTo(std::string_view targetUrl, std::size_t limit,
                                            std::string* error = nullptr) const;

    // Links on record; -1 when the file cannot be read.
    long long LinkCount(std::string* error = nullptr) const;
    // What the index holds, for the log; zeros with a reason when unreadable.
    LinkIndexSize Size(std::string* error = nullptr) const;
    // Whether the index can be read now (for health checks).
    bool Check(std::string* error = nullptr) const;

  private:
    std::string File;
    std::string Shown;
    bool Database = false;
    LinkIndexLimits Limits;
};

} // namespace vantora
