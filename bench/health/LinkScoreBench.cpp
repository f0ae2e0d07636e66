// Link scores of a generated site: every page links to the 20 pages of the
// navigation, its section's index and 8 pages near it, as a large site's
// templates do. Times building the link graph from pairs and the PageRank
// to convergence, for 1,000,000 pages, and for 100,000 pages beside the peer
// (networkx) on the very same links.
//
//   bench_link_score [PAGES] [PEER_PAGES]

#include "LinkScore.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

using namespace vantora::health;

namespace {

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Pairs SiteLinksOf(std::uint32_t pages) {
    Pairs pairs;
    pairs.reserve(static_cast<std::size_t>(pages) * 29);
    std::mt19937 random(2026);
    for (std::uint32_t u = 0; u < pages; ++u) {
        for (std::uint32_t nav = 0; nav < 20 && nav < pages; ++nav)
            pairs.emplace_back(u, nav);
        pairs.emplace_back(u, (u / 1000) * 1000); // the section's index
        for (int k = 0; k < 8; ++k) {
            const std::uint32_t near = u + 1 + random() % 200;
            if (near < pages)
                pairs.emplace_back(u, near);
        }
    }
    return pairs;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Ours {
    double GraphSeconds, RankSeconds;
    RankResult Result;
    std::size_t Links;
};

Ours Run(std::uint32_t pages) {
    Pairs pairs = SiteLinksOf(pages);
    const auto start = std::chrono::steady_clock::now();
    const LinkGraph graph = LinkGraph::FromPairs(pages, std::move(pairs));
    const double built = Seconds(start);
    const auto ranking = std::chrono::steady_clock::now();
    RankResult result = PageRank(graph);
    return {built, Seconds(ranking), std::move(result), graph.Targets.size()};
}

} // namespace

int main(int argc, char** argv) {
    const auto pages = static_cast<std::uint32_t>(argc > 1 ? std::atol(argv[1]) : 1000000);
    const auto peerPages = static_cast<std::uint32_t>(argc > 2 ? std::atol(argv[2]) : 100000);

    const Ours big = Run(pages);
    std::printf("vantora  %8u pages %9zu links: graph %.2f s, PageRank %.2f s (%d iterations), "
                "total %.2f s\n",
                pages, big.Links, big.GraphSeconds, big.RankSeconds, big.Result.Iterations,
                big.GraphSeconds + big.RankSeconds);

    const Ours small = Run(peerPages);
    std::printf("vantora  %8u pages %9zu links: graph %.2f s, PageRank %.2f s (%d iterations)\n",
                peerPages, small.Links, small.GraphSeconds, small.RankSeconds,
                small.Result.Iterations);
    const std::string edges = "/tmp/bench_link_score_edges.txt";
    {
        const LinkGraph graph = LinkGraph::FromPairs(peerPages, SiteLinksOf(peerPages));
        std::ofstream out(edges);
        out << peerPages << "\n";
        for (std::size_t u = 0; u < graph.Nodes(); ++u)
            for (std::uint32_t k = graph.Offsets[u]; k < graph.Offsets[u + 1]; ++k)
                out << u << ' ' << graph.Targets[k] << "\n";
    }
    const std::string command = std::string("python3 ") + VANTORA_PEER_SCRIPT + " " + edges;
    FILE* peer = popen(command.c_str(), "r");
    char line[256] = {0};
    const bool answered = peer && std::fgets(line, sizeof line, peer);
    const int status = peer ? pclose(peer) : -1;
    std::remove(edges.c_str());
    double peerSeconds = 0, peerRank = 0;
    unsigned long peerBest = 0;
    if (!answered || status != 0 ||
        std::sscanf(line, "%lf %lu %lf", &peerSeconds, &peerBest, &peerRank) != 3) {
        std::printf("peer     networkx not available (python3 with networkx is needed)\n");
        return 0;
    }
    std::size_t best = 0;
    for (std::size_t i = 0; i < small.Result.Ranks.size(); ++i)
        if (small.Result.Ranks[i] > small.Result.Ranks[best])
            best = i;
    std::printf("networkx %8u pages: PageRank %.2f s; best page %lu rank %.9f (vantora: %zu, "
                "%.9f)\n",
                peerPages, peerSeconds, peerBest, peerRank, best, small.Result.Ranks[best]);
    return 0;
}
