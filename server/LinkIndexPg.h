#pragma once
// The link index's rows in PostgreSQL; LinkIndex calls these when its
// setting is a database address. Connections are kept in a pool per
// address and shared by the workers; a connection that was lost is opened
// again once before a call gives up, and after a failure the database is
// left alone for a second so that requests do not queue on its time-outs.

#include "LinkIndex.h"

#include <string>
#include <vector>

namespace vantora::linkrows {

// One row as both stores keep it.
struct Row {
    std::string Key;
    std::string Target;
    std::string Anchor;
    bool NoFollow = false;
};

// The rows a page's links give: to other sites only, each target once,
// bounded in count and length.
std::vector<Row> RowsOf(const std::string& sourceSite, const std::vector<SeenLink>& links);

// The address without its password ("postgresql://vantora:***@db/links").
std::string RedactedAddress(const std::string& address);

// The UTC stamp of days ago, in the form rows keep.
std::string StampDaysAgo(int days);

bool PgRecordPage(const std::string& address, const LinkIndexLimits& limits,
                  const std::string& source, const std::string& sourceSite,
                  const std::vector<Row>& rows, std::string* error);
std::vector<std::string> PgPagesLinkingTo(const std::string& address, const std::string& key,
                                          std::size_t limit, std::string* error);
LinkIndexSize PgSize(const std::string& address, std::string* error);
bool PgCheck(const std::string& address, std::string* error);

} // namespace vantora::linkrows
