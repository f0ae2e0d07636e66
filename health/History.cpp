#include "History.h"

#include "LinkScore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>

namespace vantora::health {

namespace {

constexpr const char* Format = "vantora-crawl-history";
constexpr int SchemaVersion = 1;

struct Statement {
    sqlite3_stmt* Stmt = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &Stmt, nullptr); }
    ~Statement() { sqlite3_finalize(Stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return Stmt != nullptr; }
    // An empty text is bound as '' (a null pointer would bind NULL).
    void Bind(int i, std::string_view text) {
        sqlite3_bind_text(Stmt, i, text.data() ? text.data() : "", static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void Bind(int i, long long value) { sqlite3_bind_int64(Stmt, i, value); }
    std::string Text(int i) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(Stmt, i));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(Stmt, i)))
                    : std::string();
    }
    // Valid until the next step.
    std::string_view View(int i) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(Stmt, i));
        return text
                   ? std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(Stmt, i)))
                   : std::string_view();
    }
    long long Int(int i) const { return sqlite3_column_int64(Stmt, i); }
    int Step() { return sqlite3_step(Stmt); }
    void Reset() {
        sqlite3_reset(Stmt);
        sqlite3_clear_bindings(Stmt);
    }
};

bool Exec(sqlite3* db, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

const char* Schema = "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);"
                     "CREATE TABLE crawls(id INTEGER PRIMARY KEY, time TEXT NOT NULL, root TEXT,"
                     " pages INTEGER, findings INTEGER);"
                     "CREATE TABLE pages(crawl INTEGER NOT NULL, url TEXT NOT NULL, status INTEGER,"
                     " redirect TEXT, title TEXT, description TEXT, canonical TEXT,"
                     " indexable INTEGER, h1 TEXT, words INTEGER, html INTEGER, modified TEXT,"
                     " depth INTEGER, PRIMARY KEY(crawl, url)) WITHOUT ROWID;"
                     "CREATE TABLE findings(crawl INTEGER NOT NULL, check_id TEXT NOT NULL,"
                     " url TEXT NOT NULL, severity TEXT, detail TEXT,"
                     " PRIMARY KEY(crawl, check_id, url)) WITHOUT ROWID;";

// Added within version 1: a program that does not know the table leaves it
// alone, and crawls it stored have no scores (they read as unknown).
const char* ScoresTable = "CREATE TABLE IF NOT EXISTS link_scores(crawl INTEGER NOT NULL,"
                          " url TEXT NOT NULL, score REAL, PRIMARY KEY(crawl, url)) WITHOUT ROWID;";

} // namespace

std::string NowUtc() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

PageRowSource::PageRowSource(const Site& site) : Of(site), Scores(LinkScores(site)) {
    const std::vector<UrlFacts>& urls = site.Urls();
    Order.resize(urls.size());
    for (std::size_t i = 0; i < Order.size(); ++i)
        Order[i] = static_cast<std::uint32_t>(i);
    // By URL; of URLs written twice, the first fetched is kept.
    std::sort(Order.begin(), Order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int order = urls[a].Url.compare(urls[b].Url);
        return order != 0 ? order < 0 : a < b;
    });
    Order.erase(
        std::unique(Order.begin(), Order.end(),
                    [&](std::uint32_t a, std::uint32_t b) { return urls[a].Url == urls[b].Url; }),
        Order.end());
}

