#pragma once
// Link extraction from HTML documents with the gumbo HTML5 parser.

#include <string>
#include <string_view>
#include <vector>

namespace vantora {

enum class LinkKind { Link, Image };

struct FoundLink {
    LinkKind Kind = LinkKind::Link;
    std::string Reference; // the attribute value as written in the document
};

struct DocumentLinks {
    std::string BaseHref;         // href of the first <base> that has one, else empty
    std::vector<FoundLink> Links; // in document order
};

// Documents nested deeper than this are read by a plain tag scanner instead of the
// HTML5 tree builder, whose time grows with the square of the depth.
inline constexpr size_t MaxTreeDepth = 1500;

// The deepest nesting the document could reach, counted over start and end tags
// (elements that hold no children do not count). The HTML5 tree builder takes
// time quadratic in nesting depth, so deeper documents than MaxTreeDepth are read
// by a plain tag scanner instead.
size_t EstimatedDepth(std::string_view html);

// Links from a, area, frame and iframe (href, or src for the frames) and images from
// img src. Never throws on bad input: any byte sequence is parsed as HTML5 would.
DocumentLinks ExtractLinks(std::string_view html);

} // namespace vantora
