#include "PageModel.h"

#include "Charset.h"
#include "HtmlInput.h"
#include "PageText.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace vantora {

namespace {

using Style = std::map<std::string, std::string>;

// Keeps per-element texts bounded so that a hostile page cannot make the
// model grow without limit (the page itself is already size-capped).
constexpr std::size_t MaxCollectedText = 64 * 1024;
constexpr std::size_t MaxFindings = 50;
// Style rules kept from all style sheets, selectors of comma lists counted
// one by one; class names of one element that rules are matched against.
constexpr std::size_t MaxCssRules = 5000;
constexpr std::size_t MaxClassTokens = 64;
// Texts collected at once (nested headings, paragraphs, links): every text
// node is appended to each, so their number bounds the cost of one node.
constexpr std::size_t MaxOpenCollectors = 24;
// Work units (rules tried on an element, bytes collected) one page may cost
// before it counts as too complex to analyse.
constexpr std::size_t MaxStyleWork = 2'000'000;
constexpr std::size_t MaxCachedStyles = 4096;
constexpr std::size_t MaxCollectedTotal = 24u << 20;

std::string Attr(const GumboElement& e, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    return a ? std::string(a->value) : std::string();
}

bool HasAttr(const GumboElement& e, const char* name) {
    return gumbo_get_attribute(&e.attributes, name) != nullptr;
}

std::vector<std::string> ClassTokens(const GumboElement& e) {
    std::vector<std::string> out;
    for (auto& w : SplitWords(Attr(e, "class"))) {
        if (out.size() >= MaxClassTokens)
            break;
        out.push_back(std::move(w));
    }
    // SplitWords drops '_' and keeps '-' only inside words; the class names we
    // look for ("sr-only", "visually-hidden") survive that.
    return out;
}

std::string TagName(const GumboElement& e) {
    if (e.tag == GUMBO_TAG_UNKNOWN) {
        GumboStringPiece piece = e.original_tag;
        gumbo_tag_from_original_text(&piece);
        std::string name = AsciiLower(std::string_view(piece.data, piece.length));
        return name.empty() ? std::string("element") : name.substr(0, 32);
    }
    return gumbo_normalized_tagname(e.tag);
}

std::string ElementPath(const GumboElement& e) {
    std::string path = TagName(e);
    const std::string id = Attr(e, "id");
    if (!id.empty())
        return path + "#" + CutCodePoints(id, 40);
    const auto classes = ClassTokens(e);
    if (!classes.empty())
        path += "." + CutCodePoints(classes.front(), 40);
    return path;
}

// The properties the hidden-text and colour rules read; no other is kept,
// so a block of thousands of declarations costs no memory.
bool UsedProperty(std::string_view name) {
    static constexpr std::string_view Names[] = {
        "background", "background-color", "background-image", "clip",   "clip-path",
        "color",      "display",          "font-size",        "height", "left",
        "opacity",    "position",         "text-indent",      "top",    "visibility",
        "width"};
    return std::find(std::begin(Names), std::end(Names), name) != std::end(Names);
}

// "a:b; c:d" into a property map, lower-cased, without "!important".
void ParseDeclarations(std::string_view text, Style& style) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find(';', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view decl = text.substr(pos, end - pos);
        const std::size_t colon = decl.find(':');
        if (colon != std::string_view::npos) {
            const std::string_view rawName = decl.substr(0, colon);
            if (rawName.size() < 64) {
                const std::string name = AsciiLower(Trim(rawName));
                if (UsedProperty(name)) {
                    std::string value = AsciiLower(Trim(decl.substr(colon + 1, 512)));
                    if (const auto bang = value.find("!important"); bang != std::string::npos)
                        value = Trim(value.substr(0, bang));
                    style[name] = CollapseSpace(value);
                }
            }
        }
        pos = end + 1;
    }
}

struct SimpleSelector {
    std::string Tag; // empty = any
    std::string Id;
    std::vector<std::string> Classes;
};

std::optional<SimpleSelector> ParseSelector(std::string_view text) {
    const std::string s = Trim(text);
    if (s.empty() || s.find_first_of(" >+~[:()\t\n") != std::string::npos)
        return std::nullopt;
    SimpleSelector sel;
    std::size_t i = 0;
    auto readName = [&]() {
        std::size_t b = i;
        while (i < s.size() && s[i] != '.' && s[i] != '#')
            ++i;
        return AsciiLower(s.substr(b, i - b));
    };
    if (s[0] != '.' && s[0] != '#') {
        sel.Tag = readName();
        if (sel.Tag == "*")
            sel.Tag.clear();
    }
    while (i < s.size()) {
        const char kind = s[i++];
        std::string name = readName();
        if (name.empty())
            return std::nullopt;
        if (kind == '.')
            sel.Classes.push_back(name);
        else
            sel.Id = name;
    }
    return sel;
}

struct CssRule {
    SimpleSelector Selector;
    std::shared_ptr<const Style> Declarations; // shared by the selectors of one block
};

// Reads the rules of a style sheet whose selectors are single compound
// selectors; descendant and pseudo selectors are skipped to stay precise.
void ParseStyleSheet(std::string_view css, std::vector<CssRule>& rules) {
    std::string text;
    text.reserve(css.size());
    for (std::size_t i = 0; i < css.size();) {
        if (css.compare(i, 2, "/*") == 0) {
            const std::size_t end = css.find("*/", i + 2);
            if (end == std::string_view::npos)
                break;
            i = end + 2;
        } else {
            text += css[i++];
        }
    }
    std::size_t pos = 0;
    while (pos < text.size() && rules.size() < MaxCssRules) {
        const std::size_t open = text.find('{', pos);
        if (open == std::string::npos)
            break;
        std::string prelude = Trim(std::string_view(text).substr(pos, open - pos));
        if (const auto lastClose = prelude.rfind('}'); lastClose != std::string::npos)
            prelude = Trim(prelude.substr(lastClose + 1));
        if (!prelude.empty() && prelude[0] == '@') {
            // Enter the at-rule's block; its inner rules are read as usual.
            pos = open + 1;
            continue;
        }
        const std::size_t close = text.find('}', open + 1);
        const std::size_t end = close == std::string::npos ? text.size() : close;
        auto decls = std::make_shared<Style>();
        ParseDeclarations(std::string_view(text).substr(open + 1, end - open - 1), *decls);
        std::size_t start = 0;
        // Each selector of a comma list is a rule of its own and counts
        // against the cap, however long the list.
        while (start <= prelude.size() && rules.size() < MaxCssRules) {
            std::size_t comma = prelude.find(',', start);
            if (comma == std::string::npos)
                comma = prelude.size();
            if (!decls->empty())
                if (auto sel =
                        ParseSelector(std::string_view(prelude).substr(start, comma - start)))
                    rules.push_back({std::move(*sel), decls});
            start = comma + 1;
        }
        pos = end + 1;
    }
}

