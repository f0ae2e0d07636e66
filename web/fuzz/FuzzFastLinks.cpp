// libFuzzer target: the fast link extractor against the HTML5 parser. On every
// document the fast extractor reads itself, both must give the same base and the
// same links (each at its first occurrence, in the same order). The same for the
// fast page facts reader against the one that walks the parser's tree.

#include "FastLinks.h"
#include "Links.h"
#include "PageFacts.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (2u << 20))
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto facts = vantora::ReadPageFactsFast(text, "https://f.test/a/b")) {
        vantora::PageFacts parsed = vantora::ReadPageFacts(text, "https://f.test/a/b");
        facts->Links = parsed.Links = {}; // compared below
        if (!(*facts == parsed)) {
            std::fprintf(stderr, "page facts differ: words %zu / %zu, ids %zu / %zu\n",
                         facts->MainWords, parsed.MainWords, facts->Ids.size(), parsed.Ids.size());
            std::abort();
        }
    }
    const auto fast = vantora::ScanLinksFast(text);
    if (!fast)
        return 0;
    const vantora::DocumentLinks parsed = vantora::UniqueLinks(vantora::ExtractLinks(text));
    bool same = fast->BaseHref == parsed.BaseHref && fast->Links.size() == parsed.Links.size();
    for (size_t i = 0; same && i < parsed.Links.size(); ++i)
        same = fast->Links[i].Kind == parsed.Links[i].Kind &&
               fast->Links[i].Reference == parsed.Links[i].Reference;
    if (!same) {
        std::fprintf(stderr, "base [%s] / [%s]\n", fast->BaseHref.c_str(), parsed.BaseHref.c_str());
        for (const auto& link : fast->Links)
            std::fprintf(stderr, "fast %d [%s]\n", static_cast<int>(link.Kind),
                         link.Reference.c_str());
        for (const auto& link : parsed.Links)
            std::fprintf(stderr, "html5 %d [%s]\n", static_cast<int>(link.Kind),
                         link.Reference.c_str());
        std::abort();
    }
    return 0;
}
