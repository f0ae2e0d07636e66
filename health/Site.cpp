#include "Site.h"

#include "PageText.h"
#include "Url.h"

#include <algorithm>

namespace vantora::health {

std::string NormalUrl(const std::string& url) {
    if (const std::optional<Url> parsed = ParseUrl(url))
        return parsed->ToString();
    return url;
}

std::string Collapsed(const std::string& text) {
    return CollapseSpace(text);
}

std::string Excerpt(const std::string& text, std::size_t max) {
    std::string clean;
    const std::string valid = RepairUtf8(text);
    for (const char c : valid)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            clean += c;
        else if (c == '\t' || c == '\n' || c == '\r')
            clean += ' ';
    if (CodePointCount(clean) <= max)
        return clean;
    return CutCodePoints(clean, max) + "...";
}

Site::Site(const CrawlFacts& facts) : Crawl(facts) {
    const std::size_t count = facts.Urls.size();
    Linkers.resize(count);
    Reachers.resize(count);
    Chains.resize(count);
    IndexableFlags.resize(count);
    ListedFlags.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        ByUrl.emplace(NormalUrl(facts.Urls[i].Url), i);
        if (facts.Urls[i].Depth == 0 && !facts.Urls[i].Unfollowed &&
            Root == static_cast<std::size_t>(-1))
            Root = i;
    }
    // Links from pages found by following links.
    for (std::size_t i = 0; i < count; ++i) {
        const UrlFacts& page = facts.Urls[i];
        if (!IsPage(i))
            continue;
        for (const long id : page.Links) {
            const auto target = facts.ById.find(id);
            if (target == facts.ById.end() || target->second == i)
                continue;
            std::string& from = Linkers[target->second];
            if (from.empty() || page.Url < from)
                from = page.Url;
        }
    }
    // Redirect chains, and the URLs reached through them.
    for (std::size_t i = 0; i < count; ++i) {
        Chain& chain = Chains[i];
        std::unordered_set<std::size_t> seen;
        std::size_t at = i;
        while (true) {
            chain.Hops.push_back(at);
            seen.insert(at);
            const UrlFacts& hop = facts.Urls[at];
            if (hop.Status < 300 || hop.Status >= 400 || hop.Location.empty())
                break;
            const std::optional<std::size_t> next = Find(hop.Location);
            if (!next) {
                chain.Outside = true;
                break;
            }
            if (seen.count(*next)) {
                chain.Loop = true;
                break;
            }
            at = *next;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& from = Linkers[i];
        if (from.empty())
            continue;
        for (const std::size_t hop : Chains[i].Hops) {
            std::string& reached = Reachers[hop];
            if (reached.empty() || from < reached)
                reached = from;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const UrlFacts& url = facts.Urls[i];
        IndexableFlags[i] = url.Html && url.Status == 200 && !NoIndex(i) && SelfCanonical(i);
    }
    for (const std::string& listed : facts.Listed)
        if (const std::optional<std::size_t> at = Find(listed))
            ListedFlags[*at] = true;
    for (std::size_t i = 0; i < count; ++i) {
        if (!IndexableFlags[i] || !IsPage(i))
            continue;
        const UrlFacts& url = facts.Urls[i];
        if (!url.Titles.empty()) {
            const std::string title = Collapsed(url.Titles.front());
            if (!title.empty())
                Titles[title].push_back(i);
        }
        const std::string description = Collapsed(url.Description);
        if (!description.empty())
            Descriptions[description].push_back(i);
        if (url.Words > 0 && !url.Hash.empty())
            Contents[url.Hash].push_back(i);
    }
}

std::optional<std::size_t> Site::Find(const std::string& url) const {
    const auto found = ByUrl.find(NormalUrl(url));
    if (found == ByUrl.end())
        return std::nullopt;
    return found->second;
}

const std::string& Site::LinkedFrom(std::size_t url) const {
    return Linkers[url];
}

const std::string& Site::ReachedFrom(std::size_t url) const {
    return Reachers[url];
}

bool Site::HasSitemap() const {
    return std::any_of(Crawl.Sitemaps.begin(), Crawl.Sitemaps.end(),
                       [](const SitemapFile& file) { return file.Status == 200; });
}

bool Site::IsPage(std::size_t url) const {
    const UrlFacts& facts = Crawl.Urls[url];
    return facts.Html && facts.Status == 200 && !facts.Unfollowed;
}

bool Site::NoIndex(std::size_t url) const {
    return RobotsSay(url, "noindex");
}

bool Site::NoFollow(std::size_t url) const {
    return RobotsSay(url, "nofollow");
}

bool Site::RobotsSay(std::size_t url, std::string_view directive) const {
    const UrlFacts& facts = Crawl.Urls[url];
    for (const std::string* text : {&facts.RobotsMeta, &facts.RobotsHeader}) {
        // Directives are separated by commas; a header may name a crawler first
        // ("otherbot: noindex").
        std::string lower = AsciiLower(*text);
        std::replace_if(
            lower.begin(), lower.end(), [](char c) { return c == ',' || c == ':' || c == ';'; },
            ' ');
        for (const std::string& word : [&] {
                 std::vector<std::string> words;
                 std::size_t i = 0;
                 while (i < lower.size()) {
                     while (i < lower.size() && std::isspace((unsigned char)lower[i]))
                         ++i;
                     std::size_t end = i;
                     while (end < lower.size() && !std::isspace((unsigned char)lower[end]))
                         ++end;
                     if (end > i)
                         words.push_back(lower.substr(i, end - i));
                     i = end;
                 }
                 return words;
             }())
            if (word == directive || word == "none")
                return true;
    }
    return false;
}

std::vector<std::string> Site::CanonicalsOf(std::size_t url) const {
    const UrlFacts& facts = Crawl.Urls[url];
    std::vector<std::string> all;
    for (const auto* list : {&facts.Canonicals, &facts.HeaderCanonicals})
        for (const std::string& canonical : *list) {
            std::string normal = NormalUrl(canonical);
            if (std::find(all.begin(), all.end(), normal) == all.end())
                all.push_back(std::move(normal));
        }
    return all;
}

bool Site::SelfCanonical(std::size_t url) const {
    const std::string self = NormalUrl(Crawl.Urls[url].Url);
    for (const std::string& canonical : CanonicalsOf(url))
        if (canonical != self)
            return false;
    return true;
}

std::string Site::Another(const std::unordered_map<std::string, std::vector<std::size_t>>& groups,
                          const std::string& key, std::size_t url) const {
    const auto found = groups.find(key);
    if (found == groups.end())
        return {};
    std::string other;
    for (const std::size_t i : found->second)
        if (i != url && Crawl.Urls[i].Url != Crawl.Urls[url].Url &&
            (other.empty() || Crawl.Urls[i].Url < other))
            other = Crawl.Urls[i].Url;
    return other;
}

std::string Site::SameTitle(std::size_t url) const {
    const UrlFacts& facts = Crawl.Urls[url];
    if (!IndexableFlags[url] || facts.Titles.empty())
        return {};
    return Another(Titles, Collapsed(facts.Titles.front()), url);
}

std::string Site::SameDescription(std::size_t url) const {
    if (!IndexableFlags[url])
        return {};
    return Another(Descriptions, Collapsed(Crawl.Urls[url].Description), url);
}

std::string Site::SameContent(std::size_t url) const {
    const UrlFacts& facts = Crawl.Urls[url];
    if (!IndexableFlags[url] || facts.Words == 0)
        return {};
    return Another(Contents, facts.Hash, url);
}

} // namespace vantora::health
