#include "PageFacts.h"

#include "FastLinks.h"
#include "HtmlInput.h"
#include "HtmlTags.h"
#include "PageText.h"
#include "Url.h"

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <bitset>
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

    void Feed(std::string_view text) {
        // 0: blank, 1: part of a word (letter, digit, any non-ASCII byte), 2: other
        static const auto classes = [] {
            std::array<unsigned char, 256> table{};
            for (int c = 0; c < 256; ++c)
                table[c] =
                    c >= 0x80 || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
                        ? 1
                        : 2;
            for (const unsigned char blank : {' ', '\t', '\n', '\r', '\f', '\v'})
                table[blank] = 0;
            return table;
        }();
        // kept in locals: the text's bytes may alias the members, which would
        // otherwise be stored at every byte
        std::uint64_t hash = Hash;
        std::size_t words = Words;
        bool inToken = InToken, hasWord = TokenHasWord, anyToken = AnyToken;
        constexpr std::uint64_t prime = 1099511628211ull;
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            const unsigned char kind = classes[c];
            if (kind == 0) {
                words += inToken && hasWord;
                inToken = hasWord = false;
                continue;
            }
            if (!inToken) {
                if (anyToken)
                    hash = (hash ^ ' ') * prime;
                inToken = anyToken = true;
            }
            hash = (hash ^ c) * prime;
            hasWord |= kind == 1;
        }
        Hash = hash;
        Words = words;
        InToken = inToken;
        TokenHasWord = hasWord;
        AnyToken = anyToken;
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

// What a reading collects before <base> is known and references can be resolved.
struct Collected {
    std::vector<std::string> Canonicals, Resources;
    std::vector<std::pair<std::string, std::string>> Alternates;
    std::vector<std::string> FragmentLinks; // each written form once
    std::unordered_set<std::string> SeenFragmentLinks;
    // a and area links, nofollow or not
    std::vector<std::string> NoFollowLinks, FollowedLinks;
    bool HaveBase = false;
    TextDigest MainDigest, BodyDigest;
    bool HaveMain = false;

    // A page repeats its in-page links ("#top", a table of contents) many times;
    // each is kept once, so the bound holds that many different ones.
    void KeepFragmentLink(std::string_view href, const PageFactLimits& limits) {
        if (FragmentLinks.size() >= limits.Fragments)
            return;
        std::string cut = Cut(href, limits.UrlBytes);
        if (SeenFragmentLinks.insert(cut).second)
            FragmentLinks.push_back(std::move(cut));
    }
};

// page: the page's URL, null when it could not be read.
void Finish(PageFacts& facts, Collected& collected, const Url* page, const PageFactLimits& limits);

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
    // numeric references beyond Unicode are mended first: the parser would
    // overflow on them and read another character
    std::string mended;
    const std::string_view input = ForHtmlParser(html, mended);
    std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, input.data(), input.size()));
    if (!output || !output->root)
        return facts;

    Collected collected;
    auto& [canonicals, resources, alternates, fragmentLinks, seenFragmentLinks, noFollowLinks,
           followedLinks, haveBase, mainDigest, bodyDigest, haveMain] = collected;

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
            if (link && std::strchr(link, '#'))
                collected.KeepFragmentLink(link, limits);
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
    const std::optional<Url> page = ParseUrl(pageUrl);
    Finish(facts, collected, page ? &*page : nullptr, limits);
    return facts;
}

