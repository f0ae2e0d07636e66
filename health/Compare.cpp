#include "Compare.h"

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
    result.reserve(now.size() + before.size());
    auto less = [](const Finding& a, const Finding& b) {
        return a.Check != b.Check ? a.Check < b.Check : a.Url < b.Url;
    };
    std::size_t i = 0, j = 0;
    while (i < now.size() || j < before.size()) {
        if (j == before.size() || (i < now.size() && less(now[i], before[j]))) {
            result.push_back({now[i++], Change::New});
        } else if (i == now.size() || less(before[j], now[i])) {
            result.push_back({before[j++], Change::Fixed});
        } else {
            result.push_back({now[i++], Change::Same});
            ++j;
        }
    }
    return result;
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
