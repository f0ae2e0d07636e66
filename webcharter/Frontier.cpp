#include "CrawlState.h"

#include <algorithm>
#include <stdexcept>
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
    const auto rules = Robots.find(url.Authority());
    if (Options.Robots && rules != Robots.end() && rules->second.CrawlDelay() > SiteInterval) {
        // a delay beyond a minute would make a crawl of days: a minute it is
        const double asked = rules->second.CrawlDelay();
        SiteInterval = std::min(asked, 60.0);
        Note("robots.txt of " + url.Authority() + " asks for " + std::to_string(asked) +
             " s between requests; requests start " + std::to_string(SiteInterval) + " s apart");
    }
}

bool Crawl::PatternAllows(const Url& url) const {
    if (IncludePatterns.empty() && ExcludePatterns.empty())
        return true;
    const std::string text = url.ToString();
    const auto matches = [&](const std::regex& pattern) {
        return std::regex_search(text, pattern);
    };
    if (!IncludePatterns.empty() &&
        std::none_of(IncludePatterns.begin(), IncludePatterns.end(), matches))
        return false;
    return std::none_of(ExcludePatterns.begin(), ExcludePatterns.end(), matches);
}

int Crawl::AddTarget(std::string_view text, bool asIs) {
    if (Targets.size() >= 0x3FFFFFFF)
        throw std::length_error("too many URLs for one crawl");
    const std::string_view stored = Texts.Add(text);
    Target target;
    target.Text = stored.data();
    target.Size = static_cast<uint32_t>(stored.size());
    target.AsIs = asIs;
    Targets.push_back(target);
    return static_cast<int>(Targets.size() - 1);
}

int Crawl::NewTarget(const Url& url, bool external, bool withText) {
    int index;
    if (withText) {
        index = AddTarget(url.ToString(), external);
    } else {
        if (Targets.size() >= 0x3FFFFFFF)
            throw std::length_error("too many URLs for one crawl");
        Targets.emplace_back();
        index = static_cast<int>(Targets.size() - 1);
    }
    Targets[index].External = external;
    return index;
}

int Crawl::InternalTarget(const Url& url, bool forPage, int depth, int parentPage) {
    const std::string key = url.Key();
    if (const int found = PageKeys.Find(key); found >= 0)
        return found;
    if (!forPage) {
        if (const int found = ImageKeys.Find(key); found >= 0)
            return found;
    }
    // A page's URL is kept only once it is fetched (EnqueuePage spools it till then);
    // one that is never fetched is never listed.
    const int index = NewTarget(url, false, !forPage);
    if (!RobotsAllow(url)) {
        Targets[index].Status = State::Skipped;
        ++RobotsSkipped;
    } else if (!PatternAllows(url)) {
        Targets[index].Status = State::Skipped;
        ++PatternCut;
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
        EnqueuePage(index, parentPage, depth, &url);
    }
    (forPage ? PageKeys : ImageKeys).Add(key, index);
    return index;
}

void Crawl::EnqueuePage(int target, int parentPage, int depth, const Url* url) {
    ++PagesQueued;
    QueuedPage queued{target, parentPage, depth, 0, 0};
    if (url && !Targets[target].Text) {
        const std::string text = url->ToString();
        queued.TextAt = QueuedTexts.Add(text);
        queued.TextSize = static_cast<uint32_t>(text.size());
    }
    Frontier.Push(queued);
}

Job Crawl::TakeFromFrontier() {
    // Page jobs are numbered as they leave the queue, which is in the order they
    // entered it: results are taken in that order.
    const QueuedPage queued = Frontier.Pop();
    if (!Targets[queued.Target].Text) {
        // held here while it is fetched (the node of an unordered map stays put)
        const std::string& text = FetchTexts[queued.Target] =
            QueuedTexts.Read(queued.TextAt, queued.TextSize);
        Targets[queued.Target].Text = text.c_str();
        Targets[queued.Target].Size = static_cast<uint32_t>(text.size());
    }
    Job job;
    job.Kind = JobKind::Page;
    job.TargetIndex = job.FirstTarget = queued.Target;
    job.ParentPage = queued.ParentPage;
    job.Depth = queued.Depth;
    job.Seq = NextSeq++;
    job.Chain.push_back(queued.Target);
    return job;
}

