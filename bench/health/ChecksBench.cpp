// The site-health checks over a large crawl: writes the facts file of a
// generated site of PAGES pages (as sm writes it: a fetch and a page record
// for each, every page linking to the navigation, its section's index and
// pages near it; planted duplicates, broken links, redirects and thin pages),
// then times keeping that crawl as the program does (in a process of its
// own, with its peak memory), then, step by step, reading it back, the checks, and the page rows
// the history keeps and storing them (twice, as two crawls) in a crawl history, then reading the
// findings and the diff of the two crawls back, with the peak memory after each step. Beside it,
// the same file read by a peer (python3's json module, one record a line) that does nothing but
// read it and group the titles.
//
//   bench_health_checks [PAGES] [--no-peer]

#include "Checks.h"
#include "Compare.h"
#include "CrawlFacts.h"
#include "CrawlStore.h"
#include "History.h"
#include "Site.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

using namespace vantora::health;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

std::string PageUrl(long i) {
    return "http://127.0.0.1:8080/d" + std::to_string(i % 10) + "/s" +
           std::to_string((i / 10) % 100) + "/p" + std::to_string(i) + ".html";
}

// Writes the facts of a site of pages pages, plus its broken links and redirects.
bool WriteFacts(const std::string& path, long pages) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out)
        return false;
    std::fprintf(out,
                 "{\"format\":\"vantora-facts\",\"version\":1,\"root\":\"%s\","
                 "\"started\":\"2026-12-09T12:00:00Z\"}\n",
                 PageUrl(0).c_str());
    std::mt19937 random(2026);
    const long broken = pages / 200, redirects = pages / 500;
    for (long i = 0; i < pages; ++i) {
        const std::string url = PageUrl(i);
        std::fprintf(out,
                     "{\"k\":\"fetch\",\"id\":%ld,\"url\":\"%s\",\"status\":200,\"first_ms\":%d,"
                     "\"total_ms\":%d,\"bytes\":%d,\"type\":\"text/html; charset=utf-8\","
                     "\"modified\":\"2026-11-%02ldT10:00:00Z\",\"depth\":%d,\"source\":\"link\"}\n",
                     i, url.c_str(), static_cast<int>(5 + random() % 40),
                     static_cast<int>(8 + random() % 60),
                     static_cast<int>(20000 + random() % 40000), 1 + i % 28,
                     static_cast<int>(i == 0 ? 0 : 1 + (i % 7)));
        // every 1,000th page shares its title and text with the next one
        const long twin = i % 1000 == 1 ? i - 1 : i;
        std::string links;
        for (long nav = 0; nav < 20 && nav < pages; ++nav)
            links += (links.empty() ? "" : ",") + std::to_string(nav);
        links += "," + std::to_string((i / 1000) * 1000);
        for (int k = 0; k < 8; ++k)
            links += "," + std::to_string((i + 1 + random() % 200) % pages);
        if (i % 200 == 0)
            links += "," + std::to_string(pages + (i / 200) % broken);
        if (i % 500 == 0)
            links += "," + std::to_string(pages + broken + (i / 500) % redirects);
        std::fprintf(out,
                     "{\"k\":\"page\",\"id\":%ld,\"titles\":[\"Product %ld - garden and house "
                     "supplies\"],\"description\":\"Order product %ld online: delivery in two "
                     "days, prices and reviews of customers.\",\"description_chars\":80,"
                     "\"canonicals\":[\"%s\"],\"h1_count\":1,\"h1_with_text\":1,"
                     "\"h1_texts\":[\"Product %ld\"],\"ids\":[\"top\",\"reviews\"],\"words\":%d,"
                     "\"hash\":\"%016llx\",\"img_no_alt\":%d,\"links\":[%s]%s}\n",
                     i, twin, twin, url.c_str(), twin, static_cast<int>(i % 97 == 0 ? 120 : 450),
                     static_cast<unsigned long long>(twin) * 0x9E3779B97F4A7C15ull,
                     static_cast<int>(i % 50 == 0), links.c_str(),
                     i % 300 == 0 ? ",\"fragments\":[[\"http://127.0.0.1:8080/d0/s0/p0.html\","
                                    "\"missing\"]]"
                                  : "");
    }
    for (long b = 0; b < broken; ++b)
        std::fprintf(
            out,
            "{\"k\":\"fetch\",\"id\":%ld,\"url\":\"http://127.0.0.1:8080/missing%ld.html\","
            "\"status\":404,\"first_ms\":2,\"total_ms\":2,\"bytes\":150,"
            "\"type\":\"text/html\",\"depth\":2,\"source\":\"link\"}\n",
            pages + b, b);
    for (long r = 0; r < redirects; ++r)
        std::fprintf(out,
                     "{\"k\":\"fetch\",\"id\":%ld,\"url\":\"http://127.0.0.1:8080/old%ld.html\","
                     "\"status\":301,\"location\":\"%s\",\"first_ms\":2,\"total_ms\":2,"
                     "\"bytes\":0,\"depth\":2,\"source\":\"link\"}\n",
                     pages + broken + r, r, PageUrl(r).c_str());
    std::fprintf(out, "{\"k\":\"end\",\"pages\":%ld,\"complete\":true}\n", pages);
    return std::fclose(out) == 0;
}

