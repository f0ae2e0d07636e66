// Wordweigh beside the peer keyphrase analysis on one page set: runs both on
// every page of a manifest (see make_pages.py), then prints how often their
// verdicts agree per check, the rank correlation of the overall scores, the
// time each takes per page, and every disagreement. Wordweigh runs twice: as
// it is, matching word forms, and matching exact forms only as the peer
// does, so that each difference can be traced to forms or to something else.
//
// Usage: bench_wordweigh MANIFEST [PEER_DIR]
// PEER_DIR holds peer.js and its node_modules (default: this file's folder).

#include "PageModel.h"
#include "Wordweigh.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Check {
    const char* Code; // Wordweigh's factor
    const char* Peer; // the peer's assessment
    const char* Name;
};

// The checks both analyses make.
constexpr Check Checks[] = {
    {"K1", "keyphraseInSEOTitle", "key phrase in title"},
    {"K2", "titleWidth", "title width"},
    {"K3", "metaDescriptionKeyword", "key phrase in description"},
    {"K4", "metaDescriptionLength", "description length"},
    {"K5", "introductionKeyword", "key phrase in introduction"},
    {"K6", "keyphraseDensity", "key phrase density"},
    {"K7", "subheadingsKeyword", "key phrase in subheadings"},
    {"K8", "imageKeyphrase", "key phrase in image alt"},
    {"K9", "slugKeyword", "key phrase in address"},
    {"K10", "textLength", "text length"},
    {"K11", "singleH1", "single main heading"},
    {"K12", "textCompetingLinks", "competing links"},
    {"K13", "keyphraseLength", "key phrase length"},
    {"K14", "externalLinks", "outbound links"},
};

// Verdict bands both analyses use: bad up to 4, ok 5 to 7, good 8 and 9.
const char* Band(int score) {
    return score <= 4 ? "bad" : score <= 7 ? "ok" : "good";
}

struct Page {
    std::string Id, File, Url, Phrase, Locale;
    std::map<std::string, int> Ours, Exact, Peer; // Exact: Wordweigh matching exact forms
    int OurScore = 0, ExactScore = 0, PeerScore = 0;
    double OurMs = 0, PeerMs = 0;
    bool PeerOk = false;
};

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t'))
        out.push_back(field);
    return out;
}

std::vector<double> Ranks(const std::vector<double>& v) {
    std::vector<std::size_t> order(v.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](auto a, auto b) { return v[a] < v[b]; });
    std::vector<double> ranks(v.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]])
            ++j;
        for (std::size_t k = i; k <= j; ++k)
            ranks[order[k]] = (double(i) + double(j)) / 2.0 + 1.0; // ties share the mean rank
        i = j + 1;
    }
    return ranks;
}