bool Matches(const SimpleSelector& sel, const std::string& tag, const std::string& id,
             const std::vector<std::string>& classes) {
    if (!sel.Tag.empty() && sel.Tag != tag)
        return false;
    if (!sel.Id.empty() && sel.Id != id)
        return false;
    for (const auto& c : sel.Classes)
        if (std::find(classes.begin(), classes.end(), c) == classes.end())
            return false;
    return true;
}

// The rules by the part of their selector an element must have: its id,
// else its first class, else its tag; rules without any apply to all. An
// element is then tried only against rules that may match it.
class RuleIndex {
  public:
    explicit RuleIndex(const std::vector<CssRule>& rules) {
        for (std::size_t i = 0; i < rules.size(); ++i) {
            const SimpleSelector& sel = rules[i].Selector;
            if (!sel.Id.empty())
                ById[sel.Id].push_back(i);
            else if (!sel.Classes.empty())
                ByClass[sel.Classes.front()].push_back(i);
            else if (!sel.Tag.empty())
                ByTag[sel.Tag].push_back(i);
            else
                Any.push_back(i);
            SelectorClasses.insert(sel.Classes.begin(), sel.Classes.end());
            if (!sel.Id.empty())
                SelectorIds.insert(sel.Id);
        }
    }

    // What decides which rules match an element: its tag, its id and classes
    // as far as any selector names them. Elements alike in these share one
    // computed style.
    std::string Signature(const std::string& tag, const std::string& id,
                          const std::vector<std::string>& classes) const {
        std::string key = tag;
        key += '#';
        if (SelectorIds.count(id))
            key += id;
        std::vector<const std::string*> named;
        for (const auto& c : classes)
            if (SelectorClasses.count(c))
                named.push_back(&c);
        std::sort(named.begin(), named.end(),
                  [](const std::string* a, const std::string* b) { return *a < *b; });
        for (const std::string* c : named)
            key += '.' + *c;
        return key;
    }

    bool Empty() const { return ById.empty() && ByClass.empty() && ByTag.empty() && Any.empty(); }

    // The rules that may match, in sheet order (later rules win).
    void Candidates(const std::string& tag, const std::string& id,
                    const std::vector<std::string>& classes, std::vector<std::size_t>& out) const {
        out.clear();
        auto add = [&](const std::unordered_map<std::string, std::vector<std::size_t>>& map,
                       const std::string& key) {
            if (const auto it = map.find(key); it != map.end())
                out.insert(out.end(), it->second.begin(), it->second.end());
        };
        if (!id.empty())
            add(ById, id);
        for (const auto& c : classes)
            add(ByClass, c);
        add(ByTag, tag);
        out.insert(out.end(), Any.begin(), Any.end());
        if (!std::is_sorted(out.begin(), out.end())) {
            std::sort(out.begin(), out.end());
            out.erase(std::unique(out.begin(), out.end()), out.end());
        }
    }

  private:
    std::unordered_map<std::string, std::vector<std::size_t>> ById, ByClass, ByTag;
    std::vector<std::size_t> Any;
    std::unordered_set<std::string> SelectorClasses, SelectorIds;
};

// A CSS length in pixels; nullopt when not a length.
std::optional<double> LengthPx(std::string_view value) {
    const std::string v = Trim(value);
    if (v.empty())
        return std::nullopt;
    std::size_t i = 0;
    if (v[i] == '-' || v[i] == '+')
        ++i;
    while (i < v.size() && ((v[i] >= '0' && v[i] <= '9') || v[i] == '.'))
        ++i;
    if (i == 0 || (i == 1 && (v[0] == '-' || v[0] == '+')))
        return std::nullopt;
    double number = 0;
    try {
        number = std::stod(v.substr(0, i));
    } catch (...) {
        return std::nullopt;
    }
    const std::string unit = v.substr(i);
    if (unit.empty() || unit == "px")
        return number;
    if (unit == "pt")
        return number * 4.0 / 3.0;
    if (unit == "em" || unit == "rem")
        return number * 16.0;
    if (unit == "%")
        return number * 0.16;
    if (unit == "vw" || unit == "vh")
        return number * 10.0;
    return std::nullopt;
}

std::string Prop(const Style& s, const char* name) {
    const auto it = s.find(name);
    return it == s.end() ? std::string() : it->second;
}

// Why an element is hidden, or empty when it is not.
std::string HiddenReason(const Style& s) {
    if (Prop(s, "display") == "none")
        return "display:none";
    if (Prop(s, "visibility") == "hidden")
        return "visibility:hidden";
    if (const std::string o = Prop(s, "opacity"); !o.empty()) {
        if (auto px = LengthPx(o); px && *px <= 0.0)
            return "opacity:0";
    }
    if (const std::string f = Prop(s, "font-size"); !f.empty()) {
        if (auto px = LengthPx(f); px && *px <= 1.0)
            return "font-size:" + f;
    }
    if (const std::string t = Prop(s, "text-indent"); !t.empty()) {
        if (auto px = LengthPx(t); px && *px <= -999.0)
            return "text-indent:" + t;
    }
    const std::string position = Prop(s, "position");
    if (position == "absolute" || position == "fixed") {
        for (const char* side : {"left", "top"}) {
            if (auto px = LengthPx(Prop(s, side)); px && *px <= -999.0)
                return std::string(side) + ":" + Prop(s, side);
        }
    }
    return {};
}