namespace {

void Finish(PageFacts& facts, Collected& collected, const Url* page, const PageFactLimits& limits) {
    auto& [canonicals, resources, alternates, fragmentLinks, seenFragmentLinks, noFollowLinks,
           followedLinks, haveBase, mainDigest, bodyDigest, haveMain] = collected;
    mainDigest.Break();
    bodyDigest.Break();
    const TextDigest& content = haveMain ? mainDigest : bodyDigest;
    facts.MainWords = content.Words;
    facts.MainHash = content.Hash;

    const Url* base = page;
    std::optional<Url> fromBase; // the URL of <base>, when it resolves
    if (page && haveBase)
        if ((fromBase = ResolveUrl(*page, facts.Links.BaseHref)))
            base = &*fromBase;
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
    // Resources over http make a page fetched over https mixed content; on a
    // page fetched over http they are no less secure than the page itself.
    const bool overHttps = page && page->Scheme == "https";
    for (const std::string& resource : resources) {
        if (!overHttps)
            break;
        const std::optional<std::string> url = resolve(resource);
        if (url && url->compare(0, 7, "http://") == 0) {
            ++facts.InsecureCount;
            if (facts.Insecure.size() < limits.Insecure)
                facts.Insecure.push_back(*url);
        }
    }
    std::unordered_set<std::string> resolvedFragments;
    for (const std::string& reference : fragmentLinks) {
        const std::string clean = CleanReference(reference);
        const std::size_t hash = clean.find('#');
        const std::string fragment = clean.substr(hash + 1);
        if (fragment.empty())
            continue; // a bare "#" names the top of the page
        if (std::optional<std::string> url = resolve(clean))
            // "#a" and "page#a" on the page itself are one link
            if (resolvedFragments.insert(*url + '#' + fragment).second)
                facts.Fragments.emplace_back(std::move(*url), fragment);
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
}

} // namespace

} // namespace vantora

namespace vantora {

namespace {

bool IsAsciiBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
    });
}

const TagSet IsVoid{"area",  "base",  "basefont", "bgsound", "br",     "col",
                    "embed", "hr",    "img",      "input",   "keygen", "link",
                    "meta",  "param", "source",   "track",   "wbr"};
// In the head without ending it.
const TagSet HeadLike{"base",  "basefont", "bgsound", "link",    "meta",
                      "title", "style",    "script",  "noframes"};
// Elements whose content the reader is given as raw text.
const TagSet RawTextElement{"script", "style",  "title",   "textarea",
                            "xmp",    "iframe", "noembed", "noframes"};
// Raw-text elements whose text the parser keeps as text of the page.
const TagSet TextualRaw{"xmp", "iframe", "noembed", "noframes"};
// Elements whose end tag the parser may imply when a parent closes.
const TagSet EndImplied{"p", "li", "dd", "dt", "option", "optgroup", "rb", "rp", "rt", "rtc"};
// Elements that stop the search for an open <p> or <li> (the parser's "special"
// category and scope boundaries).
const TagSet Special{"address", "applet",  "article",  "aside",    "blockquote", "body",
                     "button",  "caption", "center",   "colgroup", "dd",         "details",
                     "dir",     "div",     "dl",       "dt",       "fieldset",   "figcaption",
                     "figure",  "footer",  "form",     "h1",       "h2",         "h3",
                     "h4",      "h5",      "h6",       "header",   "hgroup",     "html",
                     "iframe",  "li",      "listing",  "main",     "marquee",    "menu",
                     "nav",     "noembed", "noframes", "noscript", "object",     "ol",
                     "p",       "pre",     "section",  "select",   "summary",    "table",
                     "tbody",   "td",      "textarea", "tfoot",    "th",         "thead",
                     "tr",      "ul",      "xmp"};
const TagSet ClosesParagraph{
    "address", "article",  "aside",      "blockquote", "center",  "details", "dir",     "div",
    "dl",      "fieldset", "figcaption", "figure",     "footer",  "header",  "hgroup",  "main",
    "menu",    "nav",      "ol",         "p",          "section", "summary", "ul",      "h1",
    "h2",      "h3",       "h4",         "h5",         "h6",      "pre",     "listing", "form",
    "table",   "hr",       "xmp",        "li",         "dd",      "dt"};
// End tags that first end the elements whose end the parser implies.
const TagSet ImpliesEnds{
    "address", "article", "aside",    "blockquote", "button", "center", "details", "dir",
    "div",     "dl",      "fieldset", "figcaption", "figure", "footer", "header",  "hgroup",
    "listing", "main",    "menu",     "nav",        "ol",     "pre",    "section", "summary",
    "ul",      "p",       "li",       "dd",         "dt",     "h1",     "h2",      "h3",
    "h4",      "h5",      "h6",       "form",       "body",   "html"};
