#include "LinkScore.h"

#include "Site.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>

namespace vantora::health {

namespace {

// Builds the graph from a walk over the links, made twice: once to count each
// node's links, once to place them (so no list of all pairs is held).
template <class Walk> LinkGraph BuildGraph(std::size_t count, const Walk& walk) {
    // Bucketed by source (no sort of all links), then each node's few
    // targets sorted and made unique in place.
    LinkGraph graph;
    std::vector<std::uint32_t> start(count + 1, 0);
    walk([&](std::uint32_t from, std::uint32_t to) {
        if (from != to && from < count && to < count)
            ++start[from + 1];
    });
    for (std::size_t i = 0; i < count; ++i)
        start[i + 1] += start[i];
    std::vector<std::uint32_t> targets(start[count]);
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        walk([&](std::uint32_t from, std::uint32_t to) {
            if (from != to && from < count && to < count)
                targets[fill[from]++] = to;
        });
    }
    graph.Offsets.assign(count + 1, 0);
    std::uint32_t kept = 0;
    for (std::size_t u = 0; u < count; ++u) {
        const auto begin = targets.begin() + start[u], end = targets.begin() + start[u + 1];
        std::sort(begin, end);
        const auto last = std::unique(begin, end);
        for (auto at = begin; at != last; ++at)
            targets[kept++] = *at;
        graph.Offsets[u + 1] = kept;
    }
    targets.resize(kept);
    targets.shrink_to_fit();
    graph.Targets = std::move(targets);
    return graph;
}

} // namespace

LinkGraph LinkGraph::FromPairs(std::size_t count,
                               std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs) {
    return BuildGraph(count, [&](const auto& emit) {
        for (const auto& [from, to] : pairs)
            emit(from, to);
    });
}

namespace {

// Each node's links out, each pair once and never to the node itself, as
// the iteration pushes ranks along them. A node whose list as given is
// already so is read where the list lives (the crawl's facts, the graph's
// targets); only the lists that had to be cleaned are copied here, so the
// links of a crawl are not held a second time.
struct Forward {
    std::vector<std::span<const std::uint32_t>> Lists;
    std::vector<std::uint32_t> Cleaned;

    // given(u, scratch): node u's links as listed, either where they live or
    // written into scratch.
    template <class Given> Forward(std::size_t count, const Given& given) : Lists(count) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> copied; // node, start in Cleaned
        std::vector<std::uint32_t> scratch, clean;
        for (std::size_t u = 0; u < count; ++u) {
            scratch.clear();
            const std::span<const std::uint32_t> list = given(u, scratch);
            clean.clear();
            for (const std::uint32_t to : list)
                if (to != u && to < count)
                    clean.push_back(to);
            std::sort(clean.begin(), clean.end());
            clean.erase(std::unique(clean.begin(), clean.end()), clean.end());
            if (clean.size() == list.size() && list.data() != scratch.data()) {
                Lists[u] = list;
            } else if (!clean.empty()) {
                copied.emplace_back(static_cast<std::uint32_t>(u),
                                    static_cast<std::uint32_t>(Cleaned.size()));
                Cleaned.insert(Cleaned.end(), clean.begin(), clean.end());
            }
        }
        for (std::size_t k = 0; k < copied.size(); ++k) {
            const std::uint32_t end = k + 1 < copied.size()
                                          ? copied[k + 1].second
                                          : static_cast<std::uint32_t>(Cleaned.size());
            Lists[copied[k].first] = {Cleaned.data() + copied[k].second, end - copied[k].second};
        }
    }
};

