#include "CrawlState.h"

#include <algorithm>
#include <unordered_set>

namespace vantora::webcharter {

namespace {

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('/') + 1);
}

} // namespace

bool Crawl::InScope(const Url& url) const {
    const std::string authority = url.Authority();
    for (const Scope& scope : Scopes)
        if (scope.Authority == authority &&
            url.Path.compare(0, scope.Prefix.size(), scope.Prefix) == 0)
            return true;
    return false;
}

void Crawl::AddScope(const Url& url) {
    Scopes.push_back({url.Authority(), FolderOf(url.Path)});
    FetchRobots(url.Scheme, url.Authority());
}

int Crawl::NewTarget(const Url& url, bool external) {
    Target target;
    target.Url = url.ToString();
    target.Written = external ? target.Url : url.ToHttpString();
    target.External = external;
    Targets.push_back(std::move(target));
    return static_cast<int>(Targets.size() - 1);
}

int Crawl::InternalTarget(const Url& url, bool forPage, int depth, int parentPage) {
    std::string key = url.Key();
    if (const auto found = PageKeys.find(key); found != PageKeys.end())
        return found->second;
    if (!forPage) {
        if (const auto found = ImageKeys.find(key); found != ImageKeys.end())
            return found->second;
    }
    const int index = NewTarget(url, false);
    if (!RobotsAllow(url)) {
        Targets[index].Status = State::Skipped;
        ++RobotsSkipped;
    } else if (!forPage) {
        EnqueueCheck(index);
    } else if (depth > Options.MaxDepth) {
        Targets[index].Status = State::Skipped;
        ++DepthCut;
        NoteOnce(DepthLimitNoted, "depth limit of " + std::to_string(Options.MaxDepth) +
                                      " levels reached; deeper pages are left out");
    } else if (TrapCut(url)) {
        Targets[index].Status = State::Skipped;
    } else {
        EnqueuePage(index, parentPage, depth);
    }
    (forPage ? PageKeys : ImageKeys).emplace(std::move(key), index);
    return index;
}

void Crawl::EnqueuePage(int target, int parentPage, int depth) {
    Job job;
    job.Kind = JobKind::Page;
    job.TargetIndex = job.FirstTarget = target;
    job.ParentPage = parentPage;
    job.Depth = depth;
    job.Seq = NextSeq++;
    job.Chain.push_back(target);
    ++PagesQueued;
    Frontier.push_back(std::move(job));
}

void Crawl::OnParsed(long seq, ParsedPage parsed) {
    --ParsesPending;
    --PageJobsOpen;
    Finished& finished = Waiting.at(seq);
    finished.Ready = true;
    Target& target = Targets[finished.Work.TargetIndex];
    if (parsed.LinksCut) {
        LinksCutOnPages += parsed.LinksCut;
        ++PagesWithLinksCut;
    }
    if (parsed.LongLinkCut) {
        ++LongUrlCut;
        NoteOnce(UrlLimitNoted, "links longer than " + std::to_string(Options.MaxUrlLength) +
                                    " characters are left out");
    }
    if (parsed.ExtractorsDisagree)
        Note("link extractors disagree on " + target.Url);
    if (parsed.Binary) {
        // Served as HTML but binary data: a link to a file, not a page.
        target.Status = State::Resource;
        ++BinaryBodies;
        if (Options.Verbose)
            Note(target.Url + ": binary data served as a web page; not listed as a page");
        return;
    }
    target.Status = State::Page;
    finished.IsPage = true;
    finished.Parsed = std::move(parsed);
    ++PagesDone;
}

void Crawl::TakeParsed() {
    for (ParsePool::Result& result : Parser->Take())
        OnParsed(result.Seq, std::move(result.Parsed));
}

void Crawl::TakeFinishedInOrder() {
    while (!Waiting.empty() && Waiting.begin()->first == NextToTake &&
           Waiting.begin()->second.Ready) {
        Finished finished = std::move(Waiting.begin()->second);
        Waiting.erase(Waiting.begin());
        ++NextToTake;
        if (finished.IsPage)
            AddPage(finished);
    }
}

