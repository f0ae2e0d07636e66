#pragma once
// Search-engine spam signs that can be read from one page's HTML: keyword
// stuffing, hidden text and links, same-colour text, tiny links, sneaky
// redirects, stuffed titles, meta keywords and alternative texts, lists of
// numbers or places, and doorway pages. Each finding carries points; 0 means
// clean, 1 to 4 worth a review, 5 or more likely spam.

#include <string>
#include <string_view>
#include <vector>

namespace vantora {

struct PageModel;

struct Finding {
    std::string What;  // what was found
    std::string Where; // an excerpt or the element
    std::string Why;   // the search engines' policy it breaks
    std::string Code;  // rule code such as "S1"
    int Points = 0;
};

struct StuffwatchResult {
    std::vector<Finding> Findings;
    int Points = 0; // sum of the highest points of each rule that fired
    std::string Verdict() const;
};

StuffwatchResult AnalyseStuffwatch(const PageModel& page, std::string_view pageUrl);

// The host of an absolute http(s) URL, lower case, without "www." and port;
// empty for a relative URL.
std::string UrlHost(std::string_view url);

} // namespace vantora
