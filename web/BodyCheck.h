#pragma once
// Whether a document served as a web page is really text: the crawler and the
// analysis server take the same decision, so a URL the map lists as a page is one
// the server will analyse.

#include <string_view>

namespace vantora {

// True when the first 8 KiB hold a NUL byte, or more than one byte in twenty is a
// control character other than tab, line feed, form feed and carriage return.
bool LooksBinary(std::string_view body);

} // namespace vantora
