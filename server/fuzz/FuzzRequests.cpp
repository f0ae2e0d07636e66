// libFuzzer target: raw bytes as they arrive on a connection, through the
// request reader and, for a whole request, the service (its page fetch
// answered from the rest of the input). Every answer must be one well-formed
// HTTP answer whose body holds no CR or LF.
#include "HttpFront.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void CheckAnswer(const std::string& answer, bool headOnly) {
    const std::size_t headEnd = answer.find("\r\n\r\n");
    if (answer.rfind("HTTP/1.1 ", 0) != 0 || headEnd == std::string::npos)
        __builtin_trap();
    const std::string_view body = std::string_view(answer).substr(headEnd + 4);
    if (body.find('\r') != std::string_view::npos || body.find('\n') != std::string_view::npos)
        __builtin_trap();
    const std::string length = "\r\nContent-Length: ";
    const std::size_t at = answer.find(length);
    if (at == std::string::npos || at > headEnd)
        __builtin_trap();
    const std::size_t declared = std::stoul(answer.substr(at + length.size()));
    if ((headOnly ? 0 : declared) != body.size())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const vantora::HeadParse parsed = vantora::ParseRequestHead(input);
    if (parsed.Status == vantora::HeadStatus::Incomplete)
        return 0;
    if (parsed.Status == vantora::HeadStatus::Bad) {
        if (parsed.ErrorStatus < 400 || parsed.ErrorStatus > 499)
            __builtin_trap();
        CheckAnswer(vantora::FormatResponse(parsed.ErrorStatus, "x", false, false), false);
        return 0;
    }
    if (parsed.Consumed == 0 || parsed.Consumed > size || parsed.Head.Path.empty())
        __builtin_trap();
    const std::string page(input.substr(parsed.Consumed));
    vantora::ServiceConfig config;
    config.RecordFile.clear();
    const auto fetch = [&page](const std::string& url, const vantora::FetchOptions&) {
        vantora::FetchResult result;
        result.Status = vantora::FetchStatus::Ok;
        result.HttpCode = 200;
        result.FinalUrl = url;
        result.ContentType = "text/html";
        result.Body = page;
        return result;
    };
    CheckAnswer(vantora::AnswerRequest(parsed.Head, config, fetch), parsed.Head.Method == "HEAD");
    return 0;
}
