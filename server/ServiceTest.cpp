#include "ServiceTest.h"

#include "AnswerText.h"
#include "OutsideServices.h"
#include "PageText.h"
#include "Url.h"

namespace vantora {

namespace {

constexpr std::string_view Marker = "SERVICETEST";
constexpr std::size_t KeyFileMaxBytes = 4096;

std::string Parameter(std::string_view query, std::string_view name) {
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view pair = query.substr(start, end - start);
        const std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name)
            return eq == std::string_view::npos ? std::string()
                                                : ToUtf8(PercentDecode(pair.substr(eq + 1), true));
        start = end + 1;
    }
    return {};
}

ServiceAnswer Answer(bool ok, const std::string& what, const std::string& first,
                     std::string result) {
    ServiceAnswer answer;
    answer.Body = JoinAnswer(Marker, "<br>",
                             {ok ? "OK" : "FAILED", CleanItem(what, 1000), CleanItem(first, 2000)});
    answer.Result = std::move(result);
    return answer;
}

ServiceAnswer TestSearch(const SearchBackend& backend, std::string query,
                         const ServiceConfig& config) {
    if (query.empty())
        query = "test";
    query = CutCodePoints(query, 200);
    const SearchOutcome outcome = RunSearch(backend, query, 1, config.Fetch);
    if (!outcome.Ok)
        return Answer(false, outcome.Reason + ".", "", "service test failed: " + outcome.Reason);
    const std::string status = "status " + std::to_string(outcome.HttpCode);
    if (outcome.Urls.empty())
        return Answer(true,
                      "The search service \"" + backend.Name + "\" answered (" + status +
                          ") with no results for \"" + query + "\".",
                      "", "service test ok, no results");
    return Answer(true,
                  "The search service \"" + backend.Name + "\" answered (" + status +
                      "); its first result for \"" + query + "\":",
                  outcome.Urls.front(), "service test ok");
}

// Where an IndexNow key file must be for the site of page.
std::string KeyFileUrl(const SubmitBackend& backend, const std::string& page) {
    if (!backend.KeyLocation.empty())
        return backend.KeyLocation;
    const auto parsed = ParseUrl(page);
    if (!parsed)
        return {};
    return parsed->Scheme + "://" + parsed->Authority() + "/" + backend.Key + ".txt";
}

ServiceAnswer TestKeyFile(const SubmitBackend& backend, const std::string& page,
                          const ServiceConfig& config, const PageFetcher& fetch) {
    const std::string where = KeyFileUrl(backend, page);
    if (where.empty())
        return Answer(false,
                      "No site was given to look for the key file on: the page address must "
                      "be an http:// or https:// address.",
                      "", "service test: no site");
    FetchOptions options =
        OutsideCallOptions(config.Fetch, backend.TimeoutSeconds, KeyFileMaxBytes);
    const FetchResult file = fetch(where, options);
    if (file.Status != FetchStatus::Ok)
        return Answer(false,
                      "The key file is not published: " + where + " " +
                          DescribeFailure(file, backend.TimeoutSeconds) +
                          ". Write the key file and upload it there.",
                      "", "service test: key file missing");
    if (Trim(file.Body) != backend.Key)
        return Answer(false,
                      "The file at " + where + " does not hold the key " + backend.Key +
                          " (status " + std::to_string(file.HttpCode) + ").",
                      CutCodePoints(RepairUtf8(file.Body), 80), "service test: key file differs");
    return Answer(true,
                  "The key file is published (status " + std::to_string(file.HttpCode) +
                      ") and holds the key:",
                  where, "service test ok");
}

// A GET service takes a page with every call to its URL, so a trial call
// would submit one. The test asks the service's server for its root
// instead (no page, no parameters): that it answers at all is what can be
// known without submitting.
ServiceAnswer TestGetService(const SubmitBackend& backend, const ServiceConfig& config,
                             const PageFetcher& fetch) {
    // The template's placeholders may stand anywhere after the host.
    const std::string& text = backend.UrlTemplate;
    const std::size_t scheme = text.find("://");
    const std::size_t hostEnd =
        scheme == std::string::npos ? std::string::npos : text.find_first_of("/?#{", scheme + 3);
    const auto parsed = ParseUrl(text.substr(0, hostEnd) + "/");
    if (!parsed || (parsed->Scheme != "http" && parsed->Scheme != "https"))
        return Answer(false, "The service's URL template is not an http:// or https:// address.",
                      "", "service test: bad template");
    const std::string root = parsed->Scheme + "://" + parsed->Authority() + "/";
    FetchOptions options = OutsideCallOptions(config.Fetch, backend.TimeoutSeconds, 64u << 10);
    const FetchResult answer = fetch(root, options);
    if (answer.Status != FetchStatus::Ok && answer.Status != FetchStatus::HttpError)
        return Answer(false,
                      "The service's server " + root + " " +
                          DescribeFailure(answer, backend.TimeoutSeconds) +
                          ". Nothing was submitted.",
                      "", "service test failed");
    return Answer(true,
                  "The service's server answered (status " + std::to_string(answer.HttpCode) +
                      "). Nothing was submitted: whether it takes pages shows only when "
                      "Enginepost submits one.",
                  root, "service test ok, nothing submitted");
}

ServiceAnswer TestSubmit(const SubmitBackend& backend, const std::string& page,
                         const ServiceConfig& config, const PageFetcher& fetch) {
    if (backend.Kind == SubmitKind::IndexNow)
        return TestKeyFile(backend, page, config, fetch);
    return TestGetService(backend, config, fetch);
}

} // namespace

ServiceAnswer ServiceTestAnswer(std::string_view rawQuery, const ServiceConfig& config,
                                const PageFetcher& fetch) {
    static const OffPageConfig none;
    const OffPageConfig& services = config.OffPage ? *config.OffPage : none;
    const std::string service = Parameter(rawQuery, "service");
    if (service == "list") {
        std::vector<std::string> items;
        for (const auto& [name, backend] : services.Searches)
            items.push_back(CleanItem("search." + name));
        for (const auto& [name, backend] : services.Submits)
            items.push_back(CleanItem("submit." + name));
        ServiceAnswer answer;
        items.insert(items.begin(), "LIST");
        answer.Body = JoinAnswer(Marker, "<br>", items);
        answer.Result = "service list";
        return answer;
    }
    const auto dot = service.find('.');
    const std::string group = service.substr(0, dot);
    const std::string name = dot == std::string::npos ? std::string() : service.substr(dot + 1);
    if (group == "search")
        if (const auto it = services.Searches.find(name); it != services.Searches.end())
            return TestSearch(it->second, Trim(Parameter(rawQuery, "query")), config);
    if (group == "submit")
        if (const auto it = services.Submits.find(name); it != services.Submits.end())
            return TestSubmit(it->second, Trim(Parameter(rawQuery, "url")), config, fetch);
    return Answer(false,
                  "This server has no service \"" + service +
                      "\": save the settings first, or check the server's configuration file.",
                  "", "service test: no such service");
}

} // namespace vantora
