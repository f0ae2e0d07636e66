#include "Crawler.h"

#include "BodyCheck.h"
#include "Captions.h"
#include "FastLinks.h"
#include "Links.h"
#include "Robots.h"
#include "Url.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace vantora::webcharter {

namespace {

using SteadyClock = std::chrono::steady_clock;

// What became of a URL the crawl met.
enum class State : unsigned char {
    Pending,  // queued or in flight
    Page,     // an HTML document of the site, listed as a page
    Resource, // fetched fine, not HTML (or an image/external that answered)
    Broken,   // no answer, a redirect loop or too many redirects
    HttpError,
    Alias,    // redirected to another target
    Skipped,  // robots.txt, limits, or never fetched: not listed
    Unchecked // an external link not checked
};

struct Target {
    std::string Url;     // what is fetched, with its real scheme
    std::string Written; // how it is written in the map
    State Status = State::Pending;
    bool External = false;
    bool Responded = false;
    int HttpStatus = 0;
    int AliasOf = -1;
};

enum class RefKind : unsigned char { Link, Image, Mail };

struct Ref {
    RefKind Kind;
    int Index; // target, or mail address for Mail
};

struct PageNode {
    int TargetIndex;
    int Parent;
    int Depth;
    std::vector<int> Children;
    std::vector<Ref> Refs;
};

struct ResolvedLink {
    LinkKind Kind;
    std::optional<Url> Address; // an http(s) URL
    std::string Mail;           // "mailto:" + address
    std::string Invalid;        // an http(s) reference that cannot be parsed
};

enum class JobKind : unsigned char { Page, Check };

struct Job {
    JobKind Kind = JobKind::Page;
    int TargetIndex = -1; // the target being fetched now (moves along redirects)
    int FirstTarget = -1; // the target the link named
    int ParentPage = -1;
    int Depth = 0;
    long Seq = -1; // order of page jobs: results are taken in this order
    int Hops = 0;
    int Retries = 0;
    bool Head = false;
    std::vector<int> Chain; // targets visited through redirects
};

// What reading one page's body gives: computed on a parse thread, from the body
// and the page URL alone, so the result does not depend on timing.
struct ParsedPage {
    bool Binary = false;             // not text: listed as a link, not as a page
    bool LongLinkCut = false;        // a reference longer than the URL limit was left out
    bool ExtractorsDisagree = false; // checked only when asked to
    size_t BodyHash = 0;
    size_t BodySize = 0;
    std::vector<ResolvedLink> Links;
};

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

// A finished page job waiting for its turn. A page whose body is still being read
// on a parse thread is not Ready; pages are taken strictly in sequence order.
struct Finished {
    Job Work;
    bool Ready = true;
    bool IsPage = false;
    ParsedPage Parsed;
};

// Threads that read page bodies. Results come back through Take(); Wake is called
// after each one so the crawl loop's wait ends at once.
class ParsePool {
  public:
    struct Task {
        long Seq;
        std::string Body;
        std::string PageUrl;
    };
    struct Result {
        long Seq;
        ParsedPage Parsed;
    };

    ParsePool(int threads, size_t maxUrlLength, bool verify, std::function<void()> wake)
        : MaxUrlLength(maxUrlLength), Verify(verify), Wake(std::move(wake)) {
        for (int i = 0; i < threads; ++i)
            Threads.emplace_back([this] { Work(); });
    }
    ~ParsePool() {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Closing = true;
        }
        More.notify_all();
        for (std::thread& thread : Threads)
            thread.join();
    }
    void Add(Task task) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Tasks.push_back(std::move(task));
        }
        More.notify_one();
    }
    std::vector<Result> Take() {
        std::lock_guard<std::mutex> guard(Lock);
        std::vector<Result> results = std::move(Done);
        Done.clear();
        return results;
    }

  private:
    void Work() {
        while (true) {
            Task task;
            {
                std::unique_lock<std::mutex> guard(Lock);
                More.wait(guard, [this] { return Closing || !Tasks.empty(); });
                if (Tasks.empty())
                    return;
                task = std::move(Tasks.front());
                Tasks.pop_front();
            }
            Result result{task.Seq, ParsePage(task.Body, task.PageUrl, MaxUrlLength, Verify)};
            {
                std::lock_guard<std::mutex> guard(Lock);
                Done.push_back(std::move(result));
            }
            Wake();
        }
    }

    const size_t MaxUrlLength;
    const bool Verify;
    const std::function<void()> Wake;
    std::mutex Lock;
    std::condition_variable More;
    std::deque<Task> Tasks;
    std::vector<Result> Done;
    bool Closing = false;
    std::vector<std::thread> Threads;
};

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;

struct Transfer;

struct Scope {
    std::string Authority;
    std::string Prefix; // path folder, ends with '/'
};

class Crawl {
  public:
    Crawl(const CrawlOptions& options, std::ostream& log, const std::atomic<bool>* stop)
        : Options(options), Log(log), Stop(stop) {}
    CrawlResult Run();

    // called from the write callback
    size_t OnData(Transfer& transfer, const char* data, size_t size);

  private:
    struct Completion {
        CURLcode Code;
        long Status;
        std::string RedirectUrl;
        std::string ContentType;
    };

    bool InScope(const Url& url) const;
    void AddScope(const Url& url);
    bool RobotsAllow(const Url& url);
    void FetchRobots(const std::string& scheme, const std::string& authority);
    int NewTarget(const Url& url, bool external);
    int ExternalTarget(const Url& url);
    int InternalTarget(const Url& url, bool forPage, int depth, int parentPage);
    void EnqueuePage(int target, int parentPage, int depth);
    void EnqueueCheck(int target);

