#include "OffPage.h"

#include "AnswerText.h"
#include "BodyCheck.h"
#include "OutsideServices.h"
#include "PageModel.h"
#include "PageText.h"
#include "Url.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <future>
#include <map>
#include <set>
#include <thread>

namespace vantora {

namespace {

constexpr std::string_view RankMarker = "RANKSCOUT";
constexpr std::string_view PostMarker = "ENGINEPOST-v1.1";
constexpr std::string_view BackMarker = "BACKWATCH-v1.1";
constexpr std::string_view NotOpened = "Unspecified Host or Keywords";
constexpr std::size_t MaxPhrasePoints = 512;
constexpr int DetailCount = 10;
constexpr int BackwatchSearchDepth = 30;
constexpr std::size_t IndexCandidates = 50;
constexpr std::size_t MaxCandidates = 40;
constexpr int CandidateFetchers = 8;
constexpr std::size_t CandidateMaxBytes = 4u << 20;
constexpr long CandidateBudgetMs = 30000; // all candidate checks of one answer

const OffPageConfig& Settings(const ServiceConfig& config) {
    static const OffPageConfig none;
    return config.OffPage ? *config.OffPage : none;
}

// Runs work(0..count-1) on up to `threads` threads and waits for all.
template <typename Work> void RunConcurrently(std::size_t count, int threads, Work work) {
    if (count == 0)
        return;
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(threads));
    pool.reserve(n);
    for (std::size_t t = 0; t < n; ++t)
        pool.emplace_back([&] {
            for (std::size_t i = next++; i < count; i = next++)
                work(i);
        });
    for (auto& thread : pool)
        thread.join();
}

// Text for one item: nothing in it can end the item, pose as a tag or marker,
// or make the client take the answer for a not-opened one.
std::string Item(std::string_view text, std::size_t maxPoints = 300) {
    return DefuseMarkers(CleanItem(text, maxPoints));
}

// A rank checker item: the client looks only for the not-opened words, so
// the key phrase and result URLs keep everything else as they are.
std::string RankItem(std::string_view text, std::size_t maxPoints = 300) {
    return DefuseWords(CleanItem(text, maxPoints), {NotOpened});
}

std::string EchoUrl(std::string_view url) {
    return DefuseWords(CleanItem(url, 4096), {NotOpened});
}

// Why a page address cannot be used, or empty when it can.
std::string AddressProblem(const std::string& url, const ServiceConfig& config) {
    if (url.empty())
        return "no page address was given";
    if (url.size() > config.MaxUrlLength)
        return "the page address is longer than " + std::to_string(config.MaxUrlLength) +
               " characters";
    if (PageKey(url).empty())
        return "the page address must be an http:// or https:// address";
    return {};
}

bool LooksLikeHtml(const FetchResult& page) {
    const std::string type = AsciiLower(page.ContentType);
    if (!type.empty() && type.find("html") == std::string::npos &&
        type.find("xml") == std::string::npos && type.find("text/plain") == std::string::npos)
        return false;
    return !LooksBinary(page.Body);
}

std::string InvalidUrlAnswer(std::string_view marker, std::string_view reason) {
    return JoinAnswer(marker, "<br>",
                      {"ERROR-INVALID-URL",
                       CleanItem("The page could not be checked: " + std::string(reason) + ".")});
}

// Checks that the page exists: an http(s) address that answers with a page.
// recordError: why its links could not go into the index, if they could not.
std::string PageProblem(const std::string& url, const ServiceConfig& config,
                        const PageFetcher& fetch, const std::optional<LinkIndex>& index,
                        std::string* recordError = nullptr) {
    if (std::string problem = AddressProblem(url, config); !problem.empty())
        return problem;
    const FetchResult page = fetch(url, config.Fetch);
    if (page.Status != FetchStatus::Ok)
        return page.Error.empty() ? "the page could not be fetched" : page.Error;
    if (index)
        IndexFetchedPage(*index, url, page, recordError);
    return {};
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i ? "; " : "") + parts[i];
    return text;
}

} // namespace

