#include "Url.h"

#include <algorithm>
#include <cctype>

namespace vantora {

namespace {

bool IsHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

bool IsUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool NeedsEscape(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F)
        return true;
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
        return true;
    default:
        return false;
    }
}

const char HexDigits[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char c) {
    out += '%';
    out += HexDigits[c >> 4];
    out += HexDigits[c & 15];
}

// Normalises the escapes of a path or query: decodes escaped unreserved characters,
// writes the others in upper case, and escapes bytes that may not stand in a URL.
std::string NormaliseComponent(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
            const auto v =
                static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            if (IsUnreserved(v))
                out += static_cast<char>(v);
            else
                AppendEscaped(out, v);
            i += 2;
        } else if (c == '%' || NeedsEscape(c)) {
            AppendEscaped(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool IsSlash(char c) {
    return c == '/' || c == '\\';
}

bool ValidHost(std::string& host) {
    if (host.empty())
        return false;
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        for (size_t i = 1; i + 1 < host.size(); ++i) {
            const char c = host[i];
            if (!IsHex(c) && c != ':' && c != '.')
                return false;
        }
        std::transform(host.begin(), host.end(), host.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return true;
    }
    while (!host.empty() && host.back() == '.')
        host.pop_back();
    if (host.empty() || host.size() > 253)
        return false;
    for (char& c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || c == '-' || c == '.' || c == '_'))
            return false;
        c = static_cast<char>(std::tolower(u));
    }
    return host.find("..") == std::string::npos && host.front() != '.';
}

} // namespace

std::string Url::Authority() const {
    return Port.empty() ? Host : Host + ":" + Port;
}

std::string Url::Key() const {
    std::string key = Authority();
    key += Path;
    if (HasQuery) {
        key += '?';
        key += Query;
    }
    return key;
}

std::string Url::ToString() const {
    return Scheme + "://" + Key();
}

std::string Url::ToHttpString() const {
    return "http://" + Key();
}

std::string CleanReference(std::string_view reference) {
    size_t begin = 0, end = reference.size();
    while (begin < end && static_cast<unsigned char>(reference[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(reference[end - 1]) <= 0x20)
        --end;
    std::string out;
    out.reserve(end - begin);
    for (size_t i = begin; i < end; ++i) {
        const char c = reference[i];
        if (c != '\t' && c != '\r' && c != '\n')
            out += c;
    }
    return out;
}

std::string ReferenceScheme(std::string_view reference) {
    if (reference.empty() || !std::isalpha(static_cast<unsigned char>(reference[0])))
        return {};
    for (size_t i = 1; i < reference.size(); ++i) {
        const auto c = static_cast<unsigned char>(reference[i]);
        if (c == ':') {
            std::string scheme(reference.substr(0, i));
            std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
            return scheme;
        }
        if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.'))
            return {};
    }
    return {};
}

std::string EscapeUrlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2]))
            out += '%';
        else if (c == '%' || NeedsEscape(c))
            AppendEscaped(out, c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string RemoveDotSegments(std::string_view path) {
    // Segments are kept on an output stack; "." is dropped and ".." pops one.
    std::string out;
    out.reserve(path.size());
    size_t i = 0;
    while (i < path.size()) {
        // path[i] is '/' here (the path begins with one and each step stops at one)
        size_t next = path.find('/', i + 1);
        if (next == std::string_view::npos)
            next = path.size();
        const std::string_view segment = path.substr(i + 1, next - i - 1);
        const bool last = next == path.size();
        if (segment == ".") {
            if (last)
                out += '/';
        } else if (segment == "..") {
            const size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
            if (last)
                out += '/';
        } else {
            out += '/';
            out += segment;
        }
        i = next;
    }
    if (out.empty())
        out = "/";
    return out;
}

std::optional<Url> ParseUrl(std::string_view input) {
    const std::string text = CleanReference(input);
    const std::string scheme = ReferenceScheme(text);
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    Url url;
    url.Scheme = scheme;
    size_t pos = scheme.size() + 1;
    // Like a browser, accept any number of slashes (or backslashes) before the host.
    while (pos < text.size() && IsSlash(text[pos]))
        ++pos;
    size_t authorityEnd = pos;
    while (authorityEnd < text.size() && !IsSlash(text[authorityEnd]) &&
           text[authorityEnd] != '?' && text[authorityEnd] != '#')
        ++authorityEnd;
    std::string_view authority = std::string_view(text).substr(pos, authorityEnd - pos);
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        url.Host = std::string(authority.substr(0, close + 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return std::nullopt;
            portText = after.substr(1);
        }
    } else {
        const size_t colon = authority.find(':');
        url.Host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos)
            portText = authority.substr(colon + 1);
    }
    if (!ValidHost(url.Host))
        return std::nullopt;
    if (!portText.empty()) {
        if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(),
                                                [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        const int port = std::stoi(std::string(portText));
        if (port < 1 || port > 65535)
            return std::nullopt;
        if (!((scheme == "http" && port == 80) || (scheme == "https" && port == 443)))
            url.Port = std::to_string(port);
    }
    const size_t fragment = text.find('#', authorityEnd);
    const std::string_view rest = std::string_view(text).substr(
        authorityEnd, (fragment == std::string::npos ? text.size() : fragment) - authorityEnd);
    const size_t question = rest.find('?');
    std::string path(rest.substr(0, question));
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty())
        path = "/";
    url.Path = RemoveDotSegments(NormaliseComponent(path));
    if (question != std::string_view::npos) {
        url.HasQuery = true;
        url.Query = NormaliseComponent(rest.substr(question + 1));
    }
    return url;
}

std::optional<Url> ResolveUrl(const Url& base, std::string_view reference) {
    const std::string ref = CleanReference(reference);
    const std::string scheme = ReferenceScheme(ref);
    if (!scheme.empty()) {
        if (scheme != "http" && scheme != "https")
            return std::nullopt;
        const std::string_view rest = std::string_view(ref).substr(scheme.size() + 1);
        if ((!rest.empty() && IsSlash(rest.front())) || scheme != base.Scheme)
            return ParseUrl(ref);
        // "http:page.html" on an http page is a relative reference
        return ResolveUrl(base, rest);
    }
    const std::string origin = base.Scheme + "://" + base.Authority();
    if (ref.empty() || ref.front() == '#') {
        Url same = base;
        return same;
    }
    if (ref.size() >= 2 && IsSlash(ref[0]) && IsSlash(ref[1]))
        return ParseUrl(base.Scheme + ":" + ref);
    if (IsSlash(ref.front()))
        return ParseUrl(origin + ref);
    if (ref.front() == '?')
        return ParseUrl(origin + base.Path + ref);
    const size_t slash = base.Path.rfind('/');
    return ParseUrl(origin + base.Path.substr(0, slash + 1) + ref);
}

} // namespace vantora
