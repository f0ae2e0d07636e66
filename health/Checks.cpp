#include "Checks.h"

#include "PageText.h"
#include "Url.h"
#include "Wordweigh.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>
#include <unordered_set>

namespace vantora::health {

namespace {

using Detail = std::optional<std::string>;

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Hops(const Site& site, const Chain& chain) {
    std::string text;
    for (const std::size_t hop : chain.Hops) {
        if (!text.empty())
            text += " -> ";
        text += site.Urls()[hop].Url;
    }
    if (chain.Loop) {
        const UrlFacts& last = site.Urls()[chain.Hops.back()];
        text += " -> " + NormalUrl(last.Location());
    } else if (chain.Outside) {
        text += " -> ";
        text += site.Urls()[chain.Hops.back()].Location();
    }
    return Excerpt(text, 400);
}

std::string FirstTitle(const UrlFacts& url) {
    return url.Titles.empty() ? std::string() : Collapsed(url.Titles.front());
}

bool IsHttpUrl(const std::string& url) {
    return ParseUrl(url).has_value();
}

// The canonicals of a page that name something else than the page itself.
std::vector<std::string> Elsewhere(const Site& site, std::size_t url) {
    if (site.SelfCanonical(url))
        return {};
    const std::string self = NormalUrl(site.Urls()[url].Url);
    std::vector<std::string> others;
    for (std::string& canonical : site.CanonicalsOf(url))
        if (canonical != self)
            others.push_back(std::move(canonical));
    return others;
}

// Why a URL is not a fit canonical target, or nothing when it is (or cannot be told).
Detail CanonicalFault(const Site& site, const std::string& canonical) {
    if (!IsHttpUrl(canonical))
        return Excerpt(canonical) + " is not an http or https URL";
    const std::optional<std::size_t> at = site.Find(canonical);
    if (!at)
        return std::nullopt; // not fetched: nothing is known of it
    const UrlFacts& target = site.Urls()[*at];
    if (target.Status >= 300 && target.Status < 400)
        return canonical + " redirects to " + Excerpt(target.Location());
    if (target.Status != 200)
        return canonical + (target.Status ? " answers " + std::to_string(target.Status)
                                          : std::string(" gives no answer"));
    if (site.NoIndex(*at))
        return canonical + " is noindex";
    return std::nullopt;
}

std::string DecodePercent(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit((unsigned char)text[i + 1]) &&
            std::isxdigit((unsigned char)text[i + 2])) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool Reached(const Site& site, std::size_t url) {
    return !site.ReachedFrom(url).empty() || site.IsRoot(url);
}

std::string ReachedDetail(const Site& site, std::size_t url) {
    const std::string_view from = site.ReachedFrom(url);
    return from.empty() ? std::string("the root URL") : std::string(from);
}

// ---- the rules ----

Detail Status4xx(const Site& site, std::size_t url, double) {
    const int status = site.Urls()[url].Status;
    if (status >= 400 && status < 500 && Reached(site, url))
        return ReachedDetail(site, url);
    return std::nullopt;
}

Detail Status5xx(const Site& site, std::size_t url, double) {
    const int status = site.Urls()[url].Status;
    if ((status == 0 || (status >= 500 && status < 600)) && Reached(site, url))
        return ReachedDetail(site, url);
    return std::nullopt;
}

Detail RedirectChain(const Site& site, std::size_t url, double threshold) {
    const Chain& chain = site.ChainFrom(url);
    if (!site.Linked(url) || chain.Loop || chain.Redirects() < threshold || chain.Redirects() == 0)
        return std::nullopt;
    return Hops(site, chain);
}

Detail RedirectLoop(const Site& site, std::size_t url, double) {
    const Chain& chain = site.ChainFrom(url);
    if (!site.Linked(url) || !chain.Loop)
        return std::nullopt;
    return Hops(site, chain);
}

Detail RedirectInternal(const Site& site, std::size_t url, double) {
    const UrlFacts& facts = site.Urls()[url];
    if (site.LinkedFrom(url).empty() || facts.Status < 300 || facts.Status >= 400 ||
        facts.Location().empty())
        return std::nullopt;
    return Excerpt(facts.Location(), 300);
}

Detail TitleMissing(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url) || !FirstTitle(site.Urls()[url]).empty())
        return std::nullopt;
    return std::string(site.Urls()[url].Titles.empty() ? "no title" : "empty title");
}