void Crawl::OnParsed(long seq, ParsedPage parsed) {
    --ParsesPending;
    ParseBytesPending -= std::min(ParseBytesPending, parsed.BodySize);
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
        Note("link extractors disagree on " + std::string(target.Url()));
    if (parsed.Binary) {
        // Served as HTML but binary data: a link to a file, not a page.
        target.Status = State::Resource;
        ++BinaryBodies;
        if (Options.Verbose)
            Note(std::string(target.Url()) +
                 ": binary data served as a web page; not listed as a page");
        return;
    }
    target.Status = State::Page;
    finished.IsPage = true;
    finished.Parsed = std::move(parsed);
    ++PagesDone;
}

void Crawl::TakeParsed() {
    WakeAsked.store(false); // before taking: a page read after this wakes the loop again
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
        KeepFetchText(finished.Work.FirstTarget);
    }
}

void Crawl::KeepFetchText(int target) {
    const auto held = FetchTexts.find(target);
    if (held == FetchTexts.end())
        return;
    // not listed as a page (an error, a file, a redirect...): the map may name it
    const std::string_view kept = Texts.Add(held->second);
    Targets[target].Text = kept.data();
    FetchTexts.erase(held);
}

namespace {

// A page's body in 32 bits, never 0: its size and hash mixed.
uint32_t BodyDigest(const ParsedPage& parsed) {
    uint64_t mixed =
        parsed.BodyHash ^ (static_cast<uint64_t>(parsed.BodySize) * 0x9e3779b97f4a7c15ull);
    mixed ^= mixed >> 32;
    const auto digest = static_cast<uint32_t>(mixed);
    return digest ? digest : 1;
}

bool IsIndexName(std::string_view last) {
    static const char* const indexNames[] = {
        "index.html",   "index.htm",   "index.shtml",  "index.php",    "index.asp",
        "index.aspx",   "index.jsp",   "index.cgi",    "index.xhtml",  "default.htm",
        "default.html", "default.asp", "default.aspx", "welcome.html", "home.html"};
    const auto same = [&](std::string_view name) {
        return name.size() == last.size() &&
               std::equal(name.begin(), name.end(), last.begin(), [](char a, char b) {
                   return a == std::tolower(static_cast<unsigned char>(b));
               });
    };
    return std::any_of(std::begin(indexNames), std::end(indexNames), same);
}

} // namespace

bool Crawl::DuplicateOfFolderPage(int target, const ParsedPage& parsed) {
    // The names one document may have: the folder ("/docs/") and its index files
    // ("/docs/index.html"), of which only the spellings the site's pages use are
    // looked for. (The target's URL is in its normal form: a '?' starts its query.)
    const std::string_view text = Targets[target].Url();
    if (text.find('?') != std::string_view::npos)
        return false;
    const std::string_view key = Target::KeyOf(text);
    const size_t slash = key.rfind('/');
    if (slash == std::string_view::npos)
        return false;
    const std::string_view last = key.substr(slash + 1);
    if (!last.empty()) {
        if (!IsIndexName(last))
            return false;
        if (IndexSpellings.size() < 64 &&
            std::find(IndexSpellings.begin(), IndexSpellings.end(), last) == IndexSpellings.end())
            IndexSpellings.emplace_back(last);
    }
    const std::string folder(key.substr(0, slash + 1));
    const uint32_t digest = BodyDigest(parsed);
    // A listed page of one of those names with the same body: this page is that one,
    // under the URL met first; links to this one lead to it.
    const auto sameAs = [&](const std::string& name) {
        const int known = Final(PageKeys.Find(name));
        if (known < 0 || known == target || Targets[known].Status != State::Page ||
            Targets[known].BodyDigest != digest)
            return false;
        Targets[target].Status = State::Alias;
        Targets[target].AliasOf = known;
        return true;
    };
    if (!last.empty() && sameAs(folder))
        return true;
    for (const std::string& name : IndexSpellings)
        if (name != last && sameAs(folder + name))
            return true;
    return false;
}

