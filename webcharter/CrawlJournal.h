#pragma once
// The answers of a crawl kept on disk as they come, so that a crawl that was
// stopped, or killed with the machine, can be run again without asking the site
// again for what it had answered: the crawl starts over from its root and each
// request the journal holds an answer for is answered from it. Pages are taken
// strictly in the order they were met, so the map is the one a crawl that never
// stopped makes of the same answers.
//
// The file: the line "VANTORA-CRAWL-JOURNAL 1", the root URL on a line, then
// records, each a 4-byte length, the CRC-32 of the payload and the payload (all
// numbers little-endian). A record cut short or damaged (the process was killed
// while writing it) ends the journal there; the crawl appends after the last whole
// one. Only the answers of the file as it was opened are looked up, so nothing is
// read back that is still in a write buffer.

#include "CompactStore.h"
#include "FactsWriter.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::webcharter {

// One answer as the crawl saw it: what it asked (a page's GET or a check, HEAD or
// GET) and what came back, with the body of an HTML page.
struct RecordedAnswer {
    bool Check = false, Head = false;
    std::string Url;
    int Code = 0; // CURLcode as the crawl took it
    long Status = 0;
    bool Html = true, Truncated = false;
    std::string RedirectUrl, ContentType, PrimaryIp, Error;
    // facts of the transfer, for the facts file
    long FirstByteMs = -1, TotalMs = -1;
    long long DownloadBytes = 0;
    std::string Type, Modified, RobotsHeader;
    std::vector<std::string> LinkCanonicals;
    std::vector<std::string> NextLinks; // rel=next Link headers: pages to crawl
    std::string Body;
};

class CrawlJournal {
  public:
    CrawlJournal() = default;
    ~CrawlJournal();
    CrawlJournal(const CrawlJournal&) = delete;
    CrawlJournal& operator=(const CrawlJournal&) = delete;

    // Opens the journal at path for the crawl of root. With resume, the answers of a
    // journal already there for the same root are kept for Find and new ones are
    // appended after them; otherwise (or for another root) it starts empty, and note
    // says why when a journal was there. Stops taking answers past maxBytes.
    bool Open(const std::string& path, const std::string& root, bool resume, uint64_t maxBytes,
              std::string& note, std::string& error);
    // The answer kept for this request, if any.
    std::optional<RecordedAnswer> Find(bool check, bool head, std::string_view url) const;
    // Appends an answer; false once the journal takes no more (full or a write
    // failed), with the reason in Trouble().
    bool Add(const RecordedAnswer& answer);
    // Hands what was written to the system each second and to the disk every half
    // minute, so a kill loses a second of answers at most and a power cut half a minute.
    void Tick();
    void Flush(bool sync);
    size_t Kept() const { return Offsets.size(); } // answers there when opened
    size_t Added() const { return Appended; }
    const std::string& Trouble() const { return Problem; }

  private:
    static std::string KeyOf(bool check, bool head, std::string_view url);
    std::FILE* File = nullptr;
    std::string Path, Problem;
    KeyIndex Index;                // request -> number of its record
    std::vector<uint64_t> Offsets; // of the records there when opened
    uint64_t Size = 0, MaxBytes = 0;
    size_t Appended = 0;
    bool Closed = false;
    std::chrono::steady_clock::time_point LastFlush, LastSync;
};

} // namespace vantora::webcharter