Detail TitleDuplicate(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    std::string other = site.SameTitle(url);
    if (other.empty())
        return std::nullopt;
    return other;
}

Detail TitleTooLong(const Site& site, std::size_t url, double threshold) {
    if (!site.IsPage(url))
        return std::nullopt;
    const double px = TitleWidthPx(FirstTitle(site.Urls()[url]));
    if (px <= threshold)
        return std::nullopt;
    return std::to_string(static_cast<long>(px + 0.5)) + " px";
}

Detail TitleMultiple(const Site& site, std::size_t url, double) {
    const std::size_t titles = site.Urls()[url].Titles.size();
    if (!site.IsPage(url) || titles < 2)
        return std::nullopt;
    return Count(titles, "title", "titles");
}

Detail DescriptionMissing(const Site& site, std::size_t url, double) {
    const UrlFacts& facts = site.Urls()[url];
    if (!site.IsPage(url) || !Collapsed(facts.Description).empty())
        return std::nullopt;
    return std::string(facts.HasDescription ? "empty description" : "no description");
}

Detail DescriptionDuplicate(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    std::string other = site.SameDescription(url);
    if (other.empty())
        return std::nullopt;
    return other;
}

Detail DescriptionTooLong(const Site& site, std::size_t url, double threshold) {
    const std::size_t chars = site.Urls()[url].DescriptionChars;
    if (!site.IsPage(url) || chars <= threshold)
        return std::nullopt;
    return Count(chars, "character", "characters");
}

Detail H1Missing(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url) || site.Urls()[url].H1WithText > 0)
        return std::nullopt;
    return std::string(site.Urls()[url].H1Count ? "only empty <h1>" : "no <h1>");
}

Detail H1Multiple(const Site& site, std::size_t url, double) {
    const std::size_t count = site.Urls()[url].H1Count;
    if (!site.IsPage(url) || count < 2)
        return std::nullopt;
    return Count(count, "<h1>", "<h1>");
}

Detail NoIndex(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url) || !site.NoIndex(url))
        return std::nullopt;
    const UrlFacts& facts = site.Urls()[url];
    return Excerpt(!facts.RobotsHeader().empty()
                       ? "X-Robots-Tag: " + std::string(facts.RobotsHeader())
                       : "robots: " + std::string(facts.RobotsMeta()));
}

Detail CanonicalElsewhere(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    const std::vector<std::string> others = Elsewhere(site, url);
    if (others.empty())
        return std::nullopt;
    return Excerpt(others.front(), 300);
}

Detail CanonicalBroken(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    for (const std::string& canonical : Elsewhere(site, url))
        if (Detail fault = CanonicalFault(site, canonical))
            return Excerpt(*fault, 300);
    return std::nullopt;
}

Detail CanonicalMultiple(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    const std::vector<std::string> all = site.CanonicalsOf(url);
    if (all.size() < 2)
        return std::nullopt;
    return Excerpt(all[0] + " / " + all[1], 300);
}

Detail HreflangNoReturn(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    const UrlFacts& facts = site.Urls()[url];
    const std::string self = NormalUrl(facts.Url);
    std::string first;
    std::size_t missing = 0;
    std::unordered_set<std::string> asked;
    for (const auto& [lang, href] : facts.Alternates()) {
        const std::string alternate = NormalUrl(href);
        if (alternate == self || !asked.insert(alternate).second)
            continue;
        const std::optional<std::size_t> at = site.Find(alternate);
        if (!at)
            continue; // not fetched: whether it names this page back is not known
        const UrlFacts& other = site.Urls()[*at];
        const bool back =
            other.Html && other.Status == 200 &&
            std::any_of(other.Alternates().begin(), other.Alternates().end(),
                        [&](const auto& pair) { return NormalUrl(pair.second) == self; });
        if (!back && missing++ == 0)
            first = alternate;
    }
    if (!missing)
        return std::nullopt;
    return Excerpt(first, 300) +
           (missing > 1 ? " and " + std::to_string(missing - 1) + " more" : std::string());
}

Detail HreflangInvalid(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    for (const auto& [lang, href] : site.Urls()[url].Alternates())
        if (!ValidHreflang(lang))
            return "\"" + Excerpt(lang, 40) + "\"";
    return std::nullopt;
}

