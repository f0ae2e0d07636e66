#include "PageText.h"

#include "FunctionWordData.h"

#include <libstemmer.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_set>

namespace vantora {

// Length of the valid UTF-8 sequence at text[i], or 0 when it is invalid.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void AppendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

// Windows-1252 code points for bytes 0x80..0x9F (0 = unassigned).
constexpr std::array<std::uint16_t, 32> Cp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Reads the code point at text[i]; invalid bytes read as U+FFFD, one byte each.
std::size_t DecodeAt(std::string_view text, std::size_t i, std::uint32_t& cp) {
    const std::size_t len = Utf8SequenceLength(text, i);
    if (len == 0) {
        cp = 0xFFFD;
        return 1;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    if (len == 1) {
        cp = c;
        return 1;
    }
    cp = c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return len;
}

enum class CharClass {
    Word,      // letters, digits, combining marks
    Single,    // ideographs and kana: a word each
    Joiner,    // apostrophes and hyphens: inside a word only between word characters
    Ignored,   // soft hyphen, zero-width joiners, byte order mark
    Separator, // spaces, punctuation, symbols, controls
};

struct Range {
    std::uint32_t First, Last;
};

// Punctuation, spaces and symbols outside ASCII, sorted. Code points not
// listed here (nor below) are read as letters, which is right for the
// letters, digits and marks of every script.
constexpr Range SeparatorRanges[] = {
    {0x0080, 0x00A9}, {0x00AB, 0x00AC}, {0x00AE, 0x00B1}, {0x00B4, 0x00B4},   {0x00B6, 0x00B8},
    {0x00BB, 0x00BB}, {0x00BF, 0x00BF}, {0x00D7, 0x00D7}, {0x00F7, 0x00F7},   {0x02C2, 0x02C5},
    {0x02D2, 0x02DF}, {0x037E, 0x037E}, {0x0387, 0x0387}, {0x055A, 0x055F},   {0x0589, 0x058A},
    {0x05BE, 0x05BE}, {0x05C0, 0x05C0}, {0x05C3, 0x05C3}, {0x05C6, 0x05C6},   {0x05F3, 0x05F4},
    {0x0600, 0x060F}, {0x061B, 0x061F}, {0x066A, 0x066D}, {0x06D4, 0x06D4},   {0x0700, 0x070D},
    {0x0964, 0x0965}, {0x0970, 0x0970}, {0x0E3F, 0x0E3F}, {0x0E4F, 0x0E4F},   {0x0E5A, 0x0E5B},
    {0x0F04, 0x0F12}, {0x0F3A, 0x0F3D}, {0x104A, 0x104F}, {0x10FB, 0x10FB},   {0x1360, 0x1368},
    {0x166D, 0x166E}, {0x1680, 0x1680}, {0x169B, 0x169C}, {0x16EB, 0x16ED},   {0x17D4, 0x17DA},
    {0x1800, 0x180A}, {0x180E, 0x180E}, {0x2000, 0x200B}, {0x2010, 0x2027},   {0x2028, 0x205F},
    {0x207A, 0x207E}, {0x208A, 0x208E}, {0x20A0, 0x20CF}, {0x2100, 0x2101},   {0x2103, 0x2106},
    {0x2108, 0x2109}, {0x2114, 0x2114}, {0x2116, 0x2118}, {0x211E, 0x2123},   {0x2125, 0x2125},
    {0x2127, 0x2127}, {0x2129, 0x2129}, {0x212E, 0x212E}, {0x213A, 0x213B},   {0x2140, 0x2144},
    {0x214A, 0x214D}, {0x214F, 0x214F}, {0x2190, 0x245F}, {0x2500, 0x2775},   {0x2794, 0x2BFF},
    {0x2E00, 0x2E7F}, {0x2FF0, 0x3004}, {0x3008, 0x3020}, {0x3030, 0x3030},   {0x303D, 0x303F},
    {0x309B, 0x309C}, {0x30A0, 0x30A0}, {0x30FB, 0x30FB}, {0xA4FE, 0xA4FF},   {0xA60D, 0xA60F},
    {0xA673, 0xA673}, {0xA67E, 0xA67E}, {0xA6F2, 0xA6F7}, {0xA874, 0xA877},   {0xA8CE, 0xA8CF},
    {0xA92E, 0xA92F}, {0xA95F, 0xA95F}, {0xAA5C, 0xAA5F}, {0xABEB, 0xABEB},   {0xD800, 0xF8FF},
    {0xFD3E, 0xFD3F}, {0xFE10, 0xFE1F}, {0xFE30, 0xFE6F}, {0xFF01, 0xFF0F},   {0xFF1A, 0xFF20},
    {0xFF3B, 0xFF40}, {0xFF5B, 0xFF65}, {0xFFE0, 0xFFFF}, {0x1F000, 0x1FAFF}, {0xE0000, 0x10FFFF},
};

// Scripts written without spaces between words.
constexpr Range SingleRanges[] = {
    {0x3005, 0x3007}, {0x3021, 0x3029}, {0x3031, 0x3035}, {0x3038, 0x303C},   {0x3040, 0x309A},
    {0x309D, 0x309F}, {0x30A1, 0x30FA}, {0x30FC, 0x30FF}, {0x31F0, 0x31FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF}, {0xF900, 0xFAFF}, {0xFF66, 0xFF9F}, {0x20000, 0x3FFFF},
};

template <std::size_t N> bool InRanges(const Range (&ranges)[N], std::uint32_t cp) {
    const Range* end = ranges + N;
    const Range* it = std::upper_bound(ranges, end, cp,
                                       [](std::uint32_t v, const Range& r) { return v < r.First; });
    return it != ranges && cp <= (it - 1)->Last;
}

CharClass ClassOf(std::uint32_t cp) {
    if (cp < 0x80) {
        if ((cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9'))
            return CharClass::Word;
        return cp == '\'' || cp == '-' ? CharClass::Joiner : CharClass::Separator;
    }
    if (cp == 0x2019 || cp == 0x2011)
        return CharClass::Joiner;
    if (cp == 0x00AD || cp == 0x200C || cp == 0x200D || cp == 0x2060 || cp == 0xFEFF)
        return CharClass::Ignored;
    if (InRanges(SingleRanges, cp))
        return CharClass::Single;
    if (InRanges(SeparatorRanges, cp))
        return CharClass::Separator;
    return CharClass::Word;
}

// Lower case for the scripts whose words the analyses compare most:
// ASCII, Latin-1, Latin Extended-A and Additional, Greek, Cyrillic.
// Fullwidth ASCII letters and digits become ASCII.
std::uint32_t FoldCase(std::uint32_t cp) {
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)
        return cp + 32;
    if (cp >= 0x100 && cp <= 0x17F) {
        if (cp == 0x130)
            return 'i';
        if (cp == 0x178)
            return 0xFF;
        const bool evenUpper = (cp <= 0x137) || (cp >= 0x14A && cp <= 0x177);
        const bool oddUpper = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
        if ((evenUpper && cp % 2 == 0) || (oddUpper && cp % 2 == 1))
            return cp + 1;
        return cp;
    }
    if (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2)
        return cp + 32;
    if (cp >= 0x400 && cp <= 0x40F)
        return cp + 80;
    if (cp >= 0x410 && cp <= 0x42F)
        return cp + 32;
    if (cp >= 0x1E00 && cp <= 0x1EFF && cp % 2 == 0 && !(cp >= 0x1E96 && cp <= 0x1E9F))
        return cp + 1;
    if (cp >= 0xFF21 && cp <= 0xFF3A)
        return cp - 0xFF21 + 'a';
    if ((cp >= 0xFF41 && cp <= 0xFF5A) || (cp >= 0xFF10 && cp <= 0xFF19))
        return cp - 0xFEE0;
    return cp;
}

bool IsSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    std::uint32_t cp = 0;
    i += DecodeAt(text, i, cp);
    return cp;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        // plain ASCII is passed over eight bytes at a time
        if (std::uint64_t word; i + 8 <= text.size()) {
            std::memcpy(&word, text.data() + i, 8);
            if (!(word & 0x8080808080808080ull)) {
                i += 8;
                continue;
            }
        }
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = Utf8SequenceLength(text, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::string ToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c < 0xA0)
            AppendCodePoint(out, Cp1252High[c - 0x80] ? Cp1252High[c - 0x80] : 0xFFFD);
        else
            AppendCodePoint(out, c);
    }
    return out;
}

std::string RepairUtf8(std::string_view text) {
    if (IsValidUtf8(text)) // the usual case, checked eight bytes at a time
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = Utf8SequenceLength(text, i);
        if (len == 0) {
            out += '?';
            ++i;
        } else {
            out.append(text.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::size_t CodePointCount(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = Utf8SequenceLength(text, i);
        i += len ? len : 1;
        ++n;
    }
    return n;
}

std::string CutCodePoints(std::string_view text, std::size_t maxPoints) {
    std::size_t i = 0;
    for (std::size_t n = 0; i < text.size() && n < maxPoints; ++n) {
        const std::size_t len = Utf8SequenceLength(text, i);
        i += len ? len : 1;
    }
    return std::string(text.substr(0, i));
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Trim(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsSpace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && IsSpace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return std::string(text.substr(b, e - b));
}

std::string CollapseSpace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSpace(static_cast<unsigned char>(text[i])))
            ++i;
        std::size_t end = i;
        while (end < text.size() && !IsSpace(static_cast<unsigned char>(text[end])))
            ++end;
        if (end > i) {
            if (!out.empty())
                out += ' ';
            out.append(text.substr(i, end - i));
        }
        i = end;
    }
    return out;
}

std::vector<std::string> SplitWords(std::string_view text) {
    std::vector<std::string> words;
    std::string current;
    auto flush = [&] {
        if (!current.empty())
            words.push_back(std::move(current));
        current.clear();
    };
    std::size_t i = 0;
    std::uint32_t cp = 0;
    while (i < text.size()) {
        // ASCII letters and digits, the bulk of most pages, take the short way.
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            current += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z') {
            current += static_cast<char>(c + 32);
            ++i;
            continue;
        }
        if (c == ' ' || c == '\n') {
            flush();
            ++i;
            continue;
        }
        i += DecodeAt(text, i, cp);
        switch (ClassOf(cp)) {
        case CharClass::Word:
            AppendCodePoint(current, FoldCase(cp));
            break;
        case CharClass::Ignored:
            break;
        case CharClass::Single:
            flush();
            AppendCodePoint(current, cp);
            flush();
            break;
        case CharClass::Joiner: {
            // Kept only between two word characters: "don't", "e-mail".
            std::uint32_t next = 0;
            if (!current.empty() && i < text.size()) {
                DecodeAt(text, i, next);
                if (ClassOf(next) == CharClass::Word) {
                    current += cp == '-' ? '-' : '\'';
                    break;
                }
            }
            flush();
            break;
        }
        case CharClass::Separator:
            flush();
            break;
        }
    }
    flush();
    return words;
}

