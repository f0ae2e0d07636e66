#include "LinkScore.h"

#include "Site.h"

#include <algorithm>
#include <cmath>

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

RankResult PageRank(const LinkGraph& graph, const RankOptions& options) {
    RankResult result;
    const std::size_t n = graph.Nodes();
    if (n == 0) {
        result.Converged = true;
        return result;
    }
    // The links turned round (who links to v), so each node's new rank is a
    // sum over a contiguous run: reads scattered, writes in order.
    std::vector<std::uint32_t> inOffsets(n + 1, 0), sources(graph.Targets.size());
    for (const std::uint32_t to : graph.Targets)
        ++inOffsets[to + 1];
    for (std::size_t i = 0; i < n; ++i)
        inOffsets[i + 1] += inOffsets[i];
    {
        std::vector<std::uint32_t> fill(inOffsets.begin(), inOffsets.end() - 1);
        for (std::uint32_t from = 0; from < n; ++from)
            for (std::uint32_t k = graph.Offsets[from]; k < graph.Offsets[from + 1]; ++k)
                sources[fill[graph.Targets[k]]++] = from;
    }
    const double d = options.Damping, share = 1.0 / static_cast<double>(n);
    std::vector<double> rank(n, share), next(n), contribution(n);
    for (int iteration = 1; iteration <= options.MaxIterations; ++iteration) {
        double dangling = 0;
        for (std::size_t u = 0; u < n; ++u) {
            const std::uint32_t out = graph.Offsets[u + 1] - graph.Offsets[u];
            if (out == 0) {
                dangling += rank[u];
                contribution[u] = 0;
            } else {
                contribution[u] = rank[u] / out;
            }
        }
        const double base = (1 - d) * share + d * dangling * share;
        double moved = 0;
        for (std::size_t v = 0; v < n; ++v) {
            double sum = 0;
            for (std::uint32_t k = inOffsets[v]; k < inOffsets[v + 1]; ++k)
                sum += contribution[sources[k]];
            next[v] = base + d * sum;
            moved += std::fabs(next[v] - rank[v]);
        }
        rank.swap(next);
        result.Iterations = iteration;
        if (moved < options.Tolerance) {
            result.Converged = true;
            break;
        }
    }
    result.Ranks = std::move(rank);
    return result;
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
    const std::vector<UrlFacts>& urls = site.Urls();
    return BuildGraph(urls.size(), [&](const auto& emit) {
        std::vector<std::uint32_t> skipped;
        for (std::size_t i = 0; i < urls.size(); ++i) {
            const UrlFacts& url = urls[i];
            const auto from = static_cast<std::uint32_t>(i);
            if (url.Status >= 300 && url.Status < 400 && !url.Location().empty()) {
                if (const std::optional<std::size_t> to = site.Find(url.Location()))
                    emit(from, static_cast<std::uint32_t>(*to));
                continue;
            }
            if (!site.IsPage(i) || site.NoFollow(i))
                continue;
            skipped.clear();
            for (const std::string_view nofollow : url.NoFollow())
                if (const std::optional<std::size_t> to = site.Find(nofollow))
                    skipped.push_back(static_cast<std::uint32_t>(*to));
            std::sort(skipped.begin(), skipped.end());
            for (const std::uint32_t target : url.Links)
                if (!std::binary_search(skipped.begin(), skipped.end(), target))
                    emit(from, target);
        }
    });
}

std::vector<double> LinkScores(const Site& site) {
    return ScaledScores(PageRank(SiteLinks(site)).Ranks);
}

} // namespace vantora::health
