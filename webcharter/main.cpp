// sm: the Webcharter site mapper. Crawls one site and writes its map to sitemap.tmp
// in the working directory.

#include "Crawler.h"

#include <curl/curl.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::atomic<bool> StopFlag{false};

void OnSignal(int) {
    StopFlag.store(true);
}

const char Usage[] =
    "Usage: sm Search_URL=HOST/PATH [options]\n"
    "Maps the web site at http://HOST/PATH and writes the map to sitemap.tmp.\n"
    "\n"
    "Options:\n"
    "  --output=FILE        write the map to FILE instead of sitemap.tmp\n"
    "  --max-pages=N        list at most N pages (default 2000000)\n"
    "  --max-bytes=N        read at most N bytes of one document (default 10485760)\n"
    "  --max-depth=N        follow links at most N levels deep (default 250)\n"
    "  --timeout=SECONDS    time allowed for one request (default 20)\n"
    "  --max-time=SECONDS   time allowed for the whole run, 0 for none (default 14400)\n"
    "  --concurrency=N      transfers at once to the site (default 16)\n"
    "  --per-host=N         at most N connections at once to any one host, the\n"
    "                       site's and each other site's (default: as --concurrency\n"
    "                       to the site, 2 to each other host)\n"
    "  --max-query-pages=N  list at most N pages of one path with differing query\n"
    "                       strings (default 1000)\n"
    "  --ca-file=FILE       trust the certificate authorities in FILE (PEM) for\n"
    "                       https instead of the system's\n"
    "  --max-links-per-page=N  keep at most N distinct links of one page (default 10000)\n"
    "  --max-links=N        keep at most N distinct URLs in all (default 2500000)\n"
    "  --max-outside-checks=N  check at most N links to other sites (default 100000)\n"
    "  --user-agent=TEXT    the User-Agent sent (default names Webcharter and its\n"
    "                       help page); robots.txt groups for \"webcharter\" apply\n"
    "  --header=\"NAME: VALUE\"  send this request header too (may be repeated)\n"
    "  --cookie-file=FILE   send the cookies of FILE (the Netscape format browsers\n"
    "                       export), for sites behind a login; FILE is not written\n"
    "  --max-rate=N         at most N requests a second to the site (default: no\n"
    "                       bound); a Crawl-delay in robots.txt spaces them further\n"
    "  --include=REGEX      fetch only URLs of the site that match REGEX (may be\n"
    "                       repeated: any one may match); the root always is\n"
    "  --exclude=REGEX      do not fetch URLs of the site that match REGEX (may be\n"
    "                       repeated)\n"
    "  --max-retry-after=SECONDS  longest wait asked by a 429 or 503 that is obeyed\n"
    "                       (default 120)\n"
    "  --resume[=JOURNAL]   keep every answer in JOURNAL (default: the map's file\n"
    "                       name and .resume) as it comes, and when that file is\n"
    "                       there from a crawl of the same site that was stopped\n"
    "                       or killed, continue it: what it holds is not asked of\n"
    "                       the site again and the map is the one the whole crawl\n"
    "                       makes; the file is removed once the map is written\n"
    "  --no-robots          ignore the site's robots.txt\n"
    "  --no-external        do not check links to other sites\n"
    "  --quiet              no progress lines\n"
    "  --verbose            report every failed request\n"
    "  --not-checked=FILE   also list the links that were not checked (a login, a\n"
    "                       refusal, a rate limit: not broken) in FILE, one\n"
    "                       \"STATUS<TAB>URL\" a line, 0 for links never asked\n"
    "  --facts=FILE         also write the facts of every fetched URL of the site\n"
    "                       (answer, timings, titles, canonicals...) and of its XML\n"
    "                       sitemaps to FILE, for the site-health checks\n"
    "  --render=MODE        load pages in headless Chromium and read what their\n"
    "                       scripts build: off (default), auto (pages that look\n"
    "                       built by scripts: a script and next to no text in the\n"
    "                       body) or on (every page)\n"
    "  --render-tabs=N      pages rendered at once (default one per core)\n"
    "  --render-budget=SECONDS  time one page may take to load and settle in\n"
    "                       the browser (default 10)\n"
    "  --chromium=FILE      the Chromium program (default: chromium or\n"
    "                       chromium-headless-shell in PATH)\n"
    "  --verify-links       read every page with both link extractors and report\n"
    "                       any page on which they differ (slower)\n"
    "  --help               show this text\n"
    "Options in the environment variable VANTORA_SM_OPTIONS (blank-separated) come\n"
    "before those on the command line.\n";

