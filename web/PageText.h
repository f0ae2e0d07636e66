#pragma once
// Text helpers shared by the page analyses: byte-level UTF-8 checks, a
// Windows-1252 fallback, word and sentence splitting by Unicode classes,
// word forms (Snowball stemmers) and function words per language.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct sb_stemmer;

namespace vantora {

// True when the bytes form valid UTF-8.
bool IsValidUtf8(std::string_view text);

// The length of the well-formed UTF-8 sequence at text[i] (1 for ASCII; no
// overlong forms, no surrogates, nothing above U+10FFFF), or 0 when there is
// none. i must be within text.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// Appends the code point in UTF-8.
void AppendCodePoint(std::string& out, std::uint32_t cp);

// Bytes that are not valid UTF-8 are read as Windows-1252 and re-encoded.
std::string ToUtf8(std::string_view bytes);

// Replaces every invalid UTF-8 sequence with '?', so output is always valid.
std::string RepairUtf8(std::string_view text);

// The code point at text[i], advancing i past it; an invalid byte reads as
// U+FFFD and is skipped alone.
char32_t NextCodePoint(std::string_view text, std::size_t& i);

// Number of code points (invalid bytes count one each).
std::size_t CodePointCount(std::string_view text);

// Cuts text to at most maxPoints code points on a code-point boundary.
std::string CutCodePoints(std::string_view text, std::size_t maxPoints);

std::string AsciiLower(std::string_view text);
std::string Trim(std::string_view text);
// Collapses runs of white space (ASCII) into single blanks and trims.
std::string CollapseSpace(std::string_view text);

// Words of a text: runs of letters, digits and combining marks of any
// script; every Unicode space, punctuation mark and symbol separates words.
// An apostrophe (' or U+2019, kept as ') or hyphen joining two word
// characters stays inside the word. Ideographs and kana, written without
// spaces, are one word each. Lower-cased (ASCII, Latin, Greek, Cyrillic);
// fullwidth ASCII is read as ASCII; soft hyphens and joiners are dropped.
std::vector<std::string> SplitWords(std::string_view text);

// Sentences: split at '.', '!' or '?' followed by white space, and at line
// feeds (the page model puts one between blocks).
std::vector<std::string> SplitSentences(std::string_view text);

// Common English function words ("the", "of", "to" ...).
bool IsFunctionWord(std::string_view lowerWord);

struct FunctionWordHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};
using FunctionWordSet = std::unordered_set<std::string, FunctionWordHash, std::equal_to<>>;
// The function words of a language by its Snowball algorithm name
// ("english", "romanian" ...), read once from the lists the program carries;
// null for a language without a list.
const FunctionWordSet* FunctionWordsOf(std::string_view algorithm);

// Light plural stemmer: "bikes" -> "bike", "cities" -> "city".
std::string Stem(std::string_view lowerWord);

// Content words of a text, stemmed, function words removed.
std::vector<std::string> ContentWords(std::string_view text);

// The word forms and function words of one language. The language comes
// from a page's lang attribute ("de", "fr-CA", "pt_BR"); unknown or empty
// means English. Word forms are Snowball stems, so "joins", "joined" and
// "joining" share one form. Not safe to share between threads.
class WordForms {
  public:
    // stem = false matches exact forms only (after lower-casing and cutting
    // elisions), as analysers without morphology do.
    explicit WordForms(std::string_view lang = {}, bool stem = true);
    ~WordForms();
    WordForms(const WordForms&) = delete;
    WordForms& operator=(const WordForms&) = delete;

    // The two-letter code of the language in use ("en", "de" ...).
    const std::string& Language() const { return Code; }
    // Whether the language has a function-word list.
    bool HasFunctionWords() const;
    // A lower-cased word (from SplitWords) as a function word of the language.
    bool IsFunctionWord(std::string_view word) const;
    // The word's form: its stem, with French and Italian elisions ("l'") cut.
    std::string Form(std::string_view word);
    // Forms of every word of a text.
    std::vector<std::string> Forms(std::string_view text);

  private:
    std::string Code;
    sb_stemmer* Stemmer = nullptr;
    const FunctionWordSet* Words = nullptr;
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept {
            return std::hash<std::string_view>{}(s);
        }
    };
    // word -> form
    std::unordered_map<std::string, std::string, Hash, std::equal_to<>> Memo;
};

} // namespace vantora
