#include "Service.h"

#include "AnswerText.h"
#include "BodyCheck.h"
#include "OffPage.h"
#include "OutsideServices.h"
#include "PageModel.h"
#include "PageText.h"
#include "ServiceTest.h"
#include "Stuffwatch.h"
#include "Url.h"
#include "Wordweigh.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

namespace vantora {

namespace {

constexpr std::string_view WordweighMarker = "WORDWEIGH-v1.1";
constexpr std::string_view StuffwatchMarker = "STUFFWATCH-v1.1";

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && AsciiLower(s.substr(0, prefix.size())) == prefix;
}

// Position just after "name=" when it starts the query or follows '&'.
std::size_t ValueStart(std::string_view query, std::string_view name) {
    const std::string key = std::string(name) + "=";
    for (std::size_t pos = query.find(key); pos != std::string_view::npos;
         pos = query.find(key, pos + 1))
        if (pos == 0 || query[pos - 1] == '&')
            return pos + key.size();
    return std::string_view::npos;
}

// The value of a parameter taken from the raw query. The client inserts the
// page URL unencoded, so a URL with its own '&' parameters must not be cut
// at them: a value runs up to the last "&<next>=" of the parameters that the
// client sends after it, or to the end.
std::optional<std::string> RawValue(std::string_view query, std::string_view name,
                                    const std::vector<std::string_view>& following = {}) {
    const std::size_t start = ValueStart(query, name);
    if (start == std::string_view::npos)
        return std::nullopt;
    std::size_t end = query.size();
    for (const auto next : following) {
        const std::string key = "&" + std::string(next) + "=";
        const std::size_t pos = query.rfind(key);
        if (pos != std::string_view::npos && pos >= start)
            end = std::min(end, pos);
    }
    if (following.size() == 0) {
        // A value not followed by known parameters ends at the next '&'
        // only for plain parameters; the page URL takes the rest.
        if (name != "url" && name != "Search_URL") {
            const std::size_t amp = query.find('&', start);
            if (amp != std::string_view::npos)
                end = amp;
        }
    }
    return std::string(query.substr(start, end - start));
}

// Whether an engine parameter ("&altavista=1", "&hotbot=on") asks for it.
bool Chosen(std::string_view query, std::string_view name) {
    const auto value = RawValue(query, name);
    return value && !value->empty() && *value != "0" && AsciiLower(*value) != "off";
}

// Undoes the client's escapes of the four characters that would break the
// request line or its parameters inside a page URL: %25 "%", %3F "?",
// %26 "&" and %23 "#". Any other escape stays as the page has it.
std::string UnescapePageParameter(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size()) {
            const char a = raw[i + 1];
            const char b = static_cast<char>(raw[i + 2] | 0x20);
            char decoded = 0;
            if (a == '2' && b == '5')
                decoded = '%';
            else if (a == '3' && b == 'f')
                decoded = '?';
            else if (a == '2' && b == '6')
                decoded = '&';
            else if (a == '2' && b == '3')
                decoded = '#';
            if (decoded != 0) {
                out += decoded;
                i += 2;
                continue;
            }
        }
        out += raw[i];
    }
    return out;
}

// The page URL as sent; a fully encoded one ("http%3A%2F%2F...", which has
// no ':' of its own) is decoded whole.
std::string PageUrl(std::string raw) {
    if (raw.find(':') == std::string::npos)
        raw = PercentDecode(raw);
    else
        raw = UnescapePageParameter(raw);
    return Trim(raw);
}

struct PageFetch {
    bool Ok = false;
    std::string Reason;
    std::string Html;
    std::string ContentType; // of the answer: its charset decides how Html is read
    std::string FinalUrl;
    bool Cut = false; // only the first part of the page was read
};

