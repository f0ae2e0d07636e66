#pragma once
// Internal link score: PageRank over the site's own links, scaled so that the
// best-linked URL has 100. The graph is kept as compressed rows (one offset
// array, one target array) so a million pages fit in a few tens of MB and one
// pass over the links is a linear walk.

#include <cstdint>
#include <vector>

namespace vantora::health {

class Site;

// Links between URLs numbered 0..Nodes()-1: the targets of node u are
// Targets[Offsets[u]] .. Targets[Offsets[u + 1] - 1], each at most once, never u.
struct LinkGraph {
    std::vector<std::uint32_t> Offsets{0};
    std::vector<std::uint32_t> Targets;
    std::size_t Nodes() const { return Offsets.size() - 1; }

    // Builds the graph from (from, to) pairs over count nodes; repeated pairs
    // and links of a node to itself are dropped.
    static LinkGraph FromPairs(std::size_t count,
                               std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs);
};

struct RankOptions {
    double Damping = 0.85;
    // Iteration ends when the ranks (summing to 1) move by less than this in all.
    double Tolerance = 1e-9;
    int MaxIterations = 1000;
};

struct RankResult {
    std::vector<double> Ranks; // summing to 1
    int Iterations = 0;
    bool Converged = false;
};

// PageRank by power iteration. A node without links (dangling) hands its rank
// to every node evenly, so ranks keep summing to 1.
RankResult PageRank(const LinkGraph& graph, const RankOptions& options = {});

// Ranks scaled so that the largest is 100 (all 0 for an empty or zero input).
std::vector<double> ScaledScores(const std::vector<double>& ranks);

// The site's link graph: the links of its pages (HTML pages found by
// following links), nofollow links and pages that forbid following left out,
// links from noindex pages counted; a redirecting URL links to its target.
LinkGraph SiteLinks(const Site& site);

// The link score of every URL of the site, by its index in the facts.
std::vector<double> LinkScores(const Site& site);

} // namespace vantora::health
