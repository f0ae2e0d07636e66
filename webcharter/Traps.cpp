#include "CrawlState.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <string_view>
#include <vector>

namespace vantora::webcharter {

// The most times one segment occurs in a path ("/a/b/a/b/a/" holds "a" three times).
int RepeatedSegments(std::string_view path) {
    // the segments sorted: the longest run of equal ones
    std::string_view few[32];
    std::vector<std::string_view> many;
    size_t count = 0;
    size_t begin = 1;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > begin) { // a folder's final "/" leaves an empty last segment: not counted
            const std::string_view segment = path.substr(begin, end - begin);
            if (count < std::size(few)) {
                few[count] = segment;
            } else {
                if (many.empty())
                    many.assign(std::begin(few), std::end(few));
                many.push_back(segment);
            }
            ++count;
        }
        begin = end + 1;
    }
    std::string_view* first = many.empty() ? few : many.data();
    std::sort(first, first + count);
    int most = count ? 1 : 0, run = 1;
    for (size_t i = 1; i < count; ++i) {
        run = first[i] == first[i - 1] ? run + 1 : 1;
        most = std::max(most, run);
    }
    return most;
}

bool Crawl::TrapCut(const Url& url) {
    // the length of url.ToString(), without writing it
    const size_t length = url.Scheme.size() + 3 + url.Host.size() +
                          (url.Port.empty() ? 0 : 1 + url.Port.size()) + url.Path.size() +
                          (url.HasQuery ? 1 + url.Query.size() : 0);
    if (length > Options.MaxUrlLength) {
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
        uint32_t& count = QueryPages[std::hash<std::string>()(url.Authority() + url.Path)];
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
