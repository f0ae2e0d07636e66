#pragma once
// Keyword effectiveness of one page: weighted on-page factors scored 9 at
// best (some negative), summed over the factors, and turned into 0..100.
// Advice is given for every factor that falls short.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantora {

struct PageModel;

struct Advice {
    std::string What; // "PROBLEM: ..." without the prefix
    std::string Why;
    std::string Fix;
    std::string Code; // short factor code such as "K1"
    bool Tip = false; // a word of advice that does not lower the score
};

struct WordweighResult {
    int Percentage = 0;           // 0..100
    std::vector<Advice> Problems; // problems first, then tips
    // Each factor's score for the first key phrase, by code ("K1", 9).
    std::vector<std::pair<std::string, int>> Scores;
};

struct WordweighOptions {
    // Match word forms ("join" finds "joined"); off, exact forms only and the
    // density ceiling of exact matching (3 % instead of 3.5 %).
    bool WordForms = true;
};

// keywords: the user's key words as typed (blank separated); commas split
// several key phrases, whose percentages are averaged.
WordweighResult AnalyseWordweigh(const PageModel& page, std::string_view pageUrl,
                                 std::string_view keywords, const WordweighOptions& options = {});

// Width of a text in pixels as search results draw titles: Arial at 20 px.
double TitleWidthPx(std::string_view text);

// The score as the client reads it: two digits ("07"), or "100".
std::string FormatPercentage(int percentage);

} // namespace vantora
