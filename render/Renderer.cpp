#include "Renderer.h"

#include "DevTools.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <thread>

namespace vantora::render {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Time allowed for one protocol command that does not wait on the page.
constexpr milliseconds CommandTime{5000};
// Time allowed for reading the document once the budget is spent.
constexpr milliseconds ReadTime{3000};

// The host part of an absolute URL, lower case ("" when there is none).
std::string HostOf(const std::string& url) {
    const std::size_t start = url.find("://");
    if (start == std::string::npos)
        return {};
    const std::size_t end = url.find_first_of("/?#", start + 3);
    std::string host = url.substr(start + 3, end == std::string::npos ? end : end - start - 3);
    host = host.substr(host.rfind('@') == std::string::npos ? 0 : host.rfind('@') + 1);
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host;
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (line.size() > 300)
        line.resize(300);
    return line;
}

// What one tab learns from its events, filled on the pipe's reader thread.
struct PageWatch {
    std::mutex Lock;
    std::condition_variable Changed;
    std::string MainFrame; // the page target's id, which is its main frame's
    std::string SiteHost;
    // Documents of the main frame in the order they were first heard of (a
    // script may load another one), with whether each had its load event and
    // network quiet; documents of the tab from before this page (about:blank,
    // the page before) are left out.
    std::set<std::string> OldLoaders;
    std::vector<std::string> Loaders;
    std::map<std::string, std::pair<bool, bool>> LoaderStates;
    std::string NavLoader;  // the document Page.navigate began
    bool Navigated = false; // Page.navigate answered
    bool Crashed = false;

    // The page's own document (not about:blank before it) began, and the
    // latest document of the frame has loaded and gone quiet.
    bool Settled() const {
        if (!Navigated || Loaders.empty())
            return false;
        if (!NavLoader.empty() &&
            std::find(Loaders.begin(), Loaders.end(), NavLoader) == Loaders.end())
            return false;
        const auto state = LoaderStates.find(Loaders.back());
        return state != LoaderStates.end() && state->second.first && state->second.second;
    }
    std::string Error;
    // Scripts and style sheets of the site being loaded: request id -> "script URL".
    std::map<std::string, std::string> Resources;

    // Ready for the next page of the tab: what was heard so far is old.
    void Reset(const std::string& url) {
        OldLoaders.insert(Loaders.begin(), Loaders.end());
        Loaders.clear();
        LoaderStates.clear();
        NavLoader.clear();
        Navigated = false;
        Error.clear();
        Resources.clear();
        SiteHost = HostOf(url);
    }

    void SetError(std::string text) {
        if (Error.empty())
            Error = FirstLine(text);
    }
};

void OnPageEvent(const std::shared_ptr<PageWatch>& watch, DevTools& browser,
                 const std::string& session, const std::string& method, const Json& params) {
    if (method == "Fetch.requestPaused") {
        // Only images, fonts and media are paused: they are not loaded.
        browser.Send(
            "Fetch.failRequest",
            {{"requestId", params.value("requestId", "")}, {"errorReason", "BlockedByClient"}},
            session);
        return;
    }
    if (method == "Page.javascriptDialogOpening") {
        browser.Send("Page.handleJavaScriptDialog", {{"accept", false}}, session);
        return;
    }
    std::lock_guard<std::mutex> guard(watch->Lock);
    if (method == "Page.lifecycleEvent") {
        if (params.value("frameId", "") != watch->MainFrame)
            return;
        const std::string name = params.value("name", "");
        const std::string loader = params.value("loaderId", "");
        if (loader.empty() || watch->OldLoaders.count(loader))
            return;
        if (std::find(watch->Loaders.begin(), watch->Loaders.end(), loader) ==
                watch->Loaders.end() &&
            watch->Loaders.size() < 10000)
            watch->Loaders.push_back(loader);
        if (name == "load") {
            watch->LoaderStates[loader].first = true;
        } else if (name == "networkIdle") {
            watch->LoaderStates[loader].second = true;
        }
    } else if (method == "Runtime.exceptionThrown") {
        const Json& details = params.value("exceptionDetails", Json::object());
        std::string text;
        if (const auto exception = details.find("exception");
            exception != details.end() && exception->is_object())
            text = exception->value("description", "");
        if (text.empty())
            text = details.value("text", "uncaught script error");
        watch->SetError(text);
        return;
    } else if (method == "Network.requestWillBeSent" || method == "Network.responseReceived") {
        // Scripts and style sheets of the site are followed from whichever of
        // the two events tells of them first (preloaded ones come as answers).
        const std::string type = params.value("type", "");
        if (type != "Script" && type != "Stylesheet")
            return;
        const bool answer = method == "Network.responseReceived";
        const Json& about = params.value(answer ? "response" : "request", Json::object());
        const std::string url = about.value("url", "");
        if (HostOf(url) != watch->SiteHost)
            return;
        const std::string what = (type == "Script" ? "script " : "style sheet ") + url;
        if (watch->Resources.size() < 1000)
            watch->Resources[params.value("requestId", "")] = what;
        const int status = answer ? about.value("status", 0) : 0;
        if (status >= 400)
            watch->SetError(what + " answered " + std::to_string(status));
        return;
    } else if (method == "Network.loadingFailed") {
        const auto found = watch->Resources.find(params.value("requestId", ""));
        if (found == watch->Resources.end() || params.value("canceled", false))
            return;
        watch->SetError(found->second + " failed: " + params.value("errorText", "no answer"));
        return;
    } else if (method == "Inspector.targetCrashed") {
        watch->Crashed = true;
    } else {
        return;
    }
    watch->Changed.notify_all();
}

std::string ReadDocumentScript(std::size_t maxHtml) {
    return "(() => { const d = document.documentElement; if (!d) return ''; let h = d.outerHTML; "
           "if (h.length > " +
           std::to_string(maxHtml) + ") h = h.slice(0, " + std::to_string(maxHtml) +
           "); return location.href + '\\n<!DOCTYPE html>' + h; })()";
}

} // namespace