PageFetch FetchForAnalysis(const std::string& url, const ServiceConfig& config,
                           const PageFetcher& fetch) {
    PageFetch out;
    if (url.empty()) {
        out.Reason = "no page address was given";
        return out;
    }
    if (url.size() > config.MaxUrlLength) {
        out.Reason = "the page address is longer than " + std::to_string(config.MaxUrlLength) +
                     " characters";
        return out;
    }
    if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) {
        out.Reason = "the page address must begin with http:// or https://";
        return out;
    }
    FetchResult r = fetch(url, config.Fetch);
    if (r.Status != FetchStatus::Ok) {
        out.Reason = r.Error.empty() ? "the page could not be fetched" : r.Error;
        return out;
    }
    const std::string type = AsciiLower(r.ContentType);
    if (!type.empty() && type.find("html") == std::string::npos &&
        type.find("xml") == std::string::npos && type.find("text/plain") == std::string::npos) {
        out.Reason = "the address holds " + type.substr(0, 60) + ", not a web page";
        return out;
    }
    if (Trim(r.Body).empty()) {
        out.Reason = "the page is empty";
        return out;
    }
    if (LooksBinary(r.Body)) {
        out.Reason = "the address holds binary data, not a web page";
        return out;
    }
    out.Ok = true;
    out.ContentType = std::move(r.ContentType);
    out.Html = std::move(r.Body);
    out.FinalUrl = r.FinalUrl.empty() ? url : r.FinalUrl;
    out.Cut = r.Truncated;
    return out;
}

// Puts the links of a page read for an analysis into the link index. The
// analysis is answered either way; a failed write is told in the log line's
// result (the index unavailable, say), not kept quiet.
void IndexPage(const std::optional<LinkIndex>& index, const PageFetch& page, const PageModel& model,
               std::string& result) {
    std::string error;
    if (index && !model.TooComplex &&
        !index->RecordPage(page.FinalUrl, ResolvedLinks(page.FinalUrl, model), &error))
        result += "; links not recorded: " + (error.empty() ? "the link index failed" : error);
}

std::string TooComplexReason(const PageModel& page) {
    return "The page is too complex to analyse: " + page.TooComplexWhy +
           ", more than this server reads of one page.";
}

std::string CutReason(std::size_t bytes) {
    return "Only the first " + std::to_string(bytes) +
           " bytes of the page were read: the page is larger than this server reads, and what "
           "follows byte " +
           std::to_string(bytes) + " was not analysed.";
}

std::string EchoUrl(std::string_view url, std::initializer_list<std::string_view> words) {
    return DefuseWords(CleanItem(url, 4096), words);
}

std::string Item(std::string_view text, std::size_t maxPoints = 300) {
    return DefuseMarkers(CleanItem(text, maxPoints));
}

std::string WordweighNotOpened(std::string_view reason) {
    return JoinAnswer(WordweighMarker, "<br>",
                      {"ERROR-OPENING-URL",
                       CleanItem("The page could not be analysed: " + std::string(reason) + ".")});
}

std::string StuffwatchNotOpened(std::string_view reason) {
    return JoinAnswer(StuffwatchMarker, " ",
                      {"ERROR-OPENING-URL",
                       CleanItem("The page could not be analysed: " + std::string(reason) + ".")});
}

// What a report needs to know about how much of the page was read.
struct Reading {
    bool Cut = false;
    std::size_t Bytes = 0;
};

std::string WordweighFromPage(std::string_view url, std::string_view keywords,
                              const PageModel& page, const Reading& reading, std::string& log) {
    std::vector<std::string> items = {EchoUrl(url, {"PERCENTAGE", "PROBLEM", "TIP"}),
                                      "KEYWORDS: " + DefuseMarkers(CleanItem(keywords, 600))};
    if (page.TooComplex) {
        // No score can be given for a page that was not read: it is said in
        // words, as the one problem of the page.
        items.push_back("PERCENTAGE: " + FormatPercentage(0));
        items.push_back("PROBLEM: " + Item("The page is too complex to analyse"));
        items.push_back(Item(TooComplexReason(page), 400));
        items.push_back(Item("Simplify the page's markup: fewer elements, less deep nesting and "
                             "shorter style sheets.",
                             400));
        items.push_back("LIMIT");
        log = "too complex: " + page.TooComplexWhy;
        return JoinAnswer(WordweighMarker, "<br>", items);
    }
    const WordweighResult result = AnalyseWordweigh(page, url, keywords);
    items.push_back("PERCENTAGE: " + FormatPercentage(result.Percentage));
    if (reading.Cut) {
        items.push_back("PROBLEM: " + Item("Only the first " + std::to_string(reading.Bytes) +
                                           " bytes of the page were analysed"));
        items.push_back(Item(CutReason(reading.Bytes), 400));
        items.push_back(Item("Make the page smaller, or split it into several pages.", 400));
        items.push_back("CUT");
    }
    for (const auto& a : result.Problems) {
        items.push_back((a.Tip ? "TIP: " : "PROBLEM: ") + Item(a.What));
        items.push_back(Item(a.Why));
        items.push_back(Item(a.Fix));
        items.push_back(Item(a.Code));
    }
    log = "ok " + std::to_string(result.Percentage) + "%" +
          (reading.Cut ? ", cut at " + std::to_string(reading.Bytes) + " bytes" : "");
    return JoinAnswer(WordweighMarker, "<br>", items);
}