    void Dispatch();
    void Start(Job job, bool siteSlot);
    void Restart(std::unique_ptr<Transfer> transfer);
    void OnDone(CURL* easy, CURLcode code);
    void FinishPage(std::unique_ptr<Transfer> transfer, const Completion& done);
    void FinishCheck(std::unique_ptr<Transfer> transfer, const Completion& done);
    void Release(std::unique_ptr<Transfer> transfer);
    void OnParsed(long seq, ParsedPage parsed);
    void TakeParsed();
    void TakeFinishedInOrder();
    void AddPage(Finished& finished);
    bool DuplicateOfFolderPage(int target, const ParsedPage& parsed);
    bool TrapCut(const Url& url);
    void WatchSiteWait(CURL* easy);
    void DeclareHostDead(const std::string& host, const std::string& why);
    void Note(const std::string& text);
    void NoteOnce(bool& flag, const std::string& text);
    void ReportLeftOut(CrawlResult& result);
    void ShowProgress(bool force);
    int Final(int target) const;
    std::vector<std::string> WriteMap(CrawlResult& result) const;

    const CrawlOptions& Options;
    std::ostream& Log;
    const std::atomic<bool>* Stop;

    MultiPtr Multi;
    std::vector<EasyPtr> IdleHandles;
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> Active;

    std::vector<Target> Targets;
    std::unordered_map<std::string, int> PageKeys;     // site URLs met as links
    std::unordered_map<std::string, int> ImageKeys;    // site URLs met only as images
    std::unordered_map<std::string, int> ExternalKeys; // other URLs by full text
    std::unordered_map<std::string, int> InvalidKeys;
    std::vector<std::string> Mails;
    std::unordered_map<std::string, int> MailKeys;
    std::vector<PageNode> Pages;

    std::vector<Scope> Scopes;
    std::map<std::string, RobotsRules> Robots; // by authority

    std::deque<Job> Frontier;   // page jobs in breadth-first order
    std::deque<Job> SiteChecks; // images of the site
    struct HostQueue {
        std::deque<Job> Waiting;
        int InFlight = 0;
        bool Answered = false; // some request to the host got an answer
        bool Dead = false;     // timed out or refused before any answer
    };
    std::unordered_map<std::string, HostQueue> ExternalHosts;
    std::deque<std::string> ReadyHosts;
    int SiteInFlight = 0, ExternalInFlight = 0;

    // Connections to the site: fewer when its answers start to queue.
    int SiteLimit = 16;
    bool SiteAnswered = false;
    double BaselineWait = -1; // shortest server wait seen, seconds
    int QuickAnswers = 0;     // answers near the baseline since the last change
    SteadyClock::time_point LastSlowDown;

    long NextSeq = 0, NextToTake = 0;
    std::map<long, Finished> Waiting;
    size_t PagesQueued = 0;
    std::unique_ptr<ParsePool> Parser;
    size_t ParsesPending = 0;

    // Folder URLs and their index files: key of the folder -> first page's target
    // and body hash, so a page met under both names is listed once.
    struct FolderPage {
        int Target;
        size_t Hash, Size;
    };
    std::unordered_map<std::string, FolderPage> FolderPages;
    std::unordered_map<std::string, size_t> QueryPages; // authority + path -> pages

    SteadyClock::time_point Began, LastProgress;
    bool PageLimitNoted = false, DepthLimitNoted = false, UrlLimitNoted = false,
         SizeLimitNoted = false, TimeLimitNoted = false, TimeoutNoted = false,
         QueryLimitNoted = false, RepeatNoted = false, SlowDownNoted = false;
    bool TimeLimitHit = false;
    size_t PagesDone = 0, BrokenSeen = 0, RobotsSkipped = 0;
    size_t PageLimitCut = 0, DepthCut = 0, LongUrlCut = 0, QueryCut = 0, RepeatCut = 0,
           BinaryBodies = 0, DeadHostLinks = 0;
    std::vector<std::string> RobotsUnreadable; // hosts taken as "disallow all"
    int RootFallbackStatus = 0;                // the error of a root whose final "/" was dropped
};

struct Transfer {
    Crawl* Owner = nullptr;
    EasyPtr Easy;
    Job Work;
    std::string Body;
    bool Stopped = false;   // the write callback ended the body on purpose
    bool Truncated = false; // the document was longer than the limit
    bool Checked = false;   // status and type looked at
    bool Html = true;
    char Error[CURL_ERROR_SIZE] = {0};
};

size_t WriteCallback(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    return transfer->Owner->OnData(*transfer, data, size * count);
}

bool IsHtmlType(std::string_view type) {
    if (type.empty())
        return true; // no type given: look at it as a browser would, as HTML
    std::string lower(type.substr(0, type.find(';')));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    while (!lower.empty() && lower.back() == ' ')
        lower.pop_back();
    return lower == "text/html" || lower == "application/xhtml+xml";
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('/') + 1);
}

bool Retryable(CURLcode code) {
    return code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING ||
           code == CURLE_PARTIAL_FILE || code == CURLE_HTTP2 || code == CURLE_HTTP2_STREAM;
}

} // namespace