// The peer: python3 reads the same file record by record and groups titles.
void RunPeer(const std::string& path) {
    const std::string script =
        "import json,sys,time,resource\n"
        "t=time.time(); titles={}; n=0\n"
        "for line in open(sys.argv[1]):\n"
        "    r=json.loads(line); n+=1\n"
        "    if r.get('k')=='page':\n"
        "        for x in r.get('titles',[]): titles.setdefault(x,[]).append(r['id'])\n"
        "d=sum(1 for v in titles.values() if len(v)>1)\n"
        "print('  peer (python3 json, read + group titles) %.2f s, %d records, %d duplicate "
        "titles, peak %d MB'%(time.time()-t,n,d,resource.getrusage(resource.RUSAGE_SELF)."
        "ru_maxrss//1024))\n";
    const std::string command = "python3 -c \"$VANTORA_PEER\" '" + path + "'";
    setenv("VANTORA_PEER", script.c_str(), 1);
    if (std::system(command.c_str()) != 0)
        std::printf("  (the peer could not run: python3 is needed)\n");
}

// Keeps the crawl as the program does after a crawl (StoreCrawl: the facts
// read, the checks, the page rows and findings into a new history), in a
// process of its own that starts with nothing, so its peak is the memory
// keeping a crawl takes.
void RunStore(const std::string& path, const std::string& historyPath) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const auto start = std::chrono::steady_clock::now();
        History history;
        std::string error;
        StoredCrawl stored;
        if (!history.Open(historyPath, true, error) ||
            !StoreCrawl(history, path, CheckSettings{}, stored, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            _exit(1);
        }
        std::printf("  keeping the crawl (read, checks, rows and findings stored) %6.2f s, peak "
                    "%ld MB (%zu URLs, %zu findings)\n",
                    Seconds(start), PeakMb(), stored.Urls,
                    stored.Counts[0] + stored.Counts[1] + stored.Counts[2]);
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        std::printf("  (keeping the crawl failed)\n");
    std::filesystem::remove(historyPath);
}

} // namespace