// Where the search for an open <p> to close stops.
const TagSet ParagraphScope{"applet", "caption", "html",   "table",    "td",
                            "th",     "marquee", "object", "template", "button"};
// Elements only the tree builder places right.
const TagSet TreeOnly{"select",   "svg",    "math",    "template", "frameset",  "caption",
                      "colgroup", "col",    "image",   "isindex",  "plaintext", "nobr",
                      "object",   "applet", "marquee", "option",   "optgroup",  "ruby",
                      "rb",       "rp",     "rt",      "rtc",      "frame"};
const TagSet TablePart{"td", "th", "tr", "tbody", "thead", "tfoot"};
const TagSet TableOrPart{"td", "th", "tr", "tbody", "thead", "tfoot", "table"};
const TagSet TableSection{"tbody", "thead", "tfoot"};
const TagSet Formatting{"a",    "b", "big",   "code",   "em",     "font", "i",
                        "nobr", "s", "small", "strike", "strong", "tt",   "u"};
const TagSet OutsideContent{"nav", "header", "footer", "aside"};
const TagSet Heading{"h1", "h2", "h3", "h4", "h5", "h6"};

// The facts of a page from the fast reader's tags, following the tree builder
// for ordinary documents: implied head and body, implied end tags of
// paragraphs, list items and table parts. Anything else the tree builder would
// rearrange (misnested tags, stray end tags, content moved out of tables,
// nested headings) makes it answer false, and the page is read by the parser.
// Elements are told apart by kind, not by name, so a tag costs one lookup.
class FactsListener : public TagListener {
  public:
    FactsListener(PageFacts& facts, Collected& collected, const PageFactLimits& limits)
        : Facts(facts), Got(collected), Limits(limits) {}

