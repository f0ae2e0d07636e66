#include "LinkIndexPg.h"

#include <libpq-fe.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace vantora::linkrows {

namespace {

using Clock = std::chrono::steady_clock;

// The schema, one step per version. A server finds the version in
// vantora_schema and runs the steps after it, under an advisory lock, so
// that servers starting together set the database up once.
const char* const Migrations[] = {
    // 1: the links, as the SQLite index keeps them.
    "CREATE TABLE IF NOT EXISTS links ("
    " source TEXT NOT NULL,"
    " target_key TEXT NOT NULL,"
    " target TEXT NOT NULL,"
    " anchor TEXT NOT NULL,"
    " nofollow BOOLEAN NOT NULL,"
    " seen TEXT NOT NULL,"
    " source_site TEXT NOT NULL DEFAULT '',"
    " PRIMARY KEY (source, target_key));"
    "CREATE INDEX IF NOT EXISTS links_by_target ON links (target_key);"
    "CREATE INDEX IF NOT EXISTS links_by_site ON links (source_site, seen);"
    "CREATE INDEX IF NOT EXISTS links_by_seen ON links (seen);",
};
constexpr int SchemaVersion = int(sizeof Migrations / sizeof Migrations[0]);
constexpr long long MigrationLock = 0x76616e746f7261; // "vantora"
constexpr std::size_t MaxIdle = 16;
constexpr int RowsPerInsert = 400;

struct ResultFree {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// The pool of one database address.
struct Pool {
    std::mutex Lock;
    std::vector<PGconn*> Idle;
    bool Migrated = false;
    Clock::time_point DownUntil{};
    std::string DownReason;
};

Pool& PoolOf(const std::string& address) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<Pool>> pools;
    std::lock_guard guard(lock);
    auto& pool = pools[address];
    if (!pool)
        pool = std::make_unique<Pool>();
    return *pool;
}

std::string Message(PGconn* c) {
    std::string text = c ? PQerrorMessage(c) : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    for (char& ch : text)
        if (ch == '\n')
            ch = ' ';
    return text.empty() ? "no answer" : text;
}

// Thrown inside one attempt; Lost says whether the connection went.
struct Failure {
    std::string Text;
    bool Lost = false;
    bool Retry = false; // a deadlock or serialisation failure: the transaction may run again
};

Result Exec(PGconn* c, const std::string& sql, const std::vector<std::string>& params = {}) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params)
        values.push_back(p.c_str());
    Result r(params.empty() ? PQexec(c, sql.c_str())
                            : PQexecParams(c, sql.c_str(), int(values.size()), nullptr,
                                           values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        Failure f;
        f.Text = Message(c);
        f.Lost = PQstatus(c) != CONNECTION_OK;
        const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
        f.Retry = state && (std::string(state) == "40001" || std::string(state) == "40P01");
        throw f;
    }
    return r;
}

long long Number(const Result& r, int row = 0, int column = 0) {
    if (PQntuples(r.get()) <= row || PQgetisnull(r.get(), row, column))
        return 0;
    return std::strtoll(PQgetvalue(r.get(), row, column), nullptr, 10);
}

void Migrate(PGconn* c) {
    Exec(c, "BEGIN");
    try {
        Exec(c, "SELECT pg_advisory_xact_lock(" + std::to_string(MigrationLock) + ")");
        Exec(c, "CREATE TABLE IF NOT EXISTS vantora_schema (version INTEGER PRIMARY KEY, "
                "applied TIMESTAMPTZ NOT NULL DEFAULT now())");
        const long long version = Number(Exec(c, "SELECT max(version) FROM vantora_schema"));
        if (version > SchemaVersion)
            throw Failure{"the database holds a link index of a newer vantora-server (schema " +
                              std::to_string(version) + ", this one knows " +
                              std::to_string(SchemaVersion) + ")",
                          false, false};
        for (int v = int(version) + 1; v <= SchemaVersion; ++v) {
            Exec(c, Migrations[v - 1]);
            Exec(c, "INSERT INTO vantora_schema (version) VALUES ($1)", {std::to_string(v)});
        }
        Exec(c, "COMMIT");
    } catch (const Failure&) {
        if (PQstatus(c) == CONNECTION_OK)
            Result(PQexec(c, "ROLLBACK"));
        throw;
    }
}