size_t Crawl::OnData(Transfer& transfer, const char* data, size_t size) {
    if (!transfer.Checked) {
        transfer.Checked = true;
        long status = 0;
        curl_easy_getinfo(transfer.Easy.get(), CURLINFO_RESPONSE_CODE, &status);
        if (transfer.Work.Kind == JobKind::Check || status >= 300 || status < 200) {
            transfer.Stopped = true; // the status is all that is needed
            return 0;
        }
        char* type = nullptr;
        curl_easy_getinfo(transfer.Easy.get(), CURLINFO_CONTENT_TYPE, &type);
        transfer.Html = IsHtmlType(type ? type : "");
        if (!transfer.Html) {
            transfer.Stopped = true;
            return 0;
        }
    }
    const size_t room =
        Options.MaxDocumentBytes - std::min(Options.MaxDocumentBytes, transfer.Body.size());
    if (size > room) {
        transfer.Body.append(data, room);
        transfer.Truncated = transfer.Stopped = true;
        return 0;
    }
    transfer.Body.append(data, size);
    return size;
}

void Crawl::Note(const std::string& text) {
    Log << "sm: " << text << std::endl;
}

void Crawl::NoteOnce(bool& flag, const std::string& text) {
    if (!flag) {
        flag = true;
        Note(text);
    }
}

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

void Crawl::FetchRobots(const std::string& scheme, const std::string& authority) {
    if (!Options.Robots || Robots.count(authority))
        return;
    RobotsRules& rules = Robots[authority];
    // The first 512 KiB are read and obeyed; the rest of a larger file is not fetched.
    constexpr size_t readLimit = 512 * 1024;
    struct Body {
        std::string Text;
        bool Cut = false;
    } body;
    EasyPtr easy(curl_easy_init());
    const std::string url = scheme + "://" + authority + "/robots.txt";
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, Options.RequestTimeoutMs);
    curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT_MS, Options.ConnectTimeoutMs);
    curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, Options.UserAgent.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(
        easy.get(), CURLOPT_WRITEFUNCTION,
        +[](char* data, size_t size, size_t count, void* user) -> size_t {
            auto* read = static_cast<Body*>(user);
            const size_t length = size * count;
            const size_t room = readLimit - read->Text.size();
            if (length > room) {
                read->Text.append(data, room);
                read->Cut = true;
                return 0; // enough read: ends the transfer
            }
            read->Text.append(data, length);
            return length;
        });
    CURLcode code = curl_easy_perform(easy.get());
    if (code == CURLE_WRITE_ERROR && body.Cut)
        code = CURLE_OK;
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK && status >= 200 && status < 300) {
        if (body.Cut) {
            // a rule cut in the middle is not a rule: keep whole lines only
            const size_t lineEnd = body.Text.find_last_of("\r\n");
            body.Text.resize(lineEnd == std::string::npos ? 0 : lineEnd + 1);
            Note("robots.txt of " + authority +
                 " is larger than 512 KiB; its first 512 KiB are "
                 "obeyed");
        }
        rules = RobotsRules::Parse(body.Text, "webcharter");
        if (rules.RuleCount())
            Note("robots.txt of " + authority + ": " + std::to_string(rules.RuleCount()) +
                 " rule(s) for this crawler");
        return;
    }
    if (code == CURLE_OK && status >= 400 && status < 500)
        return; // no robots.txt: everything is allowed
    if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_CONNECT ||
        code == CURLE_TOO_MANY_REDIRECTS || code == CURLE_UNSUPPORTED_PROTOCOL)
        return; // the host is not there (its pages will say so) or the file is unreachable
    // A server error or no answer: the site's wishes are unknown, so nothing of it is
    // crawled this run, as the robots exclusion standard asks.
    rules = RobotsRules::Parse("User-agent: *\nDisallow: /\n", "webcharter");
    const std::string why = code == CURLE_OK ? "server error " + std::to_string(status)
                                             : std::string(curl_easy_strerror(code));
    RobotsUnreadable.push_back(authority + " (" + why + ")");
    Note("robots.txt of " + authority + " could not be read (" + why +
         "); nothing there is crawled this run");
}

bool Crawl::RobotsAllow(const Url& url) {
    if (!Options.Robots)
        return true;
    const auto found = Robots.find(url.Authority());
    if (found == Robots.end())
        return true;
    return found->second.Allowed(url.HasQuery ? url.Path + "?" + url.Query : url.Path);
}

int Crawl::NewTarget(const Url& url, bool external) {
    Target target;
    target.Url = url.ToString();
    target.Written = external ? target.Url : url.ToHttpString();
    target.External = external;
    Targets.push_back(std::move(target));
    return static_cast<int>(Targets.size() - 1);
}

int Crawl::ExternalTarget(const Url& url) {
    std::string key = url.ToString();
    if (const auto found = ExternalKeys.find(key); found != ExternalKeys.end())
        return found->second;
    const int index = NewTarget(url, true);
    ExternalKeys.emplace(std::move(key), index);
    if (Options.CheckExternal)
        EnqueueCheck(index);
    else
        Targets[index].Status = State::Unchecked;
    return index;
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
    } else if (PagesQueued >= Options.MaxPages) {
        Targets[index].Status = State::Skipped;
        ++PageLimitCut;
        NoteOnce(PageLimitNoted, "page limit of " + std::to_string(Options.MaxPages) +
                                     " pages reached; further pages are left out");
    } else if (TrapCut(url)) {
        Targets[index].Status = State::Skipped;
    } else {
        EnqueuePage(index, parentPage, depth);
    }
    (forPage ? PageKeys : ImageKeys).emplace(std::move(key), index);
    return index;
}