std::vector<std::string> SplitSentences(std::string_view text) {
    std::vector<std::string> sentences;
    std::size_t start = 0;
    auto flush = [&](std::size_t end) {
        std::string s = Trim(text.substr(start, end - start));
        if (!s.empty())
            sentences.push_back(std::move(s));
        start = end;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            flush(i);
            start = i + 1;
        } else if ((c == '.' || c == '!' || c == '?') &&
                   (i + 1 == text.size() || IsSpace(static_cast<unsigned char>(text[i + 1])))) {
            flush(i + 1);
        } else if (c == '\xE3' && text.compare(i, 3, "\xE3\x80\x82") == 0) {
            // The ideographic full stop ends a sentence without a space.
            flush(i + 3);
            i += 2;
        }
    }
    flush(text.size());
    return sentences;
}

namespace {

// Reads one list: a word a line, lower-cased; "#" starts a comment.
FunctionWordSet ReadFunctionWords(std::string_view text) {
    FunctionWordSet words;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (const auto hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        std::string word = AsciiLower(Trim(line));
        if (!word.empty())
            words.insert(std::move(word));
    }
    return words;
}

} // namespace

const FunctionWordSet* FunctionWordsOf(std::string_view algorithm) {
    static const auto lists = [] {
        std::unordered_map<std::string_view, FunctionWordSet> all;
        for (const FunctionWordFile& file : FunctionWordFiles())
            all.emplace(file.Name, ReadFunctionWords(file.Text));
        return all;
    }();
    const auto it = lists.find(algorithm);
    return it == lists.end() ? nullptr : &it->second;
}