bool PageRowSource::Next(PageRow& row) {
    if (At >= Order.size())
        return false;
    const std::size_t i = Order[At++];
    const UrlFacts& url = Of.Urls()[i];
    row = PageRow();
    row.Url = url.Url;
    row.Status = url.Status;
    if (url.Status >= 300 && url.Status < 400)
        row.Redirect = url.Location();
    row.Html = url.Html;
    if (url.Html) {
        row.Title = url.Titles.empty() ? std::string() : Excerpt(Collapsed(url.Titles[0]), 300);
        row.Description = Excerpt(Collapsed(url.Description), 300);
        if (!Of.SelfCanonical(i)) {
            const std::string self = NormalUrl(url.Url);
            for (const std::string& canonical : Of.CanonicalsOf(i))
                if (canonical != self) {
                    row.Canonical = Excerpt(canonical, 300);
                    break;
                }
        }
        row.H1 = url.H1Texts.empty() ? std::string() : Excerpt(url.H1Texts[0], 200);
        row.Words = static_cast<long long>(url.Words);
    }
    row.Indexable = Of.Indexable(i);
    row.Modified = url.Modified;
    row.Depth = url.Depth;
    row.LinkScore = Scores[i];
    return true;
}

std::vector<PageRow> PageRows(const CrawlFacts& facts) {
    const Site site(facts);
    PageRowSource source(site);
    std::vector<PageRow> rows(source.Count());
    for (PageRow& row : rows)
        source.Next(row);
    return rows;
}

// Connections are closed with sqlite3_close_v2 throughout: a statement still
// alive at that point (one of Open's checks on an error path, a PageReader
// kept longer than the history) would make sqlite3_close fail and leave the
// connection, its locks and any transaction open until the process ends; v2
// closes it as soon as the last statement is finalized.
History::~History() {
    if (Db)
        sqlite3_close_v2(Db);
}

std::string History::PathFor(const std::string& projectPath) {
    std::string base = projectPath;
    if (base.size() > 4) {
        std::string end = base.substr(base.size() - 4);
        std::transform(end.begin(), end.end(), end.begin(), ::tolower);
        if (end == ".zpr")
            base.resize(base.size() - 4);
    }
    return base + ".crawls.sqlite";
}

bool History::Carry(const std::string& fromProject, const std::string& toProject,
                    std::string& error) {
    namespace fs = std::filesystem;
    const fs::path from = PathFor(fromProject), to = PathFor(toProject);
    std::error_code code;
    if (!fs::exists(from, code))
        return true;
    if (fs::equivalent(from, to, code))
        return true;
    const fs::path part = to.string() + ".part";
    if (!fs::copy_file(from, part, fs::copy_options::overwrite_existing, code)) {
        error = "Cannot create file " + part.string() + ": " + code.message();
        fs::remove(part, code);
        return false;
    }
    fs::rename(part, to, code);
    if (code) {
        error = "Cannot create file " + to.string() + ": " + code.message();
        fs::remove(part, code);
        return false;
    }
    return true;
}