// The most times one segment occurs in a path ("/a/b/a/b/a/" holds "a" three times).
int RepeatedSegments(std::string_view path) {
    std::unordered_map<std::string_view, int> counts;
    int most = 0;
    size_t begin = 1;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > begin) // a folder's final "/" leaves an empty last segment: not counted
            most = std::max(most, ++counts[path.substr(begin, end - begin)]);
        begin = end + 1;
    }
    return most;
}

bool Crawl::TrapCut(const Url& url) {
    if (url.ToString().size() > Options.MaxUrlLength) {
        ++LongUrlCut;
        NoteOnce(UrlLimitNoted, "links longer than " + std::to_string(Options.MaxUrlLength) +
                                    " characters are left out");
        return true;
    }
    if (RepeatedSegments(url.Path) > Options.MaxSegmentRepeats) {
        ++RepeatCut;
        NoteOnce(RepeatNoted, "URLs whose path repeats one segment more than " +
                                  std::to_string(Options.MaxSegmentRepeats) +
                                  " times are left out (" + url.ToString() + ")");
        return true;
    }
    if (url.HasQuery) {
        size_t& count = QueryPages[url.Authority() + url.Path];
        if (count >= Options.MaxQueryPages) {
            ++QueryCut;
            NoteOnce(QueryLimitNoted, "more than " + std::to_string(Options.MaxQueryPages) +
                                          " pages of " + url.Authority() + url.Path +
                                          " with differing query strings; the rest are left out");
            return true;
        }
        ++count;
    }
    return false;
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

void Crawl::EnqueueCheck(int target) {
    Job job;
    job.Kind = JobKind::Check;
    job.TargetIndex = job.FirstTarget = target;
    job.Head = true;
    if (!Targets[target].External) {
        SiteChecks.push_back(std::move(job));
        return;
    }
    const std::string host = ParseUrl(Targets[target].Url)->Authority();
    HostQueue& queue = ExternalHosts[host];
    if (queue.Dead) {
        Targets[target].Status = State::Broken; // reported with the host's first time-out
        ++BrokenSeen;
        ++DeadHostLinks;
        return;
    }
    queue.Waiting.push_back(std::move(job));
    if (queue.InFlight < Options.PerExternalHost)
        ReadyHosts.push_back(host);
}

void Crawl::Dispatch() {
    // Bodies waiting for a parse thread hold memory: fetch no more pages while many
    // wait, so memory stays bounded whatever the speed of the site.
    const size_t parseBacklog = 64;
    while (SiteInFlight < SiteLimit && (!Frontier.empty() || !SiteChecks.empty())) {
        const bool pageRoom = ParsesPending < parseBacklog;
        if (!pageRoom && SiteChecks.empty())
            break;
        std::deque<Job>& from = !Frontier.empty() && pageRoom ? Frontier : SiteChecks;
        Job job = std::move(from.front());
        from.pop_front();
        Start(std::move(job), true);
    }
    while (ExternalInFlight < Options.ExternalConcurrency && !ReadyHosts.empty()) {
        const std::string host = std::move(ReadyHosts.front());
        ReadyHosts.pop_front();
        HostQueue& queue = ExternalHosts[host];
        if (queue.Waiting.empty() || queue.InFlight >= Options.PerExternalHost)
            continue;
        Job job = std::move(queue.Waiting.front());
        queue.Waiting.pop_front();
        ++queue.InFlight;
        if (!queue.Waiting.empty() && queue.InFlight < Options.PerExternalHost)
            ReadyHosts.push_back(host);
        Start(std::move(job), false);
    }
}

void Crawl::Start(Job job, bool siteSlot) {
    auto transfer = std::make_unique<Transfer>();
    transfer->Owner = this;
    transfer->Work = std::move(job);
    if (!IdleHandles.empty()) {
        transfer->Easy = std::move(IdleHandles.back());
        IdleHandles.pop_back();
    } else {
        transfer->Easy.reset(curl_easy_init());
    }
    (siteSlot ? SiteInFlight : ExternalInFlight) += 1;
    Restart(std::move(transfer));
}

void Crawl::Restart(std::unique_ptr<Transfer> transfer) {
    CURL* easy = transfer->Easy.get();
    curl_easy_reset(easy);
    transfer->Body.clear();
    transfer->Stopped = transfer->Truncated = transfer->Checked = false;
    transfer->Html = true;
    transfer->Error[0] = 0;
    const Job& job = transfer->Work;
    curl_easy_setopt(easy, CURLOPT_URL, Targets[job.TargetIndex].Url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->Error);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, Options.RequestTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, Options.ConnectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, Options.UserAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    // HTTP/2 where TLS offers it. No waiting for a connection to multiplex on: a
    // server that closes after each answer would hold every other transfer back.
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if (job.Kind == JobKind::Check) {
        // Checks follow redirects themselves; a loop ends in too many redirects.
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(Options.MaxRedirects));
        if (job.Head)
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    }
    curl_multi_add_handle(Multi.get(), easy);
    Active.emplace(easy, std::move(transfer));
}

void Crawl::Release(std::unique_ptr<Transfer> transfer) {
    const bool external = Targets[transfer->Work.FirstTarget].External;
    if (external) {
        --ExternalInFlight;
        const std::string host = ParseUrl(Targets[transfer->Work.FirstTarget].Url)->Authority();
        HostQueue& queue = ExternalHosts[host];
        --queue.InFlight;
        // The host's next check goes first, on the connection just freed, before
        // the cache closes it for another host's.
        if (!queue.Waiting.empty())
            ReadyHosts.push_front(host);
    } else {
        --SiteInFlight;
    }
    IdleHandles.push_back(std::move(transfer->Easy));
}