// Spearman's rank correlation: Pearson's r of the ranks.
double Spearman(const std::vector<double>& a, const std::vector<double>& b) {
    const auto ra = Ranks(a), rb = Ranks(b);
    const double n = double(ra.size());
    const double ma = std::accumulate(ra.begin(), ra.end(), 0.0) / n;
    const double mb = std::accumulate(rb.begin(), rb.end(), 0.0) / n;
    double cov = 0, va = 0, vb = 0;
    for (std::size_t i = 0; i < ra.size(); ++i) {
        cov += (ra[i] - ma) * (rb[i] - mb);
        va += (ra[i] - ma) * (ra[i] - ma);
        vb += (rb[i] - mb) * (rb[i] - mb);
    }
    return va > 0 && vb > 0 ? cov / std::sqrt(va * vb) : 0.0;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_wordweigh MANIFEST [PEER_DIR]\n");
        return 2;
    }
    const std::string peerDir = argc > 2 ? argv[2] : VANTORA_PEER_DIR;
    std::vector<Page> pages;
    {
        std::ifstream manifest(argv[1]);
        std::string line;
        while (std::getline(manifest, line)) {
            const auto f = SplitTabs(line);
            if (f.size() >= 5)
                pages.push_back({f[0], f[1], f[2], f[3], f[4]});
        }
    }
    if (pages.empty()) {
        std::fprintf(stderr, "bench_wordweigh: no pages in %s\n", argv[1]);
        return 1;
    }

    // Wordweigh, in-process: parse and analysis, as the server does per page.
    const std::string peerManifest = std::string(argv[1]) + ".peer";
    std::ofstream forPeer(peerManifest);
    for (auto& p : pages) {
        std::ifstream in(p.File, std::ios::binary);
        const std::string html((std::istreambuf_iterator<char>(in)), {});
        const auto t0 = Clock::now();
        const vantora::PageModel model = vantora::ParsePage(html);
        const vantora::WordweighResult r = vantora::AnalyseWordweigh(model, p.Url, p.Phrase);
        p.OurMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        p.OurScore = r.Percentage;
        for (const auto& [code, score] : r.Scores)
            p.Ours[code] = score;
        // The same analysis without word forms, to tell which differences
        // come from matching forms, which the peer does not.
        const vantora::WordweighResult exact =
            vantora::AnalyseWordweigh(model, p.Url, p.Phrase, {.WordForms = false});
        p.ExactScore = exact.Percentage;
        for (const auto& [code, score] : exact.Scores)
            p.Exact[code] = score;
        // The peer is handed the title's width as Wordweigh measures it.
        forPeer << p.Id << '\t' << p.File << '\t' << p.Url << '\t' << p.Phrase << '\t' << p.Locale
                << '\t' << vantora::TitleWidthPx(model.Title) << '\n';
    }
    forPeer.close();

    const std::string command =
        "cd " + ShellQuote(peerDir) + " && node peer.js " + ShellQuote(peerManifest);
    FILE* peer = popen(command.c_str(), "r");
    if (!peer) {
        std::fprintf(stderr, "bench_wordweigh: cannot run node\n");
        return 1;
    }
    std::map<std::string, Page*> byId;
    for (auto& p : pages)
        byId[p.Id] = &p;
    std::string line;
    char buf[1 << 16];
    while (std::fgets(buf, sizeof buf, peer)) {
        line += buf;
        if (line.empty() || line.back() != '\n')
            continue;
        const auto j = nlohmann::json::parse(line, nullptr, false);
        line.clear();
        if (j.is_discarded() || !j.contains("id") || !byId.count(j["id"].get<std::string>()))
            continue;
        Page& p = *byId[j["id"].get<std::string>()];
        if (j.contains("error")) {
            std::fprintf(stderr, "peer failed on %s: %s\n", p.Id.c_str(),
                         j["error"].get<std::string>().c_str());
            continue;
        }
        p.PeerOk = true;
        p.PeerScore = j["overall"].get<int>();
        p.PeerMs = j["ms"].get<double>();
        for (const auto& [k, v] : j["scores"].items())
            p.Peer[k] = v.get<int>();
    }
    const int status = pclose(peer);
    std::vector<Page*> done;
    for (auto& p : pages)
        if (p.PeerOk)
            done.push_back(&p);
    if (done.empty()) {
        std::fprintf(stderr,
                     "bench_wordweigh: the peer gave no results (status %d); run "
                     "npm install in %s\n",
                     status, peerDir.c_str());
        return 1;
    }

    std::printf("Wordweigh beside the peer on %zu pages\n\n", done.size());
    std::printf("%-28s %6s %8s %14s\n", "check", "pages", "agree", "exact forms");
    std::vector<std::string> disagreements;
    for (const auto& c : Checks) {
        int both = 0, agree = 0, agreeExact = 0;
        for (const Page* p : done) {
            const auto ours = p->Ours.find(c.Code);
            const auto exact = p->Exact.find(c.Code);
            const auto theirs = p->Peer.find(c.Peer);
            if (ours == p->Ours.end() || theirs == p->Peer.end())
                continue;
            ++both;
            const std::string peerBand = Band(theirs->second);
            agreeExact += exact != p->Exact.end() && Band(exact->second) == peerBand;
            if (Band(ours->second) == peerBand) {
                ++agree;
            } else {
                const bool forms = exact != p->Exact.end() && Band(exact->second) == peerBand;
                char text[512];
                std::snprintf(text, sizeof text,
                              "  %-30s %-26s Wordweigh %3d (%s), peer %3d (%s)%s", p->Id.c_str(),
                              c.Name, ours->second, Band(ours->second), theirs->second,
                              peerBand.c_str(), forms ? "  [word forms]" : "");
                disagreements.push_back(text);
            }
        }
        if (both)
            std::printf("%-28s %6d %7.1f%% %13.1f%%\n", c.Name, both, 100.0 * agree / both,
                        100.0 * agreeExact / both);
    }
    std::vector<double> ours, exact, theirs, ourMs, peerMs;
    for (const Page* p : done) {
        ours.push_back(p->OurScore);
        exact.push_back(p->ExactScore);
        theirs.push_back(p->PeerScore);
        ourMs.push_back(p->OurMs);
        peerMs.push_back(p->PeerMs);
    }
    std::printf("\nrank correlation of the scores (Spearman)  %.3f (exact forms %.3f)\n",
                Spearman(ours, theirs), Spearman(exact, theirs));
    std::printf("time per page, median: Wordweigh %.2f ms (parse + analysis), peer %.2f ms "
                "(analysis of the page's content)\n",
                Median(ourMs), Median(peerMs));
    std::printf("\nscores per page (Wordweigh, exact forms, peer):\n");
    for (const Page* p : done)
        std::printf("  %-30s %3d %3d %3d   \"%s\"\n", p->Id.c_str(), p->OurScore, p->ExactScore,
                    p->PeerScore, p->Phrase.c_str());
    std::printf("\ndisagreements (%zu; [word forms]: gone when Wordweigh matches exact forms):\n",
                disagreements.size());
    for (const auto& d : disagreements)
        std::printf("%s\n", d.c_str());
    return 0;
}