// The screen-reader pattern: a 1x1 clipped box. Accessible, not spam.
bool IsScreenReaderBox(const Style& s, const std::vector<std::string>& classes) {
    for (const auto& c : classes)
        if (c == "sr-only" || c == "visually-hidden" || c == "visuallyhidden" ||
            c == "screen-reader-text" || c == "sr-only-focusable" || c == "a11y-hidden")
            return true;
    const std::string clip = Prop(s, "clip") + Prop(s, "clip-path");
    if (clip.find("rect(") != std::string::npos || clip.find("inset(") != std::string::npos) {
        const auto w = LengthPx(Prop(s, "width"));
        const auto h = LengthPx(Prop(s, "height"));
        if (w && h && *w <= 1.0 && *h <= 1.0)
            return true;
    }
    return false;
}

bool IsBlockTag(GumboTag t) {
    switch (t) {
    case GUMBO_TAG_P:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_OPTION:
        return true;
    default:
        return false;
    }
}

bool HasToken(std::string_view list, std::string_view token) {
    for (const auto& t : SplitWords(list))
        if (t == token)
            return true;
    return false;
}

// Navigation and search landmarks: never main content.
bool IsNavigation(const GumboElement& e) {
    if (e.tag == GUMBO_TAG_NAV)
        return true;
    const std::string role = AsciiLower(Attr(e, "role"));
    return HasToken(role, "navigation") || HasToken(role, "search");
}

bool IsMainElement(const GumboElement& e) {
    return e.tag == GUMBO_TAG_MAIN || HasToken(AsciiLower(Attr(e, "role")), "main");
}

// Class and id names that page templates give their menus, side bars,
// footers and tables of contents ("navbar", "sidebar", "navfooter", "toc").
bool HasBoilerplateName(const GumboElement& e) {
    for (const char* attr : {"class", "id"}) {
        const std::string value = AsciiLower(Attr(e, attr));
        if (value.empty())
            continue;
        for (const auto& t : SplitWords(value)) {
            const std::string_view v(t);
            if (v.starts_with("nav") || v.ends_with("nav") || v.find("menu") != v.npos ||
                v.find("sidebar") != v.npos || v.find("breadcrumb") != v.npos ||
                v.find("footer") != v.npos || v.find("masthead") != v.npos || v == "toc" ||
                v.starts_with("toc-") || v.ends_with("-toc") || v == "skip-link" || v == "related")
                return true;
        }
    }
    return false;
}

// Text and link text below an element, in bytes of non-blank text.
struct TextShare {
    std::size_t Chars = 0;
    std::size_t LinkChars = 0;
    std::size_t Links = 0;
};

// Where the page's main content lies and, when it is the body, which
// elements of the body are not part of it.
struct MainPlan {
    MainSource Source = MainSource::Body;
    const GumboNode* Root = nullptr; // <main> or the only <article>
    std::unordered_set<const GumboNode*> Excluded;
};

const GumboVector* Children(const GumboNode* node) {
    if (node->type == GUMBO_NODE_DOCUMENT)
        return &node->v.document.children;
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE)
        return &node->v.element.children;
    return nullptr;
}

std::size_t NonBlankBytes(const char* text) {
    std::size_t n = 0;
    for (const char* p = text; *p; ++p)
        n += !(*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f');
    return n;
}

bool IsTextless(GumboTag t) {
    return t == GUMBO_TAG_SCRIPT || t == GUMBO_TAG_STYLE || t == GUMBO_TAG_TEMPLATE ||
           t == GUMBO_TAG_NOSCRIPT;
}

// Blocks whose text is mostly links: menus, link lists, tables of contents.
bool IsMenuBlock(GumboTag t, const TextShare& share) {
    switch (t) {
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_TD:
        // A paragraph is prose however many links it holds.
        return share.Links >= 3 && share.LinkChars * 4 >= share.Chars * 3;
    default:
        return false;
    }
}

MainPlan PlanMainContent(const GumboNode* document) {
    MainPlan plan;
    const GumboNode* body = nullptr;
    std::vector<const GumboNode*> articles;
    // Elements in document order, parents before children.
    std::vector<const GumboNode*> order;
    std::vector<const GumboNode*> stack{document};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        const GumboVector* children = Children(node);
        if (!children)
            continue;
        if (node->type != GUMBO_NODE_DOCUMENT) {
            const GumboElement& e = node->v.element;
            order.push_back(node);
            if (e.tag == GUMBO_TAG_BODY && !body)
                body = node;
            if (!plan.Root && IsMainElement(e))
                plan.Root = node;
            if (e.tag == GUMBO_TAG_ARTICLE)
                articles.push_back(node);
        }
        for (unsigned i = children->length; i > 0; --i)
            stack.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
    }
    if (plan.Root) {
        plan.Source = MainSource::Main;
        return plan;
    }
    if (articles.size() == 1) {
        plan.Source = MainSource::Article;
        plan.Root = articles.front();
        return plan;
    }
    if (!body)
        return plan;

    // Text shares, children before parents.
    std::unordered_map<const GumboNode*, TextShare> shares;
    shares.reserve(order.size());
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const GumboElement& e = (*it)->v.element;
        TextShare share;
        if (!IsTextless(e.tag)) {
            for (unsigned i = 0; i < e.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA) {
                    share.Chars += NonBlankBytes(child->v.text.text);
                } else if (const auto found = shares.find(child); found != shares.end()) {
                    share.Chars += found->second.Chars;
                    share.LinkChars += found->second.LinkChars;
                    share.Links += found->second.Links;
                }
            }
            if (e.tag == GUMBO_TAG_A && HasAttr(e, "href")) {
                share.LinkChars = share.Chars;
                ++share.Links;
            }
        }
        shares.emplace(*it, share);
    }

    // Walk the body; a banner or footer belongs to the page only when no
    // sectioning element holds it.
    struct Item {
        const GumboNode* Node;
        bool Sectioned;
    };
    std::vector<Item> walk{{body, false}};
    while (!walk.empty()) {
        const Item item = walk.back();
        walk.pop_back();
        const GumboElement& e = item.Node->v.element;
        const bool pageLevel = !item.Sectioned;
        const bool excluded =
            item.Node != body &&
            (IsNavigation(e) || e.tag == GUMBO_TAG_ASIDE ||
             (pageLevel && (e.tag == GUMBO_TAG_HEADER || e.tag == GUMBO_TAG_FOOTER)) ||
             HasToken(AsciiLower(Attr(e, "role")), "banner") ||
             HasToken(AsciiLower(Attr(e, "role")), "contentinfo") ||
             HasToken(AsciiLower(Attr(e, "role")), "complementary") || HasBoilerplateName(e) ||
             IsMenuBlock(e.tag, shares[item.Node]));
        if (excluded) {
            plan.Excluded.insert(item.Node);
            continue;
        }
        const bool sectioned = item.Sectioned || e.tag == GUMBO_TAG_ARTICLE ||
                               e.tag == GUMBO_TAG_SECTION || e.tag == GUMBO_TAG_MAIN;
        for (unsigned i = e.children.length; i > 0; --i) {
            const auto* child = static_cast<const GumboNode*>(e.children.data[i - 1]);
            if (child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEMPLATE)
                walk.push_back({child, sectioned});
        }
    }
    return plan;
}

