#include "Links.h"

#include "FastLinks.h"
#include "HtmlInput.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
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

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':';
}

// Elements that never hold children or that the parser closes by itself when the
// next one starts; they do not deepen the tree.
bool Shallow(std::string_view name) {
    static const char* const names[] = {"area",   "base",  "br",   "col",  "embed", "hr",
                                        "img",    "input", "link", "meta", "param", "source",
                                        "track",  "wbr",   "p",    "li",   "dt",    "dd",
                                        "option", "tr",    "td",   "th",   "frame", "!doctype"};
    for (const char* candidate : names)
        if (NameIs(name, candidate))
            return true;
    return false;
}

} // namespace

// The deepest nesting the document could reach, counted over start and end tags.
// The HTML5 tree builder takes time quadratic in nesting depth, so deeply nested
// documents are read by the plain tag scanner below instead. An end tag closes
// the open element of its name and those inside it; one that matches no open
// element closes nothing, as in the tree builder.
size_t EstimatedDepth(std::string_view html) {
    std::vector<std::string> open;
    std::unordered_map<std::string, size_t> openByName;
    size_t deepest = 0;
    auto lowerName = [&](size_t from) {
        size_t end = from;
        while (end < html.size() && IsNameChar(html[end]))
            ++end;
        std::string name(html.substr(from, std::min<size_t>(end - from, 64)));
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return std::make_pair(name, end);
    };
    for (size_t i = html.find('<'); i != std::string_view::npos; i = html.find('<', i + 1)) {
        if (i + 1 >= html.size())
            break;
        if (html[i + 1] == '/') {
            const std::string name = lowerName(i + 2).first;
            if (const auto it = openByName.find(name); it != openByName.end() && it->second > 0)
                while (!open.empty()) {
                    const std::string last = std::move(open.back());
                    open.pop_back();
                    --openByName[last];
                    if (last == name)
                        break;
                }
            continue;
        }
        const auto [name, end] = lowerName(i + 1);
        if (end == i + 1 || Shallow(name))
            continue;
        const size_t close = html.find('>', end);
        if (close != std::string_view::npos && close > 0 && html[close - 1] == '/')
            continue;
        open.push_back(name);
        ++openByName[name];
        deepest = std::max(deepest, open.size());
        if (deepest > MaxTreeDepth)
            break; // deep enough for the scanner
    }
    return deepest;
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