int main(int argc, char** argv) {
    long pages = 1000000;
    bool peer = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-peer") == 0)
            peer = false;
        else
            pages = std::atol(argv[i]);
    }
    if (pages < 1000) {
        std::fprintf(stderr, "usage: bench_health_checks [PAGES >= 1000] [--no-peer]\n");
        return 2;
    }
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantora-checks-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "facts.jsonl").string();
    auto start = std::chrono::steady_clock::now();
    if (!WriteFacts(path, pages)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("Facts of %ld pages: %.0f MB, written in %.1f s\n", pages,
                std::filesystem::file_size(path) / 1048576.0, Seconds(start));
    std::fflush(stdout);
    RunStore(path, (dir / "kept.crawls.sqlite").string());
    const long before = PeakMb();

    start = std::chrono::steady_clock::now();
    CrawlFacts facts;
    std::string error;
    if (!ReadFactsFile(path, facts, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double read = Seconds(start);
    const long afterRead = PeakMb();
    start = std::chrono::steady_clock::now();
    const Site site(facts);
    const std::vector<Finding> findings = FindIssues(site, CheckSettings{});
    const double checks = Seconds(start);
    const long afterChecks = PeakMb();

    // The crawl stored twice in a history, as two crawls of the site a month
    // apart would be (the second with every 100th title changed), then read
    // back the ways `vantora-cli health` and `vantora-cli diff` read it.
    History history;
    const std::string historyPath = (dir / "site.crawls.sqlite").string();
    if (!history.Open(historyPath, true, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    start = std::chrono::steady_clock::now();
    std::size_t rowCount = 0;
    double made = 0;
    long afterRows = 0;
    {
        PageRowSource rows(site);
        rowCount = rows.Count();
        made = Seconds(start);
        afterRows = PeakMb();
        if (!history.Store("2026-11-09T12:00:00Z", facts.Root, rows, findings, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    const double store = Seconds(start);
    const long afterStore = PeakMb();
    {
        // The second crawl: the same rows, every 100th title changed.
        PageRowSource rows(site);
        std::size_t n = 0;
        auto next = [&](PageRow& row) {
            if (!rows.Next(row))
                return false;
            if (++n % 100 == 0)
                row.Title += " (new)";
            return true;
        };
        if (!history.Store("2026-12-09T12:00:00Z", facts.Root, rows.Count(), next, findings,
                           error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    start = std::chrono::steady_clock::now();
    const std::optional<CrawlInfo> latest = history.Latest();
    const std::optional<CrawlInfo> earlier = history.Earlier("previous");
    // As the Site Health page loads them: both crawls read and compared as they come.
    const std::vector<ComparedFinding> compared = CompareCrawls(history, *latest, earlier->Id);
    const double health = Seconds(start);
    start = std::chrono::steady_clock::now();
    std::size_t changes = 0;
    DiffPages(history.PageReader(earlier->Id), history.PageReader(latest->Id),
              [&](const PageChange&) { ++changes; });
    const double diff = Seconds(start);
    const long afterAll = PeakMb();

    std::size_t counts[3] = {0, 0, 0};
    for (const Finding& finding : findings)
        ++counts[static_cast<int>(finding.Level)];
    std::printf("  read the facts     %6.2f s  peak %5ld MB (%ld before; %zu URLs of %zu bytes, "
                "%.0f MB of texts and links)\n",
                read, afterRead, before, facts.Urls.size(), sizeof(UrlFacts),
                facts.Texts.Bytes() / 1048576.0);
    std::printf("  the checks         %6.2f s  peak %5ld MB; %zu findings: %zu errors, %zu "
                "warnings, %zu notices\n",
                checks, afterChecks, findings.size(), counts[0], counts[1], counts[2]);
    std::printf("  link scores, URL order %6.2f s  peak %5ld MB\n", made, afterRows);
    std::printf("  page rows + store  %6.2f s  peak %5ld MB (%zu rows into the history)\n", store,
                afterStore, rowCount);
    std::printf("  read + checks      %6.2f s (target < 10 s at 1,000,000 pages); peak %ld MB "
                "(target < 800 MB)\n",
                read + checks, afterChecks);
    std::printf("  total (read, checks, rows, store) %6.2f s; peak %ld MB (target: the program "
                "under 1,536 MB)\n",
                read + checks + store, afterStore);
    std::printf("  health from the history %6.2f s (%zu findings compared with the crawl "
                "before)\n",
                health, compared.size());
    std::printf("  diff of two stored crawls %6.2f s (%zu changes; target < 10 s at 1,000,000 "
                "pages); peak %ld MB\n",
                diff, changes, afterAll);
    std::fflush(stdout); // before the peer's line, which its own process prints
    if (peer)
        RunPeer(path);
    std::filesystem::remove_all(dir);
    return 0;
}
