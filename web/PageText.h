#pragma once
// Text helpers shared by the page analyses: byte-level UTF-8 checks, a
// Windows-1252 fallback, word and sentence splitting, and a light stemmer.
// Words are lower-cased for ASCII letters only; other bytes are kept as they
// are so that non-English words still count as words.

#include <string>
#include <string_view>
#include <vector>

namespace vantora {

// True when the bytes form valid UTF-8.
bool IsValidUtf8(std::string_view text);

// Bytes that are not valid UTF-8 are read as Windows-1252 and re-encoded.
std::string ToUtf8(std::string_view bytes);

// Replaces every invalid UTF-8 sequence with '?', so output is always valid.
std::string RepairUtf8(std::string_view text);

// Number of code points (invalid bytes count one each).
std::size_t CodePointCount(std::string_view text);

// Cuts text to at most maxPoints code points on a code-point boundary.
std::string CutCodePoints(std::string_view text, std::size_t maxPoints);

std::string AsciiLower(std::string_view text);
std::string Trim(std::string_view text);
// Collapses runs of white space (ASCII) into single blanks and trims.
std::string CollapseSpace(std::string_view text);

// Words of a text: runs of ASCII letters, digits and bytes >= 0x80, with an
// apostrophe or hyphen kept when it joins two word characters. Lower-cased.
std::vector<std::string> SplitWords(std::string_view text);

// Sentences: split at '.', '!' or '?' followed by white space, and at line
// feeds (the page model puts one between blocks).
std::vector<std::string> SplitSentences(std::string_view text);

// Common English function words ("the", "of", "to" ...).
bool IsFunctionWord(std::string_view lowerWord);

// Light plural stemmer: "bikes" -> "bike", "cities" -> "city".
std::string Stem(std::string_view lowerWord);

// Content words of a text, stemmed, function words removed.
std::vector<std::string> ContentWords(std::string_view text);

} // namespace vantora
