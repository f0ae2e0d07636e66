#pragma once
// What the Site Health page shows, worked out without a window: counts by
// severity, a score for the site, the checks with findings grouped by
// severity, the affected pages of a check in the order that matters, and the
// trend over every stored crawl.

#include "Compare.h"
#include "History.h"

#include <array>
#include <string>
#include <vector>

namespace vantora::health {

using SeverityCounts = std::array<std::size_t, 3>; // by Severity: errors, warnings, notices

// 100 for a site without errors and warnings; each URL with an error takes
// its share of 100, each URL with warnings (and no error) half its share;
// notices cost nothing. Rounded, never below 0.
int SiteScore(long long urls, long long urlsWithErrors, long long urlsWithWarningsOnly);

struct CheckGroup {
    std::string Check;
    Severity Level = Severity::Notice;
    bool Known = true;     // in the table of checks; an unknown one is shown by its identifier
    std::string Text;      // the table's text, or the identifier
    std::string Advice;    // why it matters and how to fix it; empty when unknown
    std::size_t Count = 0; // findings now (new and same)
    std::size_t New = 0;   // of those, new against the compared crawl
    std::size_t Fixed = 0; // findings of the compared crawl that are gone
};

struct Overview {
    SeverityCounts Counts{};    // findings now
    SeverityCounts NewCounts{}; // of those, new
    int Score = 100;
    // Errors first, then warnings, then notices; within one, most findings first.
    std::vector<CheckGroup> Checks;
};

// The overview of a crawl of urls URLs whose findings (compared or not) are given.
Overview Summarise(const std::vector<ComparedFinding>& findings, long long urls);

enum class PageOrder { LinkScore, Url, Detail, Change };

// The rows of findings that belong to check (all checks when empty), fixed
// ones included unless onlyNew, which keeps new ones only; sorted by order
// (link score: highest first, unknown scores last; ties by URL).
std::vector<std::size_t> AffectedRows(const std::vector<ComparedFinding>& findings,
                                      std::string_view check, bool onlyNew,
                                      PageOrder order = PageOrder::LinkScore,
                                      bool descending = false);

struct TrendPoint {
    CrawlInfo Crawl;
    SeverityCounts Counts{};
    int Score = 100;
};

// Findings by severity and the site score of every stored crawl, oldest first.
std::vector<TrendPoint> Trend(const History& history);

// Which of count points along an axis get a label when at most max fit: the
// first, the last, and evenly spaced ones between, in order.
std::vector<std::size_t> AxisLabels(std::size_t count, std::size_t max);

} // namespace vantora::health