std::string StuffwatchFromPage(std::string_view url, const PageModel& page, const Reading& reading,
                               std::string& log) {
    std::vector<std::string> items = {EchoUrl(url, {"ERROR", "NO-SPAM"})};
    if (page.TooComplex) {
        // Nothing was checked, so nothing is called clean.
        items.push_back("VERDICT: not checked, the page is too complex to analyse");
        items.push_back(Item("The page is too complex to analyse"));
        items.push_back(Item(TooComplexReason(page), 400));
        items.push_back(
            Item("None of the page was checked for spam, so it is not called clean.", 400));
        items.push_back("LIMIT");
        log = "too complex: " + page.TooComplexWhy;
        return JoinAnswer(StuffwatchMarker, " ", items);
    }
    const StuffwatchResult result = AnalyseStuffwatch(page, url);
    items.push_back(reading.Cut
                        ? "VERDICT: incomplete, only the first " + std::to_string(reading.Bytes) +
                              " bytes checked, " + std::to_string(result.Points) + " points"
                        : result.Verdict());
    if (result.Findings.empty() && !reading.Cut)
        items.push_back("NO-SPAM");
    if (reading.Cut) {
        // A check that did not read the whole page never calls it clean.
        items.push_back(Item("Only the first " + std::to_string(reading.Bytes) +
                             " bytes of the page were checked"));
        items.push_back(Item("The page is cut after byte " + std::to_string(reading.Bytes) +
                             "; hidden text or stuffing after it was not looked for."));
        items.push_back(Item(CutReason(reading.Bytes), 400));
        items.push_back("CUT");
    }
    for (const auto& f : result.Findings) {
        items.push_back(Item(f.What));
        items.push_back(Item(f.Where));
        items.push_back(Item(f.Why));
        items.push_back(Item(f.Code));
    }
    log = "ok " + std::to_string(result.Points) + " points" +
          (reading.Cut ? ", cut at " + std::to_string(reading.Bytes) + " bytes" : "");
    return JoinAnswer(StuffwatchMarker, " ", items);
}

std::mutex RecordMutex;

ServiceAnswer StopBulletins(std::string_view query, std::string_view tool,
                            const ServiceConfig& config) {
    ServiceAnswer answer;
    const std::string uid = CleanItem(PercentDecode(RawValue(query, "uid").value_or("")), 200);
    const std::string project =
        CleanItem(PercentDecode(RawValue(query, "project").value_or("")), 300);
    answer.Page = project;
    if (project.empty()) {
        answer.Body = "No project was named, nothing was changed.<br>";
        answer.Result = "stop " + std::string(tool) + ": no project";
        return answer;
    }
    if (!config.RecordFile.empty()) {
        std::lock_guard lock(RecordMutex);
        if (FILE* f = std::fopen(config.RecordFile.c_str(), "a")) {
            const std::string line =
                LogLine("stop-" + AsciiLower(tool), project, "uid=" + (uid.empty() ? "-" : uid), 0);
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }
    answer.Body = "Automatic " + std::string(tool) + " bulletins will no longer be sent for " +
                  project + ".<br>";
    answer.Result = "stop " + std::string(tool) + " recorded";
    return answer;
}

// Where a path lands, relative to "/cgi-bin/zeph/". Behind a web server the
// program may be mounted elsewhere, so the last two segments also count.
std::string RoutePath(std::string_view path) {
    if (const auto q = path.find('?'); q != std::string_view::npos)
        path = path.substr(0, q);
    constexpr std::string_view Base = "/cgi-bin/zeph/";
    if (const auto pos = path.find(Base); pos != std::string_view::npos)
        return std::string(path.substr(pos + Base.size()));
    const auto last = path.rfind('/');
    if (last == std::string_view::npos || last == 0)
        return std::string(path);
    const auto before = path.rfind('/', last - 1);
    return std::string(path.substr(before == std::string_view::npos ? 0 : before + 1));
}

} // namespace

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else if (plusIsSpace && text[i] == '+') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string LogLine(std::string_view path, std::string_view page, std::string_view result,
                    long milliseconds) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
    // A field holds no blank and no line break of any kind, so a line stays
    // one record of five fields.
    auto field = [](std::string_view s, std::size_t max) {
        std::string out = BlankLineBreaks(s.substr(0, max));
        for (char& c : out)
            if (c == ' ')
                c = '_';
        return out.empty() ? std::string("-") : out;
    };
    const std::string resultText = BlankLineBreaks(result.substr(0, 200));
    return std::string(stamp) + " " + field(path, 200) + " " + field(page, 300) + " " +
           (resultText.empty() ? "-" : resultText) + " " + std::to_string(milliseconds) + "ms";
}

