#include "Links.h"

#include "FastLinks.h"
#include "HtmlInput.h"
#include "HtmlTags.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantora {

namespace {

const char* Attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute ? attribute->value : nullptr;
}

struct OutputDeleter {
    void operator()(GumboOutput* output) const {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

bool NameIs(std::string_view name, const char* wanted) {
    const size_t length = std::strlen(wanted);
    if (name.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != wanted[i])
            return false;
    return true;
}

// The kinds the tree builder keeps no element of on its stack (void elements), or
// keeps below the body (html, head, body: not counted).
const TagSet NoDepth{"area",   "base",  "basefont", "bgsound", "br",   "col",      "embed", "hr",
                     "image",  "img",   "input",    "keygen",  "link", "menuitem", "meta",  "param",
                     "source", "track", "wbr",      "frame",   "html", "head",     "body"};
// Elements of svg and math that end scopes (with svg's title).
const TagSet ForeignScope{"mi",  "mo", "mn", "ms", "mtext", "annotation-xml", "foreignobject",
                          "desc"};
// Where the search for an element "in scope" ends (with ForeignScope), and the
// further ends of the button, list item and table scopes.
const TagSet Scope{"applet", "caption", "html",   "table",    "td",
                   "th",     "marquee", "object", "template", "title"};
const TagSet NoMore{};
const TagSet ButtonScope{"button"};
const TagSet ListScope{"ol", "ul"};
const TagSet TableScope{"html", "table", "template"};
const TagSet ClosesParagraph{
    "address", "article",  "aside",      "blockquote", "center",  "details",  "dir",     "div",
    "dl",      "fieldset", "figcaption", "figure",     "footer",  "header",   "hgroup",  "main",
    "menu",    "nav",      "ol",         "p",          "section", "summary",  "ul",      "h1",
    "h2",      "h3",       "h4",         "h5",         "h6",      "pre",      "listing", "form",
    "hr",      "xmp",      "li",         "dd",         "dt",      "plaintext"};
const TagSet Heading{"h1", "h2", "h3", "h4", "h5", "h6"};
const TagSet TableContext{"table", "tbody", "thead",   "tfoot",    "tr",
                          "td",    "th",    "caption", "template", "html"};
const TagSet Forms{"form"};
// Elements that put a marker in the list of active formatting elements.
const TagSet Marker{"td", "th", "caption", "applet", "marquee", "object", "template"};
// Start tags before which the tree builder does not open again the formatting
// elements that others closed.
const TagSet NoReconstruct{
    "address", "article",   "aside",    "blockquote", "center",   "details",  "dir",
    "div",     "dl",        "fieldset", "figcaption", "figure",   "footer",   "header",
    "hgroup",  "main",      "menu",     "nav",        "ol",       "p",        "section",
    "summary", "ul",        "h1",       "h2",         "h3",       "h4",       "h5",
    "h6",      "pre",       "listing",  "form",       "hr",       "li",       "dd",
    "dt",      "plaintext", "table",    "caption",    "colgroup", "col",      "tbody",
    "thead",   "tfoot",     "tr",       "td",         "th",       "html",     "head",
    "body",    "base",      "basefont", "bgsound",    "link",     "meta",     "script",
    "style",   "title",     "template", "noframes",   "noscript", "textarea", "iframe",
    "noembed", "frameset",  "frame",    "param",      "source",   "track",    "menuitem"};
const TagSet Tables{"table"};
const TagSet InSelect{"option", "optgroup", "script", "template", "select"};

// The tree builder's stack of open elements, and its list of active formatting
// elements, followed over the tokens as far as their size goes: an end tag, or a
// start tag that implies ends, closes what the tree builder closes where that is
// plain (the rules for paragraphs, list items, headings, table parts, scopes and
// "any other end tag"), and no more where the tree builder rearranges
// (misnested formatting elements); formatting elements closed by others are
// opened again before text as the tree builder does (at most three alike, alike
// being written alike here); a self-closing tag opens nothing only in svg and
// math. The library takes all elements of names it does not know for one kind,
// and so does this. A long list costs the tree builder as a deep stack does, and
// counts as deep.
class DepthListener : public TagListener {
  public:
    size_t Deepest = 0;

    bool StartTag(std::string_view, int tag, const AttributeReader&,
                  const StartTagForm& form) override {
        const bool foreign = Foreign > 0;
        if (NoDepth(tag)) {
            if (!foreign && !NoReconstruct(tag))
                Reconstruct(); // before an image, a line break...
            return Deepest <= MaxTreeDepth;
        }
        if ((foreign || tag == GUMBO_TAG_SVG || tag == GUMBO_TAG_MATH) && form.SelfClosing)
            return true;
        if (!foreign) {
            if (!Start(tag))
                return true;
            if (!NoReconstruct(tag))
                Reconstruct();
        }
        Push(tag, foreign || tag == GUMBO_TAG_SVG || tag == GUMBO_TAG_MATH);
        if (!foreign && IsFormattingElement(tag))
            AddEntry(tag, form.Written);
        else if (!foreign && Marker(tag)) {
            Open.back().Id = ++LastId;
            Open.back().Marker = true;
            Entries.push_back({-1, 0, LastId, false});
        }
        return Deepest <= MaxTreeDepth;
    }

    bool EndTag(std::string_view, int tag) override {
        if (NoDepth(tag))
            return true;
        if (Foreign > 0 && Open.back().Foreign) {
            // foreign content: the innermost foreign element of the kind
            for (size_t k = Open.size(); k > 0 && Open[k - 1].Foreign; --k)
                if (Open[k - 1].Kind == tag) {
                    PopTo(k - 1);
                    return true;
                }
        }
        if (tag == GUMBO_TAG_P) {
            if (!CloseInScope(tag, ButtonScope))
                Deepest = std::max(Deepest, Open.size() + 1); // an empty paragraph
        } else if (tag == GUMBO_TAG_LI) {
            CloseInScope(tag, ListScope);
        } else if (Heading(tag)) {
            if (const size_t k = FindInScope([](Tag open) { return Heading(open); }, NoMore))
                PopTo(k - 1);
        } else if (TableContext(tag) && tag != GUMBO_TAG_HTML) {
            if (const size_t k =
                    FindInScope([tag](Tag open) { return open == tag; }, TableScope, true))
                PopTo(k - 1);
        } else if (tag == GUMBO_TAG_FORM) {
            if (const size_t k =
                    FindInScope([](Tag open) { return open == GUMBO_TAG_FORM; }, NoMore))
                Erase(k - 1); // the form alone leaves the stack
        } else if (IsSpecialElement(tag)) {
            CloseInScope(tag, NoMore);
        } else if (!IsFormattingElement(tag) || !Adopt(tag)) {
            // any other end tag: the innermost of its kind, unless a special
            // element comes first
            for (size_t k = Open.size(); k > 0 && !IsSpecialElement(Open[k - 1].Kind); --k)
                if (Open[k - 1].Kind == tag) {
                    PopTo(k - 1);
                    break;
                }
        }
        return true;
    }

    bool Text(std::string_view text) override {
        if (!text.empty())
            Reconstruct();
        return Deepest <= MaxTreeDepth;
    }
    bool RawText(std::string_view, int, std::string_view) override { return true; }

  private:
    struct Element {
        Tag Kind;
        bool Foreign;         // in svg or math
        bool Marker = false;  // it ends a part of the formatting list (a cell...)
        std::uint32_t Id = 0; // its entry in the formatting list, or 0
    };
    // An entry of the list of active formatting elements, or a marker (kind -1).
    struct Entry {
        Tag Kind;
        std::uint64_t Written; // a hash of the kind and the attributes as written
        std::uint32_t Id;      // ascending along the list
        bool OnStack;
    };

    void Push(Tag tag, bool foreign) {
        Open.push_back({tag, foreign});
        Foreign += foreign;
        Deepest = std::max(Deepest, Open.size());
    }

    // What a start tag of this kind first closes; false when it opens nothing.
    bool Start(Tag tag) {
        if (InSelectElement()) {
            if (!InSelect(tag))
                return false; // dropped in a select
            if (tag == GUMBO_TAG_SELECT) {
                CloseInScope(GUMBO_TAG_SELECT, NoMore);
                return false; // a select in a select ends it
            }
            if (tag == GUMBO_TAG_OPTION || tag == GUMBO_TAG_OPTGROUP)
                while (!Open.empty() &&
                       (Open.back().Kind == GUMBO_TAG_OPTION ||
                        (tag == GUMBO_TAG_OPTGROUP && Open.back().Kind == GUMBO_TAG_OPTGROUP)))
                    PopTo(Open.size() - 1);
            return true;
        }
        if (TableContext(tag) && tag != GUMBO_TAG_TABLE && tag != GUMBO_TAG_TEMPLATE)
            return StartTablePart(tag);
        if (tag == GUMBO_TAG_FORM && Innermost(Forms))
            return false; // a form in a form is dropped
        if (ClosesParagraph(tag))
            CloseInScope(GUMBO_TAG_P, ButtonScope);
        if (tag == GUMBO_TAG_LI || tag == GUMBO_TAG_DD || tag == GUMBO_TAG_DT) {
            const auto same = [tag](Tag open) {
                return tag == GUMBO_TAG_LI ? open == GUMBO_TAG_LI
                                           : open == GUMBO_TAG_DD || open == GUMBO_TAG_DT;
            };
            for (size_t k = Open.size(); k > 0; --k) {
                const Tag open = Open[k - 1].Kind;
                if (same(open)) {
                    PopTo(k - 1);
                    break;
                }
                if (IsSpecialElement(open) && open != GUMBO_TAG_ADDRESS && open != GUMBO_TAG_DIV &&
                    open != GUMBO_TAG_P)
                    break;
            }
        } else if (Heading(tag)) {
            if (!Open.empty() && Heading(Open.back().Kind))
                PopTo(Open.size() - 1);
        } else if (tag == GUMBO_TAG_BUTTON) {
            CloseInScope(GUMBO_TAG_BUTTON, NoMore);
        } else if (tag == GUMBO_TAG_A || tag == GUMBO_TAG_NOBR) {
            // an open one ends as by its end tag, and leaves the list and the stack
            if (const size_t e = LastEntry(tag)) {
                const std::uint32_t id = Entries[e - 1].Id;
                Adopt(tag);
                if (const auto at = Find(id); at != Entries.end()) {
                    Entries.erase(at);
                    for (size_t k = Open.size(); k > 0; --k)
                        if (Open[k - 1].Id == id) {
                            Open[k - 1].Id = 0;
                            Erase(k - 1);
                            break;
                        }
                }
            }
        } else if (tag == GUMBO_TAG_OPTION || tag == GUMBO_TAG_OPTGROUP) {
            if (!Open.empty() && Open.back().Kind == GUMBO_TAG_OPTION)
                PopTo(Open.size() - 1);
        } else if (tag == GUMBO_TAG_TABLE) {
            // a table in a table, but for in a cell, ends the open one
            const size_t k = Innermost(TableContext);
            if (k && Open[k - 1].Kind != GUMBO_TAG_TD && Open[k - 1].Kind != GUMBO_TAG_TH &&
                Open[k - 1].Kind != GUMBO_TAG_CAPTION && Open[k - 1].Kind != GUMBO_TAG_TEMPLATE &&
                Open[k - 1].Kind != GUMBO_TAG_HTML)
                PopTo(Innermost(Tables) - 1);
        }
        return true;
    }

    // A cell, row, row group or caption: closes what is open in the innermost
    // table part down to the level above the new one (a cell closes the open
    // cell, a row the open row), and implies the row group and row a cell needs.
    bool StartTablePart(Tag tag) {
        const size_t k = Innermost(TableContext);
        if (k == 0 || Open[k - 1].Kind == GUMBO_TAG_HTML || Open[k - 1].Kind == GUMBO_TAG_TEMPLATE)
            return false; // outside a table the tree builder drops it
        const auto level = [](Tag part) {
            switch (part) {
            case GUMBO_TAG_TD:
            case GUMBO_TAG_TH:
            case GUMBO_TAG_CAPTION:
                return 3;
            case GUMBO_TAG_TR:
                return 2;
            case GUMBO_TAG_TBODY:
            case GUMBO_TAG_THEAD:
            case GUMBO_TAG_TFOOT:
                return 1;
            default:
                return 0; // the table
            }
        };
        const int wanted = tag == GUMBO_TAG_CAPTION ? 1 : level(tag);
        PopTo(k);
        while (level(Open.back().Kind) >= wanted)
            PopTo(Open.size() - 1);
        if (tag != GUMBO_TAG_CAPTION)
            for (int at = level(Open.back().Kind); at + 1 < wanted; ++at)
                Push(at == 0 ? GUMBO_TAG_TBODY : GUMBO_TAG_TR, false);
        return true;
    }

    // Where the part of the formatting list after the last marker starts.
    size_t ListStart() const {
        for (size_t e = Entries.size(); e > 0; --e)
            if (Entries[e - 1].Kind < 0)
                return e;
        return 0;
    }

    // 1 + the position of the last entry of the kind after the last marker, or 0.
    size_t LastEntry(Tag tag) const {
        for (size_t e = Entries.size(); e > 0 && Entries[e - 1].Kind >= 0; --e)
            if (Entries[e - 1].Kind == tag)
                return e;
        return 0;
    }

    void AddEntry(Tag tag, std::string_view written) {
        std::uint64_t hash = 1469598103934665603ull ^ static_cast<std::uint64_t>(tag);
        for (const char c : written)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        // at most three alike after the last marker: the earliest goes
        size_t alike = 0, earliest = 0;
        for (size_t e = Entries.size(); e > 0 && Entries[e - 1].Kind >= 0; --e)
            if (Entries[e - 1].Kind == tag && Entries[e - 1].Written == hash) {
                ++alike;
                earliest = e;
            }
        if (alike >= 3)
            Entries.erase(Entries.begin() + static_cast<std::ptrdiff_t>(earliest - 1));
        Open.back().Id = ++LastId;
        Entries.push_back({tag, hash, LastId, true});
        Deepest = std::max(Deepest, Entries.size() - ListStart());
    }

    // The formatting elements closed by others, opened again after the last one
    // still open.
    void Reconstruct() {
        size_t e = Entries.size();
        while (e > 0 && Entries[e - 1].Kind >= 0 && !Entries[e - 1].OnStack)
            --e;
        for (; e < Entries.size(); ++e) {
            Push(Entries[e].Kind, false);
            Open.back().Id = Entries[e].Id;
            Entries[e].OnStack = true;
        }
    }

    // The end tag of a formatting element with an entry in the list: it closes
    // the element when nothing special is inside it, and the entry goes; else
    // the tree builder moves elements about and the depth is left as it is.
    // False when the kind has no entry.
    bool Adopt(Tag tag) {
        const size_t e = LastEntry(tag);
        if (e == 0)
            return false;
        const std::uint32_t id = Entries[e - 1].Id;
        if (!Entries[e - 1].OnStack) {
            Entries.erase(Entries.begin() + static_cast<std::ptrdiff_t>(e - 1));
            return true;
        }
        bool special = false;
        for (size_t k = Open.size(); k > 0; --k) {
            if (Open[k - 1].Id == id) {
                if (!special) {
                    PopTo(k - 1);
                    if (const auto at = Find(id); at != Entries.end())
                        Entries.erase(at);
                }
                return true;
            }
            if (Scope(Open[k - 1].Kind) || ForeignScope(Open[k - 1].Kind))
                return true; // not in scope: ignored
            special |= IsSpecialElement(Open[k - 1].Kind);
        }
        return true;
    }

    // The entry of the id, or the end.
    std::vector<Entry>::iterator Find(std::uint32_t id) {
        const auto at = std::lower_bound(
            Entries.begin(), Entries.end(), id,
            [](const Entry& entry, std::uint32_t wanted) { return entry.Id < wanted; });
        return at != Entries.end() && at->Id == id ? at : Entries.end();
    }

    bool InSelectElement() const { return !Open.empty() && InSelectOpen(); }
    bool InSelectOpen() const {
        for (size_t k = Open.size(); k > 0; --k) {
            const Tag open = Open[k - 1].Kind;
            if (open == GUMBO_TAG_SELECT)
                return true;
            if (open != GUMBO_TAG_OPTION && open != GUMBO_TAG_OPTGROUP)
                return false;
        }
        return false;
    }

    // 1 + the position of the innermost element of the set, or 0.
    size_t Innermost(const TagSet& set) const {
        for (size_t k = Open.size(); k > 0; --k)
            if (set(Open[k - 1].Kind))
                return k;
        return 0;
    }

    // 1 + the position of the innermost element that is wanted, searched for
    // from the innermost out to the end of the scope (its own end elements, or
    // the table scope's alone), or 0.
    template <typename Wanted>
    size_t FindInScope(const Wanted& wanted, const TagSet& more, bool tableScope = false) const {
        for (size_t k = Open.size(); k > 0; --k) {
            const Tag open = Open[k - 1].Kind;
            if (wanted(open))
                return k;
            if (tableScope ? TableScope(open) : (Scope(open) || ForeignScope(open) || more(open)))
                return 0;
        }
        return 0;
    }

    bool CloseInScope(Tag tag, const TagSet& more) {
        const size_t k = FindInScope([tag](Tag open) { return open == tag; }, more);
        if (k)
            PopTo(k - 1);
        return k;
    }

    // What an element leaving the stack leaves in the formatting list: its
    // entry stays, as not open; a marker takes what follows it in the list along.
    void Left(const Element& element) {
        Foreign -= element.Foreign;
        if (element.Id == 0)
            return;
        const auto at = Find(element.Id);
        if (at == Entries.end())
            return;
        if (element.Marker)
            Entries.erase(at, Entries.end());
        else
            at->OnStack = false;
    }

    // Keeps the elements before position k.
    void PopTo(size_t k) {
        while (Open.size() > k) {
            Left(Open.back());
            Open.pop_back();
        }
    }

    void Erase(size_t k) {
        Left(Open[k]);
        Open.erase(Open.begin() + static_cast<std::ptrdiff_t>(k));
    }

    std::vector<Element> Open;
    int Foreign = 0; // open elements in svg or math
    std::vector<Entry> Entries;
    std::uint32_t LastId = 0;
};

} // namespace

size_t EstimatedDepth(std::string_view html) {
    DepthListener listener;
    ReadTagsAsTokenizer(html, listener);
    return listener.Deepest;
}

namespace {

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool EqualsNoCase(std::string_view text, const char* lower) {
    return NameIs(text, lower);
}

} // namespace

std::vector<std::string> SrcsetUrls(std::string_view s) {
    std::vector<std::string> urls;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (IsAsciiSpace(s[i]) || s[i] == ','))
            ++i;
        if (i >= s.size())
            break;
        const size_t start = i;
        while (i < s.size() && !IsAsciiSpace(s[i]))
            ++i;
        std::string_view url = s.substr(start, i - start);
        bool commaEnded = false;
        while (!url.empty() && url.back() == ',') {
            url.remove_suffix(1);
            commaEnded = true;
        }
        if (!commaEnded) {
            // descriptors up to a comma outside parentheses
            bool inParens = false;
            while (i < s.size() && (inParens || s[i] != ',')) {
                if (s[i] == '(')
                    inParens = true;
                else if (s[i] == ')')
                    inParens = false;
                ++i;
            }
        }
        if (!url.empty())
            urls.emplace_back(url);
    }
    return urls;
}

