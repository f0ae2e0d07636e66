#include "CrawlState.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string_view>

namespace vantora::webcharter {

namespace {

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

// The first value of a header of the last answer, or empty.
std::string HeaderValue(CURL* easy, const char* name) {
    curl_header* header = nullptr;
    if (curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header)
        return {};
    return header->value ? header->value : "";
}

curl_socket_t OpenSocket(void* user, curlsocktype purpose, curl_sockaddr* address) {
    auto* transfer = static_cast<Transfer*>(user);
    if (purpose == CURLSOCKTYPE_IPCXN && !transfer->Owner->MayCall(&address->addr)) {
        transfer->Refused = true;
        return CURL_SOCKET_BAD;
    }
    return socket(address->family, address->socktype, address->protocol);
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
            // The status is all that is needed, and a redirect's target: libcurl
            // works that out only for an answer read to its end, so it is taken
            // from the header here, whatever body the server sends with it.
            if (status >= 300 && status < 400)
                transfer.Location = HeaderValue(transfer.Easy.get(), "Location");
            transfer.Stopped = true;
            return 0;
        }
        char* type = nullptr;
        curl_easy_getinfo(transfer.Easy.get(), CURLINFO_CONTENT_TYPE, &type);
        transfer.Html = IsHtmlType(type ? type : "");
        transfer.ContentType = type ? type : "";
        if (!transfer.Html) {
            transfer.Stopped = true;
            return 0;
        }
        // A body grown by doubling holds up to twice its size while it arrives; the
        // announced length (of the encoded body when compressed) sizes it at once.
        curl_off_t length = -1;
        if (curl_easy_getinfo(transfer.Easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
                CURLE_OK &&
            length > static_cast<curl_off_t>(transfer.Body.capacity()))
            transfer.Body.reserve(std::min(static_cast<size_t>(length), Options.MaxDocumentBytes) +
                                  1);
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

bool Crawl::SiteWaiting(SteadyClock::time_point now) const {
    return !Delayed.empty() || (!SiteRefuses && (now < NextSiteStart || now < SitePausedUntil) &&
                                (!Frontier.Empty() || !SiteChecks.empty()));
}

void Crawl::GiveUpOnSite() {
    SiteRefuses = true;
    Note("the site refused " + std::to_string(RefusalsInARow) +
         " requests in a row (HTTP 429 or 503); the crawl of its pages ends here and "
         "what is left is listed as not checked");
    for (DelayedJob& delayed : Delayed) {
        Targets[delayed.Work.TargetIndex].Status = State::Unchecked;
        ++RateLimitedLeft;
        if (delayed.Work.Kind == JobKind::Page) {
            // its turn in the page order passes, with no page
            --PageJobsOpen;
            Finished finished;
            finished.Work = std::move(delayed.Work);
            const long seq = finished.Work.Seq;
            Waiting.emplace(seq, std::move(finished));
        }
    }
    Delayed.clear();
}

void Crawl::DelayForRefusal(std::unique_ptr<Transfer> transfer, long status) {
    CURL* easy = transfer->Easy.get();
    double wait = -1;
    std::string after = HeaderValue(easy, "Retry-After");
    while (!after.empty() && after.back() == ' ')
        after.pop_back();
    if (!after.empty() && after.find_first_not_of("0123456789") == std::string::npos) {
        wait = after.size() > 9 ? 1e9 : std::stod(after);
    } else if (!after.empty()) {
        const time_t when = curl_getdate(after.c_str(), nullptr);
        if (when != -1)
            wait = std::max(0.0, std::difftime(when, std::time(nullptr)));
    }
    Job job = std::move(transfer->Work);
    if (wait < 0)
        wait = static_cast<double>(1 << std::min(job.RateRetries, 16)); // 1, 2, 4... seconds
    wait = std::min(wait, Options.MaxRetryAfterSeconds);
    ++job.RateRetries;
    const auto due = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                              std::chrono::duration<double>(wait));
    // The answer speaks for the site: nothing else is asked of it until then.
    SitePausedUntil = std::max(SitePausedUntil, due);
    NoteOnce(RefusalNoted, "the site answers " + std::to_string(status) +
                               " (too many requests or unavailable): requests wait " +
                               std::to_string(static_cast<long>(wait)) +
                               " s as it asks, then are made again");
    if (Options.Verbose)
        Note(std::string(Targets[job.TargetIndex].Url()) + ": " + std::to_string(status) +
             ", asked again in " + std::to_string(wait) + " s");
    transfer->Work.FirstTarget = job.FirstTarget;
    Delayed.push_back({due, std::move(job)});
    Release(std::move(transfer));
    if (++RefusalsInARow >= Options.RefusalsToGiveUp)
        GiveUpOnSite();
}

void Crawl::Dispatch() {
    // Bodies waiting for a parse thread hold memory: fetch no more pages while many
    // wait, or while those waiting are large (a site of 10 MB pages fetches faster
    // than they are read), so memory stays bounded whatever the site serves.
    const size_t parseBacklog = 64;
    const size_t parseBacklogBytes = 24u << 20;
    const auto now = SteadyClock::now();
    if (SiteRefuses) {
        // the site refused too often: what is left is not checked
        while (!Frontier.Empty()) {
            Targets[Frontier.Pop().Target].Status = State::Unchecked;
            ++RateLimitedLeft;
        }
        for (const Job& job : SiteChecks)
            Targets[job.TargetIndex].Status = State::Unchecked;
        RateLimitedLeft += SiteChecks.size();
        SiteChecks.clear();
    }
    const auto paced = [&] {
        if (now < SitePausedUntil || (SiteInterval > 0 && now < NextSiteStart))
            return true;
        if (SiteInterval > 0)
            NextSiteStart = now + std::chrono::duration_cast<SteadyClock::duration>(
                                      std::chrono::duration<double>(SiteInterval));
        return false;
    };
    // Requests asked again after a refusal go first, when their time has come.
    for (auto it = Delayed.begin(); it != Delayed.end() && SiteInFlight < SiteLimit;) {
        if (it->Due > now || paced()) {
            ++it;
            continue;
        }
        Job job = std::move(it->Work);
        it = Delayed.erase(it);
        Start(std::move(job), true);
    }
    while (SiteInFlight < SiteLimit && (!Frontier.Empty() || !SiteChecks.empty())) {
        const bool pageRoom = ParsesPending < parseBacklog &&
                              (ParsesPending == 0 || ParseBytesPending < parseBacklogBytes) &&
                              PagesDone + PageJobsOpen < Options.MaxPages;
        if (!pageRoom && SiteChecks.empty())
            break;
        const auto spacedFrom = NextSiteStart;
        if (paced())
            break;
        const size_t replays = Replays.size();
        if (!Frontier.Empty() && pageRoom) {
            ++PageJobsOpen;
            Start(TakeFromFrontier(), true);
        } else {
            Job job = std::move(SiteChecks.front());
            SiteChecks.pop_front();
            Start(std::move(job), true);
        }
        if (Replays.size() > replays)
            NextSiteStart = spacedFrom; // answered from the journal: nothing asked of the site
    }
    while (ExternalInFlight < Options.ExternalConcurrency && !ReadyHosts.empty()) {
        const std::string host = std::move(ReadyHosts.front());
        ReadyHosts.pop_front();
        HostQueue& queue = ExternalHosts[host];
        if (queue.Waiting.empty() || queue.InFlight >= Options.PerExternalHost)
            continue;
        Job job = std::move(queue.Waiting.front());
        queue.Waiting.pop_front();
        if (queue.HeadSilent)
            job.Head = false;
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
        transfer->NewHandle = true;
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
    transfer->Location.clear();
    transfer->Refused = false;
    transfer->Error[0] = 0;
    const Job& job = transfer->Work;
    curl_easy_setopt(easy, CURLOPT_URL, Targets[job.TargetIndex].Text);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->Error);
    SetCommonOptions(easy, transfer->NewHandle);
    transfer->NewHandle = false;
    // HTTP/2 where TLS offers it. No waiting for a connection to multiplex on: a
    // server that closes after each answer would hold every other transfer back.
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if (Targets[job.FirstTarget].External) {
        // every connection, redirects and names that resolve inward included
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, transfer.get());
    }
    if (job.Kind == JobKind::Check) {
        // Checks follow redirects themselves; a loop ends in too many redirects.
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(Options.MaxRedirects));
        if (job.Head)
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    }
    if (Journal && Replay(transfer))
        return;
    curl_multi_add_handle(Multi.get(), easy);
    Active.emplace(easy, std::move(transfer));
}

