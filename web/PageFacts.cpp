#include "PageFacts.h"

#include "PageText.h"
#include "Url.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_set>

namespace vantora {

namespace {

struct OutputDeleter {
    void operator()(GumboOutput* output) const {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

const char* Attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute ? attribute->value : nullptr;
}

bool HasToken(std::string_view list, std::string_view token) {
    const std::string lower = AsciiLower(list);
    std::size_t i = 0;
    while (i < lower.size()) {
        while (i < lower.size() && std::strchr(" \t\r\n\f", lower[i]))
            ++i;
        std::size_t end = i;
        while (end < lower.size() && !std::strchr(" \t\r\n\f", lower[end]))
            ++end;
        if (end > i && std::string_view(lower).substr(i, end - i) == token)
            return true;
        i = end;
    }
    return false;
}

std::string TextOf(const GumboNode* node) {
    std::string text;
    std::vector<const GumboNode*> stack{node};
    while (!stack.empty()) {
        const GumboNode* at = stack.back();
        stack.pop_back();
        if (at->type == GUMBO_NODE_TEXT || at->type == GUMBO_NODE_WHITESPACE ||
            at->type == GUMBO_NODE_CDATA) {
            text += at->v.text.text;
            if (text.size() > (1u << 20))
                break; // enough for any excerpt or width
        } else if (at->type == GUMBO_NODE_ELEMENT) {
            const GumboVector& children = at->v.element.children;
            for (unsigned i = children.length; i > 0; --i)
                stack.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
        }
    }
    return text;
}

// Words and hash of a text fed piece by piece: tokens are runs of non-blank
// bytes; a token counts as a word when it holds a letter or a digit (any
// non-ASCII byte is taken as part of a letter).
struct TextDigest {
    std::size_t Words = 0;
    std::uint64_t Hash = 1469598103934665603ull;
    bool InToken = false, TokenHasWord = false, AnyToken = false;

    void Mix(unsigned char c) {
        Hash ^= c;
        Hash *= 1099511628211ull;
    }
    void Feed(std::string_view text) {
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                Break();
                continue;
            }
            if (!InToken) {
                if (AnyToken)
                    Mix(' ');
                InToken = AnyToken = true;
            }
            Mix(c);
            if (c >= 0x80 || std::isalnum(c))
                TokenHasWord = true;
        }
    }
    void Break() {
        if (InToken && TokenHasWord)
            ++Words;
        InToken = TokenHasWord = false;
    }
};

bool IsInline(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_A:
    case GUMBO_TAG_ABBR:
    case GUMBO_TAG_B:
    case GUMBO_TAG_BDI:
    case GUMBO_TAG_BDO:
    case GUMBO_TAG_CITE:
    case GUMBO_TAG_CODE:
    case GUMBO_TAG_DATA:
    case GUMBO_TAG_DFN:
    case GUMBO_TAG_EM:
    case GUMBO_TAG_FONT:
    case GUMBO_TAG_I:
    case GUMBO_TAG_KBD:
    case GUMBO_TAG_MARK:
    case GUMBO_TAG_Q:
    case GUMBO_TAG_S:
    case GUMBO_TAG_SAMP:
    case GUMBO_TAG_SMALL:
    case GUMBO_TAG_SPAN:
    case GUMBO_TAG_STRONG:
    case GUMBO_TAG_SUB:
    case GUMBO_TAG_SUP:
    case GUMBO_TAG_TIME:
    case GUMBO_TAG_U:
    case GUMBO_TAG_VAR:
        return true;
    default:
        return false;
    }
}

std::string Cut(std::string_view text, std::size_t bytes) {
    return RepairUtf8(text.substr(0, bytes));
}

} // namespace

