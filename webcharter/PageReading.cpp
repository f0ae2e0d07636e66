#include "PageReading.h"

#include "BodyCheck.h"
#include "FastLinks.h"

namespace vantora::webcharter {

ParsedPage ParsePage(const std::string& body, const std::string& pageUrl, size_t maxUrlLength,
                     bool verify) {
    ParsedPage parsed;
    parsed.BodySize = body.size();
    parsed.BodyHash = std::hash<std::string_view>()(body);
    if (LooksBinary(body)) {
        parsed.Binary = true;
        return parsed;
    }
    const std::optional<Url> page = ParseUrl(pageUrl);
    if (!page)
        return parsed;
    DocumentLinks links = ExtractLinksFast(body);
    if (verify) {
        // the HTML5 parser's links, each first occurrence, must be the same
        const DocumentLinks html5 = UniqueLinks(ExtractLinks(body));
        bool same = html5.BaseHref == links.BaseHref && html5.Links.size() == links.Links.size();
        for (size_t i = 0; same && i < html5.Links.size(); ++i)
            same = html5.Links[i].Kind == links.Links[i].Kind &&
                   html5.Links[i].Reference == links.Links[i].Reference;
        parsed.ExtractorsDisagree = !same;
    }
    Url base = *page;
    if (!links.BaseHref.empty())
        if (std::optional<Url> resolved = ResolveUrl(*page, links.BaseHref))
            base = std::move(*resolved);
    parsed.Links.reserve(links.Links.size());
    for (FoundLink& link : links.Links) {
        const std::string reference = CleanReference(link.Reference);
        const std::string scheme = ReferenceScheme(reference);
        ResolvedLink resolved;
        resolved.Kind = link.Kind;
        if (scheme == "mailto" && link.Kind == LinkKind::Link) {
            std::string address = reference.substr(7);
            address = address.substr(0, address.find('?'));
            if (address.empty())
                continue;
            resolved.Mail = "mailto:" + EscapeUrlText(address);
        } else if (scheme.empty() || scheme == "http" || scheme == "https") {
            if (reference.size() > maxUrlLength) {
                parsed.LongLinkCut = true;
                continue;
            }
            resolved.Address = ResolveUrl(base, reference);
            if (!resolved.Address)
                resolved.Invalid = EscapeUrlText(reference);
        } else {
            continue; // javascript:, tel:, data:, ftp: and the like are not followed
        }
        parsed.Links.push_back(std::move(resolved));
    }
    return parsed;
}

} // namespace vantora::webcharter