std::optional<LinkIndex> ConfiguredLinkIndex(const ServiceConfig& config) {
    const std::string& path = Settings(config).LinkIndexPath;
    if (path.empty())
        return std::nullopt;
    return LinkIndex(path);
}

bool IndexFetchedPage(const LinkIndex& index, const std::string& url, const FetchResult& page,
                      std::string* error) {
    if (page.Status != FetchStatus::Ok || !LooksLikeHtml(page))
        return true;
    const PageModel model = ParsePage(page.Body, page.ContentType);
    if (model.TooComplex)
        return true;
    // Links resolve against where the page really is, after redirects.
    const std::string& where = page.FinalUrl.empty() ? url : page.FinalUrl;
    return index.RecordPage(where, ResolvedLinks(where, model), error);
}

PageFetcher IndexingFetcher(PageFetcher inner, LinkIndex index) {
    return [inner = std::move(inner), index = std::move(index)](const std::string& url,
                                                                const FetchOptions& options) {
        FetchResult page = inner(url, options);
        IndexFetchedPage(index, url, page);
        return page;
    };
}

// Rank checks

std::string RankscoutAnswer(const RankRequest& request, const ServiceConfig& config,
                            std::string& result) {
    const OffPageConfig& settings = Settings(config);
    auto notOpened = [&](const std::string& reason) {
        result = "not-opened: " + reason;
        return JoinAnswer(RankMarker, "<br>",
                          {std::string(NotOpened) + ": " + CleanItem(reason) + "."});
    };
    if (std::string problem = AddressProblem(request.PageUrl, config); !problem.empty())
        return notOpened(problem);
    if (request.Phrase.empty())
        return notOpened("no key phrase was given");
    if (CodePointCount(request.Phrase) > MaxPhrasePoints)
        return notOpened("the key phrase is longer than " + std::to_string(MaxPhrasePoints) +
                         " characters");
    if (request.Engines.empty())
        return notOpened("no search engine was chosen");

    // One search per backend, however many engine names map to it.
    const std::string target = PageKey(request.PageUrl);
    std::map<std::string, SearchOutcome> outcomes;
    for (const auto& engine : request.Engines)
        if (const auto it = settings.RankEngines.find(engine); it != settings.RankEngines.end())
            outcomes.emplace(it->second, SearchOutcome{});
    std::vector<std::string> backends;
    for (const auto& [name, outcome] : outcomes)
        backends.push_back(name);
    const int depth = settings.RankDepth;
    const int needed = request.Detail ? DetailCount : 0;
    RunConcurrently(backends.size(), static_cast<int>(backends.size()), [&](std::size_t i) {
        const SearchBackend& backend = settings.Searches.at(backends[i]);
        auto enough = [&](const std::vector<std::string>& urls) {
            if (static_cast<int>(urls.size()) < needed)
                return false;
            return std::any_of(urls.begin(), urls.end(),
                               [&](const std::string& u) { return PageKey(u) == target; });
        };
        outcomes.at(backends[i]) = RunSearch(backend, request.Phrase, depth, config.Fetch, enough);
    });

    std::vector<std::string> items = {"<ROOT>" + EchoUrl(request.PageUrl),
                                      "<KEYWORDS>" + RankItem(request.Phrase, 600)};
    int found = 0;
    int failed = 0;
    for (const auto& engine : request.Engines) {
        items.push_back("<ENGINE>" + engine);
        const auto mapped = settings.RankEngines.find(engine);
        if (mapped == settings.RankEngines.end()) {
            items.push_back("<NOTE>" + Item("Not checked: no search service is configured for " +
                                            engine + " on this server."));
            items.push_back("<MATCH>0");
            ++failed;
            continue;
        }
        const SearchOutcome& outcome = outcomes.at(mapped->second);
        int position = 0;
        for (std::size_t i = 0; i < outcome.Urls.size(); ++i)
            if (PageKey(outcome.Urls[i]) == target) {
                position = static_cast<int>(i) + 1;
                break;
            }
        if (!outcome.Ok) {
            // A failed search states why; a position read before the failure
            // would only be a guess at the whole ranking, so it counts as 0.
            items.push_back("<NOTE>" + Item("Not checked: " + outcome.Reason + ".", 400));
            position = 0;
            ++failed;
        } else if (position == 0) {
            items.push_back("<NOTE>" +
                            Item("Not among the first " + std::to_string(outcome.Urls.size()) +
                                 " results of " + mapped->second + "."));
        } else {
            ++found;
        }
        if (request.Detail && outcome.Ok)
            for (std::size_t i = 0; i < outcome.Urls.size() && i < DetailCount; ++i)
                items.push_back("<PAGE>" +
                                RankItem(std::to_string(i + 1) + ". " + outcome.Urls[i], 600));
        items.push_back("<MATCH>" + std::to_string(position));
    }
    result = "ok " + std::to_string(request.Engines.size()) + " engines, " + std::to_string(found) +
             " ranked, " + std::to_string(failed) + " not checked";
    return JoinAnswer(RankMarker, "<br>", items);
}

