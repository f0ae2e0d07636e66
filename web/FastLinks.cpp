#include "FastLinks.h"

#include "HtmlInput.h"
#include "HtmlTags.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vantora {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAlnum(char c) {
    return IsAlpha(c) || (c >= '0' && c <= '9');
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int length;
        unsigned int code;
        if ((*p & 0xE0) == 0xC0) {
            length = 2;
            code = *p & 0x1F;
        } else if ((*p & 0xF0) == 0xE0) {
            length = 3;
            code = *p & 0x0F;
        } else if ((*p & 0xF8) == 0xF0) {
            length = 4;
            code = *p & 0x07;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        static const unsigned int smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        p += length;
    }
    return true;
}

void AppendUtf8(std::string& out, unsigned int code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Named character references that the HTML5 tokenizer also reads without their
// ";". A reference in a link that starts with one of these is left to the parser.
const char* const LegacyNames[] = {
    "AElig",  "AMP",    "Aacute", "Acirc",  "Agrave", "Aring",  "Atilde", "Auml",   "COPY",
    "Ccedil", "ETH",    "Eacute", "Ecirc",  "Egrave", "Euml",   "GT",     "Iacute", "Icirc",
    "Igrave", "Iuml",   "LT",     "Ntilde", "Oacute", "Ocirc",  "Ograve", "Oslash", "Otilde",
    "Ouml",   "QUOT",   "REG",    "THORN",  "Uacute", "Ucirc",  "Ugrave", "Uuml",   "Yacute",
    "aacute", "acirc",  "acute",  "aelig",  "agrave", "amp",    "aring",  "atilde", "auml",
    "brvbar", "ccedil", "cedil",  "cent",   "copy",   "curren", "deg",    "divide", "eacute",
    "ecirc",  "egrave", "eth",    "euml",   "frac12", "frac14", "frac34", "gt",     "iacute",
    "icirc",  "iexcl",  "igrave", "iquest", "iuml",   "laquo",  "lt",     "macr",   "micro",
    "middot", "nbsp",   "not",    "ntilde", "oacute", "ocirc",  "ograve", "ordf",   "ordm",
    "oslash", "otilde", "ouml",   "para",   "plusmn", "pound",  "quot",   "raquo",  "reg",
    "sect",   "shy",    "sup1",   "sup2",   "sup3",   "szlig",  "thorn",  "times",  "uacute",
    "ucirc",  "ugrave", "uml",    "uuml",   "yacute", "yen",    "yuml"};

// Decodes the character references of an attribute value as the tokenizer does, for
// the common forms (&amp; &lt; &gt; &quot; &apos;, decimal and hexadecimal references
// to ordinary characters, and "&" that starts no reference). False: a form left to
// the HTML5 parser.
bool DecodeAttribute(std::string_view raw, std::string& out) {
    // Control characters are replaced and line breaks normalised by the parser;
    // links with such bytes or with non-ASCII text are rare: they are left to it.
    for (const char c : raw)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    return DecodeCommonReferences(raw, out);
}

} // namespace