// The folder URL a page answers for: the page's own URL when it names a folder, the
// folder's when it names a usual index file; empty for other pages.
std::string FolderKey(const std::string& pageUrl) {
    std::optional<Url> url = ParseUrl(pageUrl);
    if (!url || url->HasQuery)
        return {};
    const size_t slash = url->Path.rfind('/');
    std::string last = url->Path.substr(slash + 1);
    std::transform(last.begin(), last.end(), last.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const char* const indexNames[] = {
        "index.html",   "index.htm",   "index.shtml",  "index.php",    "index.asp",
        "index.aspx",   "index.jsp",   "index.cgi",    "index.xhtml",  "default.htm",
        "default.html", "default.asp", "default.aspx", "welcome.html", "home.html"};
    if (!last.empty() &&
        std::find(std::begin(indexNames), std::end(indexNames), last) == std::end(indexNames))
        return {};
    url->Path.resize(slash + 1);
    return url->Key();
}

bool Crawl::DuplicateOfFolderPage(int target, const ParsedPage& parsed) {
    const std::string key = FolderKey(Targets[target].Url);
    if (key.empty())
        return false;
    const auto [known, added] =
        FolderPages.emplace(key, FolderPage{target, parsed.BodyHash, parsed.BodySize});
    if (added || known->second.Target == target || known->second.Hash != parsed.BodyHash ||
        known->second.Size != parsed.BodySize)
        return false;
    // The folder and its index file gave the same document: one page, under the
    // URL met first; links to the other lead to it.
    Targets[target].Status = State::Alias;
    Targets[target].AliasOf = known->second.Target;
    return true;
}

void Crawl::AddPage(Finished& finished) {
    if (DuplicateOfFolderPage(finished.Work.TargetIndex, finished.Parsed)) {
        if (Facts)
            RecordPage(finished, {});
        --PagesDone;
        return;
    }
    if (Pages.size() >= Options.MaxPages) {
        Targets[finished.Work.TargetIndex].Status = State::Skipped;
        ++PageLimitCut;
        --PagesDone;
        return;
    }
    const int pageIndex = static_cast<int>(Pages.size());
    Pages.push_back(
        {finished.Work.TargetIndex, finished.Work.ParentPage, finished.Work.Depth, {}, {}});
    if (finished.Work.ParentPage >= 0)
        Pages[finished.Work.ParentPage].Children.push_back(pageIndex);
    std::unordered_set<long long> seen;
    std::vector<Ref> refs;
    const int depth = finished.Work.Depth;
    for (ResolvedLink& link : finished.Parsed.Links) {
        Ref ref{RefKind::Link, -1};
        if (!link.Mail.empty()) {
            auto [it, added] = MailKeys.emplace(link.Mail, static_cast<int>(Mails.size()));
            if (added)
                Mails.push_back(link.Mail);
            ref = {RefKind::Mail, it->second};
        } else if (!link.Address) {
            auto [it, added] = InvalidKeys.emplace(link.Invalid, -1);
            if (added) {
                Target broken;
                broken.Url = broken.Written = link.Invalid;
                broken.Status = State::Broken;
                Targets.push_back(std::move(broken));
                it->second = static_cast<int>(Targets.size() - 1);
                ++BrokenSeen;
            }
            ref = {RefKind::Link, it->second};
        } else {
            const bool image = link.Kind == LinkKind::Image;
            if (Targets.size() >= Options.MaxLinks) {
                // Enough URLs are kept: a link already known is listed, a new one is not.
                bool known;
                if (!InScope(*link.Address))
                    known = ExternalKeys.count(link.Address->ToString()) > 0;
                else
                    known = PageKeys.count(link.Address->Key()) > 0 ||
                            (image && ImageKeys.count(link.Address->Key()) > 0);
                if (!known) {
                    ++LinksOverTotal;
                    continue;
                }
            }
            int index;
            if (InScope(*link.Address))
                index = InternalTarget(*link.Address, !image, depth + 1, pageIndex);
            else if (image && !Options.CheckExternal)
                continue;
            else
                index = ExternalTarget(*link.Address);
            ref = {image ? RefKind::Image : RefKind::Link, index};
        }
        const long long key =
            (static_cast<long long>(ref.Kind) << 40) | (ref.Index & 0xFFFFFFFFFFLL);
        if (seen.insert(key).second)
            refs.push_back(ref);
    }
    if (Facts)
        RecordPage(finished, refs);
    Pages[pageIndex].Refs = std::move(refs);
}

} // namespace vantora::webcharter
