#include "Captions.h"

namespace vantora::webcharter {

namespace {

std::string Join(std::string_view base, std::string_view part) {
    std::string out(base);
    if (out.empty() || out.back() != '/')
        out += '/';
    out += part;
    return out;
}

} // namespace

std::string AncestorBase(std::string_view parentBase, std::string_view caption) {
    const size_t slash = caption.rfind('/');
    const std::string_view part =
        slash == std::string_view::npos ? caption : caption.substr(0, slash + 1);
    if (caption.find("http://") != std::string_view::npos || parentBase.empty())
        return std::string(part);
    return Join(parentBase, part);
}

std::string LeafUrl(std::string_view parentBase, std::string_view caption) {
    if (caption.find("http://") != std::string_view::npos || parentBase.empty())
        return std::string(caption);
    return Join(parentBase, caption);
}

std::string PageCaption(std::string_view parentBase, std::string_view url) {
    if (parentBase.empty())
        return std::string(url);
    std::string prefix(parentBase);
    if (prefix.back() != '/')
        prefix += '/';
    if (url.size() <= prefix.size() || url.substr(0, prefix.size()) != prefix)
        return std::string(url);
    const std::string_view rest = url.substr(prefix.size());
    if (rest.find("://") != std::string_view::npos ||
        rest.find("mailto:") != std::string_view::npos ||
        rest.find("http://") != std::string_view::npos)
        return std::string(url);
    std::string caption(rest);
    if (LeafUrl(parentBase, caption) != url)
        return std::string(url);
    return caption;
}

} // namespace vantora::webcharter