bool IsValidJson(std::string_view text) {
    // A small iterative parser: a stack of open containers, and for each whether
    // a value, a member name or a separator comes next.
    enum class Want { Value, ValueOrClose, Name, NameOrClose, Colon, CommaOrClose };
    std::vector<char> open; // '[' or '{'
    Want want = Want::Value;
    std::size_t i = 0;
    auto blank = [&] {
        while (i < text.size() &&
               (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
            ++i;
    };
    auto string = [&]() -> bool {
        ++i; // the opening quote
        while (i < text.size()) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c == '"') {
                ++i;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (++i >= text.size())
                    return false;
                const char e = text[i];
                if (e == 'u') {
                    for (int k = 1; k <= 4; ++k)
                        if (i + k >= text.size() || !std::isxdigit((unsigned char)text[i + k]))
                            return false;
                    i += 4;
                } else if (!std::strchr("\"\\/bfnrt", e) || e == 0) {
                    return false;
                }
            }
            ++i;
        }
        return false;
    };
    auto number = [&]() -> bool {
        const std::size_t start = i;
        if (text[i] == '-')
            ++i;
        if (i >= text.size())
            return false;
        if (text[i] == '0')
            ++i;
        else if (std::isdigit((unsigned char)text[i]))
            while (i < text.size() && std::isdigit((unsigned char)text[i]))
                ++i;
        else
            return false;
        if (i < text.size() && text[i] == '.') {
            ++i;
            if (i >= text.size() || !std::isdigit((unsigned char)text[i]))
                return false;
            while (i < text.size() && std::isdigit((unsigned char)text[i]))
                ++i;
        }
        if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
            ++i;
            if (i < text.size() && (text[i] == '+' || text[i] == '-'))
                ++i;
            if (i >= text.size() || !std::isdigit((unsigned char)text[i]))
                return false;
            while (i < text.size() && std::isdigit((unsigned char)text[i]))
                ++i;
        }
        return i > start;
    };
    auto afterValue = [&] { want = open.empty() ? Want::CommaOrClose : Want::CommaOrClose; };
    bool done = false;
    while (true) {
        blank();
        if (i >= text.size())
            return done && open.empty();
        if (done && open.empty())
            return false; // text after the value
        const char c = text[i];
        switch (want) {
        case Want::Value:
        case Want::ValueOrClose:
            if (want == Want::ValueOrClose && c == ']') {
                open.pop_back();
                ++i;
                afterValue();
                done = open.empty();
                continue;
            }
            if (c == '[' || c == '{') {
                open.push_back(c);
                ++i;
                want = c == '[' ? Want::ValueOrClose : Want::NameOrClose;
                continue;
            }
            if (c == '"') {
                if (!string())
                    return false;
            } else if (c == '-' || std::isdigit((unsigned char)c)) {
                if (!number())
                    return false;
            } else if (text.compare(i, 4, "true") == 0 || text.compare(i, 4, "null") == 0) {
                i += 4;
            } else if (text.compare(i, 5, "false") == 0) {
                i += 5;
            } else {
                return false;
            }
            afterValue();
            done = open.empty();
            continue;
        case Want::Name:
        case Want::NameOrClose:
            if (want == Want::NameOrClose && c == '}') {
                open.pop_back();
                ++i;
                afterValue();
                done = open.empty();
                continue;
            }
            if (c != '"' || !string())
                return false;
            want = Want::Colon;
            continue;
        case Want::Colon:
            if (c != ':')
                return false;
            ++i;
            want = Want::Value;
            continue;
        case Want::CommaOrClose:
            if (open.empty())
                return false;
            if (c == ',') {
                ++i;
                want = open.back() == '[' ? Want::Value : Want::Name;
                continue;
            }
            if ((c == ']' && open.back() == '[') || (c == '}' && open.back() == '{')) {
                open.pop_back();
                ++i;
                done = open.empty();
                continue;
            }
            return false;
        }
    }
}

