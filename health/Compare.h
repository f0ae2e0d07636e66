#pragma once
// Two crawls side by side: findings compared by check and URL (new, fixed,
// same), and pages compared field by field.

#include "Checks.h"
#include "History.h"

#include <functional>
#include <string>
#include <vector>

namespace vantora::health {

enum class Change { New, Fixed, Same };
std::string_view ChangeName(Change change);

struct ComparedFinding {
    Finding Item;
    Change How = Change::Same;
};

// now and before sorted by check then URL; the result is too. A finding of
// before that no longer occurs is Fixed (with its old detail); a changed
// detail is Same (with the new one).
std::vector<ComparedFinding> CompareFindings(const std::vector<Finding>& now,
                                             const std::vector<Finding>& before);
// The same over two readers (each fills the next finding and returns false at
// the end, as History::FindingReader does): one finding of each is held at a
// time, and each comes out once, moved, so comparing holds no more than the
// result.
void CompareFindings(const std::function<bool(Finding&)>& now,
                     const std::function<bool(Finding&)>& before,
                     const std::function<void(ComparedFinding&&)>& out);

// The findings of the crawl latest in the history, compared with those of
// the crawl before (an id; 0 compares with none and every finding is Same).
// Both are read and compared as they come, sharing each URL's text (and
// each detail's).
std::vector<ComparedFinding> CompareCrawls(const History& history, const CrawlInfo& latest,
                                           long long before);

struct PageChange {
    std::string How; // "added", "removed" or "changed"
    std::string Url;
    std::string Field; // empty for added and removed
    std::string Old, New;
};

// Words differ when the count moved by more than this share of the old count.
inline constexpr double WordsChangeShare = 0.2;

// The fields of two rows of one URL that differ, sorted by field. Title,
// description, canonical, h1 and words are compared when both rows are pages.
std::vector<PageChange> ComparePages(const PageRow& before, const PageRow& now);

// Compares two crawls' rows, each given in URL order by a reader that fills
// the row and returns false at the end. Changes come out sorted by URL then
// field, one at a time; memory stays constant however many pages there are.
void DiffPages(const std::function<bool(PageRow&)>& before,
               const std::function<bool(PageRow&)>& now,
               const std::function<void(const PageChange&)>& out);

} // namespace vantora::health
