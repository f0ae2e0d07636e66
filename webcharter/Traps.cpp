#include "CrawlState.h"

#include <algorithm>
#include <string_view>

namespace vantora::webcharter {

// The most times one segment occurs in a path ("/a/b/a/b/a/" holds "a" three times).
int RepeatedSegments(std::string_view path) {
    std::unordered_map<std::string_view, int> counts;
    int most = 0;
    size_t begin = 1;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > begin) // a folder's final "/" leaves an empty last segment: not counted
            most = std::max(most, ++counts[path.substr(begin, end - begin)]);
        begin = end + 1;
    }
    return most;
}

bool Crawl::TrapCut(const Url& url) {
    if (url.ToString().size() > Options.MaxUrlLength) {
        ++LongUrlCut;
        NoteOnce(UrlLimitNoted, "links longer than " + std::to_string(Options.MaxUrlLength) +
                                    " characters are left out");
        return true;
    }
    if (RepeatedSegments(url.Path) > Options.MaxSegmentRepeats) {
        ++RepeatCut;
        NoteOnce(RepeatNoted, "URLs whose path repeats one segment more than " +
                                  std::to_string(Options.MaxSegmentRepeats) +
                                  " times are left out (" + url.ToString() + ")");
        return true;
    }
    if (url.HasQuery) {
        size_t& count = QueryPages[url.Authority() + url.Path];
        if (count >= Options.MaxQueryPages) {
            ++QueryCut;
            NoteOnce(QueryLimitNoted, "more than " + std::to_string(Options.MaxQueryPages) +
                                          " pages of " + url.Authority() + url.Path +
                                          " with differing query strings; the rest are left out");
            return true;
        }
        ++count;
    }
    return false;
}

} // namespace vantora::webcharter