void Crawl::SetCommonOptions(CURL* easy, bool newHandle) const {
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, Options.RequestTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, Options.ConnectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, Options.UserAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    if (!Options.CaFile.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, Options.CaFile.c_str());
    // The cookie engine reads no file (the empty name) and no jar is ever set, so
    // the cookies live in the share for this run only. A handle keeps its list of
    // cookie files through curl_easy_reset and grows it with every setting, so a
    // handle used again (a crawl reuses each for thousands of requests) is not
    // given it again: that list cost memory and time with every request.
    curl_easy_setopt(easy, CURLOPT_SHARE, Cookies.get());
    if (newHandle)
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    if (HeaderList)
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, HeaderList);
}

void Crawl::Release(std::unique_ptr<Transfer> transfer) {
    const bool external = Targets[transfer->Work.FirstTarget].External;
    if (external) {
        --ExternalInFlight;
        const std::string host = ParseUrl(Targets[transfer->Work.FirstTarget].Url())->Authority();
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
    done.Status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &done.Status);
    if (!transfer->Checked && transfer->Work.Kind == JobKind::Page && done.Status >= 200 &&
        done.Status < 300) {
        // No body came, so the write callback never looked at the answer: its kind is
        // read from the headers here. "No content" is not a page whatever its type.
        char* type = nullptr;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
        transfer->Html = done.Status != 204 && done.Status != 205 && IsHtmlType(type ? type : "");
    }
    char* redirect = nullptr;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &redirect);
    if (redirect) {
        done.RedirectUrl = redirect;
    } else if (!transfer->Location.empty()) {
        char* effective = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
        const std::optional<Url> base = ParseUrl(effective ? effective : "");
        if (const std::optional<Url> next =
                base ? ResolveUrl(*base, transfer->Location) : std::nullopt)
            done.RedirectUrl = next->ToString();
    }
    done.SetCookie = !HeaderValue(easy, "Set-Cookie").empty();
    // A listing split over pages may name its next page only in a header, as a
    // browser's prefetch and a search engine read it: it is a link of the page.
    if (transfer->Work.Kind == JobKind::Page && done.Status >= 200 && done.Status < 300)
        if (const std::string links = LinkHeaders(easy); !links.empty())
            done.NextLinks = LinkHeaderTargets(links, "next");
    char* ip = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIMARY_IP, &ip);
    done.PrimaryIp = ip ? ip : "";
    if (Journal)
        Remember(*transfer, done);
    Answered(std::move(transfer), done);
}