std::string RefreshUrl(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsAsciiSpace(s[i]))
        ++i;
    const size_t digits = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    if (i == digits && (i >= s.size() || s[i] != '.'))
        return {};
    while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.'))
        ++i;
    if (i >= s.size() || (s[i] != ';' && s[i] != ',' && !IsAsciiSpace(s[i])))
        return {};
    while (i < s.size() && IsAsciiSpace(s[i]))
        ++i;
    if (i < s.size() && (s[i] == ';' || s[i] == ','))
        ++i;
    while (i < s.size() && IsAsciiSpace(s[i]))
        ++i;
    if (i >= s.size())
        return {};
    std::string_view url = s.substr(i);
    char quote = 0;
    if (s.size() - i >= 3 && EqualsNoCase(s.substr(i, 3), "url")) {
        size_t k = i + 3;
        while (k < s.size() && IsAsciiSpace(s[k]))
            ++k;
        if (k < s.size() && s[k] == '=') {
            ++k;
            while (k < s.size() && IsAsciiSpace(s[k]))
                ++k;
            if (k < s.size() && (s[k] == '"' || s[k] == '\'')) {
                quote = s[k];
                ++k;
            }
            url = s.substr(k);
        }
    } else if (s[i] == '"' || s[i] == '\'') {
        quote = s[i];
        url = s.substr(i + 1);
    }
    if (quote)
        url = url.substr(0, url.find(quote));
    return std::string(url);
}