std::string WordweighAnswer(std::string_view pageUrl, std::string_view keywords,
                            std::string_view html) {
    std::string log;
    return WordweighFromPage(pageUrl, keywords, ParsePage(html), {}, log);
}

std::string StuffwatchAnswer(std::string_view pageUrl, std::string_view html) {
    std::string log;
    return StuffwatchFromPage(pageUrl, ParsePage(html), {}, log);
}

ServiceAnswer HandleRequest(std::string_view path, std::string_view rawQuery,
                            const ServiceConfig& config, const PageFetcher& fetch) {
    ServiceAnswer answer;
    const std::string route = RoutePath(path);
    // Pages read for the on-page analyses feed the link index as well.
    const std::optional<LinkIndex> index = ConfiguredLinkIndex(config);
    if (route == "text_output/wordweigh-pt.cgi") {
        const std::string url = PageUrl(RawValue(rawQuery, "url", {"keywords"}).value_or(""));
        const std::string keywords =
            Trim(ToUtf8(PercentDecode(RawValue(rawQuery, "keywords").value_or(""), true)));
        answer.Page = url;
        if (CodePointCount(keywords) > config.MaxKeywordsLength) {
            answer.Body =
                WordweighNotOpened("the key words are longer than " +
                                   std::to_string(config.MaxKeywordsLength) + " characters");
            answer.Result = "not-opened: key words too long";
            return answer;
        }
        const PageFetch page = FetchForAnalysis(url, config, fetch);
        if (!page.Ok) {
            answer.Body = WordweighNotOpened(page.Reason);
            answer.Result = "not-opened: " + page.Reason;
            return answer;
        }
        const PageModel model = ParsePage(page.Html, page.ContentType);
        answer.Body = WordweighFromPage(url, keywords, model, {page.Cut, config.Fetch.MaxBytes},
                                        answer.Result);
        IndexPage(index, page, model, answer.Result);
        return answer;
    }
    if (route == "text_output/spam-pt.cgi") {
        const std::string url = PageUrl(RawValue(rawQuery, "url").value_or(""));
        answer.Page = url;
        const PageFetch page = FetchForAnalysis(url, config, fetch);
        if (!page.Ok) {
            answer.Body = StuffwatchNotOpened(page.Reason);
            answer.Result = "not-opened: " + page.Reason;
            return answer;
        }
        const PageModel model = ParsePage(page.Html, page.ContentType);
        answer.Body =
            StuffwatchFromPage(url, model, {page.Cut, config.Fetch.MaxBytes}, answer.Result);
        IndexPage(index, page, model, answer.Result);
        return answer;
    }
    if (route == "text_output/rankscout-pt.cgi") {
        RankRequest request;
        request.PageUrl = PageUrl(RawValue(rawQuery, "Search_URL", {"Search_Text"}).value_or(""));
        request.Phrase =
            Trim(ToUtf8(PercentDecode(RawValue(rawQuery, "Search_Text").value_or(""), true)));
        for (const auto& engine : RankEngines)
            if (Chosen(rawQuery, engine.Parameter))
                request.Engines.emplace_back(engine.Name);
        request.Detail = RawValue(rawQuery, "Detail").value_or("") == "1";
        answer.Page = request.PageUrl;
        answer.Body = RankscoutAnswer(request, config, answer.Result);
        return answer;
    }
    if (route == "text_output/submit-pt.cgi") {
        std::vector<std::string_view> following = {"title"};
        for (const auto& engine : SubmitEngines)
            following.push_back(engine.Parameter);
        PostRequest request;
        request.PageUrl = PageUrl(RawValue(rawQuery, "url", following).value_or(""));
        for (const auto& engine : SubmitEngines)
            if (Chosen(rawQuery, engine.Parameter))
                request.Engines.emplace_back(engine.Name);
        auto text = [&](std::string_view name, std::size_t maxPoints) {
            return CutCodePoints(Trim(ToUtf8(PercentDecode(RawValue(rawQuery, name).value_or("")))),
                                 maxPoints);
        };
        request.Title = text("title", 300);
        request.Description = text("desc", 1000);
        request.Keywords = text("keywords", 1000);
        request.Email = text("email", 200);
        answer.Page = request.PageUrl;
        answer.Body = EnginepostAnswer(request, config, fetch, answer.Result);
        return answer;
    }
    if (route == "text_output/backwatch-pt.cgi") {
        answer.Page = PageUrl(RawValue(rawQuery, "url").value_or(""));
        answer.Body = BackwatchAnswer(answer.Page, config, fetch, answer.Result);
        return answer;
    }
    if (route == "text_output/servicetest-pt.cgi")
        return ServiceTestAnswer(rawQuery, config, fetch);
    if (route == "register/unreguser.cgi")
        return StopBulletins(rawQuery, "Backwatch", config);
    if (route == "register/kpreguser.cgi") {
        if (RawValue(rawQuery, "action").value_or("") != "del") {
            answer.Body = "Only action=del is supported here, nothing was changed.<br>";
            answer.Result = "kpreguser without action=del";
            return answer;
        }
        return StopBulletins(rawQuery, "Rankscout", config);
    }
    answer.Status = 404;
    answer.Body = "Not found: nothing answers at this address.<br>";
    answer.Result = "not found";
    return answer;
}