    bool StartTag(std::string_view name, Tag tag, const AttributeReader& attribute,
                  const StartTagForm& form) override {
        if (form.Repeated)
            return false;
        if (tag == GUMBO_TAG_HTML || tag == GUMBO_TAG_HEAD || tag == GUMBO_TAG_BODY) {
            const bool again = tag == GUMBO_TAG_HTML   ? SeenTag
                               : tag == GUMBO_TAG_HEAD ? (HeadSeen || InBody)
                                                       : InBody;
            SeenTag = true;
            if (again)
                return !attribute("id"); // the parser would give it to the first one
            if (tag == GUMBO_TAG_HEAD)
                HeadSeen = true;
            if (tag == GUMBO_TAG_BODY)
                StartBody();
            Ids(attribute, false);
            return true;
        }
        SeenTag = true;
        if (!InBody) {
            if (tag == GUMBO_TAG_NOSCRIPT)
                return false; // read in the head without scripting: left to the parser
            if (HeadLike(tag)) {
                HeadSeen = true;
            } else {
                StartBody();
            }
        }
        const bool body = InBody && Hidden == 0;
        if (InBody && !Fit(tag))
            return false;
        if (!IsInline(static_cast<GumboTag>(tag)))
            Break();
        Ids(attribute, tag == GUMBO_TAG_A);
        const bool isVoid = IsVoid(tag);
        if (InBody && !isVoid && !RawTextElement(tag)) {
            Push(tag, name);
            if (Open.size() > MaxTreeDepth)
                return false; // too deep for the parser too: it reads the links only
        }
        switch (tag) {
        case GUMBO_TAG_SCRIPT: {
            Keep(Got.Resources, attribute("src"), 64);
            const std::optional<std::string> type = attribute("type");
            InJsonLd = type && AsciiLower(Trim(*type)) == "application/ld+json";
            break;
        }
        case GUMBO_TAG_META: {
            const std::optional<std::string> metaName = attribute("name");
            if (!metaName)
                break;
            const std::optional<std::string> content = attribute("content");
            const std::string lower = AsciiLower(Trim(*metaName));
            if (lower == "description" && !Facts.HasDescription) {
                Facts.HasDescription = true;
                const std::string text = CollapseSpace(ToUtf8(content ? *content : ""));
                Facts.DescriptionChars = CodePointCount(text);
                Facts.Description = CutCodePoints(text, Limits.TextPoints);
            } else if (lower == "robots" && content) {
                if (!Facts.Robots.empty())
                    Facts.Robots += ",";
                Facts.Robots += Cut(AsciiLower(CollapseSpace(*content)), 256);
            }
            break;
        }
        case GUMBO_TAG_LINK: {
            const std::optional<std::string> rel = attribute("rel");
            const std::optional<std::string> href = attribute("href");
            if (!rel || !href)
                break;
            if (HasToken(*rel, "canonical"))
                Keep(Got.Canonicals, href, Limits.Canonicals);
            if (HasToken(*rel, "stylesheet"))
                Keep(Got.Resources, href, 64);
            if (HasToken(*rel, "alternate"))
                if (const std::optional<std::string> lang = attribute("hreflang")) {
                    ++Facts.AlternateCount;
                    if (Got.Alternates.size() < Limits.Alternates)
                        Got.Alternates.emplace_back(Cut(Trim(*lang), 64),
                                                    Cut(*href, Limits.UrlBytes));
                }
            break;
        }
        case GUMBO_TAG_BASE:
            if (!Got.HaveBase)
                if (std::optional<std::string> href = attribute("href")) {
                    Base = std::move(*href);
                    Got.HaveBase = true;
                }
            break;
        case GUMBO_TAG_A:
        case GUMBO_TAG_AREA:
            if (std::optional<std::string> href = attribute("href")) {
                if (href->find('#') != std::string::npos)
                    Got.KeepFragmentLink(*href, Limits);
                const std::optional<std::string> rel = attribute("rel");
                if (rel && HasToken(*rel, "nofollow")) {
                    if (Got.NoFollowLinks.size() < Limits.NoFollow)
                        Got.NoFollowLinks.push_back(std::move(*href));
                } else {
                    Got.FollowedLinks.push_back(std::move(*href));
                }
            }
            break;
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_IFRAME:
            Keep(Got.Resources, attribute("src"), 64);
            break;
        case GUMBO_TAG_IMG:
            Keep(Got.Resources, attribute("src"), 64);
            if (body && !attribute("alt"))
                ++Facts.ImagesWithoutAlt;
            break;
        case GUMBO_TAG_MAIN:
            Got.HaveMain = true;
            break;
        case GUMBO_TAG_H1:
            if (body)
                ++Facts.H1Count;
            break;
        default:
            break;
        }
        if (isVoid)
            Break(); // its end
        return true;
    }

    bool EndTag(std::string_view name, Tag tag) override {
        if (!InBody) {
            if (tag == GUMBO_TAG_BODY || tag == GUMBO_TAG_HTML || tag == GUMBO_TAG_BR)
                return false;
            return true; // the parser ignores other end tags before the body
        }
        if (tag == GUMBO_TAG_BODY || tag == GUMBO_TAG_HTML)
            return true;
        if (tag == GUMBO_TAG_BR) {
            Break();
            return true;
        }
        if (RawTextElement(tag))
            return true; // reported with the raw text
        if (tag == GUMBO_TAG_P && !IsOpen(GUMBO_TAG_P)) {
            Break(); // the parser puts an empty paragraph there
            return true;
        }
        if (TableOrPart(tag)) {
            // closes what is open inside it, back to the table
            for (size_t k = Open.size(); k > 0; --k) {
                if (Open[k - 1].Kind == tag) {
                    while (Open.size() >= k)
                        Pop();
                    return true;
                }
                if (Open[k - 1].Kind == GUMBO_TAG_TABLE)
                    return false;
            }
            return false;
        }
        // a formatting element closes by its own end tag only when it is the
        // innermost; else the parser rearranges the tree
        // The end tag of a block, a paragraph, a list item or a heading first ends
        // what the parser implies the end of; that of any other element (an
        // inline or unknown one) is dropped at an open paragraph or list item,
        // which this reader leaves to the parser.
        const bool formatting = Formatting(tag);
        const bool impliesEnds = ImpliesEnds(tag);
        size_t k = Open.size();
        while (!formatting && k > 0 && !Open[k - 1].Is(tag, name) && EndImplied(Open[k - 1].Kind) &&
               (impliesEnds || !Special(Open[k - 1].Kind)))
            --k;
        if (k > 0 && Open[k - 1].Is(tag, name)) {
            while (Open.size() >= k)
                Pop();
            return true;
        }
        if (Heading(tag) && HeadingOpen())
            return false;
        // the parser library takes every element of a name it does not know for
        // one of the same name
        if (tag == GUMBO_TAG_UNKNOWN)
            return false;
        // an end tag of nothing open is ignored, unless it would close something
        return !IsOpen(tag);
    }

