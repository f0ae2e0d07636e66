#pragma once
// The state of one crawl, shared by the files that each do one job of it: the
// frontier (Frontier.cpp), the transfers (Transfers.cpp), robots.txt (RobotsTxt.cpp),
// trap bounds (Traps.cpp), checks of images and outside links (OutsideChecks.cpp)
// and the map writer (MapWriter.cpp); Crawler.cpp runs the loop.

#include "CompactStore.h"
#include "CrawlJournal.h"
#include "Crawler.h"
#include "FactsWriter.h"
#include "PageReading.h"
#include "Rendering.h"
#include "Robots.h"
#include "Url.h"

#include <curl/curl.h>

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vantora::webcharter {

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

// One URL the crawl met: 24 bytes, its text in the crawl's TextArena.
struct Target {
    const char* Text = nullptr; // what is fetched, with its real scheme; NUL-terminated
    uint32_t Size = 0;
    int AliasOf = -1;
    // Of a page listed in the map, a digest of its body (never 0; 0 until listed):
    // a folder and its index file that gave one document are listed once.
    uint32_t BodyDigest = 0;
    int16_t HttpStatus = 0;
    State Status = State::Pending;
    bool External : 1 = false;
    bool Responded : 1 = false;
    bool AsIs : 1 = false; // written in the map as fetched, not under "http://"

    // Empty for a page of the site once it is listed: its URL is in Crawl::RefStore.
    std::string_view Url() const { return {Text, Size}; }
    // authority, path and query: the identity with http and https taken as one
    static std::string_view KeyOf(std::string_view url) {
        const size_t colon = url.find("://");
        return colon == std::string_view::npos ? url : url.substr(colon + 3);
    }
    std::string_view Key() const { return KeyOf(Url()); }
    // how it is written in the map
    static std::string WrittenAs(std::string_view url, bool asIs) {
        return asIs ? std::string(url) : "http://" + std::string(KeyOf(url));
    }
    std::string Written() const { return WrittenAs(Url(), AsIs); }
};

enum class RefKind : unsigned char { Link, Image, Mail };

struct Ref {
    RefKind Kind;
    int Index; // target, or mail address for Mail
};

// A reference packed in four bytes: the kind in the top two bits.
inline uint32_t PackRef(Ref ref) {
    return (static_cast<uint32_t>(ref.Kind) << 30) |
           (static_cast<uint32_t>(ref.Index) & 0x3FFFFFFF);
}
inline Ref UnpackRef(uint32_t packed) {
    return {static_cast<RefKind>(packed >> 30), static_cast<int>(packed & 0x3FFFFFFF)};
}

// A page of the map: StoreWords words of Crawl::RefStore from StoreBegin hold its
// URL (SpillArray::PushText; empty when its target holds it) and then its packed
// references; its children are the pages whose Parent it is, in the order added.
struct PageNode {
    int TargetIndex;
    int Parent;
    uint64_t StoreBegin : 40;
    uint64_t StoreWords : 24;
};
static_assert(sizeof(Target) == 24 && sizeof(PageNode) == 16);

// A page link waiting in the frontier: a job is made of it when it is fetched.
// Its URL waits in Crawl::QueuedTexts (TextSize bytes from TextAt) unless its
// target holds it already.
struct QueuedPage {
    int Target;
    int ParentPage;
    int Depth;
    uint32_t TextSize;
    uint64_t TextAt;
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
    int RateRetries = 0; // asked again after a 429 or 503
    bool Head = false;
    std::vector<int> Chain; // targets visited through redirects
};

// A finished page job waiting for its turn. A page whose body is still being read
// on a parse thread is not Ready; pages are taken strictly in sequence order.
struct Finished {
    Job Work;
    bool Ready = true;
    bool IsPage = false;
    ParsedPage Parsed;
};

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;
struct ShareDeleter {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
using SharePtr = std::unique_ptr<CURLSH, ShareDeleter>;

struct Transfer;

// Answers that are listed as not checked, with their status, rather than as broken:
// a login (401), a refusal or bot challenge (403), a rate limit (429), and for the
// site's pages a 503 that stayed after it was asked again.
bool NotCheckedStatus(long status, bool page);

struct Scope {
    std::string Authority;
    std::string Prefix; // path folder, ends with '/'
};

class Crawl {
  public:
    Crawl(const CrawlOptions& options, std::ostream& log, const std::atomic<bool>* stop)
        : Options(options), Log(log), Stop(stop) {}
    ~Crawl() {
        if (HeaderList)
            curl_slist_free_all(HeaderList);
    }
    Crawl(const Crawl&) = delete;
    Crawl& operator=(const Crawl&) = delete;
    CrawlResult Run();

    // called from the write callback
    size_t OnData(Transfer& transfer, const char* data, size_t size);
    // Whether an outside link may be checked at this address: public addresses, and
    // loopback, private or link-local ones only when the site itself is on such an
    // address, so that a page cannot make this machine call its own network.
    bool MayCall(const sockaddr* address) const;
    enum class AddressKind : unsigned char { Public, Loopback, Private, LinkLocal };
    static AddressKind KindOf(const sockaddr* address);

  private:
    struct Completion {
        CURLcode Code;
        long Status;
        std::string RedirectUrl;
        std::string ContentType;
        bool SetCookie = false; // the answer set a cookie
        std::string PrimaryIp;  // the address that answered
        // targets of the page's "Link: <...>; rel=next" headers, as written
        std::vector<std::string> NextLinks;
        // set for an answer taken from the journal rather than from a transfer
        const RecordedAnswer* Recorded = nullptr;
    };
    void Answered(std::unique_ptr<Transfer> transfer, const Completion& done);
    void Remember(const Transfer& transfer, const Completion& done);
    bool Replay(std::unique_ptr<Transfer>& transfer);
    void TakeReplays();

    bool InScope(const Url& url) const;
    void AddScope(const Url& url);
    bool RobotsAllow(const Url& url);
    void FetchRobots(const std::string& scheme, const std::string& authority);
    int NewTarget(const Url& url, bool external, bool withText = true);
    int AddTarget(std::string_view text, bool asIs);
    Job TakeFromFrontier();
    int ExternalTarget(const Url& url);
    int InternalTarget(const Url& url, bool forPage, int depth, int parentPage);
    void EnqueuePage(int target, int parentPage, int depth, const Url* url = nullptr);
    void EnqueueCheck(int target);

    void Dispatch();
    void Start(Job job, bool siteSlot);
    void Restart(std::unique_ptr<Transfer> transfer);
    void OnDone(CURL* easy, CURLcode code);
    void FinishPage(std::unique_ptr<Transfer> transfer, const Completion& done);
    void FinishCheck(std::unique_ptr<Transfer> transfer, const Completion& done);
    void Release(std::unique_ptr<Transfer> transfer);
    void SetCommonOptions(CURL* easy, bool newHandle = true) const;
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
    using LineSink = std::function<void(const std::string&)>;
    void WriteMap(CrawlResult& result, const LineSink& emit) const;
    void WriteNotChecked(CrawlResult& result) const;
    // The facts file (SiteFacts.cpp).
    void OpenFacts(CrawlResult& result);
    void RecordFetch(const Transfer& transfer, const Completion& done);
    void RecordPage(const Finished& finished, const std::vector<Ref>& refs,
                    size_t servedRefs = static_cast<size_t>(-1));
    void FinishFacts(CrawlResult& result);
    // A canonical a page names: kept for fetching at the end when no link has
    // led to it so far.
    void NoteCanonical(const std::string& canonical, std::string_view page);
    std::unique_ptr<FactsWriter> Facts;
    std::vector<std::string> CanonicalTargets; // each once, by key
    std::unordered_set<std::string> CanonicalKeys;
    bool CanonicalsCut = false; // more than the bound were named

    const CrawlOptions& Options;
    std::ostream& Log;
    const std::atomic<bool>* Stop;

    MultiPtr Multi;
    // Cookies the site sets (a consent or session wall) are kept for the crawl in
    // this share, in memory only, and sent with every later request.
    SharePtr Cookies;
    std::vector<EasyPtr> IdleHandles;
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> Active;
    // Answers of an earlier run of this crawl, and the requests they answer.
    std::unique_ptr<CrawlJournal> Journal;
    std::deque<std::pair<std::unique_ptr<Transfer>, RecordedAnswer>> Replays;
    size_t ReplayedAnswers = 0;
    bool JournalTroubleNoted = false;

    // Every URL met, in the order met; a deque, so that references stay valid.
    std::deque<Target> Targets;
    TextArena Texts;
    // The targets by key: a page of the site until it is fetched has no text in
    // memory (its URL waits on disk with its place in the frontier).
    KeyIndex PageKeys;     // site URLs met as links, by Url::Key()
    KeyIndex ImageKeys;    // site URLs met only as images
    KeyIndex ExternalKeys; // other URLs by full text
    KeyIndex InvalidKeys;
    TextSpool QueuedTexts;
    // URLs of pages taken from the frontier, by target, while they are fetched: a
    // page's goes to RefStore once it is listed, any other's to Texts.
    std::unordered_map<int, std::string> FetchTexts;
    void KeepFetchText(int target);
    std::vector<std::string> Mails;
    std::unordered_map<std::string, int> MailKeys;
    SpillList<PageNode> Pages; // in the order listed, in a temporary file
    SpillArray RefStore;       // URLs and packed references of the pages, in a temporary file

    std::vector<Scope> Scopes;
    std::map<std::string, RobotsRules> Robots; // by authority

    SpillQueue<QueuedPage> Frontier; // page links in breadth-first order
    std::deque<Job> SiteChecks;      // images of the site
    struct HostQueue {
        std::deque<Job> Waiting;
        int InFlight = 0;
        bool Answered = false;   // some request to the host got an answer
        bool Dead = false;       // timed out or refused before any answer
        bool HeadSilent = false; // a HEAD got no answer in time: checks use GET
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
    // Page jobs started whose answer is not yet known to be a page or not: with the
    // pages done they must stay within the page limit, which counts pages of the
    // site only (files, errors and duplicates do not use it up).
    size_t PageJobsOpen = 0;
    // a parse thread woke the loop since it last took; outlives the parse threads
    std::atomic<bool> WakeAsked{false};
    std::unique_ptr<PageRendering> Rendering; // outlives the parse threads that use it
    std::unique_ptr<ParsePool> Parser;
    size_t ParsesPending = 0;
    size_t ParseBytesPending = 0; // bytes of the bodies waiting for or in a parse thread

    // A folder and its index file ("/docs/" and "/docs/index.html") that give one
    // document are one page: the other name is found among the pages by its key,
    // and the body compared by the digest its target keeps (Target::BodyDigest).
    // The index file names as the site's pages spell them, each once, in the order
    // met: a folder's page looks for these names in it.
    std::vector<std::string> IndexSpellings;
    // pages met per authority + path, keyed by a 64-bit hash of that text: a site
    // of endless paths that all carry queries keeps a number per path, not its text
    std::unordered_map<uint64_t, uint32_t> QueryPages;

    // Politeness: the earliest time the next request to the site may start, the
    // requests asked again later after a 429 or 503, and the site's refusals.
    double SiteInterval = 0; // seconds between request starts
    SteadyClock::time_point NextSiteStart, SitePausedUntil;
    struct DelayedJob {
        SteadyClock::time_point Due;
        Job Work;
    };
    std::deque<DelayedJob> Delayed;
    int RefusalsInARow = 0;
    bool SiteRefuses = false;         // too many refusals: no more requests to the site
    size_t RateLimitedLeft = 0;       // pages and files not checked because of that
    std::map<int, size_t> NotChecked; // by status: 401, 403, 429, 503 answers not taken as broken
    std::vector<std::regex> IncludePatterns, ExcludePatterns;
    size_t PatternCut = 0;
    bool PatternAllows(const Url& url) const;
    bool SiteWaiting(SteadyClock::time_point now) const;
    void DelayForRefusal(std::unique_ptr<Transfer> transfer, long status);
    void GiveUpOnSite();
    void LoadCookieFile();
    curl_slist* HeaderList = nullptr;

    SteadyClock::time_point Began, LastProgress;
    bool PageLimitNoted = false, DepthLimitNoted = false, UrlLimitNoted = false,
         SizeLimitNoted = false, TimeLimitNoted = false, TimeoutNoted = false,
         QueryLimitNoted = false, RepeatNoted = false, SlowDownNoted = false, RefusalNoted = false;
    bool TimeLimitHit = false;
    size_t PagesDone = 0, BrokenSeen = 0, RobotsSkipped = 0;
    size_t PageLimitCut = 0, DepthCut = 0, LongUrlCut = 0, QueryCut = 0, RepeatCut = 0,
           BinaryBodies = 0, DeadHostLinks = 0;
    std::vector<std::string> RobotsUnreadable; // hosts taken as "disallow all"
    std::set<std::string> RobotsSilent;        // of those, the hosts that never answered
    size_t CutPages = 0, UncheckedAtTimeLimit = 0, OutsideRefused = 0;
    std::set<AddressKind> SiteAddressKinds; // of the addresses the site answered from
    size_t LinksCutOnPages = 0, PagesWithLinksCut = 0, LinksOverTotal = 0, OutsideChecks = 0,
           OutsideOverCap = 0;
    std::string FirstCutPage;
    int RootFallbackStatus = 0; // the error of a root whose final "/" was dropped
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
    std::string Location;    // of a redirect whose body was not read
    bool Refused = false;    // an outside address this crawl does not call
    bool NewHandle = false;  // Easy was made for this transfer: no request made on it yet
    std::string ContentType; // of an HTML answer: its charset decides how it is read
    char Error[CURL_ERROR_SIZE] = {0};
};

} // namespace vantora::webcharter
