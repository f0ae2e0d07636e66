#pragma once
// Building answers in the client's plain-text format: a marker, then items
// each followed by "<br>". Items are cleaned so that nothing taken from a page
// or a request can split an item, pose as another marker, or make the client
// mistake the answer for a web page.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

// Every control character and every line break Unicode defines (CR, LF, VT,
// FF, NEL, U+2028, U+2029) becomes a blank, so that a line of a record or
// log file stays one line; invalid UTF-8 becomes '?'.
std::string BlankLineBreaks(std::string_view text);

// Control characters and line breaks become blanks, '<' and '>' become '[' and ']', invalid
// UTF-8 becomes '?', runs of blanks shrink to one, and the result is cut to
// maxPoints code points ("..." marks a cut).
std::string CleanItem(std::string_view text, std::size_t maxPoints = 300);

// Rewrites the words the client searches the whole answer for, so that
// echoed or quoted text cannot trigger them: "PERCENTAGE", "PROBLEM",
// "ERROR", "NO-SPAM" and the Rankscout not-opened phrase become mixed case
// ("Percentage" ...). DefuseWords does the same for the words given only.
std::string DefuseMarkers(std::string_view text);
std::string DefuseWords(std::string_view text, std::initializer_list<std::string_view> words);

// The noun for a count in advice texts: "time" for 1, else "times" (or
// plural when the noun does not take a plain "s").
std::string Noun(std::size_t count, std::string_view singular, std::string_view plural = {});

// Marker + separator + items, each item followed by "<br>".
std::string JoinAnswer(std::string_view marker, std::string_view separator,
                       const std::vector<std::string>& items);

} // namespace vantora