bool ParseRenderMode(const std::string& text, RenderMode& mode) {
    static const std::pair<const char*, RenderMode> names[] = {
        {"off", RenderMode::Off}, {"auto", RenderMode::Auto}, {"on", RenderMode::On}};
    for (const auto& [name, value] : names)
        if (text == name) {
            mode = value;
            return true;
        }
    return false;
}

Renderer::Renderer(RenderOptions options) : Options(std::move(options)) {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    TabsFree = std::clamp(Options.Tabs > 0 ? Options.Tabs : cores, 1, 64);
}

Renderer::~Renderer() {
    std::shared_ptr<DevTools> browser;
    {
        std::lock_guard<std::mutex> guard(Lock);
        browser = std::move(Current);
    }
    if (browser)
        browser->Stop();
}

void Renderer::Shutdown() {
    std::shared_ptr<DevTools> browser;
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Disabled.empty())
            Disabled = "rendering was stopped";
        browser = Current;
    }
    if (browser)
        browser->Stop();
}

std::string Renderer::Trouble() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Disabled;
}

long Renderer::BrowserPid() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Current && Current->Alive() ? static_cast<long>(Current->Pid()) : -1L;
}

std::shared_ptr<DevTools> Renderer::Browser(std::string& trouble) {
    std::lock_guard<std::mutex> guard(Lock);
    if (!Disabled.empty()) {
        trouble = Disabled;
        return nullptr;
    }
    if (Current && Current->Alive())
        return Current;
    if (Started) {
        if (Restarts >= static_cast<std::size_t>(Options.MaxRestarts)) {
            Disabled = "Chromium stopped or hung " + std::to_string(Restarts + 1) +
                       " times; the rest of the crawl is not rendered";
            trouble = Disabled;
            if (Current)
                Current->Stop();
            Current.reset();
            return nullptr;
        }
        ++Restarts;
    }
    if (Current)
        Current->Stop();
    Current.reset();
    Started = true;
    const std::string executable = FindChromium(Options.Executable);
    if (executable.empty()) {
        Disabled = Options.Executable.empty() ? "Chromium was not found (looked for chromium and "
                                                "chromium-headless-shell); pages are not rendered"
                                              : "Chromium was not found at " + Options.Executable +
                                                    "; pages are not rendered";
        trouble = Disabled;
        return nullptr;
    }
    auto browser = std::make_shared<DevTools>();
    std::string error;
    if (!browser->Start(executable, error)) {
        Disabled = error + "; pages are not rendered";
        trouble = Disabled;
        return nullptr;
    }
    // Windows the pages open are seen as they come and closed.
    DevTools* raw = browser.get();
    browser->Listen({}, [raw](const std::string& method, const Json& params) {
        if (method != "Target.targetCreated")
            return;
        const Json& info = params.value("targetInfo", Json::object());
        if (info.value("type", "") == "page" && !info.value("openerId", "").empty())
            raw->Send("Target.closeTarget", {{"targetId", info.value("targetId", "")}}, {});
    });
    browser->Call("Target.setDiscoverTargets", {{"discover", true}}, {}, CommandTime);
    Current = browser;
    return Current;
}

