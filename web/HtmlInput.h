#pragma once
// Text as it is handed to the HTML5 parser library (gumbo). The library adds up the
// digits of a numeric character reference in 32 bits, so a reference past U+10FFFF
// can wrap to another character or swallow the rest of its tag, where the HTML
// standard reads every such reference as U+FFFD. Such references are rewritten to
// one the library reads right; all other text is left as it is.

#include <string>
#include <string_view>

namespace vantora {

// html itself, or storage filled with the mended text and returned.
std::string_view ForHtmlParser(std::string_view html, std::string& storage);

// An attribute value as written between its quotes (quote 0: unquoted), decoded
// as the HTML5 parser decodes it (character references, NUL, line breaks). Values
// without "&", NUL or CR are returned as they are.
std::string DecodeAttributeAsParser(std::string_view raw, char quote);

// Character data as written (between tags, or the content of a <title> or
// <textarea>: element names which), decoded as the HTML5 parser decodes text.
std::string DecodeTextAsParser(std::string_view raw, std::string_view element = "title");

} // namespace vantora
