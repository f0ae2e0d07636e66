#pragma once
// Keeping a finished crawl: the facts file sm wrote is read, the checks run
// over it, and the crawl (pages, link scores, findings) goes into the
// project's history in one transaction. The command line and the window's
// Update Site Map both end a crawl through this.

#include "Checks.h"
#include "History.h"

#include <string>

namespace vantora::health {

struct StoredCrawl {
    std::size_t Urls = 0;
    std::size_t Counts[3] = {0, 0, 0}; // findings by severity
};

// False with a one-line reason when the facts cannot be read, are incomplete
// or the history refuses the crawl; the history is then as it was.
bool StoreCrawl(History& history, const std::string& factsPath, const CheckSettings& settings,
                StoredCrawl& stored, std::string& error);
// The same for facts already read (and found complete).
bool StoreCrawl(History& history, const CrawlFacts& facts, const CheckSettings& settings,
                StoredCrawl& stored, std::string& error);

// Gives the memory that big jobs freed back to the system: glibc keeps what
// worker threads free in their arenas, so the program would stay as large as
// its peak. Nothing to do with other C libraries.
void ReleaseFreedMemory();

} // namespace vantora::health
