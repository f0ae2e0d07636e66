#include "Crawler.h"

#include "Captions.h"
#include "Links.h"
#include "Robots.h"
#include "Url.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <optional>
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

// A finished page job waiting for its turn.
struct Finished {
    Job Work;
    bool IsPage = false;
    std::vector<ResolvedLink> Links;
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
    void TakeFinishedInOrder();
    void AddPage(Finished& finished);
    void Note(const std::string& text);
    void NoteOnce(bool& flag, const std::string& text);
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
    };
    std::unordered_map<std::string, HostQueue> ExternalHosts;
    std::deque<std::string> ReadyHosts;
    int SiteInFlight = 0, ExternalInFlight = 0;

    long NextSeq = 0, NextToTake = 0;
    std::map<long, Finished> Waiting;
    size_t PagesQueued = 0;

    SteadyClock::time_point Began, LastProgress;
    bool PageLimitNoted = false, DepthLimitNoted = false, UrlLimitNoted = false,
         SizeLimitNoted = false, TimeLimitNoted = false, TimeoutNoted = false;
    size_t PagesDone = 0, BrokenSeen = 0, RobotsSkipped = 0;
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
    EasyPtr easy(curl_easy_init());
    std::string body;
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
            auto* text = static_cast<std::string*>(user);
            if (text->size() > 512 * 1024)
                return 0; // robots.txt beyond 500 KiB is ignored
            text->append(data, size * count);
            return size * count;
        });
    const CURLcode code = curl_easy_perform(easy.get());
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK && status >= 200 && status < 300) {
        rules = RobotsRules::Parse(body, "webcharter");
        if (rules.RuleCount())
            Note("robots.txt of " + authority + ": " + std::to_string(rules.RuleCount()) +
                 " rule(s) for this crawler");
    }
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
        NoteOnce(DepthLimitNoted, "depth limit of " + std::to_string(Options.MaxDepth) +
                                      " levels reached; deeper pages are left out");
    } else if (PagesQueued >= Options.MaxPages) {
        Targets[index].Status = State::Skipped;
        NoteOnce(PageLimitNoted, "page limit of " + std::to_string(Options.MaxPages) +
                                     " pages reached; further pages are left out");
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
    queue.Waiting.push_back(std::move(job));
    if (queue.InFlight < Options.PerExternalHost)
        ReadyHosts.push_back(host);
}

void Crawl::Dispatch() {
    while (SiteInFlight < Options.Concurrency && (!Frontier.empty() || !SiteChecks.empty())) {
        std::deque<Job>& from = !Frontier.empty() ? Frontier : SiteChecks;
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
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
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
        if (!queue.Waiting.empty())
            ReadyHosts.push_back(host);
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
    Release(std::move(transfer));
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
    target().Responded = done.Status > 0;
    if (done.Code != CURLE_OK && !(done.Code == CURLE_WRITE_ERROR && transfer->Truncated)) {
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
        target().Status = State::Page;
        finished.IsPage = true;
        const std::optional<Url> pageUrl = ParseUrl(target().Url);
        DocumentLinks links = ExtractLinks(transfer->Body);
        Url base = *pageUrl;
        if (!links.BaseHref.empty())
            if (std::optional<Url> resolved = ResolveUrl(*pageUrl, links.BaseHref))
                base = std::move(*resolved);
        finished.Links.reserve(links.Links.size());
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
                if (reference.size() > Options.MaxUrlLength) {
                    NoteOnce(UrlLimitNoted, "links longer than " +
                                                std::to_string(Options.MaxUrlLength) +
                                                " characters are left out");
                    continue;
                }
                resolved.Address = ResolveUrl(base, reference);
                if (!resolved.Address)
                    resolved.Invalid = EscapeUrlText(reference);
            } else {
                continue; // javascript:, tel:, data:, ftp: and the like are not followed
            }
            finished.Links.push_back(std::move(resolved));
        }
    }
    if (finished.IsPage)
        ++PagesDone;
    finished.Work = std::move(transfer->Work);
    const long seq = finished.Work.Seq;
    Release(std::move(transfer));
    Waiting.emplace(seq, std::move(finished));
}

void Crawl::TakeFinishedInOrder() {
    while (!Waiting.empty() && Waiting.begin()->first == NextToTake) {
        Finished finished = std::move(Waiting.begin()->second);
        Waiting.erase(Waiting.begin());
        ++NextToTake;
        if (finished.IsPage)
            AddPage(finished);
    }
}

void Crawl::AddPage(Finished& finished) {
    const int pageIndex = static_cast<int>(Pages.size());
    Pages.push_back(
        {finished.Work.TargetIndex, finished.Work.ParentPage, finished.Work.Depth, {}, {}});
    if (finished.Work.ParentPage >= 0)
        Pages[finished.Work.ParentPage].Children.push_back(pageIndex);
    std::unordered_set<long long> seen;
    std::vector<Ref> refs;
    const int depth = finished.Work.Depth;
    for (ResolvedLink& link : finished.Links) {
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
                line = "<LINK>" + named.Written;
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
    curl_multi_setopt(Multi.get(), CURLMOPT_MAXCONNECTS,
                      static_cast<long>(Options.Concurrency + Options.ExternalConcurrency + 8));
    AddScope(*root);
    const int rootTarget = NewTarget(*root, false);
    PageKeys.emplace(root->Key(), rootTarget);
    if (!RobotsAllow(*root)) {
        Note("robots.txt of " + root->Authority() + " forbids the root page; nothing is crawled");
        Targets[rootTarget].Status = State::Skipped;
        Targets[rootTarget].Responded = true;
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
            break;
        }
        Dispatch();
        if (Active.empty())
            break;
        int running = 0;
        curl_multi_perform(Multi.get(), &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(Multi.get(), &left))
            if (message->msg == CURLMSG_DONE)
                OnDone(message->easy_handle, message->data.result);
        TakeFinishedInOrder();
        ShowProgress(false);
        Dispatch();
        if (!Active.empty())
            curl_multi_poll(Multi.get(), nullptr, 0, 100, nullptr);
    }
    // Transfers cut off by a limit or a stop: their pages are not listed.
    for (auto& [easy, transfer] : Active)
        curl_multi_remove_handle(Multi.get(), easy);
    Active.clear();
    // Pages finished after one that was cut off are still taken, in order.
    while (!Waiting.empty()) {
        NextToTake = Waiting.begin()->first;
        TakeFinishedInOrder();
    }
    if (RobotsSkipped)
        Note(std::to_string(RobotsSkipped) + " URL(s) left out as robots.txt asks");
    ShowProgress(true);
    result.RootReached = !Pages.empty();
    result.Lines = WriteMap(result);
    return result;
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