bool IsFunctionWord(std::string_view w) {
    static const FunctionWordSet* const english = FunctionWordsOf("english");
    return english && english->count(w) > 0;
}

std::string Stem(std::string_view w) {
    std::string s(w);
    if (s.size() > 4 && s.ends_with("ies"))
        return s.substr(0, s.size() - 3) + "y";
    if (s.size() > 3 && s.back() == 's' && !s.ends_with("ss") && !s.ends_with("us") &&
        !s.ends_with("is"))
        s.pop_back();
    return s;
}

std::vector<std::string> ContentWords(std::string_view text) {
    std::vector<std::string> out;
    for (auto& w : SplitWords(text))
        if (!IsFunctionWord(w))
            out.push_back(Stem(w));
    return out;
}

namespace {

struct Language {
    std::string_view Code; // ISO 639-1
    const char* Algorithm; // Snowball name
};

constexpr Language Languages[] = {
    {"en", "english"}, {"de", "german"},    {"fr", "french"},     {"es", "spanish"},
    {"it", "italian"}, {"nl", "dutch"},     {"pt", "portuguese"}, {"sv", "swedish"},
    {"da", "danish"},  {"no", "norwegian"}, {"nb", "norwegian"},  {"nn", "norwegian"},
    {"fi", "finnish"}, {"ru", "russian"},   {"hu", "hungarian"},  {"ro", "romanian"},
    {"tr", "turkish"},
};

// Elided articles and pronouns that French and Italian write onto the next
// word: "l'analyse" is the word "analyse".
std::string_view CutElision(std::string_view word, std::string_view code) {
    if (code != "fr" && code != "it")
        return word;
    const auto apostrophe = word.find('\'');
    if (apostrophe == std::string_view::npos || apostrophe == 0 || apostrophe > 7 ||
        apostrophe + 1 >= word.size())
        return word;
    const std::string_view head = word.substr(0, apostrophe + 1);
    static constexpr std::string_view Elisions[] = {
        "l'",    "d'",    "j'",     "m'",      "n'",      "s'",      "t'",
        "c'",    "qu'",   "jusqu'", "lorsqu'", "puisqu'", "quoiqu'", "un'",
        "dell'", "nell'", "all'",   "dall'",   "sull'",   "quest'",  "quell'"};
    for (const auto e : Elisions)
        if (head == e)
            return word.substr(apostrophe + 1);
    return word;
}

} // namespace