    bool Text(std::string_view raw) override {
        if (!InBody) {
            if (IsAsciiBlank(raw))
                return true;
            StartBody();
        }
        if (InTableRows() && !IsAsciiBlank(raw))
            return false; // moved in front of the table by the parser
        if (raw.find('&') == std::string_view::npos) {
            Feed(raw);
        } else if (std::string decoded; DecodeCommonReferences(raw, decoded)) {
            Feed(decoded);
        } else {
            Feed(DecodeTextAsParser(raw, "title"));
        }
        return true;
    }

    bool RawText(std::string_view name, Tag tag, std::string_view content) override {
        const bool decoded = tag == GUMBO_TAG_TITLE || tag == GUMBO_TAG_TEXTAREA;
        std::string decodedText;
        std::string_view text = content; // scripts and styles are read in place
        if (decoded && content.find('&') != std::string_view::npos) {
            if (!DecodeCommonReferences(content, decodedText))
                decodedText = DecodeTextAsParser(content, name);
            text = decodedText;
        }
        if (tag == GUMBO_TAG_TITLE && !InBody)
            Facts.Titles.push_back(CutCodePoints(CollapseSpace(ToUtf8(text)), Limits.TextPoints));
        if (tag == GUMBO_TAG_SCRIPT && InJsonLd) {
            ++Facts.JsonLdBlocks;
            if (!IsValidJson(text))
                ++Facts.JsonLdInvalid;
        }
        InJsonLd = false;
        if (H1Open > 0 && H1Text.size() < (1u << 20))
            H1Text += text;
        if (TextualRaw(tag))
            FeedDigests(text); // text content of the page, as the parser sees it
        Break();
        return true;
    }

    // At the end of the document: the elements still open end there.
    void End() {
        while (!Open.empty())
            Pop();
        Facts.Links.BaseHref = Base;
    }

  private:
    struct Flags {
        bool Main = false, Aside = false, Hidden = false;
    };
    struct Element {
        Tag Kind;
        std::string Name; // only for a kind the reader does not know
        Flags Inside;     // what it is inside, itself included
        bool Is(Tag tag, std::string_view name) const {
            return Kind == tag && (tag != GUMBO_TAG_UNKNOWN || Name == name);
        }
    };

    void StartBody() { InBody = true; }

    // Whether an element of this (known) kind is open.
    bool IsOpen(Tag tag) const {
        return std::any_of(Open.begin(), Open.end(),
                           [tag](const Element& open) { return open.Kind == tag; });
    }

    Tag Back() const { return Open.empty() ? GUMBO_TAG_UNKNOWN : Open.back().Kind; }

    bool HeadingOpen() const {
        return std::any_of(Open.begin(), Open.end(),
                           [](const Element& open) { return Heading(open.Kind); });
    }

    bool InTableRows() const {
        const Tag back = Back();
        return back == GUMBO_TAG_TABLE || back == GUMBO_TAG_TR || TableSection(back);
    }