// Submissions

std::string EnginepostAnswer(const PostRequest& request, const ServiceConfig& config,
                             const PageFetcher& fetch, std::string& result) {
    const OffPageConfig& settings = Settings(config);
    if (std::string problem =
            PageProblem(request.PageUrl, config, fetch, ConfiguredLinkIndex(config));
        !problem.empty()) {
        result = "not-opened: " + problem;
        return InvalidUrlAnswer(PostMarker, problem);
    }
    const std::string url = EchoUrl(request.PageUrl);
    if (request.Engines.empty()) {
        result = "no engine chosen";
        return JoinAnswer(
            PostMarker, "<br>",
            {url, "0 of 0", "No search engine was chosen, nothing was submitted.", "NONE"});
    }
    // One submission per backend, however many engine names map to it.
    std::map<std::string, SubmitOutcome> outcomes;
    for (const auto& engine : request.Engines)
        if (const auto it = settings.SubmitEngines.find(engine); it != settings.SubmitEngines.end())
            outcomes.emplace(it->second, SubmitOutcome{});
    std::vector<std::string> backends;
    for (const auto& [name, outcome] : outcomes)
        backends.push_back(name);
    SubmitRequest submit{request.PageUrl, request.Title, request.Description, request.Keywords,
                         request.Email};
    RunConcurrently(backends.size(), static_cast<int>(backends.size()), [&](std::size_t i) {
        outcomes.at(backends[i]) =
            RunSubmission(settings.Submits.at(backends[i]), submit, config.Fetch);
    });

    std::vector<std::string> lines;
    int submitted = 0;
    for (const auto& engine : request.Engines) {
        const auto mapped = settings.SubmitEngines.find(engine);
        if (mapped == settings.SubmitEngines.end()) {
            lines.push_back(Item("Not submitted to " + engine +
                                 ": no submission service is configured for it on this server."));
            lines.push_back("NOT-CONFIGURED");
            continue;
        }
        const SubmitOutcome& outcome = outcomes.at(mapped->second);
        if (outcome.Ok) {
            ++submitted;
            // The audit looks for exactly this opening, with the page URL as
            // the answer's first item gives it.
            lines.push_back("Successfully submitted " + url + " to " + engine + " " +
                            Item("(" + outcome.Text + ").", 400));
            lines.push_back("OK " + std::to_string(outcome.HttpCode));
        } else {
            lines.push_back(Item("Not submitted to " + engine + ": " + outcome.Text + ".", 500));
            lines.push_back("FAILED " + std::to_string(outcome.HttpCode));
        }
    }
    std::vector<std::string> items = {url, std::to_string(submitted) + " of " +
                                               std::to_string(request.Engines.size())};
    items.insert(items.end(), lines.begin(), lines.end());
    result = "ok " + std::to_string(submitted) + " of " + std::to_string(request.Engines.size()) +
             " submitted";
    return JoinAnswer(PostMarker, "<br>", items);
}

// Link-backs