Detail ContentDuplicate(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    std::string other = site.SameContent(url);
    if (other.empty())
        return std::nullopt;
    return other;
}

Detail ContentThin(const Site& site, std::size_t url, double threshold) {
    const std::size_t words = site.Urls()[url].Words;
    if (!site.IsPage(url) || words >= threshold)
        return std::nullopt;
    return Count(words, "word", "words");
}

Detail ResponseSlow(const Site& site, std::size_t url, double threshold) {
    const long ms = site.Urls()[url].FirstByteMs;
    if (!site.IsPage(url) || ms <= threshold)
        return std::nullopt;
    return std::to_string(ms) + " ms";
}

Detail PageHeavy(const Site& site, std::size_t url, double threshold) {
    const long long bytes = site.Urls()[url].Bytes;
    if (!site.IsPage(url) || bytes <= threshold)
        return std::nullopt;
    return std::to_string(bytes) + " bytes";
}

Detail ImageAltMissing(const Site& site, std::size_t url, double) {
    const std::size_t count = site.Urls()[url].ImagesWithoutAlt;
    if (!site.IsPage(url) || count == 0)
        return std::nullopt;
    return Count(count, "image", "images");
}

Detail MixedContent(const Site& site, std::size_t url, double) {
    const UrlFacts& facts = site.Urls()[url];
    if (!site.IsPage(url) || facts.InsecureCount == 0 || facts.Url.compare(0, 8, "https://") != 0)
        return std::nullopt;
    const std::string first =
        facts.Insecure().empty() ? std::string() : std::string(facts.Insecure().front());
    return Excerpt(first, 300) + (facts.InsecureCount > 1
                                      ? " and " + std::to_string(facts.InsecureCount - 1) + " more"
                                      : std::string());
}

Detail DepthDeep(const Site& site, std::size_t url, double threshold) {
    const int depth = site.Urls()[url].Depth;
    if (!site.IsPage(url) || depth <= threshold)
        return std::nullopt;
    return Count(static_cast<std::size_t>(depth), "click", "clicks");
}

Detail SitemapOrphan(const Site& site, std::size_t url, double) {
    if (!site.Listed(url) || site.Linked(url))
        return std::nullopt;
    return std::string("no crawled page links to it");
}

Detail SitemapMissing(const Site& site, std::size_t url, double) {
    if (!site.HasSitemap() || !site.IsPage(url) || !site.Indexable(url) || site.Listed(url))
        return std::nullopt;
    return std::string("not in the XML sitemap");
}

Detail SitemapNonIndexable(const Site& site, std::size_t url, double) {
    if (!site.Listed(url) || site.Indexable(url))
        return std::nullopt;
    const UrlFacts& facts = site.Urls()[url];
    if (facts.Status >= 300 && facts.Status < 400)
        return "redirects to " + Excerpt(facts.Location(), 300);
    if (facts.Status != 200)
        return facts.Status ? "answers " + std::to_string(facts.Status) : "no answer";
    if (!facts.Html)
        return "not an HTML page";
    if (site.NoIndex(url))
        return std::string("noindex");
    const std::vector<std::string> others = Elsewhere(site, url);
    return "canonical " + Excerpt(others.empty() ? std::string() : others.front(), 300);
}

Detail StructuredDataInvalid(const Site& site, std::size_t url, double) {
    const UrlFacts& facts = site.Urls()[url];
    if (!site.IsPage(url) || facts.JsonLdInvalid == 0)
        return std::nullopt;
    return std::to_string(facts.JsonLdInvalid) + " of " + Count(facts.JsonLd, "block", "blocks");
}

Detail FragmentMissing(const Site& site, std::size_t url, double) {
    if (!site.IsPage(url))
        return std::nullopt;
    const UrlFacts& facts = site.Urls()[url];
    std::string first;
    std::size_t missing = 0;
    for (const auto& [target, fragment] : facts.Fragments()) {
        const std::optional<std::size_t> at = site.Find(target);
        if (!at)
            continue;
        const UrlFacts& page = site.Urls()[*at];
        if (!page.Html || page.Status != 200 || page.TooDeep)
            continue;
        const std::string name = DecodePercent(fragment);
        if (std::find(page.Ids.begin(), page.Ids.end(), name) != page.Ids.end() ||
            std::find(page.Ids.begin(), page.Ids.end(), fragment) != page.Ids.end())
            continue;
        if (missing++ == 0)
            first = std::string(target) + "#" + std::string(fragment);
    }
    if (!missing)
        return std::nullopt;
    return Excerpt(first, 300) +
           (missing > 1 ? " and " + std::to_string(missing - 1) + " more" : std::string());
}