// Inherited state while walking the tree.
struct WalkState {
    unsigned Colour = 0x000000;
    unsigned Background = 0xFFFFFF;
    bool ColourSet = false;
    bool BackgroundSet = false;
    bool BackgroundKnown = true; // false over a background image
    bool Hidden = false;         // inside a hidden block
    bool Exempt = false;         // inside an accessible or interactive hidden part
    bool NoText = false;         // script, style, template, noscript
    bool InBody = false;
    int HiddenBlock = -1; // index into HiddenBlocks of the outermost hidden block
    int Link = -1;        // index into Links of the enclosing <a>
    bool InMain = false;  // inside the main content
};

enum class CollectorKind { Title, Heading, Paragraph, MainParagraph, Link, Hidden, SameColour };

struct Collector {
    CollectorKind Kind;
    std::size_t Index;
};

struct Frame {
    const GumboNode* Node;
    WalkState State;
    bool Exit;
    std::size_t CollectorsBefore;
};

void Append(std::string& target, std::string_view text) {
    if (target.size() < MaxCollectedText)
        target.append(text.substr(0, MaxCollectedText - target.size()));
}

class Walker {
  public:
    Walker(PageModel& model, const std::vector<CssRule>& rules, const MainPlan& plan,
           long long cpuLimitNs)
        : M(model), Rules(rules), Index(rules), Plan(plan), CpuLimitNs(cpuLimitNs) {}

