#include "Robots.h"

#include "Url.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace vantora {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// Matches a robots pattern against the start of a path: '*' is any run of bytes, a
// final '$' anchors the end. Iterative, with the usual single backtrack point, so a
// hostile pattern costs at most pattern length times path length.
bool PatternMatches(std::string_view pattern, std::string_view path) {
    bool anchored = false;
    if (!pattern.empty() && pattern.back() == '$') {
        anchored = true;
        pattern.remove_suffix(1);
    }
    size_t p = 0, s = 0, starP = std::string_view::npos, starS = 0;
    while (true) {
        if (p == pattern.size()) {
            if (!anchored || s == path.size())
                return true;
        } else if (pattern[p] == '*') {
            starP = p++;
            starS = s;
            continue;
        } else if (s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
            continue;
        }
        if (starP == std::string_view::npos || starS >= path.size())
            return false;
        p = starP + 1;
        s = ++starS;
    }
}

// The product token a user-agent value names: the value up to the first blank or
// '/', so "webcharter/2.0 (+about)" names "webcharter".
std::string ProductToken(std::string_view value) {
    const size_t end = value.find_first_of(" \t/");
    return Lower(value.substr(0, end));
}

} // namespace

RobotsRules RobotsRules::Parse(std::string_view text, std::string_view agent) {
    const std::string token = ProductToken(Trim(agent));
    // A UTF-8 byte order mark is not part of the first line.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    RobotsRules named, everyone;
    bool haveNamed = false;
    // A group is one or more user-agent lines and the rules after them; it ends only
    // at a user-agent line that follows a rule. Other lines (Sitemap, unknown ones,
    // blank ones) leave the group as it is.
    bool groupNamed = false, groupStar = false, ruleSeen = true;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (const size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            const std::string key = Lower(Trim(line.substr(0, colon)));
            const std::string_view value = Trim(line.substr(colon + 1));
            if (key == "user-agent") {
                if (ruleSeen) {
                    groupNamed = groupStar = false;
                    ruleSeen = false;
                }
                const std::string name = ProductToken(value);
                if (value == "*") {
                    groupStar = true;
                } else if (!name.empty() && name == token) {
                    groupNamed = true;
                    haveNamed = true;
                }
            } else if (key == "crawl-delay") {
                // not in RFC 9309, but widely written: seconds between requests,
                // the largest of the groups that apply
                ruleSeen = true;
                char* stop = nullptr;
                const std::string number(value);
                const double delay = std::strtod(number.c_str(), &stop);
                if (!number.empty() && stop && *stop == 0 && delay > 0 && delay < 1e6) {
                    if (groupNamed)
                        named.Delay = std::max(named.Delay, delay);
                    if (groupStar)
                        everyone.Delay = std::max(everyone.Delay, delay);
                }
            } else if (key == "allow" || key == "disallow") {
                ruleSeen = true;
                // "Disallow:" with nothing allows everything; no rule is kept for it
                if (!value.empty()) {
                    const Rule rule{NormaliseUrlText(value), key == "allow"};
                    if (groupNamed)
                        named.Rules.push_back(rule);
                    if (groupStar)
                        everyone.Rules.push_back(rule);
                }
            }
        }
        if (end == text.size())
            break;
    }
    return haveNamed ? named : everyone;
}

bool RobotsRules::Allowed(std::string_view pathAndQuery) const {
    if (Rules.empty())
        return true;
    // Rules and path are compared in one percent-encoded form.
    const std::string path = NormaliseUrlText(pathAndQuery);
    size_t bestLength = 0;
    bool allowed = true, matched = false;
    for (const Rule& rule : Rules) {
        if (!PatternMatches(rule.Pattern, path))
            continue;
        const size_t length = rule.Pattern.size();
        if (!matched || length > bestLength || (length == bestLength && rule.Allow)) {
            bestLength = length;
            allowed = rule.Allow;
            matched = true;
        }
    }
    return allowed;
}

} // namespace vantora