void Crawl::OnDone(CURL* easy, CURLcode code) {
    curl_multi_remove_handle(Multi.get(), easy);
    auto found = Active.find(easy);
    std::unique_ptr<Transfer> transfer = std::move(found->second);
    Active.erase(found);
    Completion done;
    done.Code = code;
    if (transfer->Stopped && code == CURLE_WRITE_ERROR)
        done.Code = CURLE_OK;
    if (transfer->Truncated)
        NoteOnce(SizeLimitNoted, "document size limit of " +
                                     std::to_string(Options.MaxDocumentBytes) + " bytes reached (" +
                                     Targets[transfer->Work.TargetIndex].Url +
                                     "); only the first part is read");
    if (code == CURLE_OPERATION_TIMEDOUT)
        NoteOnce(TimeoutNoted, "request time limit of " + std::to_string(Options.RequestTimeoutMs) +
                                   " ms reached (" + Targets[transfer->Work.TargetIndex].Url + ")");
    done.Status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &done.Status);
    char* redirect = nullptr;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &redirect);
    if (redirect)
        done.RedirectUrl = redirect;
    if (Options.Verbose && (done.Code != CURLE_OK || done.Status >= 400))
        Note(
            Targets[transfer->Work.TargetIndex].Url + ": " +
            (done.Code != CURLE_OK
                 ? std::string(transfer->Error[0] ? transfer->Error : curl_easy_strerror(done.Code))
                 : "HTTP status " + std::to_string(done.Status)));
    if (transfer->Work.Kind == JobKind::Page)
        FinishPage(std::move(transfer), done);
    else
        FinishCheck(std::move(transfer), done);
}

void Crawl::DeclareHostDead(const std::string& host, const std::string& why) {
    HostQueue& queue = ExternalHosts[host];
    queue.Dead = true;
    const size_t others = queue.Waiting.size();
    for (Job& job : queue.Waiting) {
        Targets[job.TargetIndex].Status = State::Broken;
        ++BrokenSeen;
    }
    DeadHostLinks += others;
    queue.Waiting.clear();
    if (Options.Verbose || others)
        Note(host + ": " + why + "; its " + std::to_string(others) +
             " other link(s) are reported broken with it");
}

void Crawl::FinishCheck(std::unique_ptr<Transfer> transfer, const Completion& done) {
    Job& job = transfer->Work;
    Target& target = Targets[job.TargetIndex];
    const bool failed = done.Code != CURLE_OK || done.Status >= 400;
    if (failed && job.Head && done.Code != CURLE_COULDNT_RESOLVE_HOST &&
        done.Code != CURLE_COULDNT_CONNECT && done.Code != CURLE_OPERATION_TIMEDOUT &&
        done.Code != CURLE_TOO_MANY_REDIRECTS) {
        job.Head = false; // some servers refuse HEAD: ask again with GET
        Restart(std::move(transfer));
        return;
    }
    target.Responded = done.Status > 0;
    if (done.Code != CURLE_OK || done.Status == 0) {
        target.Status = State::Broken;
        ++BrokenSeen;
    } else if (done.Status >= 400) {
        target.Status = State::HttpError;
        target.HttpStatus = static_cast<int>(done.Status);
        ++BrokenSeen;
    } else {
        target.Status = State::Resource;
    }
    if (target.External) {
        // A host that never answered and has now timed out (or refused) costs one
        // time-out: its other links are reported broken without waiting for each.
        const std::string host = ParseUrl(target.Url)->Authority();
        HostQueue& queue = ExternalHosts[host];
        if (done.Status > 0)
            queue.Answered = true;
        else if (!queue.Answered && !queue.Dead &&
                 (done.Code == CURLE_OPERATION_TIMEDOUT || done.Code == CURLE_COULDNT_CONNECT))
            DeclareHostDead(host, done.Code == CURLE_OPERATION_TIMEDOUT ? "no answer in time"
                                                                        : "connection refused");
    } else if (done.Status > 0) {
        SiteAnswered = true;
    }
    Release(std::move(transfer));
}

void Crawl::WatchSiteWait(CURL* easy) {
    // The server's wait: from the request sent to the first byte of the answer.
    curl_off_t sent = 0, first = 0;
    if (curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &sent) != CURLE_OK ||
        curl_easy_getinfo(easy, CURLINFO_STARTTRANSFER_TIME_T, &first) != CURLE_OK || first <= 0)
        return;
    const double wait = static_cast<double>(first - sent) / 1e6;
    if (BaselineWait < 0 || wait < BaselineWait)
        BaselineWait = wait;
    const auto now = SteadyClock::now();
    if (wait > 4 * BaselineWait + 0.5) {
        // Answers are queuing at the server: fewer connections at once, at most one
        // step a second so that the transfers already queued can drain.
        QuickAnswers = 0;
        if (SiteLimit > 2 && now - LastSlowDown > std::chrono::seconds(1)) {
            LastSlowDown = now;
            SiteLimit = std::max(2, SiteLimit - std::max(1, SiteLimit / 4));
            NoteOnce(SlowDownNoted, "the site's answers are queuing; fewer requests at once");
        }
    } else if (wait < 2 * BaselineWait + 0.05 && SiteLimit < Options.Concurrency &&
               ++QuickAnswers >= 32) {
        QuickAnswers = 0;
        ++SiteLimit;
    }
}

