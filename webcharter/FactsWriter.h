#pragma once
// The crawl facts file: one JSON line per fetched URL of the site and per
// HTML page, written as each is done, so nothing is kept per page (the
// layout is described in health/facts-format.md).

#include "PageFacts.h"

#include <curl/curl.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantora::webcharter {

struct FetchFacts {
    long Id = -1;
    std::string Url;
    long Status = 0;
    std::string Error;
    std::string Location;
    long FirstByteMs = -1, TotalMs = -1;
    long long Bytes = 0;
    std::string Type;
    std::string Modified; // YYYY-MM-DDThh:mm:ssZ
    std::string RobotsHeader;
    std::vector<std::string> LinkCanonicals;
    int Depth = -1;
    // Why the URL was fetched: a link led to it, only an XML sitemap lists it, or
    // only a canonical names it.
    enum class Source { Link, Sitemap, Canonical } From = Source::Link;
};

// Fills the answer's facts from a finished transfer: timings, type,
// Last-Modified, X-Robots-Tag and canonical Link headers (resolved against
// Url, which must be set).
void ReadTransferFacts(CURL* easy, FetchFacts& facts);

// A Last-Modified value as YYYY-MM-DDThh:mm:ssZ, or empty when it is no date.
std::string W3cDate(const char* httpDate);

// The targets of Link header values that carry the relation rel ("<url>;
// rel=canonical", "<url>; rel=\"next prev\""), as written, at most eight.
std::vector<std::string> LinkHeaderTargets(std::string_view value, std::string_view rel);
inline std::vector<std::string> LinkHeaderCanonicals(std::string_view value) {
    return LinkHeaderTargets(value, "canonical");
}
// The Link headers of a finished transfer, joined by commas (at most 16, each cut at 1 KB).
std::string LinkHeaders(CURL* easy);

// Records are formatted and written on a thread of the writer's own, in the
// order they are handed over, so the crawl loop only passes them on; they are
// handed over in batches, so the writing thread wakes once for many.
class FactsWriter {
  public:
    FactsWriter() = default;
    ~FactsWriter();
    FactsWriter(const FactsWriter&) = delete;
    FactsWriter& operator=(const FactsWriter&) = delete;

    bool Open(const std::string& path, const std::string& root, std::string& error);
    void Fetch(FetchFacts facts);
    void Page(long id, std::shared_ptr<const PageFacts> facts, std::vector<long> links);
    // What rendering the page in a browser gave: whether it was rendered, timed
    // out, a script error, why not; the facts the scripts changed against the
    // served ones; the site URLs only the rendered document links to.
    void Render(long id, const PageFacts& served, bool rendered, bool timedOut,
                const std::string& error, const std::string& note, const PageFacts* facts,
                const std::vector<long>& renderedLinks);
    void Sitemap(const std::string& url, long status, std::size_t urls, const std::string& note);
    void Listed(const std::string& url);
    // Writes the end record and closes the file; false when any write failed.
    bool Close(std::size_t pages, bool complete, std::string& error);

  private:
    void Line(const std::string& line);
    void WriteFetch(const FetchFacts& facts);
    void WritePage(long id, const PageFacts& facts, const std::vector<long>& links);
    // Adds a job to the batch, which goes to the writing thread once full
    // (waiting while many are still queued).
    void Post(std::function<void()> job);
    void HandOver();
    void Work();
    void StopWriting();

    std::FILE* File = nullptr;
    std::string Path;
    bool Failed = false; // written by the writing thread, read after it ended
    std::string Buffer;  // the line being formatted, on the writing thread
    std::mutex Lock;
    std::condition_variable More, Room;
    std::deque<std::function<void()>> Jobs;
    std::vector<std::function<void()>> Batch; // on the crawl's thread, not yet handed over
    bool Closing = false;
    std::thread Writer;
};

} // namespace vantora::webcharter
