#pragma once
// Pages built to make one analysis cost as much as possible: each aims at
// one part of reading a page (style sheets, nesting, attributes, nested
// texts, element count, style rules over elements). The tests read them,
// the limits benchmark serves them, and the fuzz runs start from them.

#include <algorithm>
#include <string>
#include <vector>

namespace attack {

struct Page {
    const char* Name;
    std::string Html;
    bool TooComplex; // answered as too complex to analyse, not analysed
};

inline std::string Head() {
    return "<!DOCTYPE html><html><head><title>Garden tools</title></head><body>";
}

// scale 1 gives the full pages (up to 4 MB); smaller values shrink each
// page's repeated part, for quick runs and fuzz seeds.
inline std::vector<Page> Pages(double scale = 1.0) {
    auto times = [scale](int n) { return std::max(1, int(n * scale)); };
    std::vector<Page> pages;
    {
        // One rule block whose selector is a comma list of a million entries.
        std::string html = Head() + "<style>";
        for (int i = 0, n = times(1'200'000); i < n; ++i)
            html += "x,";
        html += "x{display:none}</style><p>Garden tools.</p></body></html>";
        pages.push_back({"comma selector list", std::move(html), false});
    }
    {
        // Start tags whose end tags close nothing: the tree deepens on every one.
        std::string html = Head();
        for (int i = 0, n = times(100'000); i < n; ++i)
            html += "<div></x>";
        html += "Garden tools.</body></html>";
        pages.push_back({"unmatched end tags", std::move(html), false});
    }
    {
        std::string html = Head() + "<div";
        for (int i = 0, n = times(60'000); i < n; ++i)
            html += " a" + std::to_string(i);
        html += ">Garden tools.</div></body></html>";
        pages.push_back({"attributes in one tag", std::move(html), false});
    }
    {
        // Headings inside headings, each text inside all of them.
        std::string html = Head();
        for (int i = 0, n = times(10'000); i < n; ++i)
            html += "<h2><div>Garden tools and more garden tools for the allotment, ever more "
                    "of them in every season</div>";
        html += "</body></html>";
        pages.push_back({"nested headings", std::move(html), false});
    }
    {
        std::string html = Head();
        while (html.size() < std::size_t(4'000'000 * scale))
            html += "<br>";
        pages.push_back({"a million elements", std::move(html), scale >= 1});
    }
    {
        std::string html = Head();
        std::string tag = "<input";
        for (char a = 'a'; a <= 'z'; ++a)
            for (char b = 'a'; b <= 'd'; ++b)
                tag += std::string(" ") + a + b;
        tag += ">";
        while (html.size() < std::size_t(4'000'000 * scale))
            html += tag;
        pages.push_back({"attributes everywhere", std::move(html), scale >= 1});
    }
    {
        // Thousands of rules that all apply to every one of many elements,
        // each element a little different from the others.
        std::string html = Head() + "<style>";
        const int rules = times(2'500);
        for (int i = 0; i < rules; ++i)
            html += ".c{color:#" + std::to_string(100000 + i) + "}.d" + std::to_string(i) +
                    "{color:#fff}";
        html += "</style>";
        for (int i = 0, n = times(75'000); i < n; ++i)
            html += "<i class='c d" + std::to_string(i % rules) + "'>w</i>";
        html += "</body></html>";
        pages.push_back({"rules over every element", std::move(html), scale >= 1});
    }
    return pages;
}

} // namespace attack