bool DecodeCommonReferences(std::string_view raw, std::string& out) {
    out.clear();
    size_t i = 0;
    while (i < raw.size()) {
        const size_t amp = raw.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(raw.substr(i));
            break;
        }
        out.append(raw.substr(i, amp - i));
        i = amp + 1;
        if (i < raw.size() && raw[i] == '#') {
            size_t k = i + 1;
            const bool hex = k < raw.size() && (raw[k] == 'x' || raw[k] == 'X');
            if (hex)
                ++k;
            const size_t digitsStart = k;
            unsigned long code = 0;
            while (k < raw.size() && k - digitsStart < 8 &&
                   (hex ? std::isxdigit(static_cast<unsigned char>(raw[k]))
                        : (raw[k] >= '0' && raw[k] <= '9'))) {
                const char c = Lower(raw[k]);
                code = code * (hex ? 16 : 10) + (c <= '9' ? c - '0' : c - 'a' + 10);
                ++k;
            }
            if (k == digitsStart || k >= raw.size() || raw[k] != ';')
                return false;
            const bool ordinary =
                (code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code < 0xD800) ||
                (code >= 0xE000 && code < 0xFDD0) || (code >= 0xFDF0 && code < 0xFFFE) ||
                (code >= 0x10000 && code <= 0x10FFFF && (code & 0xFFFE) != 0xFFFE);
            if (!ordinary)
                return false;
            AppendUtf8(out, static_cast<unsigned int>(code));
            i = k + 1;
            continue;
        }
        size_t k = i;
        while (k < raw.size() && IsAlnum(raw[k]))
            ++k;
        const std::string_view name = raw.substr(i, k - i);
        if (name.empty()) {
            out += '&';
            continue;
        }
        if (k < raw.size() && raw[k] == ';') {
            static const std::pair<const char*, const char*> common[] = {{"amp", "&"},
                                                                         {"lt", "<"},
                                                                         {"gt", ">"},
                                                                         {"quot", "\""},
                                                                         {"apos", "'"},
                                                                         {"nbsp", "\xC2\xA0"},
                                                                         {"copy", "\xC2\xA9"},
                                                                         {"reg", "\xC2\xAE"},
                                                                         {"hellip", "\xE2\x80\xA6"},
                                                                         {"mdash", "\xE2\x80\x94"},
                                                                         {"ndash", "\xE2\x80\x93"}};
            bool found = false;
            for (const auto& [entity, text] : common)
                if (name == entity) {
                    out += text;
                    found = true;
                }
            if (!found)
                return false; // one of two thousand names: the parser knows them
            i = k + 1;
            continue;
        }
        for (const char* legacy : LegacyNames)
            if (name.substr(0, std::strlen(legacy)) == legacy)
                return false;
        out += '&'; // "&page=2": no reference
    }
    return true;
}

namespace {

struct Attribute {
    std::string_view Name; // in lower case: in the document, or in Scanner::LoweredNames
    std::string_view Value;
    char Quote; // 0 when unquoted
};

// Tags whose handling depends on the tree builder's state: with any of them the
// document goes to the HTML5 parser.
const TagSet NeedsTreeBuilder{"select",   "svg",   "math",      "template", "frame",
                              "frameset", "image", "plaintext", "isindex"};
// Elements that may give links (MayHoldLinks).
const TagSet HoldsLinks{"a",      "area",  "frame", "iframe", "img",  "source",
                        "object", "embed", "video", "input",  "meta", "base"};
// Elements whose content is text up to their end tag.
const TagSet TextElement{"script",  "style",    "xmp",   "iframe",
                         "noembed", "noframes", "title", "textarea"};
// Where a table's rows end and a cell (or caption) begins.
const TagSet TableCell{"td", "th", "caption"};
const TagSet TableRows{"tr", "tbody", "thead", "tfoot", "colgroup", "col"};
const TagSet TableRowsEnd{"tr", "tbody", "thead", "tfoot"};

// Where the parser library's adoption of a misnested formatting element sets
// later content before earlier content: with four elements or more between the
// formatting element and the first special element inside it, a formatting
// element among the fourth and further of them (counted from the special one)
// is left open where it was, and what follows goes into it. The strict reader
// gives such documents up. Elements are followed as start tags open them and
// end tags close them (to the innermost of the kind), implied ends aside, which
// only keeps more open: at worst a document is given up that need not be. They
// are followed from a formatting element on, while any is open (elements
// around it do not count).
class MisnestWatch {
  public:
    bool Start(Tag tag) {
        if (Open.empty() && !IsFormattingElement(tag))
            return true;
        if (tag == GUMBO_TAG_A && Count[tag] > 0 && Tangled(tag))
            return false; // a link in a link closes the first as its end tag would
        if (!Keeps(tag))
            return true;
        Open.push_back(tag);
        ++Count[static_cast<size_t>(tag)];
        return true;
    }
    bool End(Tag tag) {
        if (Open.empty() || Count[static_cast<size_t>(tag)] == 0)
            return true;
        if (IsFormattingElement(tag) && Tangled(tag))
            return false;
        while (true) {
            const Tag open = Open.back();
            Open.pop_back();
            --Count[static_cast<size_t>(open)];
            if (open == tag)
                return true;
        }
    }