bool MayHoldLinks(std::string_view tag) {
    static constexpr std::string_view names[] = {"a",     "area",   "frame",  "iframe",
                                                 "img",   "source", "object", "embed",
                                                 "video", "input",  "meta",   "base"};
    for (const std::string_view name : names)
        if (tag == name)
            return true;
    return false;
}

void ElementLinks(std::string_view tag, const AttributeReader& attribute,
                  std::vector<FoundLink>& out) {
    auto add = [&](LinkKind kind, const char* name) {
        if (std::optional<std::string> value = attribute(name))
            out.push_back({kind, std::move(*value)});
    };
    auto addSrcset = [&] {
        if (std::optional<std::string> value = attribute("srcset"))
            for (std::string& url : SrcsetUrls(*value))
                out.push_back({LinkKind::Image, std::move(url)});
    };
    if (tag == "a" || tag == "area") {
        add(LinkKind::Link, "href");
    } else if (tag == "frame" || tag == "iframe") {
        add(LinkKind::Link, "src");
    } else if (tag == "img") {
        add(LinkKind::Image, "src");
        addSrcset();
    } else if (tag == "source") {
        addSrcset();
    } else if (tag == "object") {
        add(LinkKind::Image, "data");
    } else if (tag == "embed") {
        add(LinkKind::Image, "src");
    } else if (tag == "video") {
        add(LinkKind::Image, "src");
        add(LinkKind::Image, "poster");
    } else if (tag == "input") {
        const std::optional<std::string> type = attribute("type");
        if (type && EqualsNoCase(*type, "image"))
            add(LinkKind::Image, "src");
    } else if (tag == "meta") {
        const std::optional<std::string> equiv = attribute("http-equiv");
        if (equiv && EqualsNoCase(*equiv, "refresh"))
            if (const std::optional<std::string> content = attribute("content")) {
                std::string url = RefreshUrl(*content);
                if (!url.empty())
                    out.push_back({LinkKind::Link, std::move(url)});
            }
    }
}