void Renderer::Broken(const std::shared_ptr<DevTools>& browser) {
    // A browser that does not answer is ended; the next page starts another.
    std::lock_guard<std::mutex> guard(Lock);
    if (Current == browser)
        Current->Stop();
}

// One tab: a page target in a browser context of its own, attached, with its
// events followed. It is used for page after page, and given up (its context
// disposed of with everything in it) after a page that went wrong.
struct Renderer::Tab {
    std::shared_ptr<DevTools> Browser;
    std::string Context, Target, Session;
    std::shared_ptr<PageWatch> Watch;
    int Pages = 0;

    ~Tab() {
        if (!Browser || !Browser->Alive())
            return;
        Browser->Forget(Session);
        // A browser that cannot even close a tab is ended, to be started again.
        if (!Browser->Call("Target.disposeBrowserContext", {{"browserContextId", Context}}, {},
                           CommandTime))
            Browser->Stop();
    }
};

std::unique_ptr<Renderer::Tab> Renderer::OpenTab(const std::shared_ptr<DevTools>& browser) {
    auto tab = std::make_unique<Tab>();
    const std::optional<Json> context =
        browser->Call("Target.createBrowserContext", {{"disposeOnDetach", true}}, {}, CommandTime);
    if (!context || !context->contains("browserContextId"))
        return nullptr;
    tab->Browser = browser;
    tab->Context = context->value("browserContextId", "");
    const std::optional<Json> target = browser->Call(
        "Target.createTarget", {{"url", "about:blank"}, {"browserContextId", tab->Context}}, {},
        CommandTime);
    if (!target || !target->contains("targetId"))
        return nullptr;
    tab->Target = target->value("targetId", "");
    const std::optional<Json> attached = browser->Call(
        "Target.attachToTarget", {{"targetId", tab->Target}, {"flatten", true}}, {}, CommandTime);
    if (!attached || !attached->contains("sessionId"))
        return nullptr;
    tab->Session = attached->value("sessionId", "");
    tab->Watch = std::make_shared<PageWatch>();
    tab->Watch->MainFrame = tab->Target;
    DevTools* raw = browser.get();
    browser->Listen(tab->Session, [watch = tab->Watch, raw, session = tab->Session](
                                      const std::string& method, const Json& params) {
        OnPageEvent(watch, *raw, session, method, params);
    });
    // Each command is waited for: some are carried out in the browser and
    // some in the page's renderer, so their order is not kept on its own,
    // and all must hold before a page starts loading.
    browser->Send("Browser.setDownloadBehavior",
                  {{"behavior", "deny"}, {"browserContextId", tab->Context}}, {});
    const std::pair<const char*, Json> setup[] = {
        {"Page.enable", Json::object()},
        // Dialogs are answered as dismissed and windows refused before any
        // script of a page runs, so a page cannot hold the tab with them.
        {"Page.addScriptToEvaluateOnNewDocument",
         {{"source", "window.alert = () => {}; window.confirm = () => false; "
                     "window.prompt = () => null; window.print = () => {}; "
                     "window.open = () => null;"}}},
        {"Page.setLifecycleEventsEnabled", {{"enabled", true}}},
        {"Runtime.enable", Json::object()},
        {"Network.enable", Json::object()},
        // Service workers a page registers do not stand between the tab and
        // the site for the pages after it.
        {"Network.setBypassServiceWorker", {{"bypass", true}}},
        {"Network.setUserAgentOverride", {{"userAgent", Options.UserAgent}}},
        {"Fetch.enable",
         {{"patterns", Json::array({{{"resourceType", "Image"}},
                                    {{"resourceType", "Font"}},
                                    {{"resourceType", "Media"}}})}}},
    };
    for (const auto& [method, params] : setup) {
        if (std::string_view(method) == "Network.setUserAgentOverride" && Options.UserAgent.empty())
            continue;
        if (!browser->Call(method, params, tab->Session, CommandTime))
            return nullptr;
    }
    return tab;
}

