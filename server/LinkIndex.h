#pragma once
// The link index: every link to another site seen in the pages the server
// fetched, kept in an SQLite file so that link-back checks find pages that
// no search service names. Each call opens its own connection, in WAL mode
// with a busy time-out, so that many server processes (one per CGI request)
// can share one file.

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
std::vector<SeenLink> ResolvedLinks(std::string_view pageUrl, const PageModel& page,
                                    std::string_view html);

class LinkIndex {
  public:
    explicit LinkIndex(std::string path) : File(std::move(path)) {}
    const std::string& Path() const { return File; }

    // Replaces what the index holds about sourceUrl with its links to other
    // sites. False with a reason when the file cannot be written.
    bool RecordPage(std::string_view sourceUrl, const std::vector<SeenLink>& links,
                    std::string* error = nullptr) const;

    // Pages on record as linking to targetUrl, newest first.
    std::vector<std::string> PagesLinkingTo(std::string_view targetUrl, std::size_t limit,
                                            std::string* error = nullptr) const;

    // Links on record; -1 when the file cannot be read.
    long long LinkCount(std::string* error = nullptr) const;

  private:
    std::string File;
};

} // namespace vantora