    void Run(const GumboNode* root) {
        std::vector<Frame> stack;
        stack.push_back({root, WalkState{}, false, 0});
        while (!stack.empty() && !M.TooComplex) {
            Frame frame = stack.back();
            stack.pop_back();
            CheckTime();
            if (frame.Exit) {
                Leave(frame);
                continue;
            }
            const GumboNode* node = frame.Node;
            if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
                node->type == GUMBO_NODE_CDATA) {
                Text(node->v.text.text, frame.State);
                continue;
            }
            if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT &&
                node->type != GUMBO_NODE_TEMPLATE)
                continue;
            WalkState state = frame.State;
            const std::size_t collectorsBefore = Open.size();
            const GumboVector* children = nullptr;
            if (node->type == GUMBO_NODE_DOCUMENT) {
                children = &node->v.document.children;
            } else {
                Enter(node, state);
                children = &node->v.element.children;
            }
            stack.push_back({node, state, true, collectorsBefore});
            for (unsigned i = children->length; i > 0; --i)
                stack.push_back(
                    {static_cast<const GumboNode*>(children->data[i - 1]), state, false, 0});
        }
        FlushBlock();
    }

  private:
    PageModel& M;
    const std::vector<CssRule>& Rules;
    const RuleIndex Index;
    const MainPlan& Plan;
    std::vector<Collector> Open;
    std::string Block;
    std::string MainBlock;
    std::vector<std::size_t> Candidates;
    std::unordered_map<std::string, Style> StyleCache;
    std::size_t StyleWork = 0;
    std::size_t Collected = 0;
    long long CpuLimitNs = 0; // thread CPU time at which reading stops
    std::size_t Steps = 0;

    static long long ThreadCpuNs() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    }

    // Every so often: has reading this page used up its time?
    void CheckTime() {
        if (CpuLimitNs > 0 && ++Steps % 512 == 0 && ThreadCpuNs() > CpuLimitNs)
            GiveUp("reading it takes longer than this server gives one page");
    }

    void GiveUp(std::string why) {
        if (!M.TooComplex) {
            M.TooComplex = true;
            M.TooComplexWhy = std::move(why);
        }
    }

    // Appends to one collected text and counts the bytes against the page's share.
    void Collect(std::string& target, std::string_view text) {
        const std::size_t before = target.size();
        Append(target, text);
        Collected += target.size() - before;
        if (Collected > MaxCollectedTotal)
            GiveUp("its texts are nested too deeply");
    }

    void FlushBlock() {
        std::string text = CollapseSpace(Block);
        if (!MainBlock.empty()) {
            // Most blocks lie wholly inside or outside the main content.
            std::string main = MainBlock.size() == Block.size() ? text : CollapseSpace(MainBlock);
            if (!main.empty()) {
                if (!M.MainText.empty())
                    M.MainText += '\n';
                Append(M.MainText, main);
                if (M.MainBlockTexts.size() < 100000)
                    M.MainBlockTexts.push_back(std::move(main));
            }
            MainBlock.clear();
        }
        Block.clear();
        if (text.empty())
            return;
        if (!M.VisibleText.empty())
            M.VisibleText += '\n';
        Append(M.VisibleText, text);
        if (M.BlockTexts.size() < 100000)
            M.BlockTexts.push_back(std::move(text));
    }

    Style ComputedStyle(const GumboElement& e, const std::string& tag,
                        const std::vector<std::string>& classes) {
        Style s;
        if (!Index.Empty()) {
            const std::string id = AsciiLower(Attr(e, "id"));
            const std::string signature = Index.Signature(tag, id, classes);
            if (const auto known = StyleCache.find(signature); known != StyleCache.end()) {
                s = known->second;
            } else {
                Index.Candidates(tag, id, classes, Candidates);
                StyleWork += Candidates.size() + 1;
                if (StyleWork > MaxStyleWork)
                    GiveUp("its style sheets apply to too many of its elements");
                for (const std::size_t i : Candidates)
                    if (Matches(Rules[i].Selector, tag, id, classes))
                        for (const auto& [k, v] : *Rules[i].Declarations)
                            s[k] = v;
                if (StyleCache.size() < MaxCachedStyles)
                    StyleCache.emplace(signature, s);
            }
        }
        if (const GumboAttribute* a = gumbo_get_attribute(&e.attributes, "style"))
            ParseDeclarations(a->value, s);
        return s;
    }

    void Enter(const GumboNode* node, WalkState& state) {
        const GumboElement& e = node->v.element;
        ++M.ElementCount;
        const std::string tag = TagName(e);
        if (IsBlockTag(e.tag) && !state.Hidden && state.InBody)
            FlushBlock();
        if (e.tag == GUMBO_TAG_BODY) {
            state.InBody = true;
            state.InMain = Plan.Source == MainSource::Body;
        }
        if (node == Plan.Root)
            state.InMain = true;
        if (state.InMain && (IsNavigation(e) || Plan.Excluded.count(node)))
            state.InMain = false;
        // Code, program listings and formulas are not prose: the text
        // analyses leave them out, so that a command's reference page that
        // names the command in every example is not read as stuffed.
        switch (e.tag) {
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_CODE:
        case GUMBO_TAG_KBD:
        case GUMBO_TAG_SAMP:
        case GUMBO_TAG_VAR:
        case GUMBO_TAG_TT:
        case GUMBO_TAG_SVG:
        case GUMBO_TAG_MATH:
            state.InMain = false;
            break;
        default:
            break;
        }
        if (e.tag == GUMBO_TAG_HTML && M.Lang.empty()) {
            M.Lang = Trim(Attr(e, "lang"));
            if (M.Lang.empty())
                M.Lang = Trim(Attr(e, "xml:lang"));
        }
        if (e.tag == GUMBO_TAG_SCRIPT || e.tag == GUMBO_TAG_STYLE || e.tag == GUMBO_TAG_TEMPLATE ||
            e.tag == GUMBO_TAG_NOSCRIPT || e.tag == GUMBO_TAG_TEXTAREA)
            state.NoText = true;

        const auto classes = ClassTokens(e);
        const Style style = ComputedStyle(e, tag, classes);

        // Colours: <body text bgcolor>, <font color>, CSS color and background.
        unsigned rgb = 0;
        if (e.tag == GUMBO_TAG_BODY) {
            if (ParseCssColour(Attr(e, "text"), rgb))
                state.Colour = rgb, state.ColourSet = true;
            if (ParseCssColour(Attr(e, "bgcolor"), rgb))
                state.Background = rgb, state.BackgroundSet = true;
            if (HasAttr(e, "background"))
                state.BackgroundKnown = false;
        }
        if (e.tag == GUMBO_TAG_FONT && ParseCssColour(Attr(e, "color"), rgb))
            state.Colour = rgb, state.ColourSet = true;
        if ((e.tag == GUMBO_TAG_TD || e.tag == GUMBO_TAG_TABLE || e.tag == GUMBO_TAG_TR) &&
            ParseCssColour(Attr(e, "bgcolor"), rgb))
            state.Background = rgb, state.BackgroundSet = true, state.BackgroundKnown = true;
        if (ParseCssColour(Prop(style, "color"), rgb))
            state.Colour = rgb, state.ColourSet = true;
        std::string background = Prop(style, "background-color");
        if (const std::string shorthand = Prop(style, "background"); !shorthand.empty()) {
            if (shorthand.find("url(") != std::string::npos ||
                shorthand.find("gradient") != std::string::npos)
                state.BackgroundKnown = false;
            else if (background.empty())
                background = shorthand.substr(0, shorthand.find(' '));
        }
        if (Prop(style, "background-image").find("url(") != std::string::npos)
            state.BackgroundKnown = false;
        if (ParseCssColour(background, rgb))
            state.Background = rgb, state.BackgroundSet = true;

        // Parts that are hidden on purpose for good reasons.
        const std::string role = AsciiLower(Attr(e, "role"));
        if (AsciiLower(Attr(e, "aria-hidden")) == "true" || HasAttr(e, "hidden") ||
            role == "tabpanel" || role == "dialog" || role == "menu" || role == "tooltip" ||
            e.tag == GUMBO_TAG_DETAILS || e.tag == GUMBO_TAG_NAV || e.tag == GUMBO_TAG_MENU ||
            e.tag == GUMBO_TAG_SELECT || IsScreenReaderBox(style, classes))
            state.Exempt = true;

        const std::string reason = HiddenReason(style);
        if (!reason.empty() || HasAttr(e, "hidden") || (e.tag == GUMBO_TAG_INPUT))
            state.Hidden = state.Hidden || state.InBody;
        if (!reason.empty() && state.InBody && !state.Exempt && state.HiddenBlock < 0 &&
            M.HiddenBlocks.size() < MaxFindings) {
            M.HiddenBlocks.push_back({reason, ElementPath(e), {}, 0, false});
            state.HiddenBlock = static_cast<int>(M.HiddenBlocks.size() - 1);
            Open.push_back({CollectorKind::Hidden, M.HiddenBlocks.size() - 1});
        }
        if (state.HiddenBlock >= 0 && e.tag == GUMBO_TAG_A && HasAttr(e, "href"))
            M.HiddenBlocks[state.HiddenBlock].HasLink = true;

        switch (e.tag) {
        case GUMBO_TAG_TITLE:
            if (!M.HasTitle && !state.InBody) {
                M.HasTitle = true;
                Open.push_back({CollectorKind::Title, 0});
            }
            break;
        case GUMBO_TAG_META: {
            const std::string name = AsciiLower(Attr(e, "name"));
            const std::string content = Attr(e, "content");
            if (name == "description" && !M.HasDescription)
                M.HasDescription = true, M.Description = CollapseSpace(content);
            else if (name == "keywords" && !M.HasMetaKeywords)
                M.HasMetaKeywords = true, M.MetaKeywords = CollapseSpace(content);
            else if (name == "robots" || name == "googlebot")
                M.MetaRobots += AsciiLower(content) + ",";
            if (AsciiLower(Attr(e, "http-equiv")) == "content-language" && M.Lang.empty())
                M.Lang = Trim(content);
            if (AsciiLower(Attr(e, "http-equiv")) == "refresh" && !M.HasRefresh)
                M.HasRefresh = true, M.RefreshContent = Trim(content);
            break;
        }
        case GUMBO_TAG_BASE:
            if (!M.HasBase && HasAttr(e, "href")) {
                M.HasBase = true;
                M.BaseHref = Trim(Attr(e, "href"));
            }
            break;
        case GUMBO_TAG_LINK:
            if (AsciiLower(Attr(e, "rel")) == "canonical" && M.Canonicals.size() < 10)
                M.Canonicals.push_back(Trim(Attr(e, "href")));
            break;
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
            if (!state.Hidden && M.Headings.size() < 10000 && Open.size() < MaxOpenCollectors) {
                M.Headings.push_back({e.tag - GUMBO_TAG_H1 + 1, {}, state.InMain});
                Open.push_back({CollectorKind::Heading, M.Headings.size() - 1});
            }
            break;
        case GUMBO_TAG_P:
            if (!state.Hidden && M.Paragraphs.size() < 10000 &&
                Open.size() + 1 < MaxOpenCollectors) {
                M.Paragraphs.emplace_back();
                Open.push_back({CollectorKind::Paragraph, M.Paragraphs.size() - 1});
                if (state.InMain) {
                    M.MainParagraphs.emplace_back();
                    Open.push_back({CollectorKind::MainParagraph, M.MainParagraphs.size() - 1});
                }
            }
            break;
        case GUMBO_TAG_IMG:
            if (M.Images.size() < 10000)
                M.Images.push_back(
                    {HasAttr(e, "alt"), CollapseSpace(Attr(e, "alt")), state.InMain});
            if (state.Link >= 0)
                M.Links[state.Link].HasImage = true;
            break;
        case GUMBO_TAG_A:
            if (HasAttr(e, "href") && M.Links.size() < 10000 && Open.size() < MaxOpenCollectors) {
                PageLink link;
                link.Href = Trim(Attr(e, "href"));
                link.AriaLabel = Attr(e, "aria-label");
                link.NoFollow = AsciiLower(Attr(e, "rel")).find("nofollow") != std::string::npos;
                link.Hidden = state.Hidden;
                link.InMain = state.InMain;
                M.Links.push_back(std::move(link));
                state.Link = static_cast<int>(M.Links.size() - 1);
                Open.push_back({CollectorKind::Link, M.Links.size() - 1});
            }
            break;
        default:
            break;
        }

        // Text painted in its background's colour (checked where text sits).
        if (state.InBody && !state.Hidden && !state.Exempt && !state.NoText &&
            state.BackgroundKnown && (state.ColourSet || state.BackgroundSet) &&
            ContrastRatio(state.Colour, state.Background) < 1.1 && HasOwnText(e) &&
            M.SameColour.size() < MaxFindings) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "#%06x", state.Colour & 0xFFFFFF);
            M.SameColour.push_back({hex, ElementPath(e), {}});
            Open.push_back({CollectorKind::SameColour, M.SameColour.size() - 1});
        }
    }

    static bool HasOwnText(const GumboElement& e) {
        for (unsigned i = 0; i < e.children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
            if (child->type == GUMBO_NODE_TEXT && !Trim(child->v.text.text).empty())
                return true;
        }
        return false;
    }

    void Leave(const Frame& frame) {
        const GumboNode* node = frame.Node;
        if (node->type == GUMBO_NODE_ELEMENT) {
            const GumboElement& e = node->v.element;
            if (e.tag == GUMBO_TAG_SCRIPT && !HasAttr(e, "src") && M.Scripts.size() < 1000) {
                std::string body;
                for (unsigned i = 0; i < e.children.length; ++i) {
                    const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
                    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                        Append(body, child->v.text.text);
                }
                M.Scripts.push_back(std::move(body));
            }
            if (IsBlockTag(e.tag) && !frame.State.Hidden && frame.State.InBody)
                FlushBlock();
            if (e.tag == GUMBO_TAG_IMG && frame.State.Link >= 0 && !M.Images.empty()) {
                // An image's alternative text is the text of the link it sits in.
                Append(M.Links[frame.State.Link].Text, " " + M.Images.back().Alt + " ");
            }
        }
        while (Open.size() > frame.CollectorsBefore) {
            const Collector c = Open.back();
            Open.pop_back();
            switch (c.Kind) {
            case CollectorKind::Title:
                M.Title = CollapseSpace(M.Title);
                break;
            case CollectorKind::Heading:
                M.Headings[c.Index].Text = CollapseSpace(M.Headings[c.Index].Text);
                break;
            case CollectorKind::Paragraph:
                M.Paragraphs[c.Index] = CollapseSpace(M.Paragraphs[c.Index]);
                break;
            case CollectorKind::MainParagraph:
                M.MainParagraphs[c.Index] = CollapseSpace(M.MainParagraphs[c.Index]);
                break;
            case CollectorKind::Link:
                M.Links[c.Index].Text = CollapseSpace(M.Links[c.Index].Text);
                break;
            case CollectorKind::Hidden: {
                auto& block = M.HiddenBlocks[c.Index];
                block.Text = CollapseSpace(block.Text);
                block.Words = SplitWords(block.Text).size();
                break;
            }
            case CollectorKind::SameColour:
                M.SameColour[c.Index].Text = CollapseSpace(M.SameColour[c.Index].Text);
                break;
            }
        }
    }

    void Text(const char* raw, const WalkState& state) {
        const std::string_view text(raw);
        for (const auto& c : Open) {
            switch (c.Kind) {
            case CollectorKind::Title:
                Collect(M.Title, text);
                break;
            case CollectorKind::Heading:
                Collect(M.Headings[c.Index].Text, text);
                break;
            case CollectorKind::Paragraph:
                Collect(M.Paragraphs[c.Index], text);
                break;
            case CollectorKind::MainParagraph:
                Collect(M.MainParagraphs[c.Index], text);
                break;
            case CollectorKind::Link:
                Collect(M.Links[c.Index].Text, text);
                break;
            case CollectorKind::Hidden:
                if (!state.NoText)
                    Collect(M.HiddenBlocks[c.Index].Text, text);
                break;
            case CollectorKind::SameColour:
                if (!state.NoText)
                    Collect(M.SameColour[c.Index].Text, text);
                break;
            }
        }
        if (state.InBody && !state.Hidden && !state.NoText && M.VisibleText.size() < (8u << 20)) {
            Block.append(text);
            if (state.InMain)
                MainBlock.append(text);
        }
    }
};

