// libFuzzer target: the page model and both analyses on arbitrary bytes.
// The first line of the input is used as the key words, the rest as the page.
#include "Service.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\n');
    const std::string_view keywords = cut == std::string_view::npos
                                          ? std::string_view()
                                          : input.substr(0, std::min<std::size_t>(cut, 600));
    const std::string_view html = cut == std::string_view::npos ? input : input.substr(cut + 1);
    const std::string w =
        vantora::WordweighAnswer("http://fuzz.example/page-words.html", keywords, html);
    const std::string s = vantora::StuffwatchAnswer("http://fuzz.example/page.html", html);
    if (w.rfind("WORDWEIGH-v1.1<br>", 0) != 0 || s.rfind("STUFFWATCH-v1.1 ", 0) != 0)
        __builtin_trap();
    // A finding may never say "ERROR": the client would read it as not opened.
    if (s.find("ERROR") != std::string::npos)
        __builtin_trap();
    return 0;
}