void Crawl::Answered(std::unique_ptr<Transfer> transfer, const Completion& done) {
    const CURLcode code = done.Code;
    if (transfer->Truncated && transfer->Work.Kind == JobKind::Page && CutPages++ == 0)
        FirstCutPage = Targets[transfer->Work.TargetIndex].Url();
    if (transfer->Truncated)
        NoteOnce(SizeLimitNoted, "document size limit of " +
                                     std::to_string(Options.MaxDocumentBytes) + " bytes reached (" +
                                     std::string(Targets[transfer->Work.TargetIndex].Url()) +
                                     "); only the first part is read");
    if (code == CURLE_OPERATION_TIMEDOUT)
        NoteOnce(TimeoutNoted, "request time limit of " + std::to_string(Options.RequestTimeoutMs) +
                                   " ms reached (" +
                                   std::string(Targets[transfer->Work.TargetIndex].Url()) + ")");
    if (Options.Verbose && (done.Code != CURLE_OK || done.Status >= 400))
        Note(
            std::string(Targets[transfer->Work.TargetIndex].Url()) + ": " +
            (done.Code != CURLE_OK
                 ? std::string(transfer->Error[0] ? transfer->Error : curl_easy_strerror(done.Code))
                 : "HTTP status " + std::to_string(done.Status)));
    if (transfer->Work.Kind == JobKind::Page)
        FinishPage(std::move(transfer), done);
    else
        FinishCheck(std::move(transfer), done);
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
    if (done.Code == CURLE_OK && (done.Status == 429 || done.Status == 503) && !SiteRefuses &&
        job.RateRetries < Options.RateLimitRetries) {
        DelayForRefusal(std::move(transfer), done.Status);
        return;
    }
    if (done.Status > 0 && done.Status != 429 && done.Status != 503)
        RefusalsInARow = 0;
    if (done.Status > 0) {
        SiteAnswered = true;
        if (!done.Recorded)
            WatchSiteWait(transfer->Easy.get());
        // the kinds of address the site is on may be called for outside links too
        const char* ip = done.PrimaryIp.c_str();
        sockaddr_storage address{};
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        if (inet_pton(AF_INET, ip, &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            SiteAddressKinds.insert(KindOf(reinterpret_cast<sockaddr*>(&address)));
        } else if (inet_pton(AF_INET6, ip, &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            SiteAddressKinds.insert(KindOf(reinterpret_cast<sockaddr*>(&address)));
        }
    }
    target().Responded = done.Status > 0;
    const Url* rootFallback = nullptr;
    std::optional<Url> withoutSlash;
    if (job.Seq == 0 && job.Hops == 0 && done.Code == CURLE_OK && done.Status >= 400 &&
        RootFallbackStatus == 0) {
        // A root that names a page, written with a final "/" ("/index.html/"): the
        // same URL without that "/" may be the page meant.
        withoutSlash = ParseUrl(target().Url());
        if (withoutSlash && withoutSlash->Path.size() > 1 && withoutSlash->Path.back() == '/' &&
            !withoutSlash->HasQuery) {
            withoutSlash->Path.pop_back();
            rootFallback = &*withoutSlash;
        }
    }
    if (Facts && !rootFallback)
        RecordFetch(*transfer, done);
    if (rootFallback) {
        RootFallbackStatus = static_cast<int>(done.Status);
        Note("the root " + std::string(target().Url()) + " answers " + std::to_string(done.Status) +
             "; trying " + rootFallback->ToString() + " instead");
        AddScope(*rootFallback);
        const int index = NewTarget(*rootFallback, false);
        PageKeys.Add(rootFallback->Key(), index);
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
            // The root may move to another host or folder: that is still the site. A
            // folder named without its final "/" that moves into itself ("/docs" to
            // "/docs/") is that folder, not the folder above it.
            if (job.Seq == 0) {
                const std::optional<Url> from = ParseUrl(target().Url());
                if (from && from->Path.back() != '/' &&
                    next->Path.compare(0, from->Path.size() + 1, from->Path + "/") == 0)
                    for (Scope& scope : Scopes)
                        if (scope.Authority == from->Authority() &&
                            scope.Prefix == from->Path.substr(0, from->Path.rfind('/') + 1))
                            scope.Prefix = from->Path + "/";
                if (!InScope(*next))
                    AddScope(*next);
            }
            if (!InScope(*next)) {
                const int outside = ExternalTarget(*next);
                target().Status = State::Alias;
                target().AliasOf = outside;
            } else {
                const std::string key = next->Key();
                const std::string exact = next->ToString();
                const int known = PageKeys.Find(key);
                // A chain loops when the same URL, scheme included, comes back; http to
                // https is a move, not a loop. An answer that set a cookie may send the
                // crawler back to a URL it has met (a consent wall): asked again with
                // the cookie, it answers otherwise; the hop limit bounds the rest.
                int again = -1;
                for (const int visited : job.Chain)
                    if (Targets[visited].Url() == exact)
                        again = visited;
                const bool knownInChain =
                    known >= 0 &&
                    std::find(job.Chain.begin(), job.Chain.end(), known) != job.Chain.end();
                if (again >= 0 && !done.SetCookie) {
                    target().Status = State::Broken;
                    target().AliasOf = -1;
                    ++BrokenSeen;
                } else if (again >= 0) {
                    if (again != current) {
                        target().Status = State::Alias;
                        target().AliasOf = again;
                    }
                    job.TargetIndex = again;
                    job.Chain.push_back(again);
                    ++job.Hops;
                    job.Retries = 0;
                    Restart(std::move(transfer));
                    return;
                } else if (known >= 0 && !knownInChain) {
                    target().Status = State::Alias;
                    target().AliasOf = known;
                } else {
                    // A new URL, or the page of this chain under the other scheme: that
                    // one keeps the key, so links under either scheme lead here.
                    const int index = NewTarget(*next, false);
                    if (known < 0)
                        PageKeys.Add(key, index);
                    target().Status = State::Alias;
                    target().AliasOf = index;
                    if (!RobotsAllow(*next)) {
                        Targets[index].Status = State::Skipped;
                        ++RobotsSkipped;
                    } else if (TrapCut(*next)) {
                        // a redirect may lead into a trap as a link may
                        Targets[index].Status = State::Skipped;
                    } else if (!PatternAllows(*next)) {
                        Targets[index].Status = State::Skipped;
                        ++PatternCut;
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
    } else if (NotCheckedStatus(done.Status, true)) {
        // a login, a firewall, a bot challenge or a rate limit: not a broken link
        target().Status = State::Unchecked;
        target().HttpStatus = static_cast<int>(done.Status);
        ++NotChecked[static_cast<int>(done.Status)];
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
        ParseBytesPending += transfer->Body.size();
        Parser->Add({job.Seq, std::move(transfer->Body), std::string(target().Url()),
                     transfer->ContentType, done.NextLinks});
    }
    if (finished.Ready)
        --PageJobsOpen;
    finished.Work = std::move(transfer->Work);
    const long seq = finished.Work.Seq;
    Release(std::move(transfer));
    Waiting.emplace(seq, std::move(finished));
}

void Crawl::Remember(const Transfer& transfer, const Completion& done) {
    // What may answer otherwise when asked again is asked again after a resume: a
    // dropped connection, a time-out, a refusal for now, an outside address not
    // called, and an answer that set a cookie (so the cookie is set again).
    if (Retryable(done.Code) || done.Code == CURLE_OPERATION_TIMEDOUT || done.Status == 429 ||
        done.Status == 503 || transfer.Refused || done.SetCookie)
        return;
    const Job& job = transfer.Work;
    RecordedAnswer answer;
    answer.Check = job.Kind == JobKind::Check;
    answer.Head = job.Head;
    answer.Url = Targets[job.TargetIndex].Url();
    answer.Code = done.Code;
    answer.Status = done.Status;
    answer.Html = transfer.Html;
    answer.Truncated = transfer.Truncated;
    answer.RedirectUrl = done.RedirectUrl;
    answer.ContentType = transfer.ContentType;
    answer.PrimaryIp = done.PrimaryIp;
    answer.Error = transfer.Error;
    answer.NextLinks = done.NextLinks;
    if (Facts && !answer.Check) {
        FetchFacts facts;
        facts.Url = answer.Url;
        facts.Status = done.Status;
        facts.Bytes = static_cast<long long>(transfer.Body.size());
        ReadTransferFacts(transfer.Easy.get(), facts);
        answer.FirstByteMs = facts.FirstByteMs;
        answer.TotalMs = facts.TotalMs;
        answer.DownloadBytes = facts.Bytes;
        answer.Type = std::move(facts.Type);
        answer.Modified = std::move(facts.Modified);
        answer.RobotsHeader = std::move(facts.RobotsHeader);
        answer.LinkCanonicals = std::move(facts.LinkCanonicals);
    }
    if (!answer.Check && transfer.Html)
        answer.Body = transfer.Body;
    if (!Journal->Add(answer) && !Journal->Trouble().empty())
        NoteOnce(JournalTroubleNoted, Journal->Trouble());
}

bool Crawl::Replay(std::unique_ptr<Transfer>& transfer) {
    if (!Journal->Kept())
        return false;
    const Job& job = transfer->Work;
    std::optional<RecordedAnswer> answer =
        Journal->Find(job.Kind == JobKind::Check, job.Head, Targets[job.TargetIndex].Url());
    if (!answer)
        return false;
    Replays.emplace_back(std::move(transfer), std::move(*answer));
    return true;
}

void Crawl::TakeReplays() {
    // Only those waiting now: answering one may start another (a redirect's next hop).
    for (size_t count = Replays.size(); count && !Replays.empty(); --count) {
        auto [transfer, answer] = std::move(Replays.front());
        Replays.pop_front();
        ++ReplayedAnswers;
        Completion done;
        done.Code = static_cast<CURLcode>(answer.Code);
        done.Status = answer.Status;
        done.RedirectUrl = answer.RedirectUrl;
        done.PrimaryIp = answer.PrimaryIp;
        done.NextLinks = answer.NextLinks;
        done.Recorded = &answer;
        transfer->Html = answer.Html;
        transfer->Truncated = answer.Truncated;
        transfer->Checked = true;
        transfer->ContentType = answer.ContentType;
        transfer->Body = std::move(answer.Body);
        std::snprintf(transfer->Error, sizeof transfer->Error, "%s", answer.Error.c_str());
        Answered(std::move(transfer), done);
    }
}

bool NotCheckedStatus(long status, bool page) {
    // 503 is a refusal of the site's own pages once asked again in vain; from
    // another host it is that host's error
    return status == 401 || status == 403 || status == 429 || (page && status == 503);
}

} // namespace vantora::webcharter