namespace {

struct Candidate {
    std::string Url;
    bool FromSearch = false;
    bool FromIndex = false;
    // Filled by the check:
    bool Checked = false; // false: the time for checks ran out first
    bool Fetched = false;
    bool TooComplex = false; // fetched, but too complex to read
    bool Links = false;
    std::string RecordError; // its links could not go into the index
    std::string Title;
    std::string Anchor;
    bool NoFollow = false;
    std::string Verified;
};

// The search phrase that finds pages mentioning the page but not on its site.
std::string MentionQuery(const std::string& pageUrl) {
    const std::string key = PageKey(pageUrl);
    const std::string site = SiteKey(pageUrl);
    std::string host = site.substr(0, site.find(':'));
    return "\"" + key + "\" -site:" + host;
}

void CheckCandidate(Candidate& c, const std::string& target, const ServiceConfig& config,
                    const PageFetcher& fetch, const std::optional<LinkIndex>& index,
                    std::chrono::steady_clock::time_point deadline) {
    const long leftMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              deadline - std::chrono::steady_clock::now())
                                              .count());
    if (leftMs < 1000)
        return;
    c.Checked = true;
    FetchOptions options = config.Fetch;
    options.MaxBytes = std::min(options.MaxBytes, CandidateMaxBytes);
    options.TotalTimeoutMs = std::min(options.TotalTimeoutMs, leftMs);
    options.ConnectTimeoutMs = std::min(options.ConnectTimeoutMs, leftMs);
    const FetchResult page = fetch(c.Url, options);
    if (page.Status != FetchStatus::Ok || !LooksLikeHtml(page))
        return;
    c.Fetched = true;
    const PageModel model = ParsePage(page.Body, page.ContentType);
    if (model.TooComplex) {
        c.TooComplex = true;
        return;
    }
    const std::string& where = page.FinalUrl.empty() ? c.Url : page.FinalUrl;
    const std::vector<SeenLink> links = ResolvedLinks(where, model);
    if (index)
        index->RecordPage(where, links, &c.RecordError);
    // A followed link outranks a nofollow one to the same page.
    for (const SeenLink& link : links) {
        if (PageKey(link.Target) != target)
            continue;
        if (!c.Links || (c.NoFollow && !link.NoFollow)) {
            c.Links = true;
            c.Anchor = link.Anchor;
            c.NoFollow = link.NoFollow;
        }
    }
    c.Title = model.HasTitle ? CollapseSpace(model.Title) : std::string();
    c.Verified = UtcStamp();
}

} // namespace

