// libFuzzer target: the configuration reader on arbitrary text, and the rank,
// submission and link-back requests on arbitrary query strings (with a page
// fetcher that never touches the network and no outside services).
#include "ServerConfig.h"
#include "Service.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

vantora::FetchResult StubFetch(const std::string& url, const vantora::FetchOptions&) {
    vantora::FetchResult r;
    r.Status = vantora::FetchStatus::Ok;
    r.HttpCode = 200;
    r.FinalUrl = url;
    r.ContentType = "text/html";
    r.Body = "<html><head><title>T</title></head><body><a href=\"/x\">x</a></body></html>";
    return r;
}

bool EndsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    struct Route {
        const char* Path;
        std::string_view Marker;
    };
    static const Route routes[] = {
        {"/cgi-bin/zeph/text_output/rankscout-pt.cgi", "RANKSCOUT<br>"},
        {"/cgi-bin/zeph/text_output/submit-pt.cgi", "ENGINEPOST-v1.1<br>"},
        {"/cgi-bin/zeph/text_output/backwatch-pt.cgi", "BACKWATCH-v1.1<br>"},
    };
    const unsigned mode = data[0] % 4;
    if (mode == 3) {
        const vantora::ConfigLoad load = vantora::ParseServerConfig(input, "fuzz.toml");
        if (!load.Ok && load.Error.empty())
            __builtin_trap();
        return 0;
    }
    vantora::ServiceConfig config;
    const vantora::ServiceAnswer answer =
        vantora::HandleRequest(routes[mode].Path, input, config, StubFetch);
    if (answer.Body.rfind(routes[mode].Marker, 0) != 0 || !EndsWith(answer.Body, "<br>"))
        __builtin_trap();
    return 0;
}
