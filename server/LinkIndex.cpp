#include "LinkIndex.h"

#include "Links.h"
#include "PageText.h"
#include "Url.h"

#include <sqlite3.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <set>

namespace vantora {

namespace {

constexpr std::size_t MaxLinksPerPage = 2000;
constexpr int BusyTimeoutMs = 15000;

std::string WithoutWww(std::string host) {
    if (host.rfind("www.", 0) == 0 && host.size() > 4)
        host.erase(0, 4);
    return host;
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

bool Fail(sqlite3* db, const std::string& what, std::string* error) {
    if (error)
        *error = what + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    return false;
}

// Opens the file, creating it and its folder on first use.
Db Open(const std::string& path, std::string* error) {
    std::error_code ec;
    const auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        Fail(db.get(), "the link index " + path + " cannot be opened", error);
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), BusyTimeoutMs);
    // WAL lets readers go on while one process writes; the setting stays in
    // the file, so a busy answer here (another process holds it) is harmless.
    sqlite3_exec(db.get(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db.get(), "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    const char* schema = "CREATE TABLE IF NOT EXISTS links ("
                         " source TEXT NOT NULL,"
                         " target_key TEXT NOT NULL,"
                         " target TEXT NOT NULL,"
                         " anchor TEXT NOT NULL,"
                         " nofollow INTEGER NOT NULL,"
                         " seen TEXT NOT NULL,"
                         " PRIMARY KEY (source, target_key)) WITHOUT ROWID;"
                         "CREATE INDEX IF NOT EXISTS links_by_target ON links (target_key);";
    if (sqlite3_exec(db.get(), schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(db.get(), "the link index " + path + " cannot be set up", error);
        return nullptr;
    }
    return db;
}

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    return Statement(raw);
}

void Bind(sqlite3_stmt* s, int index, std::string_view text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

} // namespace

std::string PageKey(std::string_view url) {
    const auto parsed = ParseUrl(url);
    if (!parsed)
        return {};
    std::string key = WithoutWww(parsed->Host);
    if (!parsed->Port.empty())
        key += ":" + parsed->Port;
    std::string path = parsed->Path;
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    key += path;
    if (parsed->HasQuery && !parsed->Query.empty())
        key += "?" + parsed->Query;
    return key;
}

std::string UtcStamp() {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return stamp;
}

std::string SiteKey(std::string_view url) {
    const auto parsed = ParseUrl(url);
    if (!parsed)
        return {};
    return WithoutWww(parsed->Host) + (parsed->Port.empty() ? "" : ":" + parsed->Port);
}

std::vector<SeenLink> ResolvedLinks(std::string_view pageUrl, const PageModel& page,
                                    std::string_view html) {
    std::vector<SeenLink> out;
    auto base = ParseUrl(pageUrl);
    if (!base)
        return out;
    // Only a page that has a <base> element pays for the second parse.
    if (AsciiLower(html.substr(0, 1u << 20)).find("<base") != std::string::npos) {
        const DocumentLinks found = ExtractLinks(html);
        if (!found.BaseHref.empty())
            if (auto resolved = ResolveUrl(*base, found.BaseHref))
                base = std::move(resolved);
    }
    for (const PageLink& link : page.Links) {
        const auto target = ResolveUrl(*base, link.Href);
        if (!target)
            continue;
        SeenLink seen;
        seen.Target = target->ToString();
        seen.Anchor = CollapseSpace(link.Text);
        if (seen.Anchor.empty())
            seen.Anchor = CollapseSpace(link.AriaLabel);
        if (seen.Anchor.empty() && link.HasImage)
            seen.Anchor = "(image)";
        seen.NoFollow = link.NoFollow;
        out.push_back(std::move(seen));
    }
    return out;
}

bool LinkIndex::RecordPage(std::string_view sourceUrl, const std::vector<SeenLink>& links,
                           std::string* error) const {
    const std::string source = [&] {
        const auto parsed = ParseUrl(sourceUrl);
        return parsed ? parsed->ToString() : std::string();
    }();
    if (source.empty())
        return true;
    const std::string sourceSite = SiteKey(source);
    Db db = Open(File, error);
    if (!db)
        return false;
    // IMMEDIATE takes the write lock at once, so two writers wait on the busy
    // time-out instead of failing half way.
    if (sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return Fail(db.get(), "the link index " + File + " is busy", error);
    const Statement remove = Prepare(db.get(), "DELETE FROM links WHERE source = ?1");
    const Statement insert =
        Prepare(db.get(), "INSERT OR REPLACE INTO links (source, target_key, target, anchor, "
                          "nofollow, seen) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    if (!remove || !insert) {
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        return Fail(db.get(), "the link index " + File + " cannot be written", error);
    }
    Bind(remove.get(), 1, source);
    bool ok = sqlite3_step(remove.get()) == SQLITE_DONE;
    const std::string seen = UtcStamp();
    std::set<std::string> keys;
    for (const SeenLink& link : links) {
        if (!ok || keys.size() >= MaxLinksPerPage)
            break;
        const std::string key = PageKey(link.Target);
        if (key.empty() || SiteKey(link.Target) == sourceSite || !keys.insert(key).second)
            continue;
        sqlite3_reset(insert.get());
        Bind(insert.get(), 1, source);
        Bind(insert.get(), 2, key);
        Bind(insert.get(), 3, RepairUtf8(link.Target.substr(0, 4096)));
        Bind(insert.get(), 4, RepairUtf8(CutCodePoints(link.Anchor, 300)));
        sqlite3_bind_int(insert.get(), 5, link.NoFollow ? 1 : 0);
        Bind(insert.get(), 6, seen);
        ok = sqlite3_step(insert.get()) == SQLITE_DONE;
    }
    if (!ok || sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(db.get(), "the link index " + File + " cannot be written", error);
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

std::vector<std::string> LinkIndex::PagesLinkingTo(std::string_view targetUrl, std::size_t limit,
                                                   std::string* error) const {
    std::vector<std::string> out;
    const std::string key = PageKey(targetUrl);
    if (key.empty())
        return out;
    Db db = Open(File, error);
    if (!db)
        return out;
    const Statement query = Prepare(
        db.get(), "SELECT source FROM links WHERE target_key = ?1 ORDER BY seen DESC LIMIT ?2");
    if (!query) {
        Fail(db.get(), "the link index " + File + " cannot be read", error);
        return out;
    }
    Bind(query.get(), 1, key);
    sqlite3_bind_int64(query.get(), 2, static_cast<sqlite3_int64>(limit));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(query.get())) == SQLITE_ROW)
        out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 0)));
    if (rc != SQLITE_DONE)
        Fail(db.get(), "the link index " + File + " cannot be read", error);
    return out;
}

long long LinkIndex::LinkCount(std::string* error) const {
    Db db = Open(File, error);
    if (!db)
        return -1;
    const Statement query = Prepare(db.get(), "SELECT COUNT(*) FROM links");
    if (!query || sqlite3_step(query.get()) != SQLITE_ROW) {
        Fail(db.get(), "the link index " + File + " cannot be read", error);
        return -1;
    }
    return sqlite3_column_int64(query.get(), 0);
}

} // namespace vantora