void Crawl::FinishPage(std::unique_ptr<Transfer> transfer, const Completion& done) {
    Job& job = transfer->Work;
    const int current = job.TargetIndex;
    // Targets grows below (redirect targets, externals): always index it afresh.
    auto target = [this, current]() -> Target& { return Targets[current]; };
    Finished finished;
    if (done.Code != CURLE_OK && Retryable(done.Code) && job.Retries < 1) {
        ++job.Retries; // a reset or a dropped keep-alive connection: try once more
        Restart(std::move(transfer));
        return;
    }
    if (done.Code == CURLE_OPERATION_TIMEDOUT && SiteAnswered && job.Retries < 1) {
        // The site answers, so this page most likely waited in the server's queue:
        // ask again once, with fewer requests at once.
        ++job.Retries;
        SiteLimit = std::max(2, SiteLimit / 2);
        LastSlowDown = SteadyClock::now();
        NoteOnce(SlowDownNoted, "the site's answers are queuing; fewer requests at once");
        Restart(std::move(transfer));
        return;
    }
    if (done.Status > 0) {
        SiteAnswered = true;
        WatchSiteWait(transfer->Easy.get());
    }
    target().Responded = done.Status > 0;
    const Url* rootFallback = nullptr;
    std::optional<Url> withoutSlash;
    if (job.Seq == 0 && job.Hops == 0 && done.Code == CURLE_OK && done.Status >= 400 &&
        RootFallbackStatus == 0) {
        // A root that names a page, written with a final "/" ("/index.html/"): the
        // same URL without that "/" may be the page meant.
        withoutSlash = ParseUrl(target().Url);
        if (withoutSlash && withoutSlash->Path.size() > 1 && withoutSlash->Path.back() == '/' &&
            !withoutSlash->HasQuery) {
            withoutSlash->Path.pop_back();
            rootFallback = &*withoutSlash;
        }
    }
    if (rootFallback) {
        RootFallbackStatus = static_cast<int>(done.Status);
        Note("the root " + target().Url + " answers " + std::to_string(done.Status) + "; trying " +
             rootFallback->ToString() + " instead");
        AddScope(*rootFallback);
        const int index = NewTarget(*rootFallback, false);
        PageKeys.emplace(rootFallback->Key(), index);
        target().Status = State::Alias;
        target().AliasOf = index;
        if (!RobotsAllow(*rootFallback)) {
            Targets[index].Status = State::Skipped;
            ++RobotsSkipped;
        } else {
            job.TargetIndex = index;
            job.Chain.push_back(index);
            Restart(std::move(transfer));
            return;
        }
    } else if (done.Code != CURLE_OK && !(done.Code == CURLE_WRITE_ERROR && transfer->Truncated)) {
        target().Status = State::Broken;
        ++BrokenSeen;
    } else if (done.Status >= 300 && done.Status < 400 && !done.RedirectUrl.empty()) {
        const std::optional<Url> next = ParseUrl(done.RedirectUrl);
        if (!next || job.Hops + 1 > Options.MaxRedirects) {
            target().Status = State::Broken;
            ++BrokenSeen;
        } else {
            // The root may move to another host or folder: that is still the site.
            if (job.Seq == 0 && !InScope(*next))
                AddScope(*next);
            if (!InScope(*next)) {
                const int outside = ExternalTarget(*next);
                target().Status = State::Alias;
                target().AliasOf = outside;
            } else {
                const std::string key = next->Key();
                const auto known = PageKeys.find(key);
                if (known != PageKeys.end()) {
                    const bool loop = std::find(job.Chain.begin(), job.Chain.end(),
                                                known->second) != job.Chain.end();
                    target().Status = loop ? State::Broken : State::Alias;
                    target().AliasOf = loop ? -1 : known->second;
                    if (loop)
                        ++BrokenSeen;
                } else {
                    const int index = NewTarget(*next, false);
                    PageKeys.emplace(key, index);
                    target().Status = State::Alias;
                    target().AliasOf = index;
                    if (!RobotsAllow(*next)) {
                        Targets[index].Status = State::Skipped;
                        ++RobotsSkipped;
                    } else {
                        job.TargetIndex = index;
                        job.Chain.push_back(index);
                        ++job.Hops;
                        job.Retries = 0;
                        Restart(std::move(transfer));
                        return;
                    }
                }
            }
        }
    } else if (done.Status >= 400) {
        target().Status = State::HttpError;
        target().HttpStatus = static_cast<int>(done.Status);
        ++BrokenSeen;
    } else if (done.Status < 200 || done.Status >= 300) {
        target().Status = State::Broken; // a redirect without a target, or no status at all
        ++BrokenSeen;
    } else if (!transfer->Html) {
        target().Status = State::Resource;
    } else {
        // An HTML answer: read on a parse thread; whether it is a page (text, not
        // binary data) is known when that is done.
        finished.Ready = false;
        ++ParsesPending;
        Parser->Add({job.Seq, std::move(transfer->Body), target().Url});
    }
    finished.Work = std::move(transfer->Work);
    const long seq = finished.Work.Seq;
    Release(std::move(transfer));
    Waiting.emplace(seq, std::move(finished));
}

void Crawl::OnParsed(long seq, ParsedPage parsed) {
    --ParsesPending;
    Finished& finished = Waiting.at(seq);
    finished.Ready = true;
    Target& target = Targets[finished.Work.TargetIndex];
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
    Pages[pageIndex].Refs = std::move(refs);
}

int Crawl::Final(int target) const {
    for (int hops = 0; target >= 0 && hops < 64; ++hops) {
        if (Targets[target].Status != State::Alias)
            return target;
        target = Targets[target].AliasOf;
    }
    return -1; // a loop of aliases: a redirect loop
}