  private:
    static bool Keeps(Tag tag) { return !NoChildren(tag); }

    // Whether the innermost open element of the kind, adopted, hits the case.
    bool Tangled(Tag tag) const {
        size_t special = 0; // 1 + the position of the lowest special element above it
        for (size_t k = Open.size(), seen = 0; k > 0; --k, ++seen) {
            if (seen > 64)
                return true; // far down: left to the parser
            if (Open[k - 1] == tag) {
                for (size_t j = k; special && j + 5 <= special; ++j)
                    if (IsFormattingElement(Open[j]))
                        return true;
                return false;
            }
            if (IsSpecialElement(Open[k - 1]))
                special = k;
        }
        return false;
    }

    // Void elements, raw-text ones (their end tags follow at once) and those
    // below the body hold no elements here.
    static inline const TagSet NoChildren{
        "area",  "base",   "basefont", "bgsound", "br",     "col",     "embed",    "frame",
        "hr",    "image",  "img",      "input",   "keygen", "link",    "menuitem", "meta",
        "param", "source", "track",    "wbr",     "html",   "head",    "body",     "script",
        "style", "title",  "textarea", "xmp",     "iframe", "noembed", "noframes"};
    std::vector<Tag> Open;
    std::array<int, GUMBO_TAG_LAST + 1> Count{};
};

// Reads tags as the HTML5 tokenizer does. Strict: gives up (false) where the
// tree builder would decide differently. Lenient: never gives up and reads on
// as the tokenizer does, for documents the tree builder cannot take.
class Scanner {
  public:
    Scanner(std::string_view html, bool lenient, bool links = true)
        : Html(html), Lenient(lenient), Links(links) {}

    bool Run(DocumentLinks& result, TagListener* listener) {
        Listener = listener;
        size_t i = 0, text = 0; // text: where the character data not yet reported starts
        const size_t n = Html.size();
        const auto flush = [&](size_t upTo) {
            const bool fine =
                !Listener || upTo <= text || Listener->Text(Html.substr(text, upTo - text));
            text = upTo;
            return fine;
        };
        while (true) {
            const void* found = std::memchr(Html.data() + i, '<', n - i);
            if (!found)
                return flush(n);
            i = static_cast<const char*>(found) - Html.data();
            if (i + 1 >= n)
                return flush(n);
            const char next = Html[i + 1];
            const size_t at = i;
            if (next == '!') {
                i = SkipMarkup(i);
            } else if (next == '?') {
                i = SkipTo(i + 2, '>');
            } else if (next == '/') {
                if (i + 2 >= n)
                    return flush(n);
                if (IsAlpha(Html[i + 2])) {
                    std::string_view name;
                    size_t p = ReadName(i + 2, name);
                    if (!ReadAttributes(p, nullptr))
                        return flush(at); // the end of the document inside a tag
                    if (!flush(at))
                        return false;
                    const Tag tag = TagOf(name);
                    if (!EndTag(tag) && !Lenient)
                        return false;
                    if (!Lenient && !Misnested.End(tag))
                        return false;
                    if (Listener && !Listener->EndTag(name, tag))
                        return false;
                    i = p;
                } else if (Html[i + 2] == '>') {
                    i += 3;
                } else {
                    i = SkipTo(i + 2, '>');
                }
            } else if (IsAlpha(next)) {
                std::string_view name;
                size_t p = ReadName(i + 1, name);
                const size_t written = p;
                std::vector<Attribute>& attributes = Attributes; // reused from tag to tag
                attributes.clear();
                if (!LoweredNames.empty())
                    LoweredNames.clear();
                Repeated = false;
                if (!ReadAttributes(p, &attributes))
                    return flush(at);
                if (!flush(at))
                    return false;
                Written = Html.substr(written, p - 1 - written);
                const Tag tag = TagOf(name);
                if (!StartTag(name, tag, attributes, result) && !Lenient)
                    return false;
                if (!Lenient && !Misnested.Start(tag))
                    return false;
                if (Listener && !ReportStart(name, tag, attributes))
                    return false;
                if (Lenient && tag == GUMBO_TAG_PLAINTEXT)
                    return true; // the rest of the document is text
                i = p;
                if (!SkipText(name, tag, i) && !Lenient)
                    return false;
            } else {
                ++i;
                continue; // a "<" that starts no markup is text
            }
            if (at != text && !flush(at))
                return false;
            text = std::max(text, i);
            if (i >= n)
                return flush(n);
        }
    }