void CollectStyleSheets(const GumboNode* root, std::vector<CssRule>& rules) {
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT &&
            node->type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboVector& children = node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children
                                                                        : node->v.element.children;
        if (node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == GUMBO_TAG_STYLE) {
            for (unsigned i = 0; i < children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                    ParseStyleSheet(child->v.text.text, rules);
            }
            continue;
        }
        for (unsigned i = 0; i < children.length; ++i)
            stack.push_back(static_cast<const GumboNode*>(children.data[i]));
    }
}

double Luminance(unsigned rgb) {
    auto channel = [](unsigned v) {
        const double c = v / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel((rgb >> 16) & 0xFF) + 0.7152 * channel((rgb >> 8) & 0xFF) +
           0.0722 * channel(rgb & 0xFF);
}

// Nesting deeper than this is cut before parsing: the parser's own clean-up
// recurses once per level, and no real page comes near it.
constexpr std::size_t MaxNesting = 2000;
// Attributes of one tag past this are cut: the parser checks each new
// attribute against all earlier ones of its tag.
constexpr std::size_t MaxTagAttributes = 100;

bool IsTagNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/' || c == '>';
}

// Elements that hold no children, or that the parser closes by itself when
// a sibling starts: they do not nest.
bool IsFlat(std::string_view name) {
    static constexpr std::string_view Names[] = {
        "br",    "img",   "meta",   "link",  "input", "hr",     "area",     "base",
        "col",   "embed", "source", "track", "wbr",   "param",  "p",        "li",
        "dt",    "dd",    "option", "tr",    "td",    "th",     "tbody",    "thead",
        "tfoot", "rb",    "rt",     "rp",    "frame", "keygen", "optgroup", "!doctype"};
    return std::find(std::begin(Names), std::end(Names), name) != std::end(Names);
}

