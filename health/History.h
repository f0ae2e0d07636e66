#pragma once
// The project's crawl history: an SQLite database beside the project file
// ("site.zpr" keeps it in "site.crawls.sqlite") that holds, for every
// completed crawl, its time, each fetched URL's page row and the findings of
// the checks. A crawl is stored in one transaction, so a crawl or a program
// killed half way leaves the history as it was.

#include "Checks.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace vantora::health {

// What the history keeps of one fetched URL: the fields that are compared
// crawl to crawl and those the XML sitemap needs.
struct PageRow {
    std::string Url;
    int Status = 0;
    std::string Redirect;
    std::string Title;
    std::string Description;
    std::string Canonical; // the first canonical that names another URL, else empty
    bool Indexable = false;
    std::string H1;
    long long Words = 0;
    bool Html = false;
    std::string Modified; // Last-Modified, YYYY-MM-DDThh:mm:ssZ
    int Depth = -1;
    double LinkScore = -1; // 0-100, -1 when not known
};

class Site;

// The page rows of a crawl in URL order, made one at a time from its facts
// (the site must outlive the source).
class PageRowSource {
  public:
    explicit PageRowSource(const Site& site);
    std::size_t Count() const { return Order.size(); }
    // Fills the next row; false after the last.
    bool Next(PageRow& row);

  private:
    const Site& Of;
    std::vector<double> Scores;
    std::vector<std::uint32_t> Order; // URL indexes by URL, each URL once
    std::size_t At = 0;
};

// The page rows of a crawl, sorted by URL.
std::vector<PageRow> PageRows(const CrawlFacts& facts);

struct CrawlInfo {
    long long Id = 0;
    std::string Time; // UTC, YYYY-MM-DDThh:mm:ssZ
    std::string Root;
    long long Pages = 0;
    long long Findings = 0;
};

class History {
  public:
    History() = default;
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // The history's file for a project file: the project's name without
    // ".zpr", then ".crawls.sqlite", in the same folder.
    static std::string PathFor(const std::string& projectPath);
    // Copies the history of one project file to another (Save As); nothing
    // to do when the first has none. The copy is complete or absent.
    static bool Carry(const std::string& fromProject, const std::string& toProject,
                      std::string& error);

    // Opens the history; with create a missing one is made. False with a
    // one-line reason when the file is damaged or not a crawl history (it is
    // then left untouched).
    bool Open(const std::string& path, bool create, std::string& error);
    bool IsOpen() const { return Db != nullptr; }

    // Stores one crawl with its pages and findings, all or nothing.
    bool Store(const std::string& time, const std::string& root, const std::vector<PageRow>& pages,
               const std::vector<Finding>& findings, std::string& error);
    bool Store(const std::string& time, const std::string& root, PageRowSource& pages,
               const std::vector<Finding>& findings, std::string& error);

    // The stored crawls, oldest first.
    std::vector<CrawlInfo> Crawls() const;
    std::optional<CrawlInfo> Latest() const;
    // An earlier crawl than the latest: "previous" is the one before it; a
    // date or time ("2026-12-09", "2026-12-09T10:15") the newest crawl whose
    // time begins with it.
    std::optional<CrawlInfo> Earlier(const std::string& which) const;

    // The crawl's findings sorted by check then URL, with their link scores.
    std::vector<Finding> Findings(long long crawl) const;
    // A reader of them in that order: each call fills the next finding and
    // returns true, or returns false at the end. Equal URLs (and details) are
    // given one shared text from texts, which must outlive the reader's calls.
    std::function<bool(Finding&)> FindingReader(long long crawl, TextPool& texts) const;
    // Per crawl (by id): findings by severity, and URLs by their worst finding's
    // severity (error, warning, notice).
    struct Totals {
        long long Findings[3] = {0, 0, 0};
        long long WorstUrls[3] = {0, 0, 0};
    };
    std::map<long long, Totals> CrawlTotals() const;
    // Calls each with the crawl's page rows in URL order; stops when it returns false.
    bool ForEachPage(long long crawl, const std::function<bool(const PageRow&)>& each) const;
    // A reader of the crawl's page rows in URL order: each call fills the next
    // row and returns true, or returns false at the end. Several may be open.
    std::function<bool(PageRow&)> PageReader(long long crawl) const;

    // The same with count rows that next gives in URL order.
    bool Store(const std::string& time, const std::string& root, std::size_t count,
               const std::function<bool(PageRow&)>& next, const std::vector<Finding>& findings,
               std::string& error);

    // Writes one finding into the crawl being stored; false when the history
    // refused it.
    using FindingWriter = std::function<bool(const FindingView&)>;
    // Made after the page rows are written: hands each finding to the writer
    // and returns false when the writer did. The findings are written as they
    // come, so a crawl never holds all of them at once.
    using FindingSource = std::function<bool(const FindingWriter&)>;
    bool Store(const std::string& time, const std::string& root, std::size_t count,
               const std::function<bool(PageRow&)>& next, const FindingSource& findings,
               std::string& error);

  private:
    sqlite3* Db = nullptr;
};

// The current time as the history writes it.
std::string NowUtc();

} // namespace vantora::health
