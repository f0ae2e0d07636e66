#pragma once
// Element kinds as the HTML5 parser library (gumbo) tells them apart, looked up
// from a lower-case tag name in a few byte operations, and sets of them, so that
// the readers that go without the library's tree builder name elements as it
// does: a name it does not know (dialog, search, any made-up one) is
// GUMBO_TAG_UNKNOWN, an ordinary element compared by its name.

#include <gumbo.h>

#include <bitset>
#include <initializer_list>
#include <string_view>

namespace vantora {

using Tag = int; // a GumboTag

Tag TagOf(std::string_view lowerName);

// A set of element kinds, built once from their names; an unknown name is in none.
class TagSet {
  public:
    TagSet(std::initializer_list<std::string_view> names) {
        for (const std::string_view name : names)
            if (const Tag tag = TagOf(name); tag != GUMBO_TAG_UNKNOWN)
                Bits[static_cast<std::size_t>(tag)] = true;
    }
    bool operator()(Tag tag) const { return Bits[static_cast<std::size_t>(tag)]; }

  private:
    std::bitset<GUMBO_TAG_LAST + 1> Bits;
};

// The tree builder's "special" elements (void ones aside), in HTML, svg and math:
// an end tag of another kind stops at them, and so does the adoption of a
// misnested formatting element.
inline const TagSet SpecialElements{
    "address",  "applet",   "article",  "aside",      "blockquote", "body",    "button",
    "caption",  "center",   "colgroup", "dd",         "details",    "dir",     "div",
    "dl",       "dt",       "fieldset", "figcaption", "figure",     "footer",  "form",
    "frameset", "h1",       "h2",       "h3",         "h4",         "h5",      "h6",
    "head",     "header",   "hgroup",   "html",       "iframe",     "isindex", "li",
    "listing",  "main",     "marquee",  "menu",       "nav",        "noembed", "noframes",
    "noscript", "object",   "ol",       "p",          "plaintext",  "pre",     "script",
    "section",  "select",   "style",    "summary",    "table",      "tbody",   "td",
    "template", "textarea", "tfoot",    "th",         "thead",      "title",   "tr",
    "ul",       "xmp"};
inline const TagSet ForeignSpecialElements{
    "mi", "mo", "mn", "ms", "mtext", "annotation-xml", "foreignobject", "desc"};
// The formatting elements (a, b, font, i...), which the tree builder opens again
// when others closed them.
inline const TagSet FormattingElements{"a",    "b", "big",   "code",   "em",     "font", "i",
                                       "nobr", "s", "small", "strike", "strong", "tt",   "u"};

inline bool IsSpecialElement(Tag tag) {
    return SpecialElements(tag) || ForeignSpecialElements(tag);
}
inline bool IsFormattingElement(Tag tag) {
    return FormattingElements(tag);
}

} // namespace vantora