struct PreparedMarkup {
    std::string Html;
    std::size_t Elements = 0;
    std::size_t Attributes = 0;
    std::string TooComplexWhy; // set when the page holds more than the limits allow
};

// One pass over the markup before the tree is built, so that the parser's
// work stays proportional to the page: start tags past MaxNesting open
// elements are dropped (with their end tags), attributes past MaxTagAttributes
// are cut, and the count of start tags is checked against maxElements.
// Nesting is counted as the parser builds it: an end tag closes the open
// element of its name and those inside it, and an end tag that matches no
// open element closes nothing.
PreparedMarkup PrepareMarkup(std::string_view html, const ParseLimits& limits) {
    PreparedMarkup out;
    out.Html.reserve(html.size());
    std::vector<std::string> open;
    std::unordered_map<std::string, std::size_t> openByName;
    std::unordered_map<std::string, std::size_t> droppedByName;
    std::size_t copied = 0; // html[copied..] is not yet in out.Html
    auto copyTo = [&](std::size_t pos) {
        out.Html.append(html.substr(copied, pos - copied));
        copied = pos;
    };
    auto readName = [&](std::size_t from) {
        std::size_t end = from;
        while (end < html.size() && !IsTagNameEnd(html[end]))
            ++end;
        return end;
    };
    std::size_t i = 0;
    while ((i = html.find('<', i)) != std::string_view::npos && i + 1 < html.size()) {
        if (html.compare(i, 4, "<!--") == 0) {
            const std::size_t close = html.find("-->", i + 4);
            if (close == std::string_view::npos)
                break;
            i = close + 3;
            continue;
        }
        const char next = html[i + 1];
        if (next == '/') {
            const std::size_t nameEnd = readName(i + 2);
            const std::size_t close = html.find('>', nameEnd);
            if (close == std::string_view::npos)
                break;
            const std::string name =
                AsciiLower(html.substr(i + 2, std::min<std::size_t>(nameEnd - i - 2, 64)));
            if (auto d = droppedByName.find(name); d != droppedByName.end() && d->second > 0) {
                // The end of an element that was dropped goes with it.
                --d->second;
                copyTo(i);
                copied = close + 1;
            } else if (auto o = openByName.find(name); o != openByName.end() && o->second > 0) {
                while (!open.empty()) {
                    const std::string last = std::move(open.back());
                    open.pop_back();
                    --openByName[last];
                    if (last == name)
                        break;
                }
            }
            i = close + 1;
            continue;
        }
        if (!((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z'))) {
            ++i;
            continue;
        }
        const std::size_t nameEnd = readName(i + 1);
        const std::string name =
            AsciiLower(html.substr(i + 1, std::min<std::size_t>(nameEnd - i - 1, 64)));
        // The attributes, as the parser reads them, up to the tag's end.
        std::size_t pos = nameEnd;
        std::size_t attributes = 0;
        std::size_t cutAt = std::string_view::npos;
        bool selfClosing = false;
        while (pos < html.size() && html[pos] != '>') {
            const char c = html[pos];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                ++pos;
                continue;
            }
            if (c == '/') {
                selfClosing = pos + 1 < html.size() && html[pos + 1] == '>';
                ++pos;
                continue;
            }
            selfClosing = false;
            if (++attributes > MaxTagAttributes && cutAt == std::string_view::npos)
                cutAt = pos;
            ++pos; // the name's first character may be '='
            while (pos < html.size() && !IsTagNameEnd(html[pos]) && html[pos] != '=')
                ++pos;
            std::size_t look = pos;
            while (look < html.size() &&
                   (html[look] == ' ' || html[look] == '\t' || html[look] == '\n' ||
                    html[look] == '\r' || html[look] == '\f'))
                ++look;
            if (look < html.size() && html[look] == '=') {
                pos = look + 1;
                while (pos < html.size() &&
                       (html[pos] == ' ' || html[pos] == '\t' || html[pos] == '\n' ||
                        html[pos] == '\r' || html[pos] == '\f'))
                    ++pos;
                if (pos < html.size() && (html[pos] == '"' || html[pos] == '\'')) {
                    const std::size_t end = html.find(html[pos], pos + 1);
                    pos = end == std::string_view::npos ? html.size() : end + 1;
                } else {
                    while (pos < html.size() && html[pos] != '>' && html[pos] != ' ' &&
                           html[pos] != '\t' && html[pos] != '\n' && html[pos] != '\r' &&
                           html[pos] != '\f')
                        ++pos;
                }
            }
        }
        if (pos >= html.size())
            break; // a tag that never ends: the parser drops it
        const std::size_t tagStart = i;
        const std::size_t tagEnd = pos + 1;
        const bool raw = name == "script" || name == "style" || name == "textarea" ||
                         name == "title" || name == "xmp";
        const bool nests = !raw && !selfClosing && !IsFlat(name);
        if (nests && open.size() >= MaxNesting) {
            copyTo(tagStart);
            copied = tagEnd;
            ++droppedByName[name];
            i = tagEnd;
            continue;
        }
        // Only the tags the parser gets count.
        out.Attributes += std::min(attributes, MaxTagAttributes);
        if (++out.Elements > limits.MaxElements) {
            out.TooComplexWhy =
                "it has more than " + std::to_string(limits.MaxElements) + " elements";
            return out;
        }
        if (out.Attributes > limits.MaxAttributes) {
            out.TooComplexWhy =
                "it has more than " + std::to_string(limits.MaxAttributes) + " attributes";
            return out;
        }
        if (cutAt != std::string_view::npos) {
            copyTo(cutAt);
            out.Html += selfClosing ? "/>" : ">";
            copied = tagEnd;
        }
        i = tagEnd;
        if (raw) {
            // Their bodies are text, not tags.
            const std::string closing = "</" + name;
            std::size_t k = tagEnd;
            while ((k = html.find("</", k)) != std::string_view::npos) {
                if (AsciiLower(html.substr(k, closing.size())) == closing &&
                    (k + closing.size() >= html.size() || IsTagNameEnd(html[k + closing.size()])))
                    break;
                k += 2;
            }
            if (k == std::string_view::npos)
                break;
            i = k + closing.size();
            continue;
        }
        if (nests) {
            open.push_back(name);
            ++openByName[name];
        }
    }
    copyTo(html.size());
    return out;
}
} // namespace