    // Implied end tags a start tag brings; false where the parser would do more.
    bool Fit(Tag tag) {
        if (TreeOnly(tag))
            return false;
        if ((tag == GUMBO_TAG_FORM || tag == GUMBO_TAG_BUTTON) && IsOpen(tag))
            return false; // a form in a form is dropped, a button closes the open one
        if (tag == GUMBO_TAG_TABLE && IsOpen(GUMBO_TAG_P))
            return false; // without a doctype a table may sit in a paragraph
        const bool tablePart = TablePart(tag);
        if (InTableRows() && !tablePart)
            return false;
        if (tablePart) {
            size_t k = Open.size();
            while (k > 0 && !TableOrPart(Open[k - 1].Kind))
                --k;
            if (k == 0)
                return false; // outside a table the parser drops it
            const auto cell = [this] { return Back() == GUMBO_TAG_TD || Back() == GUMBO_TAG_TH; };
            if (tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH) {
                while (!Open.empty() && !cell() && Open.size() > k)
                    Pop();
                while (!Open.empty() && cell())
                    Pop();
                if (Open.empty())
                    return false;
                if (Back() == GUMBO_TAG_TABLE)
                    Push(GUMBO_TAG_TBODY, {});
                if (TableSection(Back()))
                    Push(GUMBO_TAG_TR, {});
                return Back() == GUMBO_TAG_TR;
            }
            if (tag == GUMBO_TAG_TR) {
                while (Open.size() > k)
                    Pop();
                while (!Open.empty() && (cell() || Back() == GUMBO_TAG_TR))
                    Pop();
                if (Back() == GUMBO_TAG_TABLE)
                    Push(GUMBO_TAG_TBODY, {});
                return TableSection(Back());
            }
            while (Open.size() > k)
                Pop();
            while (!Open.empty() && TablePart(Back()))
                Pop();
            return Back() == GUMBO_TAG_TABLE;
        }
        if (tag == GUMBO_TAG_A && IsOpen(GUMBO_TAG_A))
            return false;
        if (Heading(tag) && HeadingOpen())
            return false;
        if (tag == GUMBO_TAG_LI || tag == GUMBO_TAG_DD || tag == GUMBO_TAG_DT) {
            for (size_t k = Open.size(); k > 0; --k) {
                const Tag open = Open[k - 1].Kind;
                const bool same = tag == GUMBO_TAG_LI
                                      ? open == GUMBO_TAG_LI
                                      : (open == GUMBO_TAG_DD || open == GUMBO_TAG_DT);
                if (same) {
                    if (k != Open.size() && !(k + 1 == Open.size() && Back() == GUMBO_TAG_P))
                        return false;
                    while (Open.size() >= k)
                        Pop();
                    break;
                }
                if (Special(open) && open != GUMBO_TAG_ADDRESS && open != GUMBO_TAG_DIV &&
                    open != GUMBO_TAG_P)
                    break;
            }
        }
        if (ClosesParagraph(tag))
            for (size_t k = Open.size(); k > 0; --k) {
                const Tag open = Open[k - 1].Kind;
                if (open == GUMBO_TAG_P) {
                    if (k != Open.size())
                        return false;
                    Pop();
                    break;
                }
                if (ParagraphScope(open))
                    break;
            }
        return true;
    }

    void Push(Tag tag, std::string_view name) {
        Flags flags = Open.empty() ? Flags{} : Open.back().Inside;
        if (tag == GUMBO_TAG_MAIN)
            flags.Main = true;
        if (OutsideContent(tag))
            flags.Aside = true;
        if (tag == GUMBO_TAG_NOSCRIPT)
            flags.Hidden = true;
        if (tag == GUMBO_TAG_H1 && !flags.Hidden) {
            if (H1Open++ == 0)
                H1Text.clear();
        }
        Open.push_back({tag, tag == GUMBO_TAG_UNKNOWN ? std::string(name) : std::string(), flags});
        Hidden = flags.Hidden;
    }

    void Pop() {
        if (Open.back().Kind == GUMBO_TAG_H1 && !Open.back().Inside.Hidden && --H1Open == 0) {
            const std::string text = CollapseSpace(ToUtf8(H1Text));
            if (!text.empty()) {
                ++Facts.H1WithText;
                if (Facts.H1Texts.size() < Limits.Headings)
                    Facts.H1Texts.push_back(CutCodePoints(text, Limits.HeadingPoints));
            }
        }
        Open.pop_back();
        Hidden = !Open.empty() && Open.back().Inside.Hidden;
        Break();
    }

