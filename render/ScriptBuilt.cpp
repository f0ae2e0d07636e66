#include "ScriptBuilt.h"

#include <cctype>
#include <string>

namespace vantora::render {

namespace {

bool NameIs(std::string_view html, std::size_t at, std::string_view name) {
    if (at + name.size() > html.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(html[at + i])) != name[i])
            return false;
    const std::size_t after = at + name.size();
    return after == html.size() || !std::isalnum(static_cast<unsigned char>(html[after]));
}

// Where the element whose content is raw text (script, style...) that starts at
// `from` ends: after its closing tag, or the end of the text.
std::size_t SkipRawText(std::string_view html, std::size_t from, std::string_view name) {
    for (std::size_t at = html.find("</", from); at != std::string_view::npos;
         at = html.find("</", at + 2))
        if (NameIs(html, at + 2, name)) {
            const std::size_t close = html.find('>', at);
            return close == std::string_view::npos ? html.size() : close + 1;
        }
    return html.size();
}

// Whether a <script> start tag (from after its name to its ">") runs code: no
// type, or a JavaScript or module type (not JSON-LD, templates and the like).
bool RunsCode(std::string_view tag) {
    std::string lower(tag);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t type = lower.find("type");
    if (type == std::string::npos)
        return true;
    std::size_t at = lower.find_first_not_of(" \t\r\n", type + 4);
    if (at == std::string::npos || lower[at] != '=')
        return true;
    at = lower.find_first_not_of(" \t\r\n\"'", at + 1);
    if (at == std::string::npos)
        return true;
    const std::string_view value = std::string_view(lower).substr(at);
    return value.starts_with("module") || value.starts_with("text/javascript") ||
           value.starts_with("application/javascript") || value.starts_with("text/ecmascript");
}

} // namespace

bool LooksScriptBuilt(std::string_view html) {
    bool script = false;
    // Text counts in the body, or anywhere but the head of a page without one.
    bool inHead = false, inBody = false;
    std::size_t words = 0;
    bool inWord = false;
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c != '<') {
            if (inBody || !inHead) {
                const bool space = std::isspace(static_cast<unsigned char>(c)) != 0;
                if (!space && !inWord && ++words >= ScriptBuiltWords)
                    return false;
                inWord = !space;
            }
            ++i;
            continue;
        }
        inWord = false;
        if (html.compare(i, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", i + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const std::size_t close = html.find('>', i);
        if (close == std::string_view::npos)
            break;
        const std::size_t name = i + 1;
        if (NameIs(html, name, "head"))
            inHead = true;
        else if (NameIs(html, name, "body") || NameIs(html, name, "/head"))
            inBody = true;
        i = close + 1;
        for (const std::string_view raw : {"script", "style", "template", "noscript", "title"})
            if (NameIs(html, name, raw)) {
                if (raw == "script" && RunsCode(html.substr(name + 6, close - name - 6)))
                    script = true;
                i = SkipRawText(html, close + 1, raw);
                break;
            }
    }
    return script;
}

} // namespace vantora::render
