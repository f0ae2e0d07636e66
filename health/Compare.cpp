#include "Compare.h"

#include <algorithm>
#include <cmath>

namespace vantora::health {

std::string_view ChangeName(Change change) {
    switch (change) {
    case Change::New:
        return "new";
    case Change::Fixed:
        return "fixed";
    case Change::Same:
        break;
    }
    return "same";
}

std::vector<ComparedFinding> CompareFindings(const std::vector<Finding>& now,
                                             const std::vector<Finding>& before) {
    std::vector<ComparedFinding> result;
    result.reserve(now.size());
    auto reader = [](const std::vector<Finding>& findings) {
        return [&findings, at = std::size_t(0)](Finding& finding) mutable {
            if (at == findings.size())
                return false;
            finding = findings[at++];
            return true;
        };
    };
    CompareFindings(reader(now), reader(before),
                    [&](ComparedFinding&& row) { result.push_back(std::move(row)); });
    return result;
}

void CompareFindings(const std::function<bool(Finding&)>& now,
                     const std::function<bool(Finding&)>& before,
                     const std::function<void(ComparedFinding&&)>& out) {
    auto order = [](const Finding& a, const Finding& b) {
        if (const int check = a.Check.compare(b.Check))
            return check;
        return a.Url.compare(b.Url);
    };
    Finding a, b;
    bool haveNow = now(a), haveBefore = before(b);
    while (haveNow || haveBefore) {
        const int c = !haveBefore ? -1 : !haveNow ? 1 : order(a, b);
        if (c < 0) {
            out({std::move(a), Change::New});
            haveNow = now(a);
        } else if (c > 0) {
            out({std::move(b), Change::Fixed});
            haveBefore = before(b);
        } else {
            out({std::move(a), Change::Same});
            haveNow = now(a);
            haveBefore = before(b);
        }
    }
}

std::vector<ComparedFinding> CompareCrawls(const History& history, const CrawlInfo& latest,
                                           long long before) {
    // Room made ahead for the findings now at most: the count comes from the
    // history, which may be damaged.
    constexpr long long MaxReserved = 10'000'000;
    std::vector<ComparedFinding> findings;
    findings.reserve(
        static_cast<std::size_t>(std::clamp<long long>(latest.Findings, 0, MaxReserved)));
    TextPool texts;
    const std::function<bool(Finding&)> now = history.FindingReader(latest.Id, texts);
    if (before) {
        CompareFindings(now, history.FindingReader(before, texts),
                        [&](ComparedFinding&& row) { findings.push_back(std::move(row)); });
    } else {
        Finding finding;
        while (now(finding))
            findings.push_back({std::move(finding), Change::Same});
    }
    return findings;
}

std::vector<PageChange> ComparePages(const PageRow& before, const PageRow& now) {
    std::vector<PageChange> changes;
    // What a page says of itself is compared only where both crawls read it as
    // a page; a page that now fails shows as a change of status.
    const bool pages = before.Html && now.Html;
    auto field = [&](const char* name, const std::string& old, const std::string& fresh,
                     bool compared) {
        if (compared && old != fresh)
            changes.push_back({"changed", now.Url, name, old, fresh});
    };
    // In the order of the field names, so the rows come out sorted.
    field("canonical", before.Canonical, now.Canonical, pages);
    field("description", before.Description, now.Description, pages);
    field("h1", before.H1, now.H1, pages);
    field("indexable", before.Indexable ? "yes" : "no", now.Indexable ? "yes" : "no", true);
    field("redirect", before.Redirect, now.Redirect, true);
    field("status", std::to_string(before.Status), std::to_string(now.Status), true);
    field("title", before.Title, now.Title, pages);
    const double old = static_cast<double>(before.Words), fresh = static_cast<double>(now.Words);
    if (pages && std::fabs(fresh - old) > WordsChangeShare * old && (old > 0 || fresh > 0))
        changes.push_back(
            {"changed", now.Url, "words", std::to_string(before.Words), std::to_string(now.Words)});
    return changes;
}

void DiffPages(const std::function<bool(PageRow&)>& before,
               const std::function<bool(PageRow&)>& now,
               const std::function<void(const PageChange&)>& out) {
    PageRow a, b;
    bool haveA = before(a), haveB = now(b);
    while (haveA || haveB) {
        if (haveA && (!haveB || a.Url < b.Url)) {
            out({"removed", a.Url, {}, {}, {}});
            haveA = before(a);
        } else if (haveB && (!haveA || b.Url < a.Url)) {
            out({"added", b.Url, {}, {}, {}});
            haveB = now(b);
        } else {
            for (const PageChange& change : ComparePages(a, b))
                out(change);
            haveA = before(a);
            haveB = now(b);
        }
    }
}

} // namespace vantora::health