PageFacts ReadPageFacts(std::string_view html, std::string_view pageUrl,
                        const PageFactLimits& limits) {
    PageFacts facts;
    if (EstimatedDepth(html) > MaxTreeDepth) {
        facts.TooDeep = true;
        facts.Links = ExtractLinks(html);
        return facts;
    }
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, html.data(), html.size()));
    if (!output || !output->root)
        return facts;

    // References are resolved once the walk is over, when <base> is known.
    std::vector<std::string> canonicals, resources;
    std::vector<std::pair<std::string, std::string>> alternates;
    std::vector<std::string> fragmentLinks;
    // a and area links, nofollow or not (views into the parse, alive until the end).
    std::vector<std::string_view> noFollowLinks, followedLinks;
    bool haveBase = false;
    TextDigest mainDigest, bodyDigest;
    bool haveMain = false;

    struct Step {
        const GumboNode* Node;
        bool Exit;
        unsigned char Head, Body, Main, Aside;
    };
    std::vector<Step> stack{{output->root, false, 0, 0, 0, 0}};
    auto keepRef = [&](std::vector<std::string>& list, const char* value, std::size_t most) {
        if (value && list.size() < most)
            list.push_back(Cut(value, limits.UrlBytes));
    };
    while (!stack.empty()) {
        const Step step = stack.back();
        stack.pop_back();
        const GumboNode* node = step.Node;
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
            node->type == GUMBO_NODE_CDATA) {
            if (step.Body) {
                if (step.Main)
                    mainDigest.Feed(node->v.text.text);
                if (!step.Aside)
                    bodyDigest.Feed(node->v.text.text);
            }
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboElement& element = node->v.element;
        const GumboTag tag = element.tag;
        if (step.Exit || !IsInline(tag)) {
            // An element's edges separate words, except for inline ones.
            mainDigest.Break();
            bodyDigest.Break();
        }
        if (step.Exit)
            continue;
        Step inner{nullptr, false, step.Head, step.Body, step.Main, step.Aside};
        bool textInside = true;
        if (const char* id = Attribute(element, "id"); id && *id && facts.Ids.size() < limits.Ids)
            facts.Ids.push_back(Cut(id, limits.IdBytes));
        switch (tag) {
        case GUMBO_TAG_HEAD:
            inner.Head = 1;
            break;
        case GUMBO_TAG_BODY:
            inner.Body = 1;
            break;
        case GUMBO_TAG_MAIN:
            inner.Main = 1;
            haveMain = true;
            break;
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_ASIDE:
            inner.Aside = 1;
            break;
        case GUMBO_TAG_SCRIPT: {
            textInside = false;
            keepRef(resources, Attribute(element, "src"), 64);
            const char* type = Attribute(element, "type");
            if (type && AsciiLower(Trim(type)) == "application/ld+json") {
                ++facts.JsonLdBlocks;
                if (!IsValidJson(TextOf(node)))
                    ++facts.JsonLdInvalid;
            }
            break;
        }
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_TEXTAREA:
            textInside = false;
            break;
        case GUMBO_TAG_TITLE:
            textInside = false;
            if (step.Head)
                facts.Titles.push_back(
                    CutCodePoints(CollapseSpace(ToUtf8(TextOf(node))), limits.TextPoints));
            break;
        case GUMBO_TAG_META: {
            const char* name = Attribute(element, "name");
            const char* content = Attribute(element, "content");
            if (!name)
                break;
            const std::string lower = AsciiLower(Trim(name));
            if (lower == "description" && !facts.HasDescription) {
                facts.HasDescription = true;
                const std::string text = CollapseSpace(ToUtf8(content ? content : ""));
                facts.DescriptionChars = CodePointCount(text);
                facts.Description = CutCodePoints(text, limits.TextPoints);
            } else if (lower == "robots" && content) {
                if (!facts.Robots.empty())
                    facts.Robots += ",";
                facts.Robots += Cut(AsciiLower(CollapseSpace(content)), 256);
            }
            break;
        }
        case GUMBO_TAG_LINK: {
            const char* rel = Attribute(element, "rel");
            const char* href = Attribute(element, "href");
            if (!rel || !href)
                break;
            if (HasToken(rel, "canonical"))
                keepRef(canonicals, href, limits.Canonicals);
            if (HasToken(rel, "stylesheet"))
                keepRef(resources, href, 64);
            if (HasToken(rel, "alternate"))
                if (const char* lang = Attribute(element, "hreflang")) {
                    ++facts.AlternateCount;
                    if (alternates.size() < limits.Alternates)
                        alternates.emplace_back(Cut(Trim(lang), 64), Cut(href, limits.UrlBytes));
                }
            break;
        }
        case GUMBO_TAG_BASE:
            if (!haveBase)
                if (const char* href = Attribute(element, "href")) {
                    facts.Links.BaseHref = href;
                    haveBase = true;
                }
            break;
        case GUMBO_TAG_H1:
            if (step.Body) {
                ++facts.H1Count;
                const std::string text = CollapseSpace(ToUtf8(TextOf(node)));
                if (!text.empty()) {
                    ++facts.H1WithText;
                    if (facts.H1Texts.size() < limits.Headings)
                        facts.H1Texts.push_back(CutCodePoints(text, limits.HeadingPoints));
                }
            }
            break;
        default:
            break;
        }
        // Links, in the order and form ExtractLinks gives them.
        const char* link = nullptr;
        LinkKind kind = LinkKind::Link;
        switch (tag) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_AREA:
            link = Attribute(element, "href");
            if (tag == GUMBO_TAG_A)
                if (const char* name = Attribute(element, "name"); name && *name)
                    if (facts.Ids.size() < limits.Ids)
                        facts.Ids.push_back(Cut(name, limits.IdBytes));
            if (link && std::strchr(link, '#') && fragmentLinks.size() < limits.Fragments)
                fragmentLinks.push_back(Cut(link, limits.UrlBytes));
            if (link) {
                const char* rel = Attribute(element, "rel");
                if (rel && HasToken(rel, "nofollow")) {
                    if (noFollowLinks.size() < limits.NoFollow)
                        noFollowLinks.push_back(link);
                } else {
                    followedLinks.push_back(link);
                }
            }
            break;
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_IFRAME:
            link = Attribute(element, "src");
            keepRef(resources, link, 64);
            break;
        case GUMBO_TAG_IMG:
            link = Attribute(element, "src");
            kind = LinkKind::Image;
            keepRef(resources, link, 64);
            if (step.Body && !Attribute(element, "alt"))
                ++facts.ImagesWithoutAlt;
            break;
        default:
            break;
        }
        if (link)
            facts.Links.Links.push_back({kind, link});
        stack.push_back({node, true, 0, 0, 0, 0});
        if (!textInside) {
            inner.Body = 0; // its text is no content (links inside are still read)
            inner.Main = 0;
        }
        const GumboVector& children = element.children;
        for (unsigned i = children.length; i > 0; --i) {
            inner.Node = static_cast<const GumboNode*>(children.data[i - 1]);
            stack.push_back(inner);
        }
    }
    mainDigest.Break();
    bodyDigest.Break();
    const TextDigest& content = haveMain ? mainDigest : bodyDigest;
    facts.MainWords = content.Words;
    facts.MainHash = content.Hash;

    const std::optional<Url> page = ParseUrl(pageUrl);
    std::optional<Url> base = page;
    if (page && haveBase)
        if (std::optional<Url> resolved = ResolveUrl(*page, facts.Links.BaseHref))
            base = std::move(resolved);
    auto resolve = [&](const std::string& reference) -> std::optional<std::string> {
        if (!base)
            return std::nullopt;
        const std::string clean = CleanReference(reference);
        const std::string scheme = ReferenceScheme(clean);
        if (!scheme.empty() && scheme != "http" && scheme != "https")
            return std::nullopt;
        if (std::optional<Url> url = ResolveUrl(*base, clean))
            return url->ToString();
        return std::nullopt;
    };
    for (const std::string& canonical : canonicals) {
        std::string written = resolve(canonical).value_or(EscapeUrlText(Cut(canonical, 200)));
        if (std::find(facts.Canonicals.begin(), facts.Canonicals.end(), written) ==
            facts.Canonicals.end())
            facts.Canonicals.push_back(std::move(written));
    }
    for (auto& [lang, href] : alternates)
        facts.Alternates.emplace_back(lang, resolve(href).value_or(EscapeUrlText(Cut(href, 200))));
    for (const std::string& resource : resources) {
        const std::optional<std::string> url = resolve(resource);
        if (url && url->compare(0, 7, "http://") == 0) {
            ++facts.InsecureCount;
            if (facts.Insecure.size() < limits.Insecure)
                facts.Insecure.push_back(*url);
        }
    }
    for (const std::string& reference : fragmentLinks) {
        const std::string clean = CleanReference(reference);
        const std::size_t hash = clean.find('#');
        const std::string fragment = clean.substr(hash + 1);
        if (fragment.empty())
            continue; // a bare "#" names the top of the page
        if (const std::optional<std::string> url = resolve(clean))
            facts.Fragments.emplace_back(*url, fragment);
    }
    if (!noFollowLinks.empty()) {
        auto target = [&](std::string_view reference) -> std::optional<std::string> {
            const std::string clean = CleanReference(Cut(reference, limits.UrlBytes));
            return resolve(clean.substr(0, clean.find('#')));
        };
        std::unordered_set<std::string> followed;
        for (const std::string_view reference : followedLinks)
            if (std::optional<std::string> url = target(reference))
                followed.insert(std::move(*url));
        for (const std::string_view reference : noFollowLinks)
            if (std::optional<std::string> url = target(reference))
                if (!followed.count(*url) && std::find(facts.NoFollow.begin(), facts.NoFollow.end(),
                                                       *url) == facts.NoFollow.end())
                    facts.NoFollow.push_back(std::move(*url));
    }
    return facts;
}

} // namespace vantora
