#pragma once
// Character encodings of web pages: the encoding found as a browser finds it (byte
// order mark, the Content-Type charset, a <meta> declaration in the first 1,024
// bytes), the labels browsers accept, and decoding to UTF-8 with ICU.

#include <string>
#include <string_view>

namespace vantora {

// The encoding a label names ("latin1" -> "windows-1252", " UTF8 " -> "UTF-8"), by
// the table browsers use; empty for a label they do not know.
std::string EncodingForLabel(std::string_view label);

// The charset parameter of a Content-Type value, as written; empty when none.
std::string CharsetParameter(std::string_view contentType);

// The encoding of an HTML document: a byte order mark, else a known charset in the
// Content-Type, else a <meta charset> or <meta http-equiv="Content-Type"> within the
// first 1,024 bytes, else UTF-8 when the bytes are valid UTF-8 and windows-1252 when
// they are not.
std::string SniffHtmlEncoding(std::string_view bytes, std::string_view contentType);

// The encoding of a plain text file (robots.txt and the like): a byte order mark,
// else a known Content-Type charset, else as SniffHtmlEncoding without the <meta>.
std::string SniffTextEncoding(std::string_view bytes, std::string_view contentType);

// Decodes bytes in an encoding named by EncodingForLabel to UTF-8; a byte order
// mark is dropped and bytes that do not decode become U+FFFD. An encoding the
// decoder lacks is read as windows-1252.
std::string DecodeToUtf8(std::string_view bytes, std::string_view encoding);

// SniffHtmlEncoding and DecodeToUtf8 in one: an HTML page as UTF-8 text.
std::string DecodeHtml(std::string_view bytes, std::string_view contentType = {});

} // namespace vantora
