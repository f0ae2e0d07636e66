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

namespace {

// The links turned round (who links to v), each pair once, and each node's
// count of links out: all the iteration reads.
struct TurnedRound {
    std::vector<std::uint32_t> InOffsets, Sources, OutDegree;
};

// Turns round the links a walk gives (made twice: to count, then to place),
// dropping links of a node to itself and repeated pairs. Sources of a node
// come out in ascending order.
template <class Walk> TurnedRound TurnRound(std::size_t count, const Walk& walk) {
    TurnedRound links;
    links.InOffsets.assign(count + 1, 0);
    walk([&](std::uint32_t from, std::uint32_t to) {
        if (from != to && from < count && to < count)
            ++links.InOffsets[to + 1];
    });
    for (std::size_t i = 0; i < count; ++i)
        links.InOffsets[i + 1] += links.InOffsets[i];
    links.Sources.resize(links.InOffsets[count]);
    {
        std::vector<std::uint32_t> fill(links.InOffsets.begin(), links.InOffsets.end() - 1);
        walk([&](std::uint32_t from, std::uint32_t to) {
            if (from != to && from < count && to < count)
                links.Sources[fill[to]++] = from;
        });
    }
    links.OutDegree.assign(count, 0);
    std::uint32_t kept = 0, begin = 0;
    for (std::size_t v = 0; v < count; ++v) {
        const std::uint32_t end = links.InOffsets[v + 1];
        const auto first = links.Sources.begin() + begin, last = links.Sources.begin() + end;
        std::sort(first, last);
        const auto unique = std::unique(first, last);
        for (auto at = first; at != unique; ++at) {
            ++links.OutDegree[*at];
            links.Sources[kept++] = *at;
        }
        begin = end;
        links.InOffsets[v + 1] = kept;
    }
    // Not shrunk: a copy to a tighter array would hold both at once, for the
    // few repeated links it saves.
    links.Sources.resize(kept);
    return links;
}

RankResult Iterate(const TurnedRound& links, const RankOptions& options) {
    RankResult result;
    const std::size_t n = links.OutDegree.size();
    if (n == 0) {
        result.Converged = true;
        return result;
    }
    // Each node's new rank is a sum over a contiguous run of the turned-round
    // links: reads scattered, writes in order.
    const std::vector<std::uint32_t>& inOffsets = links.InOffsets;
    const std::vector<std::uint32_t>& sources = links.Sources;
    const double d = options.Damping, share = 1.0 / static_cast<double>(n);
    std::vector<double> rank(n, share), next(n), contribution(n);
    for (int iteration = 1; iteration <= options.MaxIterations; ++iteration) {
        double dangling = 0;
        for (std::size_t u = 0; u < n; ++u) {
            const std::uint32_t out = links.OutDegree[u];
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

// The site's links as a walk: calls emit(from, to) for each.
auto SiteWalk(const Site& site) {
    return [&site](const auto& emit) {
        const std::vector<UrlFacts>& urls = site.Urls();
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
    };
}

} // namespace

RankResult PageRank(const LinkGraph& graph, const RankOptions& options) {
    return Iterate(TurnRound(graph.Nodes(),
                             [&](const auto& emit) {
                                 for (std::uint32_t u = 0; u < graph.Nodes(); ++u)
                                     for (std::uint32_t k = graph.Offsets[u];
                                          k < graph.Offsets[u + 1]; ++k)
                                         emit(u, graph.Targets[k]);
                             }),
                   options);
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
    // Straight from the site's links to the turned-round form, so the links
    // are held once, not also as a forward graph.
    return ScaledScores(Iterate(TurnRound(site.Urls().size(), SiteWalk(site)), {}).Ranks);
}

} // namespace vantora::health
