#include "Url.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include <idn2.h>

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
// writes the others in upper case, and escapes bytes that may not stand in a URL. A
// '%' that does not start an escape is kept as it stands, as a browser sends it. In
// a query the apostrophe is escaped too, as browsers do for http and https.
std::string NormaliseComponent(std::string_view text, bool query) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
            const auto v =
                static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            // A decoded hex digit after a kept '%' would make an escape that was not
            // there, so such an escape stays as it is.
            const size_t n = out.size();
            const bool afterStray =
                IsHex(static_cast<char>(v)) && ((n >= 1 && out[n - 1] == '%') ||
                                                (n >= 2 && out[n - 2] == '%' && IsHex(out[n - 1])));
            if (IsUnreserved(v) && !afterStray)
                out += static_cast<char>(v);
            else
                AppendEscaped(out, v);
            i += 2;
        } else if (c != '%' && (NeedsEscape(c) || (query && c == '\''))) {
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

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Code points that may never stand in a domain: controls, blanks and the delimiters
// of a URL.
bool ForbiddenInDomain(unsigned char c) {
    if (c <= 0x20 || c == 0x7F)
        return true;
    switch (c) {
    case '#':
    case '%':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '|':
        return true;
    default:
        return false;
    }
}

std::vector<std::string_view> SplitDots(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t dot = text.find('.', start);
        parts.push_back(
            text.substr(start, dot == std::string_view::npos ? text.npos : dot - start));
        if (dot == std::string_view::npos)
            return parts;
        start = dot + 1;
    }
}

bool HasAceLabel(std::string_view domain) {
    for (const std::string_view label : SplitDots(domain))
        if (label.size() >= 4 && AsciiLower(label.substr(0, 4)) == "xn--")
            return true;
    return false;
}

// One part of a numeric IPv4 host: decimal, octal after a leading 0, hex after 0x.
// Values past 2^32 saturate so that long digit runs cannot wrap.
std::optional<uint64_t> Ipv4Number(std::string_view part) {
    if (part.empty())
        return std::nullopt;
    int radix = 10;
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        radix = 16;
        part.remove_prefix(2);
    } else if (part.size() >= 2 && part[0] == '0') {
        radix = 8;
        part.remove_prefix(1);
    }
    uint64_t value = 0;
    for (const char c : part) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (radix == 16 && IsHex(c))
            digit = HexValue(c);
        if (digit < 0 || digit >= radix)
            return std::nullopt;
        value = std::min<uint64_t>(value * radix + digit, uint64_t(1) << 33);
    }
    return value;
}

