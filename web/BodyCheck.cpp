#include "BodyCheck.h"

#include <cstddef>

namespace vantora {

bool LooksBinary(std::string_view body) {
    const std::string_view head = body.substr(0, 8192);
    std::size_t control = 0;
    for (const char ch : head) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0)
            return true;
        if (c < 32 && c != '\t' && c != '\n' && c != '\r' && c != '\f')
            ++control;
    }
    return control * 20 > head.size();
}

} // namespace vantora