bool History::Open(const std::string& path, bool create, std::string& error) {
    if (Db) {
        sqlite3_close_v2(Db);
        Db = nullptr;
    }
    std::error_code code;
    const bool exists = std::filesystem::exists(path, code);
    if (!exists && !create) {
        error = "there is no crawl history " + path;
        return false;
    }
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &Db, flags, nullptr) != SQLITE_OK) {
        error = "cannot open the crawl history " + path + ": " + sqlite3_errmsg(Db);
        sqlite3_close_v2(Db);
        Db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(Db, 5000);
    auto damaged = [&](const std::string& why) {
        error = "the crawl history " + path + " is damaged (" + why +
                "); move it away to start a new one";
        sqlite3_close_v2(Db);
        Db = nullptr;
        return false;
    };
    bool empty = true;
    {
        Statement tables(Db, "SELECT count(*) FROM sqlite_master");
        if (!tables || tables.Step() != SQLITE_ROW)
            return damaged(sqlite3_errmsg(Db));
        empty = tables.Int(0) == 0;
    }
    if (empty) {
        std::string why;
        const std::string init = std::string("BEGIN;") + Schema + ScoresTable +
                                 "INSERT INTO meta VALUES('format','" + Format +
                                 "');INSERT INTO meta VALUES('version','" +
                                 std::to_string(SchemaVersion) + "');COMMIT;";
        if (!Exec(Db, init.c_str(), why)) {
            error = "cannot create the crawl history " + path + ": " + why;
            sqlite3_close_v2(Db);
            Db = nullptr;
            return false;
        }
        return true;
    }
    Statement meta(Db, "SELECT value FROM meta WHERE key='format'");
    if (!meta || meta.Step() != SQLITE_ROW || meta.Text(0) != Format)
        return damaged(meta ? "it is not a crawl history" : sqlite3_errmsg(Db));
    Statement version(Db, "SELECT value FROM meta WHERE key='version'");
    if (!version || version.Step() != SQLITE_ROW)
        return damaged("no version");
    if (std::atoi(version.Text(0).c_str()) > SchemaVersion) {
        error = "the crawl history " + path + " was written by a later version of the program";
        sqlite3_close_v2(Db);
        Db = nullptr;
        return false;
    }
    Statement check(Db, "PRAGMA quick_check(1)");
    if (!check || check.Step() != SQLITE_ROW || check.Text(0) != "ok")
        return damaged(check ? check.Text(0) : sqlite3_errmsg(Db));
    std::string why;
    if (!Exec(Db, ScoresTable, why)) {
        // A history that cannot be written (a read-only file from before the
        // scores table) is still read: an empty table of this connection's
        // own stands in, so its crawls read with unknown scores.
        std::string temp = ScoresTable;
        temp.replace(0, std::string_view("CREATE TABLE").size(), "CREATE TEMP TABLE");
        std::string tempWhy;
        if (sqlite3_db_readonly(Db, "main") == 1 && Exec(Db, temp.c_str(), tempWhy))
            return true;
        error = "cannot add to the crawl history " + path + ": " + why;
        sqlite3_close_v2(Db);
        Db = nullptr;
        return false;
    }
    return true;
}

bool History::Store(const std::string& time, const std::string& root,
                    const std::vector<PageRow>& pages, const std::vector<Finding>& findings,
                    std::string& error) {
    std::size_t at = 0;
    return Store(
        time, root, pages.size(),
        [&](PageRow& row) {
            if (at >= pages.size())
                return false;
            row = pages[at++];
            return true;
        },
        findings, error);
}

bool History::Store(const std::string& time, const std::string& root, PageRowSource& pages,
                    const std::vector<Finding>& findings, std::string& error) {
    return Store(
        time, root, pages.Count(), [&](PageRow& row) { return pages.Next(row); }, findings, error);
}

bool History::Store(const std::string& time, const std::string& root, std::size_t count,
                    const std::function<bool(PageRow&)>& next, const std::vector<Finding>& findings,
                    std::string& error) {
    return Store(
        time, root, count, next,
        [&](const FindingWriter& write) {
            for (const Finding& finding : findings)
                if (!write({finding.Check, finding.Level, 0, finding.Url.view(), finding.Detail}))
                    return false;
            return true;
        },
        error);
}

