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

} // namespace vantora
