#pragma once
// Link extraction from HTML documents with the gumbo HTML5 parser.

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
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

// The deepest the tree builder's stack of open elements (below the body) or its
// list of active formatting elements could grow on the document, followed over
// the tags as the tokenizer reads them (void elements do not count); stops
// counting past MaxTreeDepth. The HTML5 tree builder takes time quadratic in
// either, so documents deeper than MaxTreeDepth are read by a plain tag scanner
// instead.
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
// The reader refers to the callable it is made from (a named one: a temporary is
// refused), without copying it or allocating, as it is made for every tag.
class AttributeReader {
  public:
    template <typename Callable,
              typename = std::enable_if_t<!std::is_same_v<Callable, AttributeReader>>>
    AttributeReader(const Callable& callable)
        : Target(&callable), Call([](const void* target, const char* name) {
              return (*static_cast<const Callable*>(target))(name);
          }) {}
    template <typename Callable> AttributeReader(const Callable&&) = delete;
    std::optional<std::string> operator()(const char* name) const { return Call(Target, name); }

  private:
    const void* Target;
    std::optional<std::string> (*Call)(const void*, const char*);
};
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
