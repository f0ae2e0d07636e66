#include "Overview.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

namespace vantora::health {

int SiteScore(long long urls, long long urlsWithErrors, long long urlsWithWarningsOnly) {
    const long long all = std::max(urls, urlsWithErrors + urlsWithWarningsOnly);
    if (all <= 0)
        return 100;
    const double lost =
        100.0 *
        (static_cast<double>(urlsWithErrors) + 0.5 * static_cast<double>(urlsWithWarningsOnly)) /
        static_cast<double>(all);
    return std::max(0, static_cast<int>(std::lround(100.0 - lost)));
}

Overview Summarise(const std::vector<ComparedFinding>& findings, long long urls) {
    Overview overview;
    std::map<std::string, CheckGroup, std::less<>> groups;
    std::unordered_map<std::string_view, int> worst; // URL -> worst severity now
    // Findings come by check: the group of the last one is looked up once per check.
    CheckId lastCheck;
    CheckGroup* last = nullptr;
    for (const ComparedFinding& row : findings) {
        if (!last || row.Item.Check != lastCheck) {
            lastCheck = row.Item.Check;
            last = &groups[row.Item.Check.str()];
        }
        CheckGroup& group = *last;
        if (group.Check.empty()) {
            group.Check = row.Item.Check;
            if (const CheckRule* rule = FindCheck(row.Item.Check)) {
                group.Level = rule->Level;
                group.Text = std::string(rule->Text);
                group.Advice = std::string(rule->Advice);
            } else {
                group.Known = false;
                group.Level = row.Item.Level;
                group.Text = row.Item.Check;
            }
        }
        if (row.How == Change::Fixed) {
            ++group.Fixed;
            continue;
        }
        ++group.Count;
        const int level = static_cast<int>(row.Item.Level);
        ++overview.Counts[level];
        if (row.How == Change::New) {
            ++group.New;
            ++overview.NewCounts[level];
        }
        auto [at, added] = worst.emplace(row.Item.Url, level);
        if (!added)
            at->second = std::min(at->second, level);
    }
    long long errors = 0, warnings = 0;
    for (const auto& [url, level] : worst) {
        if (level == 0)
            ++errors;
        else if (level == 1)
            ++warnings;
    }
    overview.Score = SiteScore(urls, errors, warnings);
    for (auto& [id, group] : groups)
        overview.Checks.push_back(std::move(group));
    std::stable_sort(overview.Checks.begin(), overview.Checks.end(),
                     [](const CheckGroup& a, const CheckGroup& b) {
                         if (a.Level != b.Level)
                             return a.Level < b.Level;
                         if (a.Count != b.Count)
                             return a.Count > b.Count;
                         return a.Check < b.Check;
                     });
    return overview;
}

std::vector<std::size_t> AffectedRows(const std::vector<ComparedFinding>& findings,
                                      std::string_view check, bool onlyNew, PageOrder order,
                                      bool descending) {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const ComparedFinding& row = findings[i];
        if (!check.empty() && row.Item.Check != check)
            continue;
        if (onlyNew && row.How != Change::New)
            continue;
        rows.push_back(i);
    }
    auto key = [&](std::size_t a, std::size_t b) -> int {
        const ComparedFinding &x = findings[a], &y = findings[b];
        switch (order) {
        case PageOrder::LinkScore:
            // Higher first; unknown (-1) sorts after every known score.
            if (x.Item.LinkScore != y.Item.LinkScore)
                return x.Item.LinkScore > y.Item.LinkScore ? -1 : 1;
            break;
        case PageOrder::Detail:
            if (const int c = x.Item.Detail.compare(y.Item.Detail))
                return c;
            break;
        case PageOrder::Change:
            if (x.How != y.How)
                return static_cast<int>(x.How) < static_cast<int>(y.How) ? -1 : 1;
            break;
        case PageOrder::Url:
            break;
        }
        if (const int c = x.Item.Url.compare(y.Item.Url))
            return c;
        return x.Item.Check.compare(y.Item.Check);
    };
    std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
        const int c = key(a, b);
        return descending ? c > 0 : c < 0;
    });
    return rows;
}

std::vector<TrendPoint> Trend(const History& history) {
    std::vector<TrendPoint> points;
    const std::map<long long, History::Totals> totals = history.CrawlTotals();
    for (const CrawlInfo& crawl : history.Crawls()) {
        TrendPoint point;
        point.Crawl = crawl;
        if (const auto at = totals.find(crawl.Id); at != totals.end()) {
            for (int s = 0; s < 3; ++s)
                point.Counts[s] = static_cast<std::size_t>(at->second.Findings[s]);
            point.Score = SiteScore(crawl.Pages, at->second.WorstUrls[0], at->second.WorstUrls[1]);
        }
        points.push_back(point);
    }
    return points;
}

std::vector<std::size_t> AxisLabels(std::size_t count, std::size_t max) {
    std::vector<std::size_t> labels;
    if (count == 0 || max == 0)
        return labels;
    if (max == 1 || count == 1)
        return {count - 1};
    const std::size_t shown = std::min(count, max);
    for (std::size_t k = 0; k < shown; ++k) {
        // Evenly spread over [0, count-1], first and last included.
        const std::size_t at = (k * (count - 1) + (shown - 1) / 2) / (shown - 1);
        if (labels.empty() || labels.back() != at)
            labels.push_back(at);
    }
    return labels;
}

} // namespace vantora::health