void Crawl::AddPage(Finished& finished) {
    if (DuplicateOfFolderPage(finished.Work.TargetIndex, finished.Parsed)) {
        if (Facts)
            RecordPage(finished, {});
        --PagesDone;
        return;
    }
    if (Pages.Size() >= Options.MaxPages) {
        Targets[finished.Work.TargetIndex].Status = State::Skipped;
        ++PageLimitCut;
        --PagesDone;
        return;
    }
    const int pageIndex = static_cast<int>(Pages.Size());
    Targets[finished.Work.TargetIndex].BodyDigest = BodyDigest(finished.Parsed);
    std::unordered_set<long long> seen;
    std::vector<Ref> refs;
    const int depth = finished.Work.Depth;
    size_t linkNumber = 0, servedRefs = static_cast<size_t>(-1); // refs from rendering follow
    for (ResolvedLink& link : finished.Parsed.Links) {
        if (linkNumber++ == finished.Parsed.ServedLinks)
            servedRefs = refs.size();
        Ref ref{RefKind::Link, -1};
        if (!link.Mail.empty()) {
            auto [it, added] = MailKeys.emplace(link.Mail, static_cast<int>(Mails.size()));
            if (added)
                Mails.push_back(link.Mail);
            ref = {RefKind::Mail, it->second};
        } else if (!link.Address) {
            int index = InvalidKeys.Find(link.Invalid);
            if (index < 0) {
                index = AddTarget(link.Invalid, true);
                Targets[index].Status = State::Broken;
                InvalidKeys.Add(link.Invalid, index);
                ++BrokenSeen;
            }
            ref = {RefKind::Link, index};
        } else {
            const bool image = link.Kind == LinkKind::Image;
            if (Targets.size() >= Options.MaxLinks) {
                // Enough URLs are kept: a link already known is listed, a new one is not.
                bool known;
                if (!InScope(*link.Address))
                    known = ExternalKeys.Contains(link.Address->ToString());
                else
                    known = PageKeys.Contains(link.Address->Key()) ||
                            (image && ImageKeys.Contains(link.Address->Key()));
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
        // each reference once: the few of most pages compared as they are, the
        // many of a large one through a set
        const auto keyOf = [](const Ref& r) {
            return (static_cast<long long>(r.Kind) << 40) | (r.Index & 0xFFFFFFFFFFLL);
        };
        bool known;
        if (refs.size() < 16) {
            known = std::any_of(refs.begin(), refs.end(), [&](const Ref& r) {
                return r.Kind == ref.Kind && r.Index == ref.Index;
            });
        } else {
            if (seen.empty())
                for (const Ref& r : refs)
                    seen.insert(keyOf(r));
            known = !seen.insert(keyOf(ref)).second;
        }
        if (!known)
            refs.push_back(ref);
    }
    if (Facts)
        RecordPage(finished, refs, servedRefs);
    // The URL of a page taken from the frontier waits on disk for the map, with
    // the page's references: a crawl of millions keeps no page URLs in memory.
    PageNode node{finished.Work.TargetIndex, finished.Work.ParentPage, RefStore.Size(), 0};
    const int target = finished.Work.TargetIndex;
    const auto held = FetchTexts.find(target);
    std::string_view text;
    if (held != FetchTexts.end())
        text = held->second;
    // (a page's links are far fewer than the field holds: MaxLinksPerPage)
    const size_t most = (size_t(1) << 24) - 1 - SpillArray::TextWords(text.size());
    if (refs.size() > most)
        refs.resize(most);
    node.StoreWords = SpillArray::TextWords(text.size()) + refs.size();
    RefStore.PushText(text);
    for (const Ref& ref : refs)
        RefStore.Push(PackRef(ref));
    Pages.Push(node);
    if (held != FetchTexts.end()) {
        Targets[target].Text = nullptr;
        Targets[target].Size = 0;
        FetchTexts.erase(held);
    }
}

} // namespace vantora::webcharter