PGconn* Connect(const std::string& address, Pool& pool) {
    // The address's own settings win over these defaults.
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"5", "vantora-server", address.c_str(), nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 1);
    if (!c || PQstatus(c) != CONNECTION_OK) {
        Failure f{"cannot connect: " + Message(c), true, false};
        PQfinish(c);
        throw f;
    }
    bool migrated = false;
    {
        std::lock_guard guard(pool.Lock);
        migrated = pool.Migrated;
    }
    if (!migrated) {
        try {
            Migrate(c);
        } catch (...) {
            PQfinish(c);
            throw;
        }
        std::lock_guard guard(pool.Lock);
        pool.Migrated = true;
    }
    return c;
}

// Runs work on a pooled connection. A lost connection or a deadlock gets
// one more attempt on a fresh connection; what still fails is reported in
// error, and for a second after, calls fail at once with the same reason.
template <typename Work> bool Run(const std::string& address, std::string* error, Work&& work) {
    Pool& pool = PoolOf(address);
    {
        std::lock_guard guard(pool.Lock);
        if (Clock::now() < pool.DownUntil) {
            if (error)
                *error = pool.DownReason;
            return false;
        }
    }
    std::string reason;
    for (int attempt = 0; attempt < 3; ++attempt) {
        PGconn* c = nullptr;
        {
            std::lock_guard guard(pool.Lock);
            if (!pool.Idle.empty() && attempt == 0) {
                c = pool.Idle.back();
                pool.Idle.pop_back();
            }
        }
        try {
            if (!c)
                c = Connect(address, pool);
            work(c);
            std::lock_guard guard(pool.Lock);
            if (pool.Idle.size() < MaxIdle && PQtransactionStatus(c) == PQTRANS_IDLE)
                pool.Idle.push_back(c);
            else
                PQfinish(c);
            return true;
        } catch (const Failure& f) {
            reason = f.Text;
            if (c && PQstatus(c) == CONNECTION_OK && PQtransactionStatus(c) != PQTRANS_IDLE)
                Result(PQexec(c, "ROLLBACK"));
            const bool again = f.Lost || f.Retry;
            if (c && (f.Lost || PQstatus(c) != CONNECTION_OK)) {
                PQfinish(c);
            } else if (c) {
                std::lock_guard guard(pool.Lock);
                if (pool.Idle.size() < MaxIdle && PQtransactionStatus(c) == PQTRANS_IDLE)
                    pool.Idle.push_back(c);
                else
                    PQfinish(c);
            }
            if (!again)
                break;
            if (f.Lost) {
                // Every idle connection went with the server; none is reused.
                std::lock_guard guard(pool.Lock);
                for (PGconn* idle : pool.Idle)
                    PQfinish(idle);
                pool.Idle.clear();
                pool.Migrated = false;
                if (attempt >= 1)
                    break; // a fresh connection failed too
            }
            if (f.Retry)
                std::this_thread::sleep_for(std::chrono::milliseconds(20 * (attempt + 1)));
        }
    }
    const std::string text =
        "the link index " + RedactedAddress(address) + " is unavailable (" + reason + ")";
    {
        std::lock_guard guard(pool.Lock);
        pool.DownUntil = Clock::now() + std::chrono::seconds(1);
        pool.DownReason = text;
    }
    if (error)
        *error = text;
    return false;
}