// What a script changed, as "served" -> "rendered" (a missing value shows as none).
std::string Changed(const std::string& served, bool hadServed, const std::string& rendered,
                    bool hasRendered) {
    auto shown = [](const std::string& text, bool has) {
        return has ? "\"" + Excerpt(text, 150) + "\"" : std::string("none");
    };
    return shown(served, hadServed) + " -> " + shown(rendered, hasRendered);
}

const UrlFacts::Rendering* RenderedPage(const Site& site, std::size_t url) {
    const UrlFacts::Rendering& render = site.Urls()[url].Render();
    return site.IsPage(url) && render.Tried && render.Rendered ? &render : nullptr;
}

Detail JsOnlyLinks(const Site& site, std::size_t url, double) {
    const UrlFacts::Rendering* render = RenderedPage(site, url);
    if (!render || render->Links.empty())
        return std::nullopt;
    std::set<std::string> targets; // distinct pages, the smallest URL shown
    for (const std::uint32_t at : render->Links)
        targets.insert(std::string(site.Urls()[at].Url));
    if (targets.empty())
        return std::nullopt;
    return Count(targets.size(), "page", "pages") + " linked only by scripts, such as " +
           Excerpt(*targets.begin(), 300);
}

Detail JsChangedTitle(const Site& site, std::size_t url, double) {
    const UrlFacts::Rendering* render = RenderedPage(site, url);
    if (!render || !render->Changes("title"))
        return std::nullopt;
    const UrlFacts& served = site.Urls()[url];
    const std::string before = FirstTitle(served);
    const std::string after = render->Titles.empty() ? std::string() : Collapsed(render->Titles[0]);
    if (before == after && served.Titles.empty() == render->Titles.empty())
        return std::nullopt; // the same title set again
    return Changed(before, !served.Titles.empty(), after, !render->Titles.empty());
}

Detail JsChangedDescription(const Site& site, std::size_t url, double) {
    const UrlFacts::Rendering* render = RenderedPage(site, url);
    if (!render || !render->Changes("description"))
        return std::nullopt;
    const UrlFacts& served = site.Urls()[url];
    const std::string before = Collapsed(served.Description);
    const std::string after = Collapsed(render->Description);
    if (before == after && served.HasDescription == render->HasDescription)
        return std::nullopt;
    return Changed(before, served.HasDescription, after, render->HasDescription);
}

