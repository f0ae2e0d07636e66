// libFuzzer target: robots.txt rules on arbitrary files and paths. The input is the
// file, a NUL byte, then the path asked about. Checks that a file without rules for
// the crawler allows everything, and that one Disallow rule matches exactly as a
// plain dynamic-programming matcher says on the percent-encoded forms ("*" any run of
// bytes, a final "$" the end); the sanitizers and the time limit catch the rest.

#include "Robots.h"
#include "Url.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// match[i][j]: pattern[i..] matches a prefix of path[j..] (the whole rest with "$").
bool Matches(std::string pattern, const std::string& path) {
    bool anchored = false;
    if (pattern.back() == '$') {
        anchored = true;
        pattern.pop_back();
    }
    const size_t p = pattern.size(), s = path.size();
    std::vector<std::vector<char>> match(p + 1, std::vector<char>(s + 1, 0));
    for (size_t j = 0; j <= s; ++j)
        match[p][j] = !anchored || j == s;
    for (size_t i = p; i-- > 0;)
        for (size_t j = s + 1; j-- > 0;) {
            if (pattern[i] == '*')
                match[i][j] = match[i + 1][j] || (j < s && match[i][j + 1]);
            else
                match[i][j] = j < s && pattern[i] == path[j] && match[i + 1][j + 1];
        }
    return match[0][0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (2u << 20))
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view text = input.substr(0, split);
    const std::string path = split == std::string_view::npos
                                 ? std::string("/")
                                 : "/" + std::string(input.substr(split + 1));
    const vantora::RobotsRules rules = vantora::RobotsRules::Parse(text, "webcharter");
    const bool allowed = rules.Allowed(path);
    if (rules.RuleCount() == 0 && !allowed)
        std::abort();
    // The first line of the file, as one Disallow pattern (the parser trims blanks).
    std::string pattern(text.substr(0, text.find_first_of("\r\n#")));
    while (!pattern.empty() && std::isspace(static_cast<unsigned char>(pattern.back())))
        pattern.pop_back();
    while (!pattern.empty() && std::isspace(static_cast<unsigned char>(pattern.front())))
        pattern.erase(0, 1);
    if (pattern.empty() || pattern.size() > 200 || path.size() > 200)
        return 0;
    const vantora::RobotsRules one =
        vantora::RobotsRules::Parse("User-agent: *\nDisallow: " + pattern + "\n", "webcharter");
    // rules and paths are compared in one percent-encoded form
    if (one.Allowed(path) ==
        Matches(vantora::NormaliseUrlText(pattern), vantora::NormaliseUrlText(path)))
        std::abort();
    return 0;
}
