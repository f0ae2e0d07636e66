#include "PageText.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vantora {

namespace {

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
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 code points for bytes 0x80..0x9F (0 = unassigned).
constexpr std::array<std::uint16_t, 32> Cp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsWordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0x80;
}

bool IsSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
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
    bool pendingSpace = false;
    for (const char ch : text) {
        if (IsSpace(static_cast<unsigned char>(ch))) {
            pendingSpace = !out.empty();
        } else {
            if (pendingSpace)
                out += ' ';
            pendingSpace = false;
            out += ch;
        }
    }
    return out;
}

std::vector<std::string> SplitWords(std::string_view text) {
    std::vector<std::string> words;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (IsWordByte(c)) {
            current += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : text[i];
        } else if ((c == '\'' || c == '-') && !current.empty() && i + 1 < text.size() &&
                   IsWordByte(static_cast<unsigned char>(text[i + 1]))) {
            current += text[i];
        } else if (!current.empty()) {
            words.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty())
        words.push_back(std::move(current));
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
        }
    }
    flush(text.size());
    return sentences;
}

bool IsFunctionWord(std::string_view w) {
    static constexpr std::string_view List[] = {
        "a",      "about",  "above",   "after",    "again",   "against", "all",     "am",
        "an",     "and",    "any",     "are",      "as",      "at",      "be",      "because",
        "been",   "before", "being",   "below",    "between", "both",    "but",     "by",
        "can",    "could",  "did",     "do",       "does",    "doing",   "down",    "during",
        "each",   "few",    "for",     "from",     "further", "had",     "has",     "have",
        "having", "he",     "her",     "here",     "hers",    "herself", "him",     "himself",
        "his",    "how",    "i",       "if",       "in",      "into",    "is",      "it",
        "its",    "itself", "just",    "me",       "more",    "most",    "my",      "myself",
        "no",     "nor",    "not",     "now",      "of",      "off",     "on",      "once",
        "only",   "or",     "other",   "our",      "ours",    "out",     "over",    "own",
        "same",   "she",    "should",  "so",       "some",    "such",    "than",    "that",
        "the",    "their",  "theirs",  "them",     "then",    "there",   "these",   "they",
        "this",   "those",  "through", "to",       "too",     "under",   "until",   "up",
        "us",     "very",   "was",     "we",       "were",    "what",    "when",    "where",
        "which",  "while",  "who",     "whom",     "why",     "will",    "with",    "would",
        "you",    "your",   "yours",   "yourself", "also",    "may",     "might",   "must",
        "shall",  "via",    "per",     "upon",     "within",  "without", "onto",    "unto",
        "yet",    "ever",   "every",   "many",     "much",    "one",     "ones",    "let",
        "'s",     "it's",   "don't",   "i'm",      "you're",  "we're",   "they're", "isn't"};
    return std::find(std::begin(List), std::end(List), w) != std::end(List);
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

} // namespace vantora
