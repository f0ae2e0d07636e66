#pragma once
// Feeding the link index from one site: a bounded breadth-first walk over the
// site's own pages (robots.txt obeyed), recording every page's links to
// other sites.

#include "FetchPage.h"
#include "LinkIndex.h"

#include <cstddef>
#include <ostream>
#include <string>

namespace vantora {

struct IndexSiteOptions {
    std::string StartUrl;
    std::size_t MaxPages = 500;
    int Concurrency = 4;
    FetchOptions Fetch;
};

struct IndexSiteResult {
    bool Ok = false;
    std::string Error;
    std::size_t Pages = 0;  // HTML pages read and recorded
    std::size_t Failed = 0; // pages that could not be fetched
    long long Links = -1;   // links the index holds afterwards
};

IndexSiteResult IndexSite(const IndexSiteOptions& options, const LinkIndex& index,
                          std::ostream& log);

} // namespace vantora
