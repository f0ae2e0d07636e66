#include "CrawlStore.h"

#include "CrawlFacts.h"

#include <algorithm>
#include <iterator>
#include <optional>

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
    // The page rows with their link scores go first, and the scores and the
    // order of the rows are let go once written; then the checks run, each
    // check's findings written as it makes them, so the findings of a crawl
    // are never all held (nor the link graph beside them).
    std::optional<PageRowSource> rows(std::in_place, site);
    const std::size_t count = rows->Count();
    std::size_t counts[3] = {0, 0, 0};
    std::string why;
    const bool kept = history.Store(
        NowUtc(), facts.Root, count,
        [&](PageRow& row) {
            if (rows && rows->Next(row))
                return true;
            rows.reset();
            return false;
        },
        [&](const History::FindingWriter& write) {
            return ForEachIssue(site, settings, [&](const FindingView& finding) {
                ++counts[static_cast<int>(finding.Level)];
                return write(finding);
            });
        },
        why);
    if (!kept) {
        error = "the crawl could not be stored in the crawl history: " + why;
        return false;
    }
    stored = {};
    stored.Urls = facts.Urls.size();
    std::copy(std::begin(counts), std::end(counts), stored.Counts);
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
