#include "HtmlInput.h"

#include <cstdint>
#include <cstring>

namespace vantora {

namespace {

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string_view ForHtmlParser(std::string_view html, std::string& storage) {
    constexpr uint32_t Largest = 0x10FFFF;
    size_t copied = 0; // html[0, copied) is in storage when storage is in use
    bool mended = false;
    size_t pos = 0;
    while (true) {
        const void* found = std::memchr(html.data() + pos, '&', html.size() - pos);
        if (!found)
            break;
        const size_t amp = static_cast<const char*>(found) - html.data();
        pos = amp + 1;
        if (pos >= html.size() || html[pos] != '#')
            continue;
        size_t digits = pos + 1;
        const bool hex = digits < html.size() && (html[digits] == 'x' || html[digits] == 'X');
        if (hex)
            ++digits;
        uint64_t value = 0;
        size_t end = digits;
        for (int d; end < html.size() && (d = DigitValue(html[end], hex)) >= 0; ++end)
            value = value > Largest ? value : value * (hex ? 16 : 10) + d;
        pos = end;
        if (end == digits || value <= Largest)
            continue;
        if (!mended) {
            storage.clear();
            storage.reserve(html.size());
            mended = true;
        }
        storage.append(html.substr(copied, digits - copied));
        storage += hex ? "110000" : "1114112";
        copied = end;
    }
    if (!mended)
        return html;
    storage.append(html.substr(copied));
    return storage;
}

} // namespace vantora
