#pragma once
// Link extraction from HTML documents with the gumbo HTML5 parser.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

enum class LinkKind { Link, Image };

struct FoundLink {
    LinkKind Kind = LinkKind::Link;
    std::string Reference; // the attribute value as written in the document
    bool operator==(const FoundLink&) const = default;
};

struct DocumentLinks {
    std::string BaseHref;         // href of the first <base> that has one, else empty
    std::vector<FoundLink> Links; // in document order
    bool operator==(const DocumentLinks&) const = default;
};

// Documents nested deeper than this are read by a plain tag scanner instead of the
// HTML5 tree builder, whose time grows with the square of the depth.
inline constexpr size_t MaxTreeDepth = 1500;

// The deepest nesting the document could reach, counted over start and end tags
// (elements that hold no children do not count). The HTML5 tree builder takes
// time quadratic in nesting depth, so deeper documents than MaxTreeDepth are read
// by a plain tag scanner instead.
size_t EstimatedDepth(std::string_view html);

// Links from a, area, frame and iframe (href, or src for the frames) and from the
// URL of a <meta http-equiv="refresh">; images, and other files a browser fetches
// with the page, from img src and srcset, source srcset, object data, embed src,
// video src and poster and <input type=image> src. Nothing inside a <template> (a
// browser fetches nothing there). Never throws on bad input: any byte sequence is
// parsed as HTML5 would.
DocumentLinks ExtractLinks(std::string_view html);

// The links one element gives, in the order listed above, from its lower-case tag
// name and its attributes' decoded values (nothing for an attribute it lacks).
// Shared by both extractors so that they read the same attributes.
using AttributeReader = std::function<std::optional<std::string>(const char* name)>;
void ElementLinks(std::string_view tag, const AttributeReader& attribute,
                  std::vector<FoundLink>& out);

// Whether an element of this tag name may give links (ElementLinks).
bool MayHoldLinks(std::string_view tag);

// The image URLs of a srcset attribute, in order, as a browser splits candidates.
std::vector<std::string> SrcsetUrls(std::string_view srcset);

// The URL in the content of a <meta http-equiv="refresh">, or empty when there is
// none (a refresh of the page itself), read as a browser does.
std::string RefreshUrl(std::string_view content);

} // namespace vantora