bool ReadNumber(const std::string& text, double low, double high, double& value) {
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    if (text.empty() || errno || *end || !(number >= low && number <= high))
        return false;
    value = number;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using vantora::webcharter::CrawlOptions;
    CrawlOptions options;
    std::string output = "sitemap.tmp";
    std::string journal; // of --resume
    bool haveUrl = false;
    // Options may also come from the environment, before those on the command line:
    // the program starts sm with the root URL alone.
    std::vector<std::string> arguments;
    if (const char* fromEnvironment = std::getenv("VANTORA_SM_OPTIONS")) {
        std::istringstream words(fromEnvironment);
        for (std::string word; words >> word;)
            arguments.push_back(word);
    }
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    for (const std::string& arg : arguments) {
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : arg.substr(equals + 1);
        double number = 0;
        auto bad = [&](const char* what) {
            std::cerr << "sm: " << name << " needs " << what << ", not \"" << value << "\"\n";
            return 2;
        };
        if (name == "Search_URL") {
            options.SearchUrl = value;
            haveUrl = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            return 0;
        } else if (name == "--output") {
            if (value.empty())
                return bad("a file name");
            output = value;
        } else if (name == "--not-checked") {
            if (value.empty())
                return bad("a file name");
            options.NotCheckedFile = value;
        } else if (name == "--facts") {
            if (value.empty())
                return bad("a file name");
            options.FactsFile = value;
        } else if (name == "--max-pages") {
            if (!ReadNumber(value, 1, 1e9, number))
                return bad("a number of pages from 1");
            options.MaxPages = static_cast<size_t>(number);
        } else if (name == "--max-bytes") {
            if (!ReadNumber(value, 1024, 1e10, number))
                return bad("a number of bytes from 1024");
            options.MaxDocumentBytes = static_cast<size_t>(number);
        } else if (name == "--max-depth") {
            if (!ReadNumber(value, 0, 250, number))
                return bad("a depth from 0 to 250");
            options.MaxDepth = static_cast<int>(number);
        } else if (name == "--timeout") {
            if (!ReadNumber(value, 0.1, 3600, number))
                return bad("seconds from 0.1 to 3600");
            options.RequestTimeoutMs = static_cast<long>(number * 1000);
            options.ConnectTimeoutMs = std::min(options.ConnectTimeoutMs, options.RequestTimeoutMs);
        } else if (name == "--max-time") {
            if (!ReadNumber(value, 0, 1e7, number))
                return bad("seconds from 0");
            options.MaxRunSeconds = number;
        } else if (name == "--concurrency") {
            if (!ReadNumber(value, 1, 256, number))
                return bad("a number from 1 to 256");
            options.Concurrency = static_cast<int>(number);
        } else if (name == "--per-host") {
            if (!ReadNumber(value, 1, 256, number))
                return bad("a number from 1 to 256");
            options.PerHost = static_cast<int>(number);
        } else if (name == "--max-query-pages") {
            if (!ReadNumber(value, 1, 1e9, number))
                return bad("a number of pages from 1");
            options.MaxQueryPages = static_cast<size_t>(number);
        } else if (name == "--ca-file") {
            if (value.empty() || !std::ifstream(value))
                return bad("a readable file of certificate authorities");
            options.CaFile = value;
        } else if (name == "--max-links-per-page" || name == "--max-links" ||
                   name == "--max-outside-checks") {
            const double most = name == "--max-links-per-page" ? 1e7 : 1e9;
            if (!ReadNumber(value, 1, most, number))
                return bad(name == "--max-links-per-page" ? "a number from 1 to 10000000"
                                                          : "a number from 1");
            (name == "--max-links"            ? options.MaxLinks
             : name == "--max-outside-checks" ? options.MaxOutsideChecks
                                              : options.MaxLinksPerPage) =
                static_cast<size_t>(number);
        } else if (name == "--user-agent") {
            if (value.empty() || value.find_first_of("\r\n") != std::string::npos)
                return bad("a text on one line");
            options.UserAgent = value;
        } else if (name == "--header") {
            const size_t colon = value.find(':');
            if (colon == std::string::npos || colon == 0 ||
                value.find_first_of("\r\n") != std::string::npos ||
                value.substr(0, colon).find_first_of(" \t") != std::string::npos)
                return bad("\"Name: value\" on one line");
            options.Headers.push_back(value);
        } else if (name == "--cookie-file") {
            std::vector<std::string> cookies;
            std::string error;
            if (value.empty() || !vantora::webcharter::ReadCookieFile(value, cookies, error)) {
                std::cerr << "sm: " << (value.empty() ? "--cookie-file needs a file name" : error)
                          << "\n";
                return 2;
            }
            options.CookieFile = value;
        } else if (name == "--max-rate") {
            if (!ReadNumber(value, 0.001, 1e6, number))
                return bad("requests a second above 0");
            options.MaxRequestsPerSecond = number;
        } else if (name == "--max-retry-after") {
            if (!ReadNumber(value, 0, 86400, number))
                return bad("seconds from 0 to 86400");
            options.MaxRetryAfterSeconds = number;
        } else if (name == "--include" || name == "--exclude") {
            try {
                std::regex check(value, std::regex::ECMAScript);
            } catch (const std::regex_error& error) {
                return bad("a regular expression");
            }
            if (value.empty())
                return bad("a regular expression");
            (name == "--include" ? options.Include : options.Exclude).push_back(value);
        } else if (name == "--render") {
            if (!vantora::render::ParseRenderMode(value, options.Render))
                return bad("off, auto or on");
        } else if (name == "--render-tabs") {
            if (!ReadNumber(value, 1, 64, number))
                return bad("a number from 1 to 64");
            options.RenderWith.Tabs = static_cast<int>(number);
        } else if (name == "--render-budget") {
            if (!ReadNumber(value, 0.5, 600, number))
                return bad("seconds from 0.5 to 600");
            options.RenderWith.BudgetMs = static_cast<long>(number * 1000);
        } else if (name == "--chromium") {
            if (value.empty())
                return bad("a program");
            options.RenderWith.Executable = value;
        } else if (name == "--resume") {
            if (equals != std::string::npos && value.empty())
                return bad("a file name");
            options.Resume = true;
            journal = value;
        } else if (arg == "--no-robots") {
            options.Robots = false;
        } else if (arg == "--no-external") {
            options.CheckExternal = false;
        } else if (arg == "--verify-links") {
            options.VerifyLinks = true;
        } else if (arg == "--verbose") {
            options.Verbose = true;
        } else if (arg == "--quiet") {
            options.Progress = false;
        } else {
            std::cerr << "sm: unknown argument \"" << arg << "\"\n" << Usage;
            return 2;
        }
    }
    if (!haveUrl) {
        std::cerr << "sm: Search_URL= is missing\n" << Usage;
        return 2;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    options.MapFile = output;
    if (journal.empty())
        journal = output + ".resume";
    if (options.Resume)
        options.JournalFile = journal;
    const auto result = vantora::webcharter::CrawlSite(options, std::cerr, &StopFlag);
    curl_global_cleanup();
    if (result.Interrupted) {
        std::cerr << "sm: stopped; no map written"
                  << (options.Resume ? "; the same command with --resume continues the crawl" : "")
                  << "\n";
        return 130;
    }
    if (!result.MapError.empty()) {
        std::cerr << "sm: " << result.MapError << "\n";
        return 1;
    }
    // The map is newer than any journal beside it, kept or left by an older crawl.
    std::remove(journal.c_str());
    if (result.Replayed)
        std::cerr << "sm: " << result.Replayed
                  << " answer(s) were taken from the crawl journal of the earlier run\n";
    std::cerr << "sm: map written to " << output << ": " << result.Pages << " pages, "
              << result.External << " external links, " << result.Mail << " e-mail links, "
              << result.Broken + result.Errors - result.ServerErrors << " broken links, "
              << result.ServerErrors << " server errors\n";
    if (!result.FactsError.empty())
        return 1; // the map is written, the facts asked for are not
    return result.RootReached ? 0 : 3;
}
