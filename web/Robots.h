#pragma once
// robots.txt rules: the groups that name the crawler's product token (or else the
// "*" groups), Allow and Disallow with "*" and "$" patterns compared with the path in
// one percent-encoded form, the longest matching rule deciding and Allow winning a
// tie.

#include <string>
#include <string_view>
#include <vector>

namespace vantora {

class RobotsRules {
  public:
    // agent: the crawler's product token, matched case-insensitively and whole.
    static RobotsRules Parse(std::string_view text, std::string_view agent);
    // pathAndQuery: the URL's path with "?" and query when it has one.
    bool Allowed(std::string_view pathAndQuery) const;
    size_t RuleCount() const { return Rules.size(); }
    // The Crawl-delay of the groups that apply, in seconds; 0 when none is given.
    double CrawlDelay() const { return Delay; }

  private:
    struct Rule {
        std::string Pattern;
        bool Allow = false;
    };
    std::vector<Rule> Rules;
    double Delay = 0;
};

} // namespace vantora
