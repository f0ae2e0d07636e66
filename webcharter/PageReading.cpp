#include "PageReading.h"

#include "BodyCheck.h"
#include "Charset.h"
#include "FastLinks.h"

#include <algorithm>
#include <cctype>

namespace vantora::webcharter {

std::string MailAddress(std::string_view rest) {
    rest = rest.substr(0, rest.find('#'));
    const size_t question = rest.find('?');
    std::string_view address = rest.substr(0, question);
    if (address.empty() && question != std::string_view::npos) {
        // "mailto:?to=a@b.example&subject=..."
        std::string_view query = rest.substr(question + 1);
        while (!query.empty()) {
            const std::string_view field = query.substr(0, query.find('&'));
            if (field.size() > 3 && (field[0] == 't' || field[0] == 'T') &&
                (field[1] == 'o' || field[1] == 'O') && field[2] == '=') {
                address = field.substr(3);
                break;
            }
            query.remove_prefix(std::min(query.size(), field.size() + 1));
        }
    }
    address = address.substr(0, address.find(',')); // the first of several
    std::string text(address);
    // The domain is written in lower case, so one address is listed once.
    const size_t at = text.rfind('@');
    if (at != std::string::npos)
        for (size_t i = at + 1; i < text.size(); ++i)
            text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    return text;
}

ParsedPage ParsePage(const std::string& rawBody, const std::string& pageUrl, size_t maxUrlLength,
                     bool verify, const std::string& contentType, bool facts, size_t maxLinks,
                     const std::vector<std::string>& headerLinks) {
    ParsedPage parsed;
    parsed.BodySize = rawBody.size();
    parsed.BodyHash = std::hash<std::string_view>()(rawBody);
    // UTF-16 text (by its byte order mark or its declared charset) has zero
    // bytes: it is told from binary data once decoded.
    const std::string encoding = SniffHtmlEncoding(rawBody, contentType);
    const bool wide = encoding == "UTF-16LE" || encoding == "UTF-16BE";
    if (!wide && LooksBinary(rawBody)) {
        parsed.Binary = true;
        return parsed;
    }
    const std::optional<Url> page = ParseUrl(pageUrl);
    if (!page)
        return parsed;
    // Links are read from the text as a browser reads it: a page in another
    // encoding is decoded first, so that its non-ASCII links become UTF-8.
    const std::string decoded =
        encoding == "UTF-8" ? std::string() : DecodeToUtf8(rawBody, encoding);
    const std::string& body = encoding == "UTF-8" ? rawBody : decoded;
    if (wide && LooksBinary(body)) {
        parsed.Binary = true;
        return parsed;
    }
    DocumentLinks links;
    if (facts) {
        // one pass gives the facts and the links of an ordinary page
        if (std::optional<PageFacts> fast = ReadPageFactsFast(body, *page)) {
            links = std::move(fast->Links);
            parsed.Facts = std::make_shared<PageFacts>(std::move(*fast));
        } else {
            parsed.Facts = std::make_shared<PageFacts>(ReadPageFacts(body, pageUrl));
            links = ExtractLinksFast(body);
        }
        parsed.Facts->Links = {}; // the map takes its links from the extractor
    } else {
        links = ExtractLinksFast(body);
    }
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
    const size_t fromDocument = links.Links.size();
    for (const std::string& reference : headerLinks)
        links.Links.push_back({LinkKind::Link, reference});
    if (links.Links.size() > maxLinks) {
        parsed.LinksCut = links.Links.size() - maxLinks;
        links.Links.resize(maxLinks);
    }
    parsed.Links.reserve(links.Links.size());
    for (size_t i = 0; i < links.Links.size(); ++i) {
        const FoundLink& link = links.Links[i];
        const bool fromHeader = i >= fromDocument;
        const std::string reference = CleanReference(link.Reference);
        const std::string scheme = ReferenceScheme(reference);
        ResolvedLink resolved;
        resolved.Kind = link.Kind;
        if (scheme == "mailto" && link.Kind == LinkKind::Link) {
            const std::string address = MailAddress(reference.substr(7));
            if (address.empty())
                continue;
            resolved.Mail = "mailto:" + EscapeUrlText(address);
        } else if (scheme.empty() || scheme == "http" || scheme == "https") {
            if (reference.size() > maxUrlLength) {
                parsed.LongLinkCut = true;
                continue;
            }
            resolved.Address = ResolveUrl(fromHeader ? *page : base, reference);
            if (!resolved.Address)
                resolved.Invalid = EscapeUrlText(reference);
            // a header naming a page the document links already adds nothing
            if (fromHeader && resolved.Address &&
                std::any_of(parsed.Links.begin(), parsed.Links.end(),
                            [&](const ResolvedLink& known) {
                                return known.Kind == LinkKind::Link && known.Address &&
                                       known.Address->ToString() == resolved.Address->ToString();
                            }))
                continue;
        } else {
            continue; // javascript:, tel:, data:, ftp: and the like are not followed
        }
        parsed.Links.push_back(std::move(resolved));
    }
    return parsed;
}

} // namespace vantora::webcharter
