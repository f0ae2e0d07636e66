#include "CrawlState.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace vantora::webcharter {

void Crawl::Note(const std::string& text) {
    Log << "sm: " << text << std::endl;
}

void Crawl::NoteOnce(bool& flag, const std::string& text) {
    if (!flag) {
        flag = true;
        Note(text);
    }
}

void Crawl::ShowProgress(bool force) {
    if (!Options.Progress)
        return;
    const auto now = SteadyClock::now();
    if (!force && now - LastProgress < std::chrono::seconds(1))
        return;
    LastProgress = now;
    Log << "sm: " << PagesDone << " pages done, "
        << (Frontier.Size() + static_cast<size_t>(SiteInFlight)) << " queued, " << BrokenSeen
        << " broken" << std::endl;
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
    Cookies.reset(curl_share_init());
    curl_share_setopt(Cookies.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    Multi.reset(curl_multi_init());
    curl_multi_setopt(Multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    // Room to keep a connection to every site slot and every outside host in use.
    curl_multi_setopt(Multi.get(), CURLMOPT_MAXCONNECTS,
                      static_cast<long>(Options.Concurrency +
                                        Options.ExternalConcurrency * Options.PerExternalHost +
                                        16));
    SiteLimit = Options.Concurrency;
    if (Options.MaxRequestsPerSecond > 0)
        SiteInterval = 1.0 / Options.MaxRequestsPerSecond;
    for (const std::string& header : Options.Headers)
        HeaderList = curl_slist_append(HeaderList, header.c_str());
    try {
        for (const std::string& pattern : Options.Include)
            IncludePatterns.emplace_back(pattern, std::regex::ECMAScript | std::regex::optimize);
        for (const std::string& pattern : Options.Exclude)
            ExcludePatterns.emplace_back(pattern, std::regex::ECMAScript | std::regex::optimize);
    } catch (const std::regex_error& error) {
        Note(std::string("a URL pattern is not a regular expression: ") + error.what());
        result.Lines = {"<ROOT>http://" + EscapeUrlText(Options.SearchUrl), "Unspecified Host",
                        "<END>"};
        return result;
    }
    if (!Options.CookieFile.empty())
        LoadCookieFile();
    int threads = Options.ParseThreads > 0 ? Options.ParseThreads
                                           : static_cast<int>(std::thread::hardware_concurrency());
    if (Options.Render != render::RenderMode::Off) // a reading thread waits for each tab
        threads += Options.RenderWith.Tabs > 0
                       ? Options.RenderWith.Tabs
                       : static_cast<int>(std::thread::hardware_concurrency());
    CURLM* multi = Multi.get();
    Parser = std::make_unique<ParsePool>(
        std::clamp(threads, 1, 128), Options.MaxUrlLength, Options.VerifyLinks,
        [this, multi] {
            // one wake-up until the crawl loop takes what is read: a loop busy with
            // pages finds the others when it next looks, without a call each
            if (!WakeAsked.exchange(true))
                curl_multi_wakeup(multi);
        },
        !Options.FactsFile.empty(), Options.MaxLinksPerPage);
    if (Options.Render != render::RenderMode::Off) {
        Rendering = std::make_unique<PageRendering>(Options.Render, Options.RenderWith);
        Parser->SetAfterRead([this](const ParsePool::Task& task, ParsedPage& parsed) {
            Rendering->Apply(task, parsed, Options.MaxUrlLength, !Options.FactsFile.empty(),
                             Options.MaxLinksPerPage);
        });
    }
    if (!Options.FactsFile.empty())
        OpenFacts(result);
    if (!Options.JournalFile.empty()) {
        Journal = std::make_unique<CrawlJournal>();
        std::string note, error;
        if (!Journal->Open(Options.JournalFile, root->ToString(), Options.Resume,
                           Options.JournalBytes, note, error)) {
            Note(error + "; this crawl cannot be resumed if it stops");
            Journal.reset();
        } else if (Journal->Kept()) {
            Note("resuming: " + std::to_string(Journal->Kept()) + " answer(s) of the crawl " +
                 "journal " + Options.JournalFile + " are used instead of asking the site again");
        }
        if (!note.empty())
            Note(note);
    }
    AddScope(*root);
    const int rootTarget = NewTarget(*root, false);
    PageKeys.Add(root->Key(), rootTarget);
    if (!RobotsAllow(*root)) {
        Note("robots.txt of " + root->Authority() + " forbids the root page; nothing is crawled");
        Targets[rootTarget].Status = State::Skipped;
        // the root alone is the map, unless its host never answered at all
        Targets[rootTarget].Responded = !RobotsSilent.count(root->Authority());
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
        if (Active.empty() && Replays.empty() && ParsesPending == 0 &&
            !SiteWaiting(SteadyClock::now()))
            break;
        TakeReplays();
        int running = 0;
        curl_multi_perform(Multi.get(), &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(Multi.get(), &left))
            if (message->msg == CURLMSG_DONE)
                OnDone(message->easy_handle, message->data.result);
        TakeFinishedInOrder();
        ShowProgress(false);
        if (Journal)
            Journal->Tick();
        TakeParsed();
        TakeFinishedInOrder();
        Dispatch();
        // Bodies wait to be read in batches while every connection to the site is
        // busy; when the crawl has room for more, what waits is read now, as the
        // links it gives may be what the crawl waits for.
        if (SiteInFlight < SiteLimit)
            Parser->Flush();
        if (Replays.empty() &&
            (!Active.empty() || ParsesPending || SiteWaiting(SteadyClock::now())))
            curl_multi_poll(Multi.get(), nullptr, 0, Active.empty() ? 20 : 100, nullptr);
    }
    Replays.clear();
    result.Replayed = ReplayedAnswers;
    if (Journal)
        Journal->Flush(true); // all that was answered, for a crawl that goes on later
    // Requests still waiting after a refusal when the crawl ended.
    for (DelayedJob& delayed : Delayed) {
        Targets[delayed.Work.TargetIndex].Status = State::Unchecked;
        ++RateLimitedLeft;
    }
    Delayed.clear();
    // Transfers cut off by a limit or a stop: their pages are not listed.
    for (auto& [easy, transfer] : Active)
        curl_multi_remove_handle(Multi.get(), easy);
    Active.clear();
    if (result.Interrupted) {
        if (Rendering)
            Rendering->Stop(); // pages being rendered end at once
        return result;
    }
    // Pages being read are waited for (there are few); pages finished after one
    // that was cut off are still taken, in order.
    Parser->Flush();
    while (ParsesPending) {
        TakeParsed();
        if (ParsesPending)
            curl_multi_poll(Multi.get(), nullptr, 0, 100, nullptr);
    }
    while (!Waiting.empty()) {
        NextToTake = Waiting.begin()->first;
        TakeFinishedInOrder();
    }
    if (!TimeLimitHit && !Frontier.Empty()) {
        // Pages the page limit kept from being fetched.
        PageLimitCut += Frontier.Size();
        while (!Frontier.Empty())
            Targets[Frontier.Pop().Target].Status = State::Skipped;
    }
    if (PageLimitCut)
        NoteOnce(PageLimitNoted, "page limit of " + std::to_string(Options.MaxPages) +
                                     " pages reached; further pages are left out");
    if (TimeLimitHit)
        for (Target& target : Targets)
            if (target.External && target.Status == State::Pending) {
                target.Status = State::Unchecked;
                ++UncheckedAtTimeLimit;
            }
    ShowProgress(true);
    if (Rendering && !Rendering->Summary().empty())
        Note(Rendering->Summary());
    result.RootReached = !Pages.Empty();
    // Before the map: a reader that waits for the whole map finds the list there.
    if (!Options.NotCheckedFile.empty())
        WriteNotChecked(result);
    if (Options.MapFile.empty()) {
        WriteMap(result, [&](const std::string& line) { result.Lines.push_back(line); });
    } else {
        MapFileWriter file;
        if (file.Open(Options.MapFile, result.MapError)) {
            WriteMap(result, [&](const std::string& line) { file.Line(line); });
            file.Close(result.MapError);
        }
    }
    if (Facts)
        FinishFacts(result);
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
    if (CutPages)
        result.LeftOut.push_back(std::to_string(CutPages) +
                                 " page(s) longer than the document size limit of " +
                                 std::to_string(Options.MaxDocumentBytes) +
                                 " bytes, read only in part: their links after the cut are "
                                 "missing (the first: " +
                                 FirstCutPage + ")");
    add(UncheckedAtTimeLimit, "outside link(s) not checked: the run time limit came first");
    if (LinksCutOnPages)
        result.LeftOut.push_back(std::to_string(LinksCutOnPages) + " link(s) beyond " +
                                 std::to_string(Options.MaxLinksPerPage) + " on one page (" +
                                 std::to_string(PagesWithLinksCut) + " page(s))");
    add(LinksOverTotal,
        "link(s) beyond the " + std::to_string(Options.MaxLinks) + " URLs one crawl keeps");
    add(OutsideOverCap, "outside link(s) beyond the first " +
                            std::to_string(Options.MaxOutsideChecks) + " not checked");
    add(OutsideRefused, "outside link(s) to loopback, private or link-local addresses not "
                        "checked: the site is on no such address");
    if (Rendering && !Rendering->Trouble().empty())
        result.LeftOut.push_back(Rendering->Trouble());
    add(LongUrlCut, "link(s) longer than " + std::to_string(Options.MaxUrlLength) + " characters");
    add(PatternCut, "URL(s) of the site left out by the include and exclude patterns");
    add(RateLimitedLeft, "page(s) and file(s) not checked: the site kept refusing requests "
                         "(HTTP 429 or 503)");
    for (const auto& [status, count] : NotChecked)
        result.LeftOut.push_back(
            std::to_string(count) + " link(s) not checked: answered " + std::to_string(status) +
            (status == 401   ? " (a login is needed)"
             : status == 403 ? " (refused: a login, a firewall or a bot challenge)"
             : status == 429 ? " (too many requests: a rate limit)"
                             : " (unavailable, also when asked again later)"));
    for (const std::string& line : result.LeftOut)
        Log << "sm: left out: " << line << std::endl;
}

void Crawl::LoadCookieFile() {
    std::vector<std::string> cookies;
    std::string error;
    if (!ReadCookieFile(Options.CookieFile, cookies, error)) {
        Note(error + "; no cookies are sent from it");
        return;
    }
    // Handed to the cookie engine of the crawl's share, so every request has them.
    EasyPtr easy(curl_easy_init());
    SetCommonOptions(easy.get());
    for (const std::string& cookie : cookies)
        curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, cookie.c_str());
    Note(std::to_string(cookies.size()) + " cookie(s) read from " + Options.CookieFile);
}

bool ReadCookieFile(const std::string& path, std::vector<std::string>& cookies,
                    std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the cookie file " + path;
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || (line[0] == '#' && line.rfind("#HttpOnly_", 0) != 0))
            continue;
        size_t fields = 1;
        for (const char c : line)
            fields += c == '\t';
        if (fields != 7) {
            error = "line " + std::to_string(number) + " of the cookie file " + path +
                    " is not a cookie in the Netscape format (7 fields apart by tabs)";
            return false;
        }
        cookies.push_back(line);
        if (cookies.size() > 100000) {
            error = "the cookie file " + path + " holds more than 100000 cookies";
            return false;
        }
    }
    return true;
}

CrawlResult CrawlSite(const CrawlOptions& asked, std::ostream& log, const std::atomic<bool>* stop) {
    CrawlOptions options = asked;
    if (options.PerHost > 0) {
        options.Concurrency = std::min(options.Concurrency, options.PerHost);
        options.PerExternalHost = std::min(options.PerExternalHost, options.PerHost);
    }
    Crawl crawl(options, log, stop);
    CrawlResult result = crawl.Run();
    if (!options.MapFile.empty() && !result.Lines.empty()) {
        // a map made before the crawl began (a root that cannot be read)
        WriteSiteMapFile(options.MapFile, result.Lines, result.MapError);
        result.Lines.clear();
    }
    return result;
}

} // namespace vantora::webcharter