std::string BackwatchAnswer(const std::string& pageUrl, const ServiceConfig& config,
                            const PageFetcher& fetch, std::string& result) {
    const OffPageConfig& settings = Settings(config);
    const std::optional<LinkIndex> index = ConfiguredLinkIndex(config);
    std::string recordError;
    if (std::string problem = PageProblem(pageUrl, config, fetch, index, &recordError);
        !problem.empty()) {
        result = "not-opened: " + problem;
        return InvalidUrlAnswer(BackMarker, problem);
    }
    // What could not be checked: with any of it, finding nothing proves nothing.
    std::vector<std::string> failures;
    const std::string target = PageKey(pageUrl);
    const std::string site = SiteKey(pageUrl);

    // The search and the index are asked at the same time.
    std::vector<std::string> notes;
    auto searched = std::async(std::launch::async, [&]() -> SearchOutcome {
        if (settings.BackwatchSearch.empty())
            return {};
        return RunSearch(settings.Searches.at(settings.BackwatchSearch), MentionQuery(pageUrl),
                         BackwatchSearchDepth, config.Fetch);
    });
    std::vector<std::string> indexed;
    std::string indexError;
    if (index)
        indexed = index->PagesLinkingTo(pageUrl, IndexCandidates, &indexError);
    const SearchOutcome search = searched.get();
    // Without a search the index alone holds only links seen in pages this
    // server happened to fetch: finding nothing there proves nothing.
    if (settings.BackwatchSearch.empty())
        failures.push_back("no search service is configured for link-backs on this server");
    else if (!search.Ok)
        failures.push_back("the search found no candidates: " + search.Reason);
    if (!index)
        notes.push_back("this server keeps no link index");
    else if (!indexError.empty())
        failures.push_back(indexError);

    std::vector<Candidate> candidates;
    std::map<std::string, std::size_t> byKey;
    auto add = [&](const std::string& url, bool fromSearch) {
        const std::string key = PageKey(url);
        if (key.empty() || key == target || SiteKey(url) == site)
            return;
        if (const auto it = byKey.find(key); it != byKey.end()) {
            (fromSearch ? candidates[it->second].FromSearch : candidates[it->second].FromIndex) =
                true;
            return;
        }
        if (candidates.size() >= MaxCandidates)
            return;
        byKey.emplace(key, candidates.size());
        Candidate c;
        c.Url = url;
        (fromSearch ? c.FromSearch : c.FromIndex) = true;
        candidates.push_back(std::move(c));
    };
    for (const auto& url : search.Urls)
        add(url, true);
    for (const auto& url : indexed)
        add(url, false);

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(CandidateBudgetMs);
    RunConcurrently(candidates.size(), CandidateFetchers, [&](std::size_t i) {
        CheckCandidate(candidates[i], target, config, fetch, index, deadline);
    });

    std::vector<std::string> items = {EchoUrl(pageUrl), "."};
    std::size_t linking = 0;
    std::size_t unreachable = 0;
    std::size_t late = 0;
    std::size_t complex = 0;
    for (const Candidate& c : candidates) {
        if (!c.Checked)
            ++late;
        else if (!c.Fetched)
            ++unreachable;
        else if (c.TooComplex)
            ++complex;
        if (recordError.empty() && !c.RecordError.empty())
            recordError = c.RecordError;
        if (!c.Links)
            continue;
        ++linking;
        std::string from;
        if (c.FromSearch)
            from = "search " + settings.BackwatchSearch;
        if (c.FromIndex)
            from += std::string(from.empty() ? "" : " and ") + "link index";
        items.push_back(Item(c.Url, 4096));
        items.push_back(c.Title.empty() ? "(no title)" : Item(c.Title));
        items.push_back(c.Anchor.empty() ? "(no link text)" : Item(c.Anchor));
        items.push_back(c.NoFollow ? "nofollow" : "follow");
        items.push_back(c.Verified);
        items.push_back(from);
    }
    const std::string of = " of " + std::to_string(candidates.size());
    // "1 of 3 candidate pages was ...": the verb follows the first count.
    auto counted = [&](std::size_t n, std::string_view singular, std::string_view plural) {
        return std::to_string(n) + of + " candidate " + Noun(candidates.size(), "page") + " " +
               Noun(n, singular, plural);
    };
    if (unreachable > 0)
        failures.push_back(counted(unreachable, "could not be fetched", "could not be fetched"));
    if (complex > 0)
        failures.push_back(
            counted(complex, "was too complex to check", "were too complex to check"));
    if (late > 0)
        failures.push_back(counted(late, "was not checked: the time for checks ran out",
                                   "were not checked: the time for checks ran out"));
    if (!recordError.empty())
        failures.push_back("the pages read could not be recorded: " + recordError);
    if (linking == 0) {
        items.push_back("END");
        if (!failures.empty()) {
            // The client lists the first item of every group of six: after
            // the END group, a second one says in words what was not checked,
            // so that finding nothing is not taken for a clean result.
            items.insert(items.end(), 5, "-");
            items.push_back(Item("Not checked, so pages that link back may have been missed: " +
                                     Joined(failures) + ".",
                                 1000));
            items.insert(items.end(), 5, "-");
        }
    }
    notes.insert(notes.end(), failures.begin(), failures.end());
    // A single trailing item after the groups is past the client's count
    // rule, so the notes travel with the answer without being listed.
    if (!notes.empty())
        items.push_back(Item("Note: " + Joined(notes) + ".", 1000));
    const std::string found = std::to_string(linking) + of + " " +
                              Noun(candidates.size(), "candidate") + " " +
                              Noun(linking, "links", "link") + " back";
    std::size_t read = 0;
    for (const Candidate& c : candidates)
        read += c.Fetched && !c.TooComplex ? 1 : 0;
    if (failures.empty())
        result = "ok " + found;
    else
        result = std::string(read == 0 && linking == 0 ? "not checked: " : "incomplete: ") +
                 failures.front() + "; " + found;
    return JoinAnswer(BackMarker, "<br>", items);
}

} // namespace vantora
