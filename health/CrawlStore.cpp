#include "CrawlStore.h"

#include "CrawlFacts.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vantora::health {

bool StoreCrawl(History& history, const std::string& factsPath, const CheckSettings& settings,
                StoredCrawl& stored, std::string& error) {
    CrawlFacts facts;
    if (!ReadFactsFile(factsPath, facts, error))
        return false;
    if (!facts.Ended) {
        error = "the site mapper's facts file is incomplete";
        return false;
    }
    return StoreCrawl(history, facts, settings, stored, error);
}

namespace {

bool Store(History& history, const CrawlFacts& facts, const CheckSettings& settings,
           StoredCrawl& stored, std::string& error) {
    const Site site(facts);
    const std::vector<Finding> findings = FindIssues(site, settings);
    PageRowSource rows(site);
    std::string why;
    if (!history.Store(NowUtc(), facts.Root, rows, findings, why)) {
        error = "the crawl could not be stored in the crawl history: " + why;
        return false;
    }
    stored = {};
    stored.Urls = facts.Urls.size();
    for (const Finding& finding : findings)
        ++stored.Counts[static_cast<int>(finding.Level)];
    return true;
}

} // namespace

bool StoreCrawl(History& history, const CrawlFacts& facts, const CheckSettings& settings,
                StoredCrawl& stored, std::string& error) {
    const bool kept = Store(history, facts, settings, stored, error);
    // The site's tables, the findings and the link scores are gone by now.
    ReleaseFreedMemory();
    return kept;
}

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace vantora::health
