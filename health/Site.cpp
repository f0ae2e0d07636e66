#include "Site.h"

#include "PageText.h"
#include "Url.h"

#include <algorithm>
#include <functional>

namespace vantora::health {

namespace {

bool InHost(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

bool Digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A number in the form it is written in the canonical form of an address or a
// port: digits without a leading zero, at most max.
bool Canonical(std::string_view text, long max) {
    if (!Digits(text) || text.size() > 5 || (text.size() > 1 && text[0] == '0'))
        return false;
    return std::stol(std::string(text)) <= max;
}

bool CanonicalIpv4(std::string_view host) {
    int parts = 0;
    for (std::size_t at = 0; at <= host.size(); ++parts) {
        const std::size_t dot = std::min(host.find('.', at), host.size());
        if (!Canonical(host.substr(at, dot - at), 255))
            return false;
        at = dot + 1;
    }
    return parts == 4;
}

std::uint64_t KeyOf(std::string_view text) {
    const std::uint64_t key = std::hash<std::string_view>()(text);
    return key ? key : 1; // zero marks an empty slot
}

// The normal form of a URL's text without copying it when it already is.
class NormalText {
  public:
    explicit NormalText(std::string_view url) {
        if (IsNormalUrl(url)) {
            View = url;
        } else {
            Owned = NormalUrl(url);
            View = Owned;
        }
    }
    std::string_view View;

  private:
    std::string Owned;
};

} // namespace

bool IsNormalUrl(std::string_view url) {
    std::size_t i = 0;
    bool https = false;
    if (url.substr(0, 7) == "http://") {
        i = 7;
    } else if (url.substr(0, 8) == "https://") {
        i = 8;
        https = true;
    } else {
        return false;
    }
    const std::size_t authorityStart = i;
    while (i < url.size() && url[i] != '/' && url[i] != '?' && url[i] != '#' && url[i] != '\\')
        ++i;
    if (i >= url.size() || url[i] != '/')
        return false; // no path: the normal form adds "/"
    const std::string_view authority = url.substr(authorityStart, i - authorityStart);
    const std::size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.back() == '.' ||
        host.find("..") != std::string_view::npos || host.find("xn--") != std::string_view::npos ||
        !std::all_of(host.begin(), host.end(), InHost))
        return false;
    const std::size_t lastDot = host.rfind('.');
    const char lastLabel = host[lastDot == std::string_view::npos ? 0 : lastDot + 1];
    if (lastLabel >= '0' && lastLabel <= '9' && !CanonicalIpv4(host))
        return false;
    if (colon != std::string_view::npos) {
        const std::string_view port = authority.substr(colon + 1);
        if (!Canonical(port, 65535) || port == (https ? "443" : "80"))
            return false;
    }
    bool query = false;
    std::size_t segment = i;
    for (; i <= url.size(); ++i) {
        const char c = i < url.size() ? url[i] : '/';
        if (!query && (c == '/' || c == '?')) {
            const std::string_view part = url.substr(segment, i - segment);
            if (part == "/." || part == "/..")
                return false;
            segment = i;
            if (c == '?')
                query = true;
            continue;
        }
        if (i == url.size())
            break;
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F)
            return false;
        switch (c) {
        case '"':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
        case '%':
        case '#':
            return false;
        case '\'':
            if (query)
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

std::string NormalUrl(std::string_view url) {
    if (IsNormalUrl(url))
        return std::string(url);
    if (const std::optional<Url> parsed = ParseUrl(url))
        return parsed->ToString();
    return std::string(url);
}

std::string Collapsed(std::string_view text) {
    return CollapseSpace(text);
}

std::string Excerpt(std::string_view text, std::size_t max) {
    // Most texts are short printable ASCII, and their excerpt is themselves.
    if (text.size() <= max && std::all_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f;
        }))
        return std::string(text);
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

void Site::Groups::Build(const Site& site,
                         std::vector<std::pair<std::uint64_t, std::uint32_t>> keys,
                         const std::vector<bool>& members) {
    Of.assign(site.Urls().size(), None);
    std::sort(keys.begin(), keys.end());
    for (std::size_t begin = 0; begin < keys.size();) {
        std::size_t end = begin;
        while (end < keys.size() && keys[end].first == keys[begin].first)
            ++end;
        // A key of one URL names no other: it needs no group.
        if (end - begin < 2) {
            begin = end;
            continue;
        }
        const auto group = static_cast<std::uint32_t>(Best.size());
        std::uint32_t best = None, second = None;
        for (std::size_t k = begin; k < end; ++k) {
            const std::uint32_t url = keys[k].second;
            Of[url] = group;
            if (!members[url])
                continue;
            const std::string_view text = site.TextOf(url);
            if (best == None) {
                best = url;
            } else if (text < site.TextOf(best)) {
                second = best;
                best = url;
            } else if (text != site.TextOf(best) &&
                       (second == None || text < site.TextOf(second))) {
                second = url;
            }
        }
        Best.push_back(best);
        Second.push_back(second);
        begin = end;
    }
}

std::string Site::Groups::Another(const Site& site, std::size_t url) const {
    if (!site.IndexableFlags[url] || Of[url] == None)
        return {};
    const std::string_view self = site.TextOf(static_cast<std::uint32_t>(url));
    const std::string_view best = site.TextOf(Best[Of[url]]);
    if (!best.empty() && best != self)
        return std::string(best);
    return std::string(site.TextOf(Second[Of[url]]));
}

Site::Site(const CrawlFacts& facts) : Crawl(facts) {
    const std::size_t count = facts.Urls.size();
    Linkers.assign(count, None);
    Reachers.assign(count, None);
    IndexableFlags.resize(count);
    SelfCanonicalFlags.resize(count);
    ListedFlags.resize(count);
    std::size_t slots = 16;
    while (slots < 2 * count)
        slots *= 2;
    Keys.assign(slots, 0);
    Slots.assign(slots, None);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t key = KeyOf(NormalText(facts.Urls[i].Url).View);
        for (std::size_t at = key & (slots - 1);; at = (at + 1) & (slots - 1)) {
            if (Keys[at] == key) {
                Distinct = false; // the first URL of that text keeps it
                break;
            }
            if (Keys[at] == 0) {
                Keys[at] = key;
                Slots[at] = static_cast<std::uint32_t>(i);
                break;
            }
        }
        if (facts.Urls[i].Depth == 0 && !facts.Urls[i].Unfollowed &&
            Root == static_cast<std::size_t>(-1))
            Root = i;
    }
    // Links from pages found by following links.
    for (std::size_t i = 0; i < count; ++i) {
        if (!IsPage(i))
            continue;
        const std::string_view url = facts.Urls[i].Url;
        for (const std::uint32_t target : facts.Urls[i].Links) {
            if (target == i)
                continue;
            std::uint32_t& from = Linkers[target];
            if (from == None || url < TextOf(from))
                from = static_cast<std::uint32_t>(i);
        }
    }
    // Redirect chains, and the URLs reached through them. Each URL's hops go
    // into one pool; a mark per URL finds loops without a set per chain.
    ChainStart.resize(count + 1);
    ChainEnd.assign(count, 0);
    HopPool.reserve(count);
    std::vector<std::uint32_t> seen(count, None);
    for (std::size_t i = 0; i < count; ++i) {
        ChainStart[i] = static_cast<std::uint32_t>(HopPool.size());
        std::size_t at = i;
        while (true) {
            HopPool.push_back(static_cast<std::uint32_t>(at));
            seen[at] = static_cast<std::uint32_t>(i);
            const UrlFacts& hop = facts.Urls[at];
            if (hop.Status < 300 || hop.Status >= 400 || hop.Location().empty())
                break;
            const std::optional<std::size_t> next = Find(hop.Location());
            if (!next) {
                ChainEnd[i] = 2;
                break;
            }
            if (seen[*next] == i) {
                ChainEnd[i] = 1;
                break;
            }
            at = *next;
        }
    }
    ChainStart[count] = static_cast<std::uint32_t>(HopPool.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t from = Linkers[i];
        if (from == None)
            continue;
        for (const std::uint32_t hop : ChainFrom(i).Hops) {
            std::uint32_t& reached = Reachers[hop];
            if (reached == None || TextOf(from) < TextOf(reached))
                reached = from;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const UrlFacts& url = facts.Urls[i];
        SelfCanonicalFlags[i] = ComputeSelfCanonical(i);
        IndexableFlags[i] = url.Html && url.Status == 200 && !NoIndex(i) && SelfCanonicalFlags[i];
    }
    for (const std::string_view listed : facts.Listed)
        if (const std::optional<std::size_t> at = Find(listed))
            ListedFlags[*at] = true;
    // Duplicates are among indexable pages; every indexable URL gets its
    // group. One kind at a time, so only one list of keys is held.
    std::vector<bool> members(count);
    for (std::size_t i = 0; i < count; ++i)
        members[i] = IndexableFlags[i] && IsPage(i);
    auto group = [&](Groups& groups, const auto& keyOf) {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> keys;
        for (std::size_t i = 0; i < count; ++i)
            if (IndexableFlags[i])
                if (const std::optional<std::uint64_t> key = keyOf(facts.Urls[i]))
                    keys.emplace_back(*key, static_cast<std::uint32_t>(i));
        groups.Build(*this, std::move(keys), members);
    };
    auto collapsedKey = [](std::string_view text) -> std::optional<std::uint64_t> {
        const std::string collapsed = Collapsed(text);
        if (collapsed.empty())
            return std::nullopt;
        return KeyOf(collapsed);
    };
    group(Titles, [&](const UrlFacts& url) -> std::optional<std::uint64_t> {
        if (url.Titles.empty())
            return std::nullopt;
        return collapsedKey(url.Titles.front());
    });
    group(Descriptions, [&](const UrlFacts& url) { return collapsedKey(url.Description); });
    group(Contents, [](const UrlFacts& url) -> std::optional<std::uint64_t> {
        if (url.Words == 0 || !url.HasHash)
            return std::nullopt;
        return url.Hash;
    });
}

std::optional<std::size_t> Site::Find(std::string_view url) const {
    const std::uint64_t key = KeyOf(NormalText(url).View);
    const std::size_t mask = Keys.size() - 1;
    for (std::size_t at = key & mask; Keys[at] != 0; at = (at + 1) & mask)
        if (Keys[at] == key)
            return Slots[at];
    return std::nullopt;
}

Chain Site::ChainFrom(std::size_t url) const {
    Chain chain;
    chain.Hops = std::span<const std::uint32_t>(HopPool).subspan(
        ChainStart[url], ChainStart[url + 1] - ChainStart[url]);
    chain.Loop = ChainEnd[url] == 1;
    chain.Outside = ChainEnd[url] == 2;
    return chain;
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
    for (const std::string_view text : {facts.RobotsMeta(), facts.RobotsHeader()}) {
        // Directives are separated by commas; a header may name a crawler first
        // ("otherbot: noindex").
        std::size_t i = 0;
        while (i < text.size()) {
            auto separator = [&](std::size_t at) {
                const char c = text[at];
                return c == ',' || c == ':' || c == ';' || std::isspace((unsigned char)c);
            };
            while (i < text.size() && separator(i))
                ++i;
            std::size_t end = i;
            while (end < text.size() && !separator(end))
                ++end;
            if (end > i) {
                const std::string word = AsciiLower(text.substr(i, end - i));
                if (word == directive || word == "none")
                    return true;
            }
            i = end;
        }
    }
    return false;
}

std::vector<std::string> Site::CanonicalsOf(std::size_t url) const {
    const UrlFacts& facts = Crawl.Urls[url];
    std::vector<std::string> all;
    for (const TextList& list : {facts.Canonicals, facts.HeaderCanonicals()})
        for (const std::string_view canonical : list) {
            std::string normal = NormalUrl(canonical);
            if (std::find(all.begin(), all.end(), normal) == all.end())
                all.push_back(std::move(normal));
        }
    return all;
}

bool Site::ComputeSelfCanonical(std::size_t url) const {
    const UrlFacts& facts = Crawl.Urls[url];
    const NormalText self(facts.Url);
    for (const TextList& list : {facts.Canonicals, facts.HeaderCanonicals()})
        for (const std::string_view canonical : list)
            if (NormalText(canonical).View != self.View)
                return false;
    return true;
}

} // namespace vantora::health