WordForms::WordForms(std::string_view lang, bool stem) : Code("en") {
    std::string code = AsciiLower(Trim(lang)).substr(0, 2);
    const char* algorithm = "english";
    for (const auto& l : Languages)
        if (l.Code == code) {
            Code = std::string(l.Code);
            algorithm = l.Algorithm;
        }
    if (stem)
        Stemmer = sb_stemmer_new(algorithm, "UTF_8");
    Words = FunctionWordsOf(algorithm);
}

WordForms::~WordForms() {
    if (Stemmer)
        sb_stemmer_delete(Stemmer);
}

bool WordForms::HasFunctionWords() const {
    return Words && !Words->empty();
}

bool WordForms::IsFunctionWord(std::string_view word) const {
    if (!Words)
        return false;
    if (Words->count(word))
        return true;
    const std::string_view bare = CutElision(word, Code);
    return bare != word && Words->count(bare) > 0;
}

std::string WordForms::Form(std::string_view word) {
    if (const auto it = Memo.find(word); it != Memo.end())
        return it->second;
    const std::string_view bare = CutElision(word, Code);
    std::string form(bare);
    // Snowball reads words of letters; numbers and very long tokens stay as they are.
    if (Stemmer && !bare.empty() && bare.size() < 64 && !(bare[0] >= '0' && bare[0] <= '9')) {
        const sb_symbol* stem =
            sb_stemmer_stem(Stemmer, reinterpret_cast<const sb_symbol*>(bare.data()),
                            static_cast<int>(bare.size()));
        if (stem)
            form.assign(reinterpret_cast<const char*>(stem),
                        static_cast<std::size_t>(sb_stemmer_length(Stemmer)));
    }
    if (Memo.size() < 50000)
        Memo.emplace(std::string(word), form);
    return form;
}

std::vector<std::string> WordForms::Forms(std::string_view text) {
    std::vector<std::string> out = SplitWords(text);
    for (auto& w : out)
        w = Form(w);
    return out;
}

} // namespace vantora
