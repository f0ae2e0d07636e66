#include "CrawlState.h"

#include "FetchPage.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace vantora::webcharter {

Crawl::AddressKind Crawl::KindOf(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {0};
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        const std::uint32_t a = ntohl(in->sin_addr.s_addr);
        if ((a >> 24) == 127)
            return AddressKind::Loopback;
        if ((a >> 16) == 0xA9FE)
            return AddressKind::LinkLocal;
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    } else if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        const unsigned char* b = in6->sin6_addr.s6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr))
            return AddressKind::Loopback;
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            sockaddr_in v4{};
            v4.sin_family = AF_INET;
            std::memcpy(&v4.sin_addr, b + 12, 4);
            return KindOf(reinterpret_cast<const sockaddr*>(&v4));
        }
        if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80)
            return AddressKind::LinkLocal;
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    } else {
        return AddressKind::Private;
    }
    return IsNonPublicAddress(text) ? AddressKind::Private : AddressKind::Public;
}

bool Crawl::MayCall(const sockaddr* address) const {
    const AddressKind kind = KindOf(address);
    return kind == AddressKind::Public || SiteAddressKinds.count(kind) > 0;
}

int Crawl::ExternalTarget(const Url& url) {
    const std::string key = url.ToString();
    if (const int found = ExternalKeys.Find(key); found >= 0)
        return found;
    const int index = NewTarget(url, true);
    ExternalKeys.Add(key, index);
    if (Options.CheckExternal && OutsideChecks < Options.MaxOutsideChecks) {
        ++OutsideChecks;
        EnqueueCheck(index);
    } else {
        Targets[index].Status = State::Unchecked;
        if (Options.CheckExternal)
            ++OutsideOverCap;
    }
    return index;
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
    const std::string host = ParseUrl(Targets[target].Url())->Authority();
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
    if (transfer->Refused) {
        target.Status = State::Unchecked;
        ++OutsideRefused;
        Release(std::move(transfer));
        return;
    }
    const bool failed = done.Code != CURLE_OK || done.Status >= 400;
    if (failed && job.Head && done.Code != CURLE_COULDNT_RESOLVE_HOST &&
        done.Code != CURLE_COULDNT_CONNECT && done.Code != CURLE_TOO_MANY_REDIRECTS) {
        // Some servers refuse HEAD, or never answer it: ask again with GET. After a
        // HEAD that got no answer in time, the host's other links are asked with GET.
        job.Head = false;
        if (done.Code == CURLE_OPERATION_TIMEDOUT && target.External)
            ExternalHosts[ParseUrl(target.Url())->Authority()].HeadSilent = true;
        Restart(std::move(transfer));
        return;
    }
    target.Responded = done.Status > 0;
    if (!target.External && done.Status > 0 && done.Status != 429 && done.Status != 503)
        RefusalsInARow = 0;
    if (done.Code == CURLE_OK && NotCheckedStatus(done.Status, false)) {
        target.Status = State::Unchecked;
        target.HttpStatus = static_cast<int>(done.Status);
        ++NotChecked[static_cast<int>(done.Status)];
    } else if (done.Code != CURLE_OK || done.Status == 0) {
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
        const std::string host = ParseUrl(target.Url())->Authority();
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

} // namespace vantora::webcharter
