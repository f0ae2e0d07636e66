// libFuzzer target: the link extractor and the URL resolver and normaliser on
// arbitrary documents. Checks that every resolved URL is stable under normalisation
// and holds no byte that may not stand in a site map line.

#include "Captions.h"
#include "Links.h"
#include "Url.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (2u << 20))
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto base = vantora::ParseUrl("http://h.example/d/e/page.html?q=1");
    const vantora::DocumentLinks links = vantora::ExtractLinks(text);
    for (const vantora::FoundLink& link : links.Links) {
        const auto url = vantora::ResolveUrl(*base, link.Reference);
        if (!url)
            continue;
        const std::string once = url->ToString();
        const auto again = vantora::ParseUrl(once);
        if (!again || again->ToString() != once)
            std::abort(); // normalising must be idempotent
        for (unsigned char c : once)
            if (c <= 0x20 || c >= 0x7F)
                std::abort();
        const std::string caption =
            vantora::webcharter::PageCaption("http://h.example/d/", url->ToHttpString());
        if (vantora::webcharter::LeafUrl("http://h.example/d/", caption) != url->ToHttpString())
            std::abort();
    }
    return 0;
}