    void Break() {
        Got.MainDigest.Break();
        Got.BodyDigest.Break();
    }

    void Feed(std::string_view text) {
        if (H1Open > 0 && H1Text.size() < (1u << 20))
            H1Text += text;
        FeedDigests(text);
    }

    void FeedDigests(std::string_view text) {
        if (!InBody || Hidden)
            return;
        const Flags flags = Open.empty() ? Flags{} : Open.back().Inside;
        if (flags.Main)
            Got.MainDigest.Feed(text);
        if (!flags.Aside)
            Got.BodyDigest.Feed(text);
    }

    void Ids(const AttributeReader& attribute, bool anchor) {
        if (const std::optional<std::string> id = attribute("id"); id && !id->empty())
            if (Facts.Ids.size() < Limits.Ids)
                Facts.Ids.push_back(Cut(*id, Limits.IdBytes));
        if (anchor)
            if (const std::optional<std::string> name = attribute("name"); name && !name->empty())
                if (Facts.Ids.size() < Limits.Ids)
                    Facts.Ids.push_back(Cut(*name, Limits.IdBytes));
    }

    void Keep(std::vector<std::string>& list, const std::optional<std::string>& value,
              std::size_t most) {
        if (value && list.size() < most)
            list.push_back(Cut(*value, Limits.UrlBytes));
    }

    PageFacts& Facts;
    Collected& Got;
    const PageFactLimits& Limits;
    std::vector<Element> Open; // elements open in the body, outermost first
    bool Hidden = false;       // inside <noscript>: no content
    bool InBody = false, HeadSeen = false, SeenTag = false, InJsonLd = false;
    int H1Open = 0;
    std::string H1Text;
    std::string Base;
};
} // namespace

namespace {

// Whether the text holds a character the parser library replaces with U+FFFD
// although it is valid UTF-8: DEL, the C1 controls and the noncharacters.
bool HasReplacedCharacters(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        // eight bytes at a time past plain ASCII: adding 1 to each byte sets its
        // high bit only for 0x7F, and bytes of 0x80 and above have it already
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (((word + 0x0101010101010101ull) | word) & 0x8080808080808080ull)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char c = p[i];
        if (c < 0x7F)
            continue;
        if (c == 0x7F)
            return true;
        if (c == 0xC2 && i + 1 < n && p[i + 1] >= 0x80 && p[i + 1] <= 0x9F)
            return true;
        if (c == 0xEF && i + 2 < n &&
            ((p[i + 1] == 0xB7 && p[i + 2] >= 0x90 && p[i + 2] <= 0xAF) ||
             (p[i + 1] == 0xBF && p[i + 2] >= 0xBE)))
            return true;
        if (c >= 0xF0 && i + 3 < n && (p[i + 1] & 0x0F) == 0x0F && p[i + 2] == 0xBF &&
            p[i + 3] >= 0xBE)
            return true;
    }
    return false;
}

std::optional<PageFacts> ReadFast(std::string_view html, const Url* page,
                                  const PageFactLimits& limits) {
    if (HasReplacedCharacters(html))
        return std::nullopt;
    PageFacts facts;
    Collected collected;
    FactsListener listener(facts, collected, limits);
    std::optional<DocumentLinks> links = ScanLinksFast(html, &listener);
    if (!links)
        return std::nullopt;
    listener.End();
    Finish(facts, collected, page, limits);
    facts.Links = std::move(*links);
    return facts;
}

} // namespace

std::optional<PageFacts> ReadPageFactsFast(std::string_view html, std::string_view pageUrl,
                                           const PageFactLimits& limits) {
    const std::optional<Url> page = ParseUrl(pageUrl);
    return ReadFast(html, page ? &*page : nullptr, limits);
}

std::optional<PageFacts> ReadPageFactsFast(std::string_view html, const Url& page,
                                           const PageFactLimits& limits) {
    return ReadFast(html, &page, limits);
}

} // namespace vantora