DocumentLinks ExtractLinks(std::string_view html) {
    if (EstimatedDepth(html) > MaxTreeDepth)
        return ScanLinksAsTokenizer(html);
    DocumentLinks result;
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // the parse errors are of no use here and cost memory
    std::string mended;
    const std::string_view input = ForHtmlParser(html, mended);
    std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, input.data(), input.size()));
    if (!output || !output->root)
        return result;
    bool haveBase = false;
    // Walk iteratively: deeply nested documents must not exhaust the stack.
    std::vector<const GumboNode*> stack{output->root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        // A template's content is inert: a browser fetches nothing in it.
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboElement& element = node->v.element;
        if (element.tag == GUMBO_TAG_BASE) {
            if (!haveBase) {
                if (const char* href = Attribute(element, "href")) {
                    result.BaseHref = href;
                    haveBase = true;
                }
            }
        } else if (element.tag != GUMBO_TAG_UNKNOWN) {
            const char* name = gumbo_normalized_tagname(element.tag);
            if (MayHoldLinks(name)) {
                const auto read = [&element](const char* attribute) -> std::optional<std::string> {
                    if (const char* value = Attribute(element, attribute))
                        return std::string(value);
                    return std::nullopt;
                };
                ElementLinks(name, read, result.Links);
            }
        }
        const GumboVector& children = element.children;
        for (unsigned i = children.length; i > 0; --i)
            stack.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
    }
    return result;
}

} // namespace vantora