RankResult Iterate(const Forward& links, const RankOptions& options) {
    RankResult result;
    const std::size_t n = links.Lists.size();
    if (n == 0) {
        result.Converged = true;
        return result;
    }
    // Each node's share goes to the nodes it links to, in the order of the
    // nodes: every node's sum adds up its linkers' shares from the smallest
    // linker up, the same sums (to the last bit) as gathering them from a
    // turned-round copy of the links would give, without that copy.
    const double d = options.Damping, share = 1.0 / static_cast<double>(n);
    std::vector<double> rank(n, share), sum(n, 0.0); // sum is emptied as it is read
    for (int iteration = 1; iteration <= options.MaxIterations; ++iteration) {
        double dangling = 0;
        for (std::size_t u = 0; u < n; ++u) {
            const std::span<const std::uint32_t> out = links.Lists[u];
            if (out.empty()) {
                dangling += rank[u];
                continue;
            }
            const double contribution = rank[u] / static_cast<double>(out.size());
            for (const std::uint32_t v : out)
                sum[v] += contribution;
        }
        const double base = (1 - d) * share + d * dangling * share;
        double moved = 0;
        for (std::size_t v = 0; v < n; ++v) {
            const double next = base + d * sum[v];
            sum[v] = 0;
            moved += std::fabs(next - rank[v]);
            rank[v] = next;
        }
        result.Iterations = iteration;
        if (moved < options.Tolerance) {
            result.Converged = true;
            break;
        }
    }
    result.Ranks = std::move(rank);
    return result;
}

// The URLs the site's URL i links to, as listed (repeats and links to itself
// left in): a page's links (nofollow links and pages that forbid following
// left out), a redirect's target; written into scratch unless they are the
// facts' own list.
std::span<const std::uint32_t> SiteTargets(const Site& site, std::size_t i,
                                           std::vector<std::uint32_t>& scratch) {
    const UrlFacts& url = site.Urls()[i];
    if (url.Status >= 300 && url.Status < 400 && !url.Location().empty()) {
        if (const std::optional<std::size_t> to = site.Find(url.Location()))
            scratch.push_back(static_cast<std::uint32_t>(*to));
        return scratch;
    }
    if (!site.IsPage(i) || site.NoFollow(i))
        return scratch;
    std::vector<std::uint32_t> skipped;
    for (const std::string_view nofollow : url.NoFollow())
        if (const std::optional<std::size_t> to = site.Find(nofollow))
            skipped.push_back(static_cast<std::uint32_t>(*to));
    if (skipped.empty())
        return url.Links;
    std::sort(skipped.begin(), skipped.end());
    for (const std::uint32_t target : url.Links)
        if (!std::binary_search(skipped.begin(), skipped.end(), target))
            scratch.push_back(target);
    return scratch;
}

// The site's links as a walk: calls emit(from, to) for each.
auto SiteWalk(const Site& site) {
    return [&site](const auto& emit) {
        std::vector<std::uint32_t> scratch;
        for (std::size_t i = 0; i < site.Urls().size(); ++i) {
            scratch.clear();
            for (const std::uint32_t to : SiteTargets(site, i, scratch))
                emit(static_cast<std::uint32_t>(i), to);
        }
    };
}

} // namespace

RankResult PageRank(const LinkGraph& graph, const RankOptions& options) {
    const Forward links(graph.Nodes(), [&](std::size_t u, std::vector<std::uint32_t>&) {
        return std::span<const std::uint32_t>(graph.Targets.data() + graph.Offsets[u],
                                              graph.Offsets[u + 1] - graph.Offsets[u]);
    });
    return Iterate(links, options);
}

std::vector<double> ScaledScores(const std::vector<double>& ranks) {
    std::vector<double> scores(ranks.size(), 0.0);
    const auto best = std::max_element(ranks.begin(), ranks.end());
    if (best == ranks.end() || *best <= 0)
        return scores;
    for (std::size_t i = 0; i < ranks.size(); ++i)
        scores[i] = 100.0 * ranks[i] / *best;
    return scores;
}

LinkGraph SiteLinks(const Site& site) {
    return BuildGraph(site.Urls().size(), SiteWalk(site));
}

std::vector<double> LinkScores(const Site& site) {
    const Forward links(site.Urls().size(),
                        [&](std::size_t u, std::vector<std::uint32_t>& scratch) {
                            return SiteTargets(site, u, scratch);
                        });
    return ScaledScores(Iterate(links, {}).Ranks);
}

} // namespace vantora::health