bool History::Store(const std::string& time, const std::string& root, std::size_t count,
                    const std::function<bool(PageRow&)>& next, const FindingSource& findings,
                    std::string& error) {
    if (!Db) {
        error = "the crawl history is not open";
        return false;
    }
    if (!Exec(Db, "BEGIN IMMEDIATE", error))
        return false;
    auto fail = [&] {
        error = sqlite3_errmsg(Db);
        std::string ignored;
        Exec(Db, "ROLLBACK", ignored);
        return false;
    };
    Statement crawl(Db, "INSERT INTO crawls(time, root, pages, findings) VALUES(?,?,?,?)");
    if (!crawl)
        return fail();
    crawl.Bind(1, time);
    crawl.Bind(2, root);
    crawl.Bind(3, static_cast<long long>(count));
    crawl.Bind(4, 0LL); // counted as they are written
    if (crawl.Step() != SQLITE_DONE)
        return fail();
    const long long id = sqlite3_last_insert_rowid(Db);
    // Each row and its score are written as it is made, so a crawl of a
    // million URLs never holds all its rows at once.
    Statement page(Db, "INSERT OR REPLACE INTO pages VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)");
    Statement score(Db, "INSERT OR REPLACE INTO link_scores VALUES(?,?,?)");
    if (!page || !score)
        return fail();
    PageRow row;
    while (next(row)) {
        page.Bind(1, id);
        page.Bind(2, row.Url);
        page.Bind(3, static_cast<long long>(row.Status));
        page.Bind(4, row.Redirect);
        page.Bind(5, row.Title);
        page.Bind(6, row.Description);
        page.Bind(7, row.Canonical);
        page.Bind(8, static_cast<long long>(row.Indexable));
        page.Bind(9, row.H1);
        page.Bind(10, row.Words);
        page.Bind(11, static_cast<long long>(row.Html));
        page.Bind(12, row.Modified);
        page.Bind(13, static_cast<long long>(row.Depth));
        if (page.Step() != SQLITE_DONE)
            return fail();
        page.Reset();
        if (row.LinkScore < 0)
            continue;
        score.Bind(1, id);
        score.Bind(2, row.Url);
        sqlite3_bind_double(score.Stmt, 3, row.LinkScore);
        if (score.Step() != SQLITE_DONE)
            return fail();
        score.Reset();
    }
    Statement finding(Db, "INSERT OR REPLACE INTO findings VALUES(?,?,?,?,?)");
    if (!finding)
        return fail();
    long long written = 0;
    const bool made = findings([&](const FindingView& row) {
        finding.Bind(1, id);
        finding.Bind(2, row.Check.view());
        finding.Bind(3, row.Url);
        finding.Bind(4, SeverityName(row.Level));
        finding.Bind(5, row.Detail.view());
        if (finding.Step() != SQLITE_DONE)
            return false;
        finding.Reset();
        ++written;
        return true;
    });
    if (!made)
        return fail();
    Statement total(Db, "UPDATE crawls SET findings=? WHERE id=?");
    if (!total)
        return fail();
    total.Bind(1, written);
    total.Bind(2, id);
    if (total.Step() != SQLITE_DONE)
        return fail();
    if (!Exec(Db, "COMMIT", error)) {
        std::string ignored;
        Exec(Db, "ROLLBACK", ignored);
        return false;
    }
    return true;
}

std::vector<CrawlInfo> History::Crawls() const {
    std::vector<CrawlInfo> crawls;
    if (!Db)
        return crawls;
    Statement list(Db, "SELECT id, time, root, pages, findings FROM crawls ORDER BY id");
    while (list && list.Step() == SQLITE_ROW)
        crawls.push_back({list.Int(0), list.Text(1), list.Text(2), list.Int(3), list.Int(4)});
    return crawls;
}

std::optional<CrawlInfo> History::Latest() const {
    std::vector<CrawlInfo> crawls = Crawls();
    if (crawls.empty())
        return std::nullopt;
    return crawls.back();
}

std::optional<CrawlInfo> History::Earlier(const std::string& which) const {
    std::vector<CrawlInfo> crawls = Crawls();
    if (crawls.size() < 2)
        return std::nullopt;
    crawls.pop_back(); // the latest is what is compared
    if (which == "previous")
        return crawls.back();
    for (auto at = crawls.rbegin(); at != crawls.rend(); ++at)
        if (!which.empty() && at->Time.compare(0, which.size(), which) == 0)
            return *at;
    return std::nullopt;
}

std::vector<Finding> History::Findings(long long crawl) const {
    std::vector<Finding> findings;
    TextPool texts;
    const std::function<bool(Finding&)> next = FindingReader(crawl, texts);
    Finding finding;
    while (next(finding))
        findings.push_back(std::move(finding));
    return findings;
}