std::string Joined(const std::set<std::string>& set, const char* separator) {
    std::string text;
    for (const std::string& item : set)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

// A rendered page whose field, read as a set, differs from what the server sent.
template <class AsSet>
Detail ChangedAsSet(const Site& site, std::size_t url, const char* field, AsSet asSet,
                    const auto& served, const auto& rendered) {
    const UrlFacts::Rendering* render = RenderedPage(site, url);
    if (!render || !render->Changes(field))
        return std::nullopt;
    const std::string before = asSet(served), after = asSet(rendered(*render));
    if (before == after)
        return std::nullopt;
    return Changed(before, !before.empty(), after, !after.empty());
}

// Canonicals as a sorted set of normalised URLs, joined by blanks.
template <class Texts> std::string CanonicalSet(const Texts& canonicals) {
    std::set<std::string> set;
    for (const std::string_view canonical : canonicals)
        set.insert(NormalUrl(canonical));
    return Joined(set, " ");
}

Detail JsChangedCanonical(const Site& site, std::size_t url, double) {
    return ChangedAsSet(
        site, url, "canonical", [](const auto& list) { return CanonicalSet(list); },
        site.Urls()[url].Canonicals, [](const UrlFacts::Rendering& r) { return r.Canonicals; });
}

// Robots directives as a sorted set, so "noindex, follow" and "follow,noindex" are one.
std::string RobotsSet(const std::string& robots) {
    std::set<std::string> set;
    for (std::size_t at = 0; at <= robots.size();) {
        const std::size_t comma = std::min(robots.find(',', at), robots.size());
        std::string word = Collapsed(robots.substr(at, comma - at));
        if (!word.empty())
            set.insert(AsciiLower(word));
        at = comma + 1;
    }
    return Joined(set, ",");
}

Detail JsChangedRobots(const Site& site, std::size_t url, double) {
    return ChangedAsSet(site, url, "robots", RobotsSet, std::string(site.Urls()[url].RobotsMeta()),
                        [](const UrlFacts::Rendering& r) { return r.Robots; });
}

Detail RenderError(const Site& site, std::size_t url, double) {
    const UrlFacts::Rendering& render = site.Urls()[url].Render();
    if (!site.IsPage(url) || !render.Tried)
        return std::nullopt;
    if (!render.Error.empty())
        return render.Error;
    if (!render.Rendered)
        return "not rendered: " +
               (render.Note.empty() ? std::string("no reason given") : render.Note);
    return std::nullopt;
}

Detail RenderTimeout(const Site& site, std::size_t url, double) {
    const UrlFacts::Rendering& render = site.Urls()[url].Render();
    if (!site.IsPage(url) || !render.Tried || !render.TimedOut)
        return std::nullopt;
    return std::string("still loading or running scripts when its rendering budget ran out");
}

const CheckRule Rules[] = {
    {"status-4xx", Severity::Error, "An internal link leads to a URL that answers 400-499", 0,
     Status4xx,
     "Visitors and crawlers that follow the link reach an error page, and the link passes nothing "
     "on. Correct or remove the link, or redirect the missing URL to the page that replaced it."},
    {"status-5xx", Severity::Error,
     "An internal link leads to a URL that answers 500-599 or gives no answer", 0, Status5xx,
     "The server failed or did not answer; search engines retry, then drop pages that keep "
     "failing. Check the server's error log for the URL and fix the cause."},
    {"redirect-chain", Severity::Warning, "Reaching the URL takes two or more redirects", 2,
     RedirectChain,
     "Each hop costs a round trip and some crawlers stop after a few. Point links and the first "
     "redirect straight at the final URL."},
    {"redirect-loop", Severity::Error, "The URL's redirects return to a URL already visited", 0,
     RedirectLoop,
     "The URL never leads to a page: browsers give up with an error and search engines drop it. "
     "Change the redirect rules so the chain ends at a page that answers 200."},
    {"redirect-internal", Severity::Notice, "A page of the site links to a URL that redirects", 0,
     RedirectInternal,
     "A link to a redirecting URL costs every visitor an extra round trip. Change the link to the "
     "URL it redirects to."},
    {"title-missing", Severity::Error, "The page has no title, or an empty one", 0, TitleMissing,
     "Search results show the title as the page's headline; without one the engine makes one up. "
     "Write a short title that says what the page is about."},
    {"title-duplicate", Severity::Warning, "Another indexable page has the same title", 0,
     TitleDuplicate,
     "Pages with the same title compete for the same searches and look alike in results. Give "
     "every page a title of its own."},
    {"title-too-long", Severity::Warning, "The title is wider than search results show (px)", 600,
     TitleTooLong,
     "Search results cut a title that is wider than they show. Put the important words first and "
     "shorten it."},
    {"title-multiple", Severity::Warning, "The head holds more than one title", 0, TitleMultiple,
     "With several titles the engine picks one, maybe not the one meant. Keep a single <title> in "
     "the head."},
    {"description-missing", Severity::Warning, "The page has no meta description, or an empty one",
     0, DescriptionMissing,
     "Search results show the description under the title; without one the engine quotes some text "
     "of the page. Write a sentence or two that invite the click."},
    {"description-duplicate", Severity::Warning,
     "Another indexable page has the same meta description", 0, DescriptionDuplicate,
     "The same description on many pages tells searchers nothing about each one. Write a "
     "description per page."},
    {"description-too-long", Severity::Notice, "The meta description is longer than (characters)",
     160, DescriptionTooLong,
     "Search results cut long descriptions. Keep the message in the first 160 characters."},
    {"h1-missing", Severity::Warning, "The body has no <h1> with text", 0, H1Missing,
     "The main heading tells readers and engines what the page is about. Give the page one <h1> "
     "with text."},
    {"h1-multiple", Severity::Notice, "The body has more than one <h1>", 0, H1Multiple,
     "Several main headings blur what the page is about. Keep one <h1> and make the others lower "
     "headings."},
    {"noindex", Severity::Notice, "A robots meta tag or X-Robots-Tag header says noindex", 0,
     NoIndex,
     "Search engines leave this page out of their index. Fine when meant; otherwise remove the "
     "noindex from the robots meta tag or X-Robots-Tag header."},
    {"canonical-elsewhere", Severity::Notice, "The page's canonical names another URL", 0,
     CanonicalElsewhere,
     "The page asks search engines to index another URL in its place. Fine for copies; check that "
     "the named URL is the one meant."},
    {"canonical-broken", Severity::Error,
     "The canonical URL answers other than 200, redirects or is noindex", 0, CanonicalBroken,
     "The canonical names a URL that cannot be indexed, so the engine ignores it or drops both. "
     "Point the canonical at a page that answers 200 and is indexable."},
    {"canonical-multiple", Severity::Warning, "More than one canonical is given and they differ", 0,
     CanonicalMultiple,
     "Differing canonicals cancel each other out and the engine chooses on its own. Give one "
     "canonical, in the tag or the Link header, not both differing."},
    {"hreflang-no-return", Severity::Warning, "An hreflang alternate does not name the page back",
     0, HreflangNoReturn,
     "Search engines ignore language alternates that are not confirmed from the other side. Add "
     "the return hreflang link on the alternate page."},
    {"hreflang-invalid", Severity::Warning, "An hreflang value is not a language code", 0,
     HreflangInvalid,
     "An hreflang value that is not a language code is ignored. Use a code such as en, en-gb or "
     "x-default."},
    {"content-duplicate", Severity::Warning,
     "The main content's text is the same as another indexable page's", 0, ContentDuplicate,
     "Pages with the same text compete with each other, and the engine shows only one. Merge them, "
     "or name one as canonical on the others."},
    {"content-thin", Severity::Notice, "The main content holds fewer words than", 200, ContentThin,
     "Pages with little text rarely answer a search well. Add useful content, merge the page with "
     "another, or set it noindex."},
    {"response-slow", Severity::Warning, "The first byte of the answer took longer than (ms)", 1000,
     ResponseSlow,
     "A slow first byte delays every visit and slows crawling. Look at the server's caching and "
     "the work done for the page."},
    {"page-heavy", Severity::Warning, "The HTML is larger than (bytes, decompressed)", 1048576,
     PageHeavy,
     "Large HTML is slow to load and parse, above all on phones. Remove inline data, split the "
     "page, or load parts later."},
    {"image-alt-missing", Severity::Notice, "An image of the body has no alt attribute", 0,
     ImageAltMissing,
     "Screen readers and image search rely on the alt text. Describe each image in its alt "
     "attribute, or give decorative ones alt=\"\"."},
    {"mixed-content", Severity::Error,
     "An https page loads a script, style sheet, image or frame over http", 0, MixedContent,
     "Browsers block or warn about http resources on an https page, and the page may break. Load "
     "every resource over https."},
    {"depth-deep", Severity::Notice, "The shortest click path from the root is longer than", 4,
     DepthDeep,
     "Pages many clicks from the home page are crawled less often and count for less. Link to them "
     "from pages nearer the top."},
    {"sitemap-orphan", Severity::Warning, "The XML sitemap lists the URL and no page links to it",
     0, SitemapOrphan,
     "A page that only the sitemap knows gets no link value and visitors cannot reach it. Link to "
     "it from the site, or drop it from the sitemap."},
    {"sitemap-missing", Severity::Notice, "An indexable page that the XML sitemap does not list", 0,
     SitemapMissing,
     "The sitemap helps engines find pages and notice changes. Add the page to the XML sitemap, or "
     "regenerate the sitemap."},
    {"sitemap-nonindexable", Severity::Warning,
     "The XML sitemap lists the URL and it is not indexable", 0, SitemapNonIndexable,
     "Listing URLs that cannot be indexed wastes crawling and makes the sitemap less trusted. List "
     "only indexable pages that answer 200."},
    {"structured-data-invalid", Severity::Warning, "A JSON-LD block does not parse as JSON", 0,
     StructuredDataInvalid,
     "Structured data that does not parse is ignored, and rich results are lost. Fix the JSON of "
     "the block (a validator shows where)."},
    {"fragment-missing", Severity::Warning,
     "A link's #fragment names no id or anchor on the page it leads to", 0, FragmentMissing,
     "The link promises a place on the page that does not exist, so the visitor lands at the top. "
     "Correct the fragment or add the id to the target."},
    {"js-only-links", Severity::Notice, "Links to pages of the site exist only after scripts run",
     0, JsOnlyLinks,
     "Crawlers that run no scripts, and many do not, never find these pages. Put the links in the "
     "HTML the server sends (server-side or pre-rendering), or list the pages in the XML "
     "sitemap."},
    {"js-changed-title", Severity::Warning, "Scripts change the title the server sent", 0,
     JsChangedTitle,
     "Engines that read the served HTML show one title, those that render show another. Send the "
     "final title from the server."},
    {"js-changed-description", Severity::Warning,
     "Scripts change the meta description the server sent", 0, JsChangedDescription,
     "The snippet depends on whether the engine runs scripts. Send the final description from the "
     "server."},
    {"js-changed-canonical", Severity::Warning, "Scripts change the canonical the server sent", 0,
     JsChangedCanonical,
     "Two different canonicals leave engines to guess which URL to index, and many take the "
     "served one. Send the intended canonical from the server and leave it alone in scripts."},
    {"js-changed-robots", Severity::Warning, "Scripts change the robots meta tag the server sent",
     0, JsChangedRobots,
     "An engine that does not render obeys the served tag; one that renders may obey the other, "
     "and a noindex added by a script can drop the page late. Send the intended robots tag from "
     "the server."},
    {"render-error", Severity::Warning,
     "Rendering met a script error or a failed script or style sheet of the site", 0, RenderError,
     "A broken script or style sheet can leave the rendered page without its content or links. "
     "Fix the error shown, or the URL of the file that failed."},
    {"render-timeout", Severity::Notice, "The page did not settle within its rendering budget", 0,
     RenderTimeout,
     "Rendering engines give a page little time; what appears later may never be seen. Make the "
     "page finish loading sooner (fewer requests, no endless polling or reloading)."},
};

// ISO 639-1 language codes and ISO 3166-1 alpha-2 regions, blank-separated.
constexpr std::string_view Languages =
    "aa ab ae af ak am an ar as av ay az ba be bg bh bi bm bn bo br bs ca ce ch co cr cs cu cv "
    "cy da de dv dz ee el en eo es et eu fa ff fi fj fo fr fy ga gd gl gn gu gv ha he hi ho hr "
    "ht hu hy hz ia id ie ig ii ik io is it iu ja jv ka kg ki kj kk kl km kn ko kr ks ku kv kw "
    "ky la lb lg li ln lo lt lu lv mg mh mi mk ml mn mr ms mt my na nb nd ne ng nl nn no nr nv "
    "ny oc oj om or os pa pi pl ps pt qu rm rn ro ru rw sa sc sd se sg si sk sl sm sn so sq sr "
    "ss st su sv sw ta te tg th ti tk tl tn to tr ts tt tw ty ug uk ur uz ve vi vo wa wo xh yi "
    "yo za zh zu";
constexpr std::string_view Regions =
    "ad ae af ag ai al am ao aq ar as at au aw ax az ba bb bd be bf bg bh bi bj bl bm bn bo bq "
    "br bs bt bv bw by bz ca cc cd cf cg ch ci ck cl cm cn co cr cu cv cw cx cy cz de dj dk dm "
    "do dz ec ee eg eh er es et fi fj fk fm fo fr ga gb gd ge gf gg gh gi gl gm gn gp gq gr gs "
    "gt gu gw gy hk hm hn hr ht hu id ie il im in io iq ir is it je jm jo jp ke kg kh ki km kn "
    "kp kr kw ky kz la lb lc li lk lr ls lt lu lv ly ma mc md me mf mg mh mk ml mm mn mo mp mq "
    "mr ms mt mu mv mw mx my mz na nc ne nf ng ni nl no np nr nu nz om pa pe pf pg ph pk pl pm "
    "pn pr ps pt pw py qa re ro rs ru rw sa sb sc sd se sg sh si sj sk sl sm sn so sr ss st sv "
    "sx sy sz tc td tf tg th tj tk tl tm tn to tr tt tv tw tz ua ug um us uy uz va vc ve vg vi "
    "vn vu wf ws ye yt za zm zw";

bool InList(std::string_view list, std::string_view code) {
    if (code.size() != 2)
        return false;
    for (std::size_t i = 0; i + 2 <= list.size(); i += 3)
        if (list.substr(i, 2) == code)
            return true;
    return false;
}

} // namespace