RenderedPage Renderer::Render(const std::string& url) {
    RenderedPage page;
    std::unique_ptr<Tab> tab;
    {
        std::unique_lock<std::mutex> guard(Lock);
        TabFree.wait(guard, [this] { return TabsFree > 0; });
        --TabsFree;
        if (!IdleTabs.empty()) {
            tab = std::move(IdleTabs.back());
            IdleTabs.pop_back();
        }
    }
    bool keep = false; // the tab goes back to the pool after this page
    struct TabBack {
        Renderer& Owner;
        std::unique_ptr<Tab>& Used;
        bool& Keep;
        ~TabBack() {
            std::unique_ptr<Tab> done;
            {
                std::lock_guard<std::mutex> guard(Owner.Lock);
                if (Keep && Used && Owner.Disabled.empty())
                    Owner.IdleTabs.push_back(std::move(Used));
                else
                    done = std::move(Used);
                ++Owner.TabsFree;
            }
            Owner.TabFree.notify_one();
            done.reset(); // closed outside the lock
        }
    } tabBack{*this, tab, keep};

    const Clock::time_point deadline = Clock::now() + milliseconds(Options.BudgetMs);
    std::string trouble;
    const std::shared_ptr<DevTools> browser = Browser(trouble);
    if (!browser) {
        page.Note = trouble;
        page.Unavailable = true;
        return page;
    }
    auto fail = [&](const std::string& why, bool browserBroken) {
        page.Note = why;
        ++Failed;
        if (browserBroken)
            Broken(browser);
        return page;
    };
    if (tab && tab->Browser != browser)
        tab.reset(); // of a browser that is gone
    if (!tab)
        tab = OpenTab(browser);
    if (!tab)
        return fail("Chromium did not open a tab", true);
    const std::string session = tab->Session;
    const std::shared_ptr<PageWatch> watch = tab->Watch;
    {
        std::lock_guard<std::mutex> guard(watch->Lock);
        watch->Reset(url);
    }
    const auto left = [&] {
        return std::max(milliseconds(1),
                        std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
    };
    const std::optional<Json> navigated =
        browser->Call("Page.navigate", {{"url", url}}, session, left());
    if (navigated && navigated->contains("error"))
        return fail("Chromium could not load the page", false);
    if (navigated && !navigated->value("errorText", "").empty())
        return fail("Chromium could not load the page: " + navigated->value("errorText", ""),
                    false);
    bool settled = false, crashed = false;
    {
        std::unique_lock<std::mutex> guard(watch->Lock);
        watch->Navigated = navigated.has_value();
        if (navigated)
            watch->NavLoader = navigated->value("loaderId", "");
        settled = watch->Changed.wait_until(guard, deadline, [&] {
            return watch->Crashed || !browser->Alive() || watch->Settled();
        });
        crashed = watch->Crashed;
        settled = settled && !crashed && browser->Alive();
    }
    if (crashed)
        return fail("the page's renderer crashed", false);
    if (!browser->Alive())
        return fail("Chromium stopped while rendering the page", true);
    page.TimedOut = !settled;
    // The document is read between the page's own tasks; a script that never
    // ends keeps that from happening, so it is stopped and reading tried again.
    // (Stopping scripts first would stop the reading too.)
    auto readDocument = [&](milliseconds wait) -> std::optional<std::string> {
        const std::optional<Json> read = browser->Call(
            "Runtime.evaluate",
            {{"expression", ReadDocumentScript(Options.MaxHtml)}, {"returnByValue", true}}, session,
            wait);
        if (!read || !read->contains("result"))
            return std::nullopt;
        const Json& result = (*read)["result"];
        if (!result.is_object() || !result.contains("value") || !result["value"].is_string())
            return std::nullopt;
        return result["value"].get<std::string>();
    };
    std::optional<std::string> html = readDocument(page.TimedOut ? ReadTime / 2 : ReadTime);
    if (!html && browser->Alive()) {
        browser->Send("Runtime.terminateExecution", Json::object(), session);
        html = readDocument(ReadTime);
    }
    {
        std::lock_guard<std::mutex> guard(watch->Lock);
        page.Error = watch->Error;
    }
    if (page.TimedOut)
        ++TimedOut;
    if (!html) {
        page.Note = page.TimedOut ? "the page did not settle and could not be read"
                                  : "the rendered page could not be read";
        ++Failed;
        return page;
    }
    page.Html = std::move(*html);
    const std::size_t newline = page.Html.find('\n');
    if (newline != std::string::npos && newline < 8192) {
        page.FinalUrl = page.Html.substr(0, newline);
        page.Html.erase(0, newline + 1);
    }
    page.Rendered = true;
    ++Rendered;
    // A page that settled leaves the tab fit for the next; one that did not may
    // still be running something, and its tab goes. Tabs are renewed now and
    // then so that nothing a site keeps in one grows without end.
    keep = !page.TimedOut && ++tab->Pages < 200;
    return page;
}

} // namespace vantora::render
