#pragma once
// The Webcharter crawler: maps one site breadth-first with libcurl's multi interface
// and returns the site map lines (without the leading "WEBCHARTER" line).

#include "Renderer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace vantora::webcharter {

struct CrawlOptions {
    std::string SearchUrl; // host + path, "http://" optional
    // Pages listed in the map. Two million: a site of a million pages maps whole,
    // and the URLs kept (below) stay within about a quarter of a gigabyte.
    size_t MaxPages = 2000000;
    size_t MaxDocumentBytes = 10 * 1024 * 1024; // bytes read of one document
    long RequestTimeoutMs = 20000;              // whole time of one request
    long ConnectTimeoutMs = 10000;
    double MaxRunSeconds = 4 * 3600; // whole crawl; 0 means no limit
    int Concurrency = 16;            // transfers at once to the site
    int ExternalConcurrency = 100;   // transfers at once to other hosts
    int PerExternalHost = 2;         // transfers at once to one other host
    // When above 0, at most this many connections at once to any one host: the
    // site's (Concurrency lowered to it) and each other host's.
    int PerHost = 0;
    int ParseThreads = 0; // threads reading pages; 0: one per core
    int MaxDepth = 250;   // the map's reader nests at most 255 levels
    size_t MaxUrlLength = 2048;
    // Bounds on crawler traps (calendars, session ids, relative links that nest
    // for ever): pages of one path that differ only in their query string, and
    // how often one path segment may occur in a path.
    size_t MaxQueryPages = 1000;
    int MaxSegmentRepeats = 3;
    int MaxRedirects = 10;
    // Bounds on memory whatever the site: distinct links kept of one page, distinct
    // URLs kept for the whole crawl, outside links checked.
    size_t MaxLinksPerPage = 10000;
    size_t MaxLinks = 2500000;
    size_t MaxOutsideChecks = 100000;
    bool Robots = true;
    bool CheckExternal = true;
    bool Progress = true;
    bool Verbose = false; // every failed request on the log
    // Each page's links read by both extractors; differences go to the log.
    bool VerifyLinks = false;
    // Sent with every request; robots.txt groups for "webcharter" apply whatever it is.
    std::string UserAgent =
        "Webcharter/1.0 (Vantora site mapper; +https://vantora.app/help/webcharter)";
    // Extra request headers, each "Name: value".
    std::vector<std::string> Headers;
    // Cookies sent from the start, in the Netscape format browsers export; the
    // file is read, never written.
    std::string CookieFile;
    // Politeness towards the site: at most this many requests a second (0: no
    // bound); robots.txt's Crawl-delay for this crawler spaces them further.
    double MaxRequestsPerSecond = 0;
    // A 429 or 503 answer is asked again after its Retry-After (at most this many
    // seconds) or, without one, after 1, 2, 4... seconds, at most RateLimitRetries
    // times; after RefusalsToGiveUp such answers in a row the crawl ends and what
    // is left is reported as not checked.
    double MaxRetryAfterSeconds = 120;
    int RateLimitRetries = 5;
    int RefusalsToGiveUp = 30;
    // Regular expressions (ECMAScript) on the whole URL of a page or file of the
    // site, applied before it is fetched: with Include set, only URLs that match one
    // are fetched; URLs that match an Exclude pattern are not. The root always is.
    std::vector<std::string> Include, Exclude;
    // Certificate authorities trusted for https, as a PEM file; empty: the system's.
    std::string CaFile;
    // When set, the facts of every fetched URL of the site and of its XML
    // sitemaps are written to this file (FactsWriter.h); the map is the same.
    std::string FactsFile;
    // When set, the map is written to this file as it is made (through a temporary
    // file beside it, renamed into place when whole) and CrawlResult::Lines stays
    // empty; otherwise the map is returned in Lines.
    std::string MapFile;
    // When set, the links that were not checked are listed in this file just before
    // the map is written (through a temporary file, as the map): one line each,
    // "STATUS<TAB>URL" as the map writes the URL, STATUS the answer (401, 403,
    // 429, 503) or 0 for a link never asked (the site kept refusing, the time
    // limit, the cap on outside checks, a private address). At most
    // MaxNotCheckedLines lines; a last line "+<TAB>N" counts the rest.
    std::string NotCheckedFile;
    size_t MaxNotCheckedLines = 10000;
    // When set, every answer is kept in this file as it comes (CrawlJournal.h);
    // with Resume, the answers of a journal left there by a crawl of the same root
    // that did not end are used instead of asking the site again. The caller removes
    // the journal once the map is written. At most JournalBytes are kept.
    std::string JournalFile;
    bool Resume = false;
    uint64_t JournalBytes = uint64_t(8) << 30;
    // Pages loaded in headless Chromium for what their scripts add (Rendering.h):
    // none, those that look built by scripts, or every HTML page of the site.
    render::RenderMode Render = render::RenderMode::Off;
    render::RenderOptions RenderWith;
};

struct CrawlResult {
    std::vector<std::string> Lines; // "<ROOT>..." first, "<END>" last
    bool RootReached = false;
    bool Interrupted = false; // Stop was set: the lines are not a complete map
    size_t Pages = 0, Broken = 0, Errors = 0, External = 0, Mail = 0;
    size_t ServerErrors = 0; // the ERROR lines of status 500 and above
    // What the crawl left out and why, one line a reason (page limit, robots.txt,
    // trap bounds...); empty when the map is the whole site.
    std::vector<std::string> LeftOut;
    std::string FactsError; // the facts file could not be written
    std::string MapError;   // the map file could not be written
    size_t Replayed = 0;    // answers taken from the crawl journal, not asked again
};

// Crawls the site and builds its map. Diagnostics, limits hit and progress go to
// log; at the end each line of LeftOut is written there too, after "sm: left out: ". Setting stop
// (from a signal handler, say) ends the crawl soon.
CrawlResult CrawlSite(const CrawlOptions& options, std::ostream& log,
                      const std::atomic<bool>* stop = nullptr);

// Reads a cookie file in the Netscape format (tab-separated domain, subdomains
// flag, path, secure flag, expiry, name, value; "#HttpOnly_" before the domain
// allowed; other "#" lines and blank lines are comments). Fills cookies with its
// cookie lines; false with error naming the first bad line.
bool ReadCookieFile(const std::string& path, std::vector<std::string>& cookies, std::string& error);

// Writes a map file line by line, each with CR LF, into a temporary file beside
// path ("<path>.part") that Close renames into place, so a reader never sees a
// partial map. A writer closed without Close removes its temporary file.
class MapFileWriter {
  public:
    MapFileWriter() = default;
    ~MapFileWriter();
    MapFileWriter(const MapFileWriter&) = delete;
    MapFileWriter& operator=(const MapFileWriter&) = delete;
    bool Open(const std::string& path, std::string& error);
    void Line(const std::string& line);
    bool Close(std::string& error);

  private:
    std::FILE* File = nullptr;
    std::string Path, Temporary;
    bool Failed = false;
};

// Writes lines with CR LF to path through a temporary file beside it that is renamed
// into place, so a reader never sees a partial map. Returns false and fills error.
bool WriteSiteMapFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error);

} // namespace vantora::webcharter