std::string_view SeverityName(Severity severity) {
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Notice:
        break;
    }
    return "notice";
}

bool ParseSeverity(std::string_view text, Severity& severity) {
    for (const Severity s : {Severity::Error, Severity::Warning, Severity::Notice})
        if (text == SeverityName(s)) {
            severity = s;
            return true;
        }
    return false;
}

bool ValidHreflang(std::string_view value) {
    const std::string lower = AsciiLower(Trim(value));
    if (lower == "x-default")
        return true;
    const std::size_t dash = lower.find('-');
    if (!InList(Languages, std::string_view(lower).substr(0, dash)))
        return false;
    return dash == std::string::npos || InList(Regions, std::string_view(lower).substr(dash + 1));
}

std::span<const CheckRule> CheckTable() {
    return Rules;
}

const CheckRule* FindCheck(std::string_view id) {
    for (const CheckRule& rule : Rules)
        if (rule.Id == id)
            return &rule;
    return nullptr;
}

void SortFindings(std::vector<Finding>& findings) {
    std::sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return a.Check != b.Check ? a.Check < b.Check : a.Url < b.Url;
    });
}

std::vector<Finding> FindIssues(const CrawlFacts& facts, const Thresholds& thresholds) {
    return FindIssues(facts, CheckSettings{thresholds, {}});
}