std::function<bool(Finding&)> History::FindingReader(long long crawl, TextPool& texts) const {
    if (!Db)
        return [](Finding&) { return false; };
    auto list = std::make_shared<Statement>(
        Db, "SELECT f.check_id, f.severity, f.url, f.detail, s.score FROM findings f"
            " LEFT JOIN link_scores s ON s.crawl=f.crawl AND s.url=f.url"
            " WHERE f.crawl=? ORDER BY f.check_id, f.url");
    if (!*list)
        return [](Finding&) { return false; };
    list->Bind(1, crawl);
    // The rows come by check: the identifier is interned once per check.
    return [list, &texts, check = CheckId()](Finding& finding) mutable {
        if (list->Step() != SQLITE_ROW)
            return false;
        const std::string_view id = list->View(0);
        if (check != id)
            check = CheckId(id);
        finding.Check = check;
        finding.Level = Severity::Notice;
        ParseSeverity(list->View(1), finding.Level);
        finding.Url = texts.Get(list->View(2));
        finding.Detail = texts.Get(list->View(3));
        finding.LinkScore = sqlite3_column_type(list->Stmt, 4) == SQLITE_NULL
                                ? -1
                                : sqlite3_column_double(list->Stmt, 4);
        return true;
    };
}

std::map<long long, History::Totals> History::CrawlTotals() const {
    std::map<long long, Totals> totals;
    if (!Db)
        return totals;
    auto level = [](const std::string& text) {
        Severity severity = Severity::Notice;
        ParseSeverity(text, severity);
        return static_cast<int>(severity);
    };
    Statement counts(Db, "SELECT crawl, severity, count(*) FROM findings GROUP BY crawl, severity");
    while (counts && counts.Step() == SQLITE_ROW)
        totals[counts.Int(0)].Findings[level(counts.Text(1))] += counts.Int(2);
    Statement worst(Db, "SELECT crawl, worst, count(*) FROM (SELECT crawl, url,"
                        " min(CASE severity WHEN 'error' THEN 0 WHEN 'warning' THEN 1 ELSE 2 END)"
                        " AS worst FROM findings GROUP BY crawl, url) GROUP BY crawl, worst");
    while (worst && worst.Step() == SQLITE_ROW)
        totals[worst.Int(0)].WorstUrls[std::clamp<long long>(worst.Int(1), 0, 2)] += worst.Int(2);
    return totals;
}

std::function<bool(PageRow&)> History::PageReader(long long crawl) const {
    if (!Db)
        return [](PageRow&) { return false; };
    auto list = std::make_shared<Statement>(
        Db, "SELECT p.url, p.status, p.redirect, p.title, p.description, p.canonical,"
            " p.indexable, p.h1, p.words, p.html, p.modified, p.depth, s.score FROM pages p"
            " LEFT JOIN link_scores s ON s.crawl=p.crawl AND s.url=p.url WHERE p.crawl=?"
            " ORDER BY p.url");
    if (!*list)
        return [](PageRow&) { return false; };
    list->Bind(1, crawl);
    return [list](PageRow& row) {
        if (list->Step() != SQLITE_ROW)
            return false;
        row.Url = list->Text(0);
        row.Status = static_cast<int>(list->Int(1));
        row.Redirect = list->Text(2);
        row.Title = list->Text(3);
        row.Description = list->Text(4);
        row.Canonical = list->Text(5);
        row.Indexable = list->Int(6) != 0;
        row.H1 = list->Text(7);
        row.Words = list->Int(8);
        row.Html = list->Int(9) != 0;
        row.Modified = list->Text(10);
        row.Depth = static_cast<int>(list->Int(11));
        row.LinkScore = sqlite3_column_type(list->Stmt, 12) == SQLITE_NULL
                            ? -1
                            : sqlite3_column_double(list->Stmt, 12);
        return true;
    };
}

bool History::ForEachPage(long long crawl, const std::function<bool(const PageRow&)>& each) const {
    if (!Db)
        return false;
    const std::function<bool(PageRow&)> next = PageReader(crawl);
    PageRow row;
    while (next(row))
        if (!each(row))
            break;
    return true;
}

} // namespace vantora::health