  private:
    size_t SkipTo(size_t from, char c) const {
        const size_t at = Html.find(c, from);
        return at == std::string_view::npos ? Html.size() : at + 1;
    }

    // "<!": a comment, a DOCTYPE or a bogus comment (CDATA outside foreign content).
    size_t SkipMarkup(size_t i) const {
        if (Html.compare(i, 4, "<!--") == 0) {
            size_t p = i + 4;
            if (p < Html.size() && Html[p] == '>')
                return p + 1;
            if (Html.compare(p, 2, "->") == 0)
                return p + 2;
            const size_t end = Html.find("-->", p);
            const size_t bang = Html.find("--!>", p);
            if (end == std::string_view::npos && bang == std::string_view::npos)
                return Html.size();
            if (bang < end)
                return bang + 4;
            return end + 3;
        }
        return SkipTo(i + 2, '>');
    }

    // The bytes from start to end in lower case: as written when they hold no
    // capital (names almost never do), else a lower-case copy in the given place.
    std::string_view LowerName(size_t start, size_t end, bool capitals, std::string& copy) const {
        const std::string_view written = Html.substr(start, end - start);
        if (!capitals)
            return written;
        copy.assign(written);
        for (char& c : copy)
            c = Lower(c);
        return copy;
    }

    static bool IsCapital(char c) { return c >= 'A' && c <= 'Z'; }

    size_t ReadName(size_t p, std::string_view& name) {
        const size_t start = p;
        bool capitals = false;
        while (p < Html.size() && !IsSpace(Html[p]) && Html[p] != '/' && Html[p] != '>')
            capitals |= IsCapital(Html[p++]);
        name = LowerName(start, p, capitals, LoweredTag);
        return p;
    }

    // From after the tag name to after its ">", as the tokenizer reads attributes.
    // False when the document ends first (the tag is then dropped).
    bool ReadAttributes(size_t& p, std::vector<Attribute>* attributes) {
        const size_t n = Html.size();
        SelfClosing = false;
        while (true) {
            while (p < n && IsSpace(Html[p]))
                ++p;
            if (p >= n)
                return false;
            if (Html[p] == '>') {
                ++p;
                return true;
            }
            if (Html[p] == '/') {
                SelfClosing = ++p < n && Html[p] == '>';
                continue;
            }
            const size_t nameStart = p; // may be "=": it then starts the name
            bool capitals = IsCapital(Html[p++]);
            while (p < n && !IsSpace(Html[p]) && Html[p] != '/' && Html[p] != '>' && Html[p] != '=')
                capitals |= IsCapital(Html[p++]);
            const size_t nameEnd = p;
            while (p < n && IsSpace(Html[p]))
                ++p;
            if (p >= n)
                return false;
            std::string_view value;
            char quote = 0;
            if (Html[p] == '=') {
                ++p;
                while (p < n && IsSpace(Html[p]))
                    ++p;
                if (p >= n)
                    return false;
                if (Html[p] == '"' || Html[p] == '\'') {
                    quote = Html[p];
                    const size_t close = Html.find(Html[p], p + 1);
                    if (close == std::string_view::npos)
                        return false;
                    value = Html.substr(p + 1, close - p - 1);
                    p = close + 1;
                } else if (Html[p] != '>') {
                    const size_t start = p;
                    while (p < n && !IsSpace(Html[p]) && Html[p] != '>')
                        ++p;
                    if (p >= n)
                        return false;
                    value = Html.substr(start, p - start);
                }
            }
            if (!attributes)
                continue;
            std::string lowered;
            const std::string_view name = LowerName(nameStart, nameEnd, capitals, lowered);
            if (std::any_of(attributes->begin(), attributes->end(),
                            [&](const Attribute& known) { return known.Name == name; })) {
                Repeated = true;
            } else if (name.data() == lowered.data()) {
                LoweredNames.push_back(std::move(lowered));
                attributes->push_back({LoweredNames.back(), value, quote});
            } else {
                attributes->push_back({name, value, quote});
            }
        }
    }