std::vector<Finding> FindIssues(const CrawlFacts& facts, const CheckSettings& settings) {
    const Site site(facts);
    return FindIssues(site, settings);
}

bool ForEachIssue(const Site& site, const CheckSettings& settings,
                  const std::function<bool(const FindingView&)>& each) {
    // Each check's findings are gathered apart (as URL indexes and shared
    // details), sorted by URL and handed out, in the order of the checks'
    // identifiers: the order of SortFindings without sorting them all, and
    // only one check's findings are held at a time.
    std::vector<const CheckRule*> rules;
    for (const CheckRule& rule : Rules)
        if (!settings.Off.count(rule.Id))
            rules.push_back(&rule);
    std::sort(rules.begin(), rules.end(),
              [](const CheckRule* a, const CheckRule* b) { return a->Id < b->Id; });
    const std::vector<UrlFacts>& urls = site.Urls();
    // Room for a finding on every URL, so the part never grows by copies
    // (room not written costs no memory).
    std::vector<std::pair<std::uint32_t, SharedText>> part;
    part.reserve(urls.size());
    for (const CheckRule* rule : rules) {
        const auto set = settings.Limits.find(rule->Id);
        const double threshold = set != settings.Limits.end() ? set->second : rule->Threshold;
        TextPool details; // one text for equal details
        // One finding per check and URL (when two URLs of the crawl can share a text).
        std::unordered_set<std::string_view> listed;
        part.clear();
        for (std::size_t i = 0; i < urls.size(); ++i)
            if (Detail detail = rule->Listed(site, i, threshold))
                if (site.UrlsDistinct() || listed.insert(urls[i].Url).second)
                    part.emplace_back(static_cast<std::uint32_t>(i),
                                      details.Get(Excerpt(*detail, 400)));
        std::sort(part.begin(), part.end(), [&](const auto& a, const auto& b) {
            return urls[a.first].Url < urls[b.first].Url;
        });
        const CheckId id(rule->Id);
        for (const auto& [url, detail] : part)
            if (!each({id, rule->Level, url, urls[url].Url, detail}))
                return false;
    }
    return true;
}

std::vector<Finding> FindIssues(const Site& site, const CheckSettings& settings) {
    std::vector<SharedText> urls(site.Urls().size()); // one text for all findings of a URL
    std::vector<Finding> findings;
    ForEachIssue(site, settings, [&](const FindingView& finding) {
        if (urls[finding.Index].empty())
            urls[finding.Index] = finding.Url;
        findings.push_back({finding.Check, finding.Level, urls[finding.Index], finding.Detail});
        return true;
    });
    return findings;
}

} // namespace vantora::health
