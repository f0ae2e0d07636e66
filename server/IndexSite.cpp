#include "IndexSite.h"

#include "PageModel.h"
#include "Robots.h"
#include "Url.h"

#include <atomic>
#include <deque>
#include <set>
#include <thread>
#include <vector>

namespace vantora {

namespace {

bool IsHtml(const FetchResult& page) {
    const std::string& type = page.ContentType;
    return type.empty() || type.find("html") != std::string::npos;
}

} // namespace

IndexSiteResult IndexSite(const IndexSiteOptions& options, const LinkIndex& index,
                          std::ostream& log) {
    IndexSiteResult result;
    const auto start = ParseUrl(options.StartUrl);
    if (!start) {
        result.Error = "the start address must be an http:// or https:// address";
        return result;
    }
    const std::string site = SiteKey(start->ToString());

    RobotsRules robots;
    const FetchResult robotsFile =
        FetchPage(start->Scheme + "://" + start->Authority() + "/robots.txt", options.Fetch);
    if (robotsFile.Status == FetchStatus::Ok)
        robots = RobotsRules::Parse(robotsFile.Body, "vantora-server");

    std::deque<std::string> frontier = {start->ToString()};
    std::set<std::string> seen = {PageKey(start->ToString())};
    std::size_t fetched = 0;
    while (!frontier.empty() && fetched < options.MaxPages) {
        // One batch at a time: fetched together, recorded and expanded in order.
        std::vector<std::string> batch;
        while (!frontier.empty() && batch.size() < static_cast<std::size_t>(options.Concurrency) &&
               fetched + batch.size() < options.MaxPages) {
            batch.push_back(frontier.front());
            frontier.pop_front();
        }
        fetched += batch.size();
        std::vector<FetchResult> pages(batch.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < batch.size(); ++i)
            threads.emplace_back([&, i] { pages[i] = FetchPage(batch[i], options.Fetch); });
        for (auto& t : threads)
            t.join();
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const FetchResult& page = pages[i];
            if (page.Status != FetchStatus::Ok) {
                ++result.Failed;
                log << "not read: " << batch[i] << ": " << page.Error << "\n";
                continue;
            }
            if (!IsHtml(page))
                continue;
            const std::string where = page.FinalUrl.empty() ? batch[i] : page.FinalUrl;
            const PageModel model = ParsePage(page.Body, page.ContentType);
            const std::vector<SeenLink> links = ResolvedLinks(where, model);
            std::string error;
            if (!index.RecordPage(where, links, &error)) {
                result.Error = error;
                return result;
            }
            ++result.Pages;
            for (const SeenLink& link : links) {
                const auto target = ParseUrl(link.Target);
                if (!target || SiteKey(link.Target) != site)
                    continue;
                const std::string pathAndQuery =
                    target->Path + (target->HasQuery ? "?" + target->Query : "");
                if (!robots.Allowed(pathAndQuery))
                    continue;
                if (seen.insert(PageKey(link.Target)).second)
                    frontier.push_back(target->ToString());
            }
        }
    }
    std::string error;
    result.Links = index.LinkCount(&error);
    if (result.Links < 0) {
        result.Error = error;
        return result;
    }
    result.Ok = true;
    return result;
}

} // namespace vantora