    bool StartTag(std::string_view name, Tag tag, const std::vector<Attribute>& attributes,
                  DocumentLinks& result) {
        if (tag == GUMBO_TAG_TEMPLATE)
            ++Templates;
        if ((Lenient && Templates > 0) || !Links)
            return true; // a template's content is inert: a browser fetches nothing there
        if (NeedsTreeBuilder(tag) && !Lenient)
            return false;
        if (!HoldsLinks(tag)) {
            if (tag == GUMBO_TAG_TABLE) {
                Tables.push_back(false);
            } else if (!Tables.empty()) {
                if (TableCell(tag))
                    Tables.back() = true;
                else if (TableRows(tag))
                    Tables.back() = false;
            }
            return true;
        }
        // A repeated attribute may cost the parser the attribute after it.
        if (Repeated && !Lenient)
            return false;
        // Outside a cell, a table's content is moved in front of the table.
        if (!Tables.empty() && !Tables.back() && !Lenient)
            return false;
        bool undecodable = false;
        const auto readValue = [&](const char* wanted) -> std::optional<std::string> {
            for (const Attribute& candidate : attributes) {
                if (candidate.Name != wanted)
                    continue;
                std::string value;
                if (DecodeAttribute(candidate.Value, value))
                    return value;
                if (Lenient)
                    return DecodeAttributeAsParser(candidate.Value, candidate.Quote);
                undecodable = true;
                return std::nullopt;
            }
            return std::nullopt;
        };
        const AttributeReader read(readValue);
        if (tag == GUMBO_TAG_BASE) {
            std::optional<std::string> href = read("href");
            if (href && !HaveBase) {
                HaveBase = true;
                result.BaseHref = std::move(*href);
            }
            return !undecodable;
        }
        std::vector<FoundLink> found;
        ElementLinks(name, read, found);
        if (undecodable)
            return false;
        for (FoundLink& link : found)
            if (Lenient || Seen.emplace(static_cast<int>(link.Kind), link.Reference).second)
                result.Links.push_back(std::move(link));
        return true;
    }

    bool EndTag(Tag tag) {
        if (tag == GUMBO_TAG_TEMPLATE && Templates > 0)
            --Templates;
        if (NeedsTreeBuilder(tag))
            return false;
        if (Tables.empty())
            return true;
        if (tag == GUMBO_TAG_TABLE)
            Tables.pop_back();
        else if (TableCell(tag) || TableRowsEnd(tag))
            Tables.back() = false;
        return true;
    }

    // After the start tag of an element whose content is text (script, style,
    // title...): i moves to the start of its end tag.
    bool SkipText(std::string_view name, Tag tag, size_t& i) {
        if (!TextElement(tag))
            return true;
        size_t k = i;
        while (true) {
            k = Html.find("</", k);
            if (k == std::string_view::npos) {
                k = Html.size();
                break;
            }
            const size_t after = k + 2 + name.size();
            if (after < Html.size() &&
                (IsSpace(Html[after]) || Html[after] == '/' || Html[after] == '>')) {
                bool same = true;
                for (size_t c = 0; c < name.size() && same; ++c)
                    same = Lower(Html[k + 2 + c]) == name[c];
                if (same)
                    break;
            }
            k += 2;
        }
        if (Listener && !Listener->RawText(name, tag, Html.substr(i, k - i)))
            return false;
        if (tag == GUMBO_TAG_SCRIPT) {
            // "<!--" in a script may hide a "</script>" behind a nested "<script"
            const std::string_view body = Html.substr(i, k - i);
            if (body.find("<!--") != std::string_view::npos) {
                for (size_t s = body.find('<'); s != std::string_view::npos;
                     s = body.find('<', s + 1)) {
                    if (body.size() - s >= 7) {
                        bool same = true;
                        for (size_t c = 0; c < 6 && same; ++c)
                            same = Lower(body[s + 1 + c]) == "script"[c];
                        if (same && !Lenient)
                            return false;
                    }
                }
            }
        }
        i = k;
        return true;
    }

