#include "HtmlTags.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantora {

namespace {

// The names of the kinds, and a table of them by a hash of the name (open
// addressing).
class TagTable {
  public:
    TagTable() {
        Slots.fill(-1);
        for (int tag = 0; tag < GUMBO_TAG_LAST; ++tag)
            Add(gumbo_normalized_tagname(static_cast<GumboTag>(tag)), tag);
    }
    Tag Find(std::string_view name) const {
        for (std::size_t slot = Hash(name);; slot = (slot + 1) & Mask) {
            const int tag = Slots[slot];
            if (tag < 0)
                return GUMBO_TAG_UNKNOWN;
            if (Names[static_cast<std::size_t>(tag)] == name)
                return tag;
        }
    }

  private:
    static constexpr std::size_t Mask = 511;
    static std::size_t Hash(std::string_view name) {
        std::uint32_t hash = 2166136261u;
        for (const char c : name)
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        return hash & Mask;
    }
    void Add(std::string_view name, Tag tag) {
        Names[static_cast<std::size_t>(tag)] = name;
        std::size_t slot = Hash(name);
        while (Slots[slot] >= 0)
            slot = (slot + 1) & Mask;
        Slots[slot] = tag;
    }
    std::array<int, Mask + 1> Slots{};
    std::array<std::string_view, GUMBO_TAG_LAST> Names{};
};

} // namespace

Tag TagOf(std::string_view lowerName) {
    static const TagTable table;
    return table.Find(lowerName);
}

} // namespace vantora