ServiceAnswer HandleIndexNowBatch(std::string_view body, const ServiceConfig& config) {
    ServiceAnswer answer;
    const auto refuse = [&](const std::string& why) {
        answer.Status = 400;
        answer.Body = "The addresses could not be read: " + why + ".<br>";
        answer.Result = "indexnow: " + why;
        return answer;
    };
    // The addresses, one a line, grouped by host in their order.
    std::vector<std::pair<std::string, std::vector<std::string>>> hosts;
    std::size_t count = 0, line = 0;
    for (std::size_t pos = 0; pos < body.size();) {
        std::size_t end = body.find('\n', pos);
        if (end == std::string_view::npos)
            end = body.size();
        const std::string text = Trim(std::string(body.substr(pos, end - pos)));
        pos = end + 1;
        ++line;
        if (text.empty())
            continue;
        const auto url = ParseUrl(text);
        if (!url)
            return refuse("line " + std::to_string(line) + " is not an http or https address");
        if (++count > MaxIndexNowUrls)
            return refuse("more than " + std::to_string(MaxIndexNowUrls) + " addresses");
        auto group = std::find_if(hosts.begin(), hosts.end(),
                                  [&](const auto& h) { return h.first == url->Host; });
        if (group == hosts.end())
            group = hosts.insert(hosts.end(), {url->Host, std::vector<std::string>{}});
        group->second.push_back(url->ToString());
    }
    if (count == 0)
        return refuse("no addresses");
    answer.Page = hosts.front().first;

    const SubmitBackend* service = nullptr;
    if (config.OffPage)
        for (const auto& [name, backend] : config.OffPage->Submits)
            if (backend.Kind == SubmitKind::IndexNow) {
                service = &backend;
                break;
            }
    if (!service) {
        answer.Body = "not-configured: this server has no IndexNow service; its administrator "
                      "adds one to the server's configuration ([submit.NAME] with kind = "
                      "\"indexnow\", the endpoint and the site's key).";
        answer.Result = "indexnow not configured";
        return answer;
    }
    std::size_t accepted = 0;
    std::string said;
    for (const auto& [host, urls] : hosts) {
        const SubmitOutcome outcome = RunIndexNow(*service, urls, config.Fetch);
        said = outcome.Text;
        if (!outcome.Ok) {
            const std::string before =
                accepted ? "; " + std::to_string(accepted) + " addresses of other hosts went first"
                         : std::string();
            answer.Body = (outcome.HttpCode ? "refused " + std::to_string(outcome.HttpCode)
                                            : std::string("failed")) +
                          ": " + said + before;
            answer.Result = "indexnow " + answer.Body.substr(0, answer.Body.find(':'));
            return answer;
        }
        accepted += urls.size();
    }
    answer.Body = "accepted " + std::to_string(accepted) + ": " + said;
    answer.Result = "indexnow accepted " + std::to_string(accepted);
    return answer;
}

} // namespace vantora
