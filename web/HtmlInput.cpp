#include "HtmlInput.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace vantora {

namespace {

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct OutputDeleter {
    void operator()(GumboOutput* output) const {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Where the parser reads text as it is written, references and all: the content
// of script, style, xmp, iframe, noembed and noframes up to their end tag, and all
// that follows <plaintext> (not inside svg or math, where these are ordinary
// elements). Tags, their quoted values, comments and the content of title and
// textarea are passed over as the tokenizer reads them, so that markup inside
// them starts nothing.
std::vector<std::pair<size_t, size_t>> RawTextSpans(std::string_view html) {
    static constexpr std::string_view rawText[] = {"script",  "style",    "xmp",      "iframe",
                                                   "noembed", "noframes", "plaintext"};
    std::vector<std::pair<size_t, size_t>> spans;
    const size_t n = html.size();
    int foreign = 0; // svg and math elements open
    const auto skipTo = [&](size_t from, std::string_view what) {
        const size_t at = html.find(what, from);
        return at == std::string_view::npos ? n : at + what.size();
    };
    for (size_t i = html.find('<'); i < n; i = html.find('<', i)) {
        if (html.compare(i, 4, "<!--") == 0) {
            // A comment also ends at "--!>" (a parse error the tokenizer forgives).
            i = html.compare(i + 4, 1, ">") == 0 ? i + 5
                : html.compare(i + 4, 2, "->") == 0
                    ? i + 6
                    : std::min(skipTo(i + 4, "-->"), skipTo(i + 4, "--!>"));
            continue;
        }
        const bool end = i + 1 < n && html[i + 1] == '/';
        const size_t nameAt = i + 1 + end;
        if (nameAt >= n || !std::isalpha(static_cast<unsigned char>(html[nameAt]))) {
            i = i + 1 < n && (html[i + 1] == '!' || html[i + 1] == '?' || end) ? skipTo(i + 1, ">")
                                                                               : i + 1;
            continue;
        }
        std::string name;
        size_t p = nameAt;
        while (p < n && !IsBlank(html[p]) && html[p] != '/' && html[p] != '>')
            name += Lower(html[p++]);
        // the attributes, as the tokenizer reads them: a quoted value may hold ">"
        while (true) {
            while (p < n && (IsBlank(html[p]) || html[p] == '/'))
                ++p;
            if (p >= n || html[p] == '>')
                break;
            ++p; // the name's first character may be "="
            while (p < n && !IsBlank(html[p]) && html[p] != '/' && html[p] != '>' && html[p] != '=')
                ++p;
            while (p < n && IsBlank(html[p]))
                ++p;
            if (p >= n || html[p] != '=')
                continue;
            ++p;
            while (p < n && IsBlank(html[p]))
                ++p;
            if (p < n && (html[p] == '"' || html[p] == '\'')) {
                const size_t close = html.find(html[p], p + 1);
                p = close == std::string_view::npos ? n : close + 1;
            } else {
                while (p < n && !IsBlank(html[p]) && html[p] != '>')
                    ++p;
            }
        }
        const bool selfClosing = p < n && html[p - 1] == '/';
        i = std::min(n, p + 1);
        if (name == "svg" || name == "math") {
            // in foreign content these names are ordinary elements
            foreign += end ? -(foreign > 0) : !selfClosing;
            continue;
        }
        const bool rcdata = name == "title" || name == "textarea"; // references decoded
        if (end || foreign > 0 ||
            (!rcdata &&
             std::find(std::begin(rawText), std::end(rawText), name) == std::end(rawText)))
            continue;
        if (name == "plaintext") {
            spans.emplace_back(i, n);
            break;
        }
        size_t close = i;
        while ((close = html.find("</", close)) != std::string_view::npos) {
            const size_t after = close + 2 + name.size();
            bool same = after <= n;
            for (size_t c = 0; same && c < name.size(); ++c)
                same = Lower(html[close + 2 + c]) == name[c];
            if (same &&
                (after == n || IsBlank(html[after]) || html[after] == '/' || html[after] == '>'))
                break;
            close += 2;
        }
        if (close == std::string_view::npos)
            close = n;
        if (!rcdata)
            spans.emplace_back(i, close);
        i = close;
    }
    return spans;
}

} // namespace

std::string_view ForHtmlParser(std::string_view html, std::string& storage) {
    constexpr uint32_t Largest = 0x10FFFF;
    size_t copied = 0; // html[0, copied) is in storage when storage is in use
    bool mended = false;
    size_t pos = 0;
    // worked out at the first reference that needs mending: nearly no page has one
    std::vector<std::pair<size_t, size_t>> raw;
    bool rawKnown = false;
    size_t span = 0;
    while (true) {
        const void* found = std::memchr(html.data() + pos, '&', html.size() - pos);
        if (!found)
            break;
        const size_t amp = static_cast<const char*>(found) - html.data();
        pos = amp + 1;
        if (pos >= html.size() || html[pos] != '#')
            continue;
        size_t digits = pos + 1;
        const bool hex = digits < html.size() && (html[digits] == 'x' || html[digits] == 'X');
        if (hex)
            ++digits;
        uint64_t value = 0;
        size_t end = digits;
        for (int d; end < html.size() && (d = DigitValue(html[end], hex)) >= 0; ++end)
            value = value > Largest ? value : value * (hex ? 16 : 10) + d;
        pos = end;
        if (end == digits || value <= Largest)
            continue;
        if (!rawKnown) {
            raw = RawTextSpans(html);
            rawKnown = true;
        }
        while (span < raw.size() && raw[span].second <= amp)
            ++span;
        if (span < raw.size() && raw[span].first <= amp)
            continue; // raw text: the parser reads it as it is written
        if (!mended) {
            storage.clear();
            storage.reserve(html.size());
            mended = true;
        }
        storage.append(html.substr(copied, digits - copied));
        storage += hex ? "110000" : "1114112";
        copied = end;
    }
    if (!mended)
        return html;
    storage.append(html.substr(copied));
    return storage;
}

// The value is put in a tag of its own with the quote it was written with, and
// that tag is parsed.
std::string DecodeAttributeAsParser(std::string_view raw, char quote) {
    if (raw.find_first_of(std::string_view("&\r\0", 3)) == std::string_view::npos)
        return std::string(raw);
    std::string fragment = "<a x=";
    if (quote)
        fragment += quote;
    fragment += raw;
    if (quote)
        fragment += quote;
    fragment += '>';
    std::string mended;
    const std::string_view input = ForHtmlParser(fragment, mended);
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, input.data(), input.size()));
    std::vector<const GumboNode*> stack{output ? output->root : nullptr};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (!node || node->type != GUMBO_NODE_ELEMENT)
            continue;
        if (node->v.element.tag == GUMBO_TAG_A)
            if (const GumboAttribute* x = gumbo_get_attribute(&node->v.element.attributes, "x"))
                return x->value;
        const GumboVector& children = node->v.element.children;
        for (unsigned k = 0; k < children.length; ++k)
            stack.push_back(static_cast<const GumboNode*>(children.data[k]));
    }
    return std::string(raw);
}

// The text is put in an element of its own behind a letter (which keeps a
// leading line break of a <textarea>), and that element is parsed.
std::string DecodeTextAsParser(std::string_view raw, std::string_view element) {
    const std::string name(element);
    std::string fragment = "<" + name + ">x";
    fragment += raw;
    fragment += "</" + name + ">";
    std::string mended;
    const std::string_view input = ForHtmlParser(fragment, mended);
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, input.data(), input.size()));
    const GumboTag wanted = gumbo_tag_enum(name.c_str());
    std::vector<const GumboNode*> stack{output ? output->root : nullptr};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (!node || node->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboVector& children = node->v.element.children;
        if (node->v.element.tag == wanted) {
            std::string text;
            for (unsigned k = 0; k < children.length; ++k) {
                const auto* child = static_cast<const GumboNode*>(children.data[k]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                    text += child->v.text.text;
            }
            return text.empty() ? text : text.substr(1);
        }
        for (unsigned k = 0; k < children.length; ++k)
            stack.push_back(static_cast<const GumboNode*>(children.data[k]));
    }
    return std::string(raw);
}

} // namespace vantora