bool ParseCssColour(std::string_view text, unsigned& rgb) {
    const std::string v = AsciiLower(Trim(text));
    if (v.empty())
        return false;
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    if (v[0] == '#' || (v.size() == 6 && std::all_of(v.begin(), v.end(),
                                                     [&](char c) { return hexValue(c) >= 0; }))) {
        const std::string h = v[0] == '#' ? v.substr(1) : v;
        if (!std::all_of(h.begin(), h.end(), [&](char c) { return hexValue(c) >= 0; }))
            return false;
        if (h.size() == 3 || h.size() == 4) {
            rgb = 0;
            for (int k = 0; k < 3; ++k)
                rgb = (rgb << 8) | (hexValue(h[k]) * 17);
            return true;
        }
        if (h.size() == 6 || h.size() == 8) {
            rgb = 0;
            for (int k = 0; k < 6; ++k)
                rgb = (rgb << 4) | hexValue(h[k]);
            return true;
        }
        return false;
    }
    if (v.starts_with("rgb")) {
        const std::size_t open = v.find('(');
        const std::size_t close = v.find(')');
        if (open == std::string::npos || close == std::string::npos || close < open)
            return false;
        std::string inner = v.substr(open + 1, close - open - 1);
        for (char& c : inner)
            if (c == ',' || c == '/')
                c = ' ';
        unsigned parts[3];
        std::size_t pos = 0;
        for (unsigned& part : parts) {
            while (pos < inner.size() && inner[pos] == ' ')
                ++pos;
            std::size_t end = pos;
            while (end < inner.size() && inner[end] != ' ')
                ++end;
            auto px = LengthPx(inner.substr(pos, end - pos));
            if (!px)
                return false;
            const bool percent = inner.compare(end - 1, 1, "%") == 0;
            const double value = percent ? *px / 0.16 * 2.55 : *px;
            part = static_cast<unsigned>(std::clamp(value, 0.0, 255.0));
            pos = end;
        }
        rgb = (parts[0] << 16) | (parts[1] << 8) | parts[2];
        return true;
    }
    static const std::map<std::string, unsigned> Names = {
        {"white", 0xFFFFFF},  {"black", 0x000000},   {"red", 0xFF0000},       {"green", 0x008000},
        {"blue", 0x0000FF},   {"yellow", 0xFFFF00},  {"gray", 0x808080},      {"grey", 0x808080},
        {"silver", 0xC0C0C0}, {"navy", 0x000080},    {"maroon", 0x800000},    {"purple", 0x800080},
        {"teal", 0x008080},   {"olive", 0x808000},   {"lime", 0x00FF00},      {"aqua", 0x00FFFF},
        {"cyan", 0x00FFFF},   {"fuchsia", 0xFF00FF}, {"magenta", 0xFF00FF},   {"orange", 0xFFA500},
        {"snow", 0xFFFAFA},   {"ivory", 0xFFFFF0},   {"whitesmoke", 0xF5F5F5}};
    const auto it = Names.find(v);
    if (it == Names.end())
        return false;
    rgb = it->second;
    return true;
}

double ContrastRatio(unsigned a, unsigned b) {
    double la = Luminance(a), lb = Luminance(b);
    if (la < lb)
        std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

PageModel ParsePage(std::string_view html, std::string_view contentType,
                    const ParseLimits& limits) {
    timespec cpu{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    const long long startedNs = static_cast<long long>(cpu.tv_sec) * 1'000'000'000 + cpu.tv_nsec;
    PageModel model;
    const PreparedMarkup prepared = PrepareMarkup(DecodeHtml(html, contentType), limits);
    model.ElementCount = prepared.Elements;
    if (!prepared.TooComplexWhy.empty()) {
        model.TooComplex = true;
        model.TooComplexWhy = prepared.TooComplexWhy;
        return model;
    }
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 1000;
    std::string mended;
    const std::string_view input = ForHtmlParser(prepared.Html, mended);
    GumboOutput* output = gumbo_parse_with_options(&options, input.data(), input.size());
    if (!output)
        return model;
    std::vector<CssRule> rules;
    CollectStyleSheets(output->document, rules);
    const MainPlan plan = PlanMainContent(output->document);
    model.MainFrom = plan.Source;
    model.ElementCount = 0;
    Walker(model, rules, plan, limits.MaxCpuMs > 0 ? startedNs + limits.MaxCpuMs * 1'000'000 : 0)
        .Run(output->document);
    gumbo_destroy_output(&options, output);
    return model;
}

} // namespace vantora