void Crawl::ShowProgress(bool force) {
    if (!Options.Progress)
        return;
    const auto now = SteadyClock::now();
    if (!force && now - LastProgress < std::chrono::seconds(1))
        return;
    LastProgress = now;
    Log << "sm: " << PagesDone << " pages done, "
        << (Frontier.size() + static_cast<size_t>(SiteInFlight)) << " queued, " << BrokenSeen
        << " broken" << std::endl;
}

std::vector<std::string> Crawl::WriteMap(CrawlResult& result) const {
    std::vector<std::string> lines;
    lines.push_back("<ROOT>http://" + EscapeUrlText(Options.SearchUrl));
    if (Pages.empty()) {
        const Target& root = Targets.empty() ? Target{} : Targets[0];
        const int last = Targets.empty() ? -1 : Final(0);
        if (Targets.empty() || (!root.Responded && root.Status == State::Broken)) {
            lines.push_back("Unspecified Host");
        } else if (RootFallbackStatus) {
            // neither the root as given nor without its final "/" is a page
            lines.push_back("<ERROR>" + root.Written + " " + std::to_string(RootFallbackStatus));
        } else if (last >= 0 && Targets[last].Status == State::HttpError) {
            lines.push_back("<ERROR>" + Targets[last].Written + " " +
                            std::to_string(Targets[last].HttpStatus));
        } else if (last < 0 || Targets[last].Status == State::Broken) {
            lines.push_back("<BROKEN>" + root.Written);
        } else {
            lines.push_back("<PAGE>" + Targets[last].Written);
        }
        lines.push_back("<END>");
        return lines;
    }
    // Depth-first over the page tree, iteratively; each page's children are its
    // pages, then its external links, e-mail addresses, broken links and errors.
    struct Frame {
        int Page;
        size_t NextChild;
        std::string Base;
    };
    std::vector<Frame> stack;
    auto open = [&](int page, const std::string& parentBase) {
        const std::string& url = Targets[Pages[page].TargetIndex].Written;
        const std::string caption = PageCaption(parentBase, url);
        lines.push_back("<PAGE>" + caption);
        ++result.Pages;
        stack.push_back({page, 0, AncestorBase(parentBase, caption)});
        const PageNode& node = Pages[page];
        bool hasFindings = false;
        for (const Ref& ref : node.Refs) {
            if (ref.Kind == RefKind::Mail) {
                hasFindings = true;
                break;
            }
            const int last = Final(ref.Index);
            const State state = last < 0 ? State::Broken : Targets[last].Status;
            if (state == State::Broken || state == State::HttpError ||
                (ref.Kind == RefKind::Link && Targets[last].External)) {
                hasFindings = true;
                break;
            }
        }
        if (!node.Children.empty() || hasFindings)
            lines.push_back("<PUSH>");
        else
            stack.back().NextChild = static_cast<size_t>(-1); // nothing nested
    };
    auto findings = [&](const PageNode& node) {
        std::vector<std::string> external, mail, broken, errors;
        std::unordered_set<std::string> written;
        for (const Ref& ref : node.Refs) {
            std::string line;
            if (ref.Kind == RefKind::Mail) {
                line = "<MAILTO>" + Mails[ref.Index];
                if (written.insert(line).second)
                    mail.push_back(line);
                continue;
            }
            const int last = Final(ref.Index);
            const Target& named = Targets[ref.Index];
            const State state = last < 0 ? State::Broken : Targets[last].Status;
            if (state == State::Broken) {
                line = "<BROKEN>" + named.Written;
                if (written.insert(line).second)
                    broken.push_back(line);
            } else if (state == State::HttpError) {
                if (ref.Kind == RefKind::Image)
                    line = "<BROKEN>" + named.Written;
                else
                    line =
                        "<ERROR>" + named.Written + " " + std::to_string(Targets[last].HttpStatus);
                if (written.insert(line).second)
                    (ref.Kind == RefKind::Image ? broken : errors).push_back(line);
            } else if (ref.Kind == RefKind::Link && Targets[last].External) {
                // a page of the site that moved off-site is listed where it ends
                line = "<LINK>" + Targets[last].Written;
                if (written.insert(line).second)
                    external.push_back(line);
            }
        }
        result.External += external.size();
        result.Mail += mail.size();
        result.Broken += broken.size();
        result.Errors += errors.size();
        for (auto* group : {&external, &mail, &broken, &errors})
            lines.insert(lines.end(), group->begin(), group->end());
    };
    open(0, "");
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const PageNode& node = Pages[frame.Page];
        if (frame.NextChild == static_cast<size_t>(-1)) {
            stack.pop_back();
            continue;
        }
        if (frame.NextChild < node.Children.size()) {
            const int child = node.Children[frame.NextChild++];
            const std::string base = frame.Base;
            open(child, base);
            continue;
        }
        findings(node);
        lines.push_back("<POP>");
        stack.pop_back();
    }
    lines.push_back("<END>");
    return lines;
}

