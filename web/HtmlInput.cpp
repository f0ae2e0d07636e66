#include "HtmlInput.h"

#include <gumbo.h>

#include <cstdint>
#include <cstring>
#include <memory>
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

} // namespace

std::string_view ForHtmlParser(std::string_view html, std::string& storage) {
    constexpr uint32_t Largest = 0x10FFFF;
    size_t copied = 0; // html[0, copied) is in storage when storage is in use
    bool mended = false;
    size_t pos = 0;
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
