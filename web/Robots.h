#pragma once
// robots.txt rules: the group that names the crawler (or "*"), Allow and Disallow
// with "*" and "$" patterns, the longest matching rule deciding.

#include <string>
#include <string_view>
#include <vector>

namespace vantora {

class RobotsRules {
  public:
    // agent: the crawler's product token, matched case-insensitively.
    static RobotsRules Parse(std::string_view text, std::string_view agent);
    // pathAndQuery: the URL's path with "?" and query when it has one.
    bool Allowed(std::string_view pathAndQuery) const;
    size_t RuleCount() const { return Rules.size(); }

  private:
    struct Rule {
        std::string Pattern;
        bool Allow = false;
    };
    std::vector<Rule> Rules;
};

} // namespace vantora
