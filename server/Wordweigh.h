#pragma once
// Keyword effectiveness of one page: weighted on-page factors scored 9 at
// best (some negative), summed over the factors, and turned into 0..100.
// Advice is given for every factor that falls short.

#include <string>
#include <string_view>
#include <vector>

namespace vantora {

struct PageModel;

struct Advice {
    std::string What; // "PROBLEM: ..." without the prefix
    std::string Why;
    std::string Fix;
    std::string Code; // short factor code such as "K1"
};

struct WordweighResult {
    int Percentage = 0; // 0..100
    std::vector<Advice> Problems;
};

// keywords: the user's key words as typed (blank separated); commas split
// several key phrases, whose percentages are averaged.
WordweighResult AnalyseWordweigh(const PageModel& page, std::string_view pageUrl,
                                 std::string_view keywords);

// Width of a text in pixels as Arial at 18 px draws it (approximate widths).
double TitleWidthPx(std::string_view text);

// The score as the client reads it: two digits ("07"), or "100".
std::string FormatPercentage(int percentage);

} // namespace vantora