// Whether the last label is a number, so that the host must be an IPv4 address.
bool EndsInNumber(std::string_view domain) {
    std::vector<std::string_view> parts = SplitDots(domain);
    if (parts.back().empty()) {
        if (parts.size() == 1)
            return false;
        parts.pop_back();
    }
    const std::string_view last = parts.back();
    if (!last.empty() &&
        std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return true;
    return Ipv4Number(last).has_value();
}

std::optional<std::string> ParseIpv4(std::string_view domain) {
    std::vector<std::string_view> parts = SplitDots(domain);
    if (parts.back().empty() && parts.size() > 1)
        parts.pop_back();
    if (parts.size() > 4)
        return std::nullopt;
    std::vector<uint64_t> numbers;
    for (const std::string_view part : parts) {
        const std::optional<uint64_t> n = Ipv4Number(part);
        if (!n)
            return std::nullopt;
        numbers.push_back(*n);
    }
    for (size_t i = 0; i + 1 < numbers.size(); ++i)
        if (numbers[i] > 255)
            return std::nullopt;
    const size_t fill = 5 - numbers.size(); // bytes the last number may take
    if (numbers.back() >= (uint64_t(1) << (8 * fill)))
        return std::nullopt;
    uint64_t address = numbers.back();
    for (size_t i = 0; i + 1 < numbers.size(); ++i)
        address += numbers[i] << (8 * (3 - i));
    return std::to_string((address >> 24) & 255) + "." + std::to_string((address >> 16) & 255) +
           "." + std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

// Parses the inside of [...] and writes it in its canonical form: lower-case hex
// without leading zeros, the longest run of two or more zero pieces as "::".
std::optional<std::string> ParseIpv6(std::string_view text) {
    uint16_t pieces[8] = {};
    size_t index = 0, i = 0;
    std::optional<size_t> compress;
    if (!text.empty() && text[0] == ':') {
        if (text.size() < 2 || text[1] != ':')
            return std::nullopt;
        i = 2;
        compress = ++index;
    }
    while (i < text.size()) {
        if (index == 8)
            return std::nullopt;
        if (text[i] == ':') {
            if (compress)
                return std::nullopt;
            ++i;
            compress = ++index;
            continue;
        }
        unsigned value = 0, length = 0;
        while (length < 4 && i < text.size() && IsHex(text[i])) {
            value = value * 16 + HexValue(text[i]);
            ++i;
            ++length;
        }
        if (i < text.size() && text[i] == '.') {
            // an IPv4 address in the last two pieces
            if (length == 0 || index > 6)
                return std::nullopt;
            i -= length;
            int seen = 0;
            while (i < text.size()) {
                std::optional<unsigned> part;
                if (seen > 0) {
                    if (text[i] != '.' || seen >= 4)
                        return std::nullopt;
                    ++i;
                }
                if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
                    return std::nullopt;
                while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
                    const unsigned digit = text[i] - '0';
                    if (!part)
                        part = digit;
                    else if (*part == 0)
                        return std::nullopt;
                    else
                        part = *part * 10 + digit;
                    if (*part > 255)
                        return std::nullopt;
                    ++i;
                }
                pieces[index] = static_cast<uint16_t>(pieces[index] * 256 + *part);
                ++seen;
                if (seen == 2 || seen == 4)
                    ++index;
            }
            if (seen != 4)
                return std::nullopt;
            break;
        }
        if (i < text.size() && text[i] == ':') {
            ++i;
            if (i == text.size())
                return std::nullopt;
        } else if (i < text.size()) {
            return std::nullopt;
        }
        pieces[index++] = static_cast<uint16_t>(value);
    }
    if (compress) {
        size_t swaps = index - *compress;
        index = 7;
        while (index != 0 && swaps > 0) {
            std::swap(pieces[index], pieces[*compress + swaps - 1]);
            --index;
            --swaps;
        }
    } else if (index != 8) {
        return std::nullopt;
    }
    // the first longest run of zero pieces (two or more) is written as "::"
    size_t bestStart = 8, bestLength = 1;
    for (size_t start = 0; start < 8;) {
        size_t end = start;
        while (end < 8 && pieces[end] == 0)
            ++end;
        if (end - start > bestLength) {
            bestStart = start;
            bestLength = end - start;
        }
        start = end == start ? start + 1 : end;
    }
    std::string out;
    static const char digits[] = "0123456789abcdef";
    for (size_t p = 0; p < 8; ++p) {
        if (p == bestStart) {
            out += p == 0 ? "::" : ":";
            p += bestLength - 1;
            continue;
        }
        char buffer[5];
        int n = 0;
        for (int shift = 12; shift >= 0; shift -= 4)
            if (const unsigned d = (pieces[p] >> shift) & 15; d || n || shift == 0)
                buffer[n++] = digits[d];
        out.append(buffer, n);
        if (p != 7)
            out += ':';
    }
    return out;
}

// The host of an http(s) URL as it is sent: percent-escapes decoded, international
// names mapped to their ASCII form (UTS 46, non-transitional, by libidn2), numeric
// IPv4 hosts written as four decimal numbers and IPv6 ones in canonical form. Names
// keep to letters, digits, '-', '_' and dots, the characters resolvers accept.
// Whether a host is written as ParseHost writes it, so that reading it changes
// nothing: a lower-case name of letters, digits, '-' and '_' whose last label is
// no number and none that starts "xn--", or four decimal numbers below 256. Links
// of a page almost always name its host, so this is the usual case.
bool IsCanonicalHost(std::string_view host) {
    if (host.empty() || host.size() > 253)
        return false;
    size_t labels = 0, numeric = 0;
    for (size_t start = 0; start <= host.size();) {
        size_t end = host.find('.', start);
        if (end == std::string_view::npos)
            end = host.size();
        const std::string_view label = host.substr(start, end - start);
        if (label.empty() || label.compare(0, 4, "xn--") == 0)
            return false;
        bool digits = true;
        for (const char c : label) {
            if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
                return false;
            digits = digits && c >= '0' && c <= '9';
        }
        ++labels;
        if (digits && label.size() <= 3 && (label.size() == 1 || label[0] != '0') &&
            (label.size() < 3 || label < "256"))
            ++numeric;
        if (end == host.size()) {
            // the last label decides whether the host is an IPv4 address
            const bool number = digits || label.compare(0, 2, "0x") == 0;
            return number ? labels == 4 && numeric == 4 : true;
        }
        start = end + 1;
    }
    return false;
}

std::optional<std::string> ParseHost(std::string_view raw) {
    if (raw.empty())
        return std::nullopt;
    if (IsCanonicalHost(raw))
        return std::string(raw);
    if (raw.front() == '[') {
        if (raw.size() < 3 || raw.back() != ']')
            return std::nullopt;
        const std::optional<std::string> address = ParseIpv6(raw.substr(1, raw.size() - 2));
        if (!address)
            return std::nullopt;
        return "[" + *address + "]";
    }
    const std::string decoded = PercentDecode(raw);
    const bool ascii = std::all_of(decoded.begin(), decoded.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string domain;
    if (ascii && !HasAceLabel(decoded)) {
        domain = AsciiLower(decoded);
    } else {
        if (decoded.size() > 1024 || std::any_of(decoded.begin(), decoded.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20;
            }))
            return std::nullopt;
        char* mapped = nullptr;
        const int rc = idn2_to_ascii_8z(decoded.c_str(), &mapped, IDN2_NONTRANSITIONAL);
        if (rc != IDN2_OK) {
            idn2_free(mapped);
            return std::nullopt;
        }
        domain = AsciiLower(mapped);
        idn2_free(mapped);
    }
    if (std::any_of(domain.begin(), domain.end(),
                    [](char c) { return ForbiddenInDomain(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    if (EndsInNumber(domain))
        return ParseIpv4(domain);
    while (!domain.empty() && domain.back() == '.')
        domain.pop_back();
    if (domain.empty() || domain.size() > 253)
        return std::nullopt;
    for (const char c : domain)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_'))
            return std::nullopt;
    if (domain.find("..") != std::string::npos || domain.front() == '.')
        return std::nullopt;
    return domain;
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

std::string NormaliseUrlText(std::string_view pathAndQuery) {
    const size_t question = pathAndQuery.find('?');
    if (question == std::string_view::npos)
        return NormaliseComponent(pathAndQuery, false);
    return NormaliseComponent(pathAndQuery.substr(0, question), false) + "?" +
           NormaliseComponent(pathAndQuery.substr(question + 1), true);
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

namespace {

// The path and query of a URL from what follows its authority (a fragment is
// dropped), normalised.
void SetPathAndQuery(Url& url, std::string_view rest) {
    rest = rest.substr(0, rest.find('#'));
    const size_t question = rest.find('?');
    std::string path(rest.substr(0, question));
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty())
        path = "/";
    url.Path = RemoveDotSegments(NormaliseComponent(path, false));
    if (question != std::string_view::npos) {
        url.HasQuery = true;
        url.Query = NormaliseComponent(rest.substr(question + 1), true);
    }
}

} // namespace

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
    std::optional<std::string> host = ParseHost(url.Host);
    if (!host)
        return std::nullopt;
    url.Host = std::move(*host);
    if (!portText.empty()) {
        if (!std::all_of(portText.begin(), portText.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        // leading zeros are allowed, as browsers allow them
        while (portText.size() > 1 && portText.front() == '0')
            portText.remove_prefix(1);
        if (portText.size() > 5)
            return std::nullopt;
        int port = 0;
        for (const char c : portText)
            port = port * 10 + (c - '0');
        if (port > 65535)
            return std::nullopt;
        if (!((scheme == "http" && port == 80) || (scheme == "https" && port == 443)))
            url.Port = portText; // digits without leading zeros: the number as written
    }
    SetPathAndQuery(url, std::string_view(text).substr(authorityEnd));
    return url;
}

namespace {

// A reference without a scheme, already cleaned, against the base. One that
// names no host keeps the base's scheme, host and port as they are (they were
// read when the base was): only its path and query are read.
std::optional<Url> ResolveRelative(const Url& base, std::string_view ref) {
    if (ref.empty() || ref.front() == '#')
        return base;
    if (ref.size() >= 2 && IsSlash(ref[0]) && IsSlash(ref[1]))
        return ParseUrl(base.Scheme + ":" + std::string(ref));
    Url url;
    url.Scheme = base.Scheme;
    url.Host = base.Host;
    url.Port = base.Port;
    if (IsSlash(ref.front())) {
        SetPathAndQuery(url, ref);
    } else {
        std::string rest =
            ref.front() == '?' ? base.Path : base.Path.substr(0, base.Path.rfind('/') + 1);
        rest += ref;
        SetPathAndQuery(url, rest);
    }
    return url;
}

} // namespace

std::optional<Url> ResolveUrl(const Url& base, std::string_view reference) {
    if (reference.size() > MaxReferenceBytes)
        return std::nullopt;
    const std::string ref = CleanReference(reference);
    const std::string scheme = ReferenceScheme(ref);
    if (scheme.empty())
        return ResolveRelative(base, ref);
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    const std::string_view rest = std::string_view(ref).substr(scheme.size() + 1);
    if (scheme != base.Scheme || (rest.size() >= 2 && IsSlash(rest[0]) && IsSlash(rest[1])))
        return ParseUrl(ref);
    // "http:page.html" and "http:/page.html" on an http page stay on the page's host.
    // The rest is read as a path whatever it holds, so "http:http:x" is the relative
    // path "http:x", as browsers read it; nothing here recurses.
    return ResolveRelative(base, rest);
}

std::string HostForDisplay(std::string_view host) {
    if (host.empty() || host.front() == '[' || !HasAceLabel(host) || host.size() > 1024)
        return std::string(host);
    const std::string text(host);
    char* unicode = nullptr;
    const int rc = idn2_to_unicode_8z8z(text.c_str(), &unicode, 0);
    std::string shown = rc == IDN2_OK && unicode ? std::string(unicode) : text;
    idn2_free(unicode);
    // The name is shown in Unicode only when it maps back to the same ASCII form, so
    // what the user reads names the host that is fetched.
    if (shown != text) {
        char* back = nullptr;
        const bool same = idn2_to_ascii_8z(shown.c_str(), &back, IDN2_NONTRANSITIONAL) == IDN2_OK &&
                          back && AsciiLower(back) == AsciiLower(text);
        idn2_free(back);
        if (!same)
            return text;
    }
    return shown;
}

std::string UrlForDisplay(std::string_view url) {
    const std::string scheme = ReferenceScheme(url);
    if ((scheme != "http" && scheme != "https") || url.substr(scheme.size(), 3) != "://")
        return std::string(url);
    const size_t begin = scheme.size() + 3;
    size_t end = begin;
    while (end < url.size() && url[end] != '/' && url[end] != '?' && url[end] != '#')
        ++end;
    std::string_view authority = url.substr(begin, end - begin);
    const size_t at = authority.rfind('@');
    const size_t hostBegin = at == std::string_view::npos ? 0 : at + 1;
    size_t hostEnd = authority.size();
    if (authority.substr(hostBegin).find('[') == std::string_view::npos)
        if (const size_t colon = authority.find(':', hostBegin); colon != std::string_view::npos)
            hostEnd = colon;
    std::string out(url.substr(0, begin + hostBegin));
    out += HostForDisplay(authority.substr(hostBegin, hostEnd - hostBegin));
    out += url.substr(begin + hostEnd);
    return out;
}

} // namespace vantora