// Removes the oldest rows, of one site or of all, down to keep rows.
void Trim(PGconn* c, const std::string* site, long long keep) {
    const long long now =
        site ? Number(Exec(c, "SELECT count(*) FROM links WHERE source_site = $1", {*site}))
             : Number(Exec(c, "SELECT count(*) FROM links"));
    if (now <= keep)
        return;
    const std::string excess = std::to_string(now - keep);
    if (site)
        Exec(c,
             "DELETE FROM links WHERE ctid IN (SELECT ctid FROM links WHERE source_site = $1 "
             "ORDER BY seen LIMIT $2)",
             {*site, excess});
    else
        Exec(c, "DELETE FROM links WHERE ctid IN (SELECT ctid FROM links ORDER BY seen LIMIT $1)",
             {excess});
}

} // namespace

bool PgRecordPage(const std::string& address, const LinkIndexLimits& limits,
                  const std::string& source, const std::string& sourceSite,
                  const std::vector<Row>& rows, std::string* error) {
    const std::string seen = UtcStamp();
    const std::string expired = StampDaysAgo(limits.ExpiryDays);
    return Run(address, error, [&](PGconn* c) {
        Exec(c, "BEGIN");
        // Writers of one page wait for each other; others go on at once.
        Exec(c, "SELECT pg_advisory_xact_lock(hashtext($1))", {source});
        Exec(c, "DELETE FROM links WHERE seen < $1", {expired});
        Exec(c, "DELETE FROM links WHERE source = $1", {source});
        for (std::size_t first = 0; first < rows.size(); first += RowsPerInsert) {
            const std::size_t last = std::min(rows.size(), first + RowsPerInsert);
            std::string sql = "INSERT INTO links (source, target_key, target, anchor, nofollow, "
                              "seen, source_site) VALUES ";
            std::vector<std::string> params = {source, seen, sourceSite};
            for (std::size_t i = first; i < last; ++i) {
                const std::size_t n = params.size();
                sql += (i > first ? ",($1,$" : "($1,$") + std::to_string(n + 1) + ",$" +
                       std::to_string(n + 2) + ",$" + std::to_string(n + 3) + ",$" +
                       std::to_string(n + 4) + ",$2,$3)";
                params.push_back(rows[i].Key);
                params.push_back(rows[i].Target);
                params.push_back(rows[i].Anchor);
                params.push_back(rows[i].NoFollow ? "true" : "false");
            }
            sql += " ON CONFLICT (source, target_key) DO UPDATE SET target = excluded.target, "
                   "anchor = excluded.anchor, nofollow = excluded.nofollow, seen = excluded.seen, "
                   "source_site = excluded.source_site";
            Exec(c, sql, params);
        }
        Trim(c, &sourceSite, static_cast<long long>(limits.MaxPerSite));
        Trim(c, nullptr, static_cast<long long>(limits.MaxTotal));
        Exec(c, "COMMIT");
    });
}

std::vector<std::string> PgPagesLinkingTo(const std::string& address, const std::string& key,
                                          std::size_t limit, std::string* error) {
    std::vector<std::string> out;
    Run(address, error, [&](PGconn* c) {
        out.clear();
        const Result r =
            Exec(c, "SELECT source FROM links WHERE target_key = $1 ORDER BY seen DESC LIMIT $2",
                 {key, std::to_string(limit)});
        for (int i = 0; i < PQntuples(r.get()); ++i)
            out.emplace_back(PQgetvalue(r.get(), i, 0));
    });
    return out;
}

LinkIndexSize PgSize(const std::string& address, std::string* error) {
    LinkIndexSize size;
    Run(address, error, [&](PGconn* c) {
        const Result r = Exec(c, "SELECT count(*), count(DISTINCT source_site), "
                                 "pg_total_relation_size('links') FROM links");
        size.Links = Number(r, 0, 0);
        size.Sites = Number(r, 0, 1);
        size.Bytes = Number(r, 0, 2);
    });
    return size;
}

bool PgCheck(const std::string& address, std::string* error) {
    return Run(address, error, [](PGconn* c) { Exec(c, "SELECT 1 FROM links LIMIT 1"); });
}

} // namespace vantora::linkrows
