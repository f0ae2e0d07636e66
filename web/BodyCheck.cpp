#include "BodyCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantora {

bool LooksBinary(std::string_view body) {
    const std::string_view head = body.substr(0, 8192);
    std::size_t control = 0;
    const auto count = [&](unsigned char c) {
        if (c == 0)
            return false;
        control += c < 32 && c != '\t' && c != '\n' && c != '\r' && c != '\f';
        return true;
    };
    // eight bytes at a time: a word with no byte below 32 needs no look at its
    // bytes (the test is exact for whether there is one)
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    std::size_t i = 0;
    for (; i + 8 <= head.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, head.data() + i, 8);
        if ((word - 32 * ones) & ~word & highs)
            for (std::size_t k = i; k < i + 8; ++k)
                if (!count(static_cast<unsigned char>(head[k])))
                    return true;
    }
    for (; i < head.size(); ++i)
        if (!count(static_cast<unsigned char>(head[i])))
            return true;
    return control * 20 > head.size();
}

} // namespace vantora
