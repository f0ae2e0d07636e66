// The crawl's side of the facts file: each answer of a page job and each page
// as it is taken in order, then the site's XML sitemaps, the URLs only they
// list and the canonical targets no link led to. The map does not depend on
// any of it.

#include "Charset.h"
#include "CrawlState.h"
#include "SiteSitemaps.h"

namespace vantora::webcharter {

namespace {

// Canonical targets kept for fetching at the end; past it the rest are left
// out and the crawl says so.
constexpr std::size_t MaxCanonicalTargets = 10000;

} // namespace

void Crawl::OpenFacts(CrawlResult& result) {
    Facts = std::make_unique<FactsWriter>();
    std::string error;
    std::string root = Options.SearchUrl;
    if (ReferenceScheme(root) != "http" && ReferenceScheme(root) != "https")
        root = "http://" + root;
    if (const std::optional<Url> url = ParseUrl(root))
        root = url->ToString();
    if (!Facts->Open(Options.FactsFile, root, error)) {
        result.FactsError = error;
        Note(error + "; no facts are written");
        Facts.reset();
    }
}

void Crawl::RecordFetch(const Transfer& transfer, const Completion& done) {
    const Target& target = Targets[transfer.Work.TargetIndex];
    FetchFacts facts;
    facts.Id = transfer.Work.TargetIndex;
    facts.Url = target.Url();
    facts.Status = done.Status;
    if (done.Code != CURLE_OK && !(done.Code == CURLE_WRITE_ERROR && transfer.Truncated)) {
        facts.Status = 0;
        facts.Error = transfer.Error[0] ? transfer.Error : curl_easy_strerror(done.Code);
    }
    if (facts.Status >= 300 && facts.Status < 400)
        facts.Location = done.RedirectUrl;
    facts.Bytes = static_cast<long long>(transfer.Body.size());
    facts.Depth = transfer.Work.Depth;
    if (const RecordedAnswer* answer = done.Recorded) {
        facts.FirstByteMs = answer->FirstByteMs;
        facts.TotalMs = answer->TotalMs;
        facts.Bytes = answer->DownloadBytes;
        facts.Type = answer->Type;
        facts.Modified = answer->Modified;
        facts.RobotsHeader = answer->RobotsHeader;
        facts.LinkCanonicals = answer->LinkCanonicals;
    } else {
        ReadTransferFacts(transfer.Easy.get(), facts);
    }
    if (facts.Status == 200)
        for (const std::string& canonical : facts.LinkCanonicals)
            NoteCanonical(canonical, facts.Url);
    Facts->Fetch(std::move(facts));
}

void Crawl::RecordPage(const Finished& finished, const std::vector<Ref>& refs, size_t servedRefs) {
    if (!finished.Parsed.Facts)
        return;
    std::vector<long> links, renderedOnly;
    for (size_t i = 0; i < refs.size(); ++i) {
        const Ref& ref = refs[i];
        if (ref.Kind == RefKind::Link && ref.Index >= 0 && !Targets[ref.Index].External &&
            Targets[ref.Index].Status != State::Skipped)
            (i < servedRefs ? links : renderedOnly).push_back(ref.Index);
    }
    const std::string_view page = Targets[finished.Work.TargetIndex].Url();
    for (const std::string& canonical : finished.Parsed.Facts->Canonicals)
        NoteCanonical(canonical, page);
    Facts->Page(finished.Work.TargetIndex, finished.Parsed.Facts, std::move(links));
    if (const RenderFacts* render = finished.Parsed.Render.get())
        Facts->Render(finished.Work.TargetIndex, *finished.Parsed.Facts, render->Rendered,
                      render->TimedOut, render->Error, render->Note, render->Facts.get(),
                      renderedOnly);
}

void Crawl::NoteCanonical(const std::string& canonical, std::string_view page) {
    if (canonical == page)
        return; // the common self-canonical, without parsing it
    const std::optional<Url> url = ParseUrl(canonical);
    if (!url || !InScope(*url))
        return;
    std::string key = url->Key();
    if (PageKeys.Contains(key) || ImageKeys.Contains(key) || CanonicalKeys.count(key))
        return;
    if (CanonicalTargets.size() >= MaxCanonicalTargets) {
        // those the crawl has met as links since are fetched anyway: make room
        std::vector<std::string> kept;
        for (std::string& target : CanonicalTargets) {
            const std::optional<Url> known = ParseUrl(target);
            const std::string was = known ? known->Key() : std::string();
            if (known && (PageKeys.Contains(was) || ImageKeys.Contains(was)))
                CanonicalKeys.erase(was);
            else
                kept.push_back(std::move(target));
        }
        CanonicalTargets = std::move(kept);
        if (CanonicalTargets.size() >= MaxCanonicalTargets) {
            CanonicalsCut = true;
            return;
        }
    }
    CanonicalKeys.insert(std::move(key));
    CanonicalTargets.push_back(url->ToString());
}

void Crawl::FinishFacts(CrawlResult& result) {
    SitemapLimits limits;
    limits.TimeoutMs = Options.RequestTimeoutMs;
    limits.ConnectTimeoutMs = Options.ConnectTimeoutMs;
    limits.UserAgent = Options.UserAgent;
    const std::string root = Targets.empty() ? std::string() : std::string(Targets[0].Url());
    const SitemapsRead sitemaps = ReadSiteSitemaps(root, limits, Stop);
    std::vector<std::string> unknown;
    std::unordered_set<std::string> unknownKeys;
    for (const SitemapFileRead& file : sitemaps.Files) {
        Facts->Sitemap(file.Url, file.Status, file.Urls, file.Note);
        if (!file.Note.empty())
            Note("XML sitemap " + file.Url + ": " + file.Note);
    }
    for (const std::string& listed : sitemaps.Urls) {
        Facts->Listed(listed);
        // URLs of the site that the crawl did not meet are fetched for their
        // facts alone; what robots.txt forbids is not.
        const std::optional<Url> url = ParseUrl(listed);
        if (url && InScope(*url) && !PageKeys.Contains(url->Key()) &&
            !ImageKeys.Contains(url->Key()) && RobotsAllow(*url) &&
            unknownKeys.insert(url->Key()).second)
            unknown.push_back(url->ToString());
    }
    if (!unknown.empty())
        Note("fetching " + std::to_string(unknown.size()) +
             " URL(s) that only the XML sitemaps list");
    // Canonical targets no link led to are fetched too, so that whether the
    // canonical is broken can be told; like the sitemap's URLs they are not
    // followed and get no page checks.
    const std::size_t listedOnly = unknown.size();
    for (const std::string& target : CanonicalTargets) {
        const std::optional<Url> url = ParseUrl(target);
        if (url && !PageKeys.Contains(url->Key()) && !ImageKeys.Contains(url->Key()) &&
            RobotsAllow(*url) && unknownKeys.insert(url->Key()).second)
            unknown.push_back(target);
    }
    if (unknown.size() > listedOnly)
        Note("fetching " + std::to_string(unknown.size() - listedOnly) +
             " canonical URL(s) that no link leads to");
    if (CanonicalsCut)
        Note("canonical URLs beyond " + std::to_string(MaxCanonicalTargets) +
             " that no link leads to were not fetched");
    std::unordered_set<std::string> canonicalOnly(unknown.begin() + listedOnly, unknown.end());
    long id = static_cast<long>(Targets.size());
    FetchListedPages(
        unknown, limits, SiteLimit, Options.MaxDocumentBytes, Stop, [&](ListedAnswer& answer) {
            FetchFacts facts;
            facts.Id = id++;
            facts.Url = answer.Url;
            facts.Status = answer.Status;
            facts.Error = answer.Error;
            facts.From = canonicalOnly.count(answer.Url) ? FetchFacts::Source::Canonical
                                                         : FetchFacts::Source::Sitemap;
            facts.Bytes = static_cast<long long>(answer.Body.size());
            CURL* easy = static_cast<CURL*>(answer.Easy);
            if (facts.Status >= 300 && facts.Status < 400) {
                char* location = nullptr;
                curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
                if (location)
                    facts.Location = location;
            }
            ReadTransferFacts(easy, facts);
            const long fetched = facts.Id;
            const std::string type = facts.Type;
            Facts->Fetch(std::move(facts));
            if (answer.Html)
                Facts->Page(fetched,
                            std::make_shared<const PageFacts>(
                                ReadPageFacts(DecodeHtml(answer.Body, type), answer.Url)),
                            {});
        });
    std::string error;
    const bool complete = !TimeLimitHit && !(Stop && Stop->load());
    if (!Facts->Close(result.Pages, complete, error)) {
        result.FactsError = error;
        Note(error);
    }
    Facts.reset();
}

} // namespace vantora::webcharter