CrawlResult Crawl::Run() {
    CrawlResult result;
    Began = LastProgress = SteadyClock::now();
    std::string start = Options.SearchUrl;
    if (ReferenceScheme(start) != "http" && ReferenceScheme(start) != "https")
        start = "http://" + start;
    const std::optional<Url> root = Options.SearchUrl.empty() ? std::nullopt : ParseUrl(start);
    if (!root) {
        Note("cannot read the root URL \"" + EscapeUrlText(Options.SearchUrl) + "\"");
        result.Lines = {"<ROOT>http://" + EscapeUrlText(Options.SearchUrl), "Unspecified Host",
                        "<END>"};
        return result;
    }
    Multi.reset(curl_multi_init());
    curl_multi_setopt(Multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    // Room to keep a connection to every site slot and every outside host in use.
    curl_multi_setopt(Multi.get(), CURLMOPT_MAXCONNECTS,
                      static_cast<long>(Options.Concurrency +
                                        Options.ExternalConcurrency * Options.PerExternalHost +
                                        16));
    SiteLimit = Options.Concurrency;
    int threads = Options.ParseThreads > 0 ? Options.ParseThreads
                                           : static_cast<int>(std::thread::hardware_concurrency());
    CURLM* multi = Multi.get();
    Parser =
        std::make_unique<ParsePool>(std::clamp(threads, 1, 64), Options.MaxUrlLength,
                                    Options.VerifyLinks, [multi] { curl_multi_wakeup(multi); });
    AddScope(*root);
    const int rootTarget = NewTarget(*root, false);
    PageKeys.emplace(root->Key(), rootTarget);
    if (!RobotsAllow(*root)) {
        Note("robots.txt of " + root->Authority() + " forbids the root page; nothing is crawled");
        Targets[rootTarget].Status = State::Skipped;
        Targets[rootTarget].Responded = true;
        ++RobotsSkipped;
    } else {
        EnqueuePage(rootTarget, -1, 0);
    }
    while (true) {
        if (Stop && Stop->load()) {
            result.Interrupted = true;
            break;
        }
        if (Options.MaxRunSeconds > 0 &&
            std::chrono::duration<double>(SteadyClock::now() - Began).count() >
                Options.MaxRunSeconds) {
            NoteOnce(TimeLimitNoted, "run time limit of " + std::to_string(Options.MaxRunSeconds) +
                                         " s reached; the map holds what was found so far");
            TimeLimitHit = true;
            break;
        }
        TakeParsed();
        TakeFinishedInOrder();
        Dispatch();
        if (Active.empty() && ParsesPending == 0)
            break;
        int running = 0;
        curl_multi_perform(Multi.get(), &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(Multi.get(), &left))
            if (message->msg == CURLMSG_DONE)
                OnDone(message->easy_handle, message->data.result);
        TakeFinishedInOrder();
        ShowProgress(false);
        TakeParsed();
        TakeFinishedInOrder();
        Dispatch();
        if (!Active.empty() || ParsesPending)
            curl_multi_poll(Multi.get(), nullptr, 0, 100, nullptr);
    }
    // Transfers cut off by a limit or a stop: their pages are not listed.
    for (auto& [easy, transfer] : Active)
        curl_multi_remove_handle(Multi.get(), easy);
    Active.clear();
    if (result.Interrupted)
        return result;
    // Pages being read are waited for (there are few); pages finished after one
    // that was cut off are still taken, in order.
    while (ParsesPending) {
        TakeParsed();
        if (ParsesPending)
            curl_multi_poll(Multi.get(), nullptr, 0, 100, nullptr);
    }
    while (!Waiting.empty()) {
        NextToTake = Waiting.begin()->first;
        TakeFinishedInOrder();
    }
    ShowProgress(true);
    result.RootReached = !Pages.empty();
    result.Lines = WriteMap(result);
    ReportLeftOut(result);
    return result;
}

void Crawl::ReportLeftOut(CrawlResult& result) {
    auto add = [&](size_t count, const std::string& why) {
        if (count)
            result.LeftOut.push_back(std::to_string(count) + " " + why);
    };
    if (TimeLimitHit)
        result.LeftOut.push_back("the run time limit of " +
                                 std::to_string(static_cast<long>(Options.MaxRunSeconds)) +
                                 " s was reached before the whole site was mapped");
    add(PageLimitCut, "page(s) beyond the page limit of " + std::to_string(Options.MaxPages));
    add(RobotsSkipped, "URL(s) excluded by the site's robots.txt");
    for (const std::string& host : RobotsUnreadable)
        result.LeftOut.push_back("everything on " + host +
                                 ": its robots.txt could not be read, so nothing there was "
                                 "crawled");
    add(DepthCut, "page(s) deeper than " + std::to_string(Options.MaxDepth) + " levels");
    add(QueryCut, "page(s) beyond " + std::to_string(Options.MaxQueryPages) +
                      " of one path with differing query strings (a likely crawler trap)");
    add(RepeatCut, "URL(s) repeating one path segment more than " +
                       std::to_string(Options.MaxSegmentRepeats) +
                       " times (a likely crawler trap)");
    add(LongUrlCut, "link(s) longer than " + std::to_string(Options.MaxUrlLength) + " characters");
    for (const std::string& line : result.LeftOut)
        Log << "sm: left out: " << line << std::endl;
}

CrawlResult CrawlSite(const CrawlOptions& options, std::ostream& log,
                      const std::atomic<bool>* stop) {
    Crawl crawl(options, log, stop);
    return crawl.Run();
}

bool WriteSiteMapFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error) {
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        error = "Cannot create file " + temporary;
        return false;
    }
    bool ok = true;
    for (const std::string& line : lines) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), file) == line.size() &&
             std::fwrite("\r\n", 1, 2, file) == 2;
    }
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) {
        std::remove(temporary.c_str());
        error = "Cannot write file " + temporary;
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "Cannot create file " + path;
        return false;
    }
    return true;
}

} // namespace vantora::webcharter