    bool ReportStart(std::string_view name, Tag tag, const std::vector<Attribute>& attributes) {
        const auto readValue = [&](const char* wanted) -> std::optional<std::string> {
            for (const Attribute& candidate : attributes)
                if (candidate.Name == wanted) {
                    std::string value;
                    if (DecodeAttribute(candidate.Value, value))
                        return value;
                    return DecodeAttributeAsParser(candidate.Value, candidate.Quote);
                }
            return std::nullopt;
        };
        return Listener->StartTag(name, tag, AttributeReader(readValue),
                                  StartTagForm{Repeated, SelfClosing, Written});
    }

    std::string_view Html;
    const bool Lenient;
    const bool Links; // false: the tags are only told to the listener
    TagListener* Listener = nullptr;
    int Templates = 0;        // open template elements
    std::vector<bool> Tables; // per open table: whether a cell (or caption) is open
    bool HaveBase = false;
    bool Repeated = false;    // the tag just read names an attribute twice
    bool SelfClosing = false; // it ends in "/>"
    std::string_view Written; // its attributes as written
    std::vector<Attribute> Attributes;
    std::string LoweredTag;               // a tag name written with capitals, in lower case
    std::deque<std::string> LoweredNames; // such attribute names of the tag being read
    std::set<std::pair<int, std::string>> Seen;
    MisnestWatch Misnested; // strict reading only
};

} // namespace

std::optional<DocumentLinks> ScanLinksFast(std::string_view html, TagListener* listener) {
    // NUL and the other control characters (but tab, line feed, form feed
    // and carriage return) are parse errors the tree builder recovers from
    // in ways this scanner does not follow: such documents go to it.
    // Read in blocks without a branch per byte.
    // Read eight bytes at a time: a word with no byte below 0x20 needs no look at
    // its bytes (the test is exact for whether there is one).
    const auto* bytes = reinterpret_cast<const unsigned char*>(html.data());
    const auto allowed = [](unsigned char byte) {
        return byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\f' || byte == '\r';
    };
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    std::uint64_t high = 0;
    size_t i = 0;
    for (; i + 8 <= html.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        high |= word;
        if ((word - 0x20 * ones) & ~word & highs)
            for (size_t k = i; k < i + 8; ++k)
                if (!allowed(bytes[k]))
                    return std::nullopt;
    }
    for (; i < html.size(); ++i) {
        high |= bytes[i];
        if (!allowed(bytes[i]))
            return std::nullopt;
    }
    const bool ascii = (high & highs) == 0;
    if (!ascii && !ValidUtf8(html))
        return std::nullopt;
    DocumentLinks result;
    Scanner scanner(html, false);
    if (!scanner.Run(result, listener))
        return std::nullopt;
    return result;
}

DocumentLinks ScanLinksAsTokenizer(std::string_view html) {
    DocumentLinks result;
    Scanner(html, true).Run(result, nullptr);
    return result;
}

void ReadTagsAsTokenizer(std::string_view html, TagListener& listener) {
    DocumentLinks unused;
    Scanner(html, true, false).Run(unused, &listener);
}

DocumentLinks ExtractLinksFast(std::string_view html) {
    if (std::optional<DocumentLinks> links = ScanLinksFast(html))
        return std::move(*links);
    return UniqueLinks(ExtractLinks(html));
}

DocumentLinks UniqueLinks(DocumentLinks links) {
    std::set<std::pair<int, std::string>> seen;
    std::vector<FoundLink> unique;
    unique.reserve(links.Links.size());
    for (FoundLink& link : links.Links)
        if (seen.emplace(static_cast<int>(link.Kind), link.Reference).second)
            unique.push_back(std::move(link));
    links.Links = std::move(unique);
    return links;
}

} // namespace vantora
