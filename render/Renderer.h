#pragma once
// Loads pages in headless Chromium as a visitor's browser would and returns the
// document its scripts built. Pages are loaded in a pool of tabs, each in a
// browser context of its own (its own cookies, storage and renderer process),
// kept for page after page and disposed of after a page that did not settle.
// Service workers are bypassed. Images, fonts and media are not loaded, downloads are
// denied, dialogs dismissed and windows a page opens closed. A page is given
// until its load event and 500 ms without network traffic, at most the budget;
// then its document is read whatever state it is in. A browser that dies or
// stops answering is started again, a few times a crawl at most.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vantora::render {

class DevTools;

enum class RenderMode { Off, Auto, On };

// "off", "auto" or "on"; false for anything else.
bool ParseRenderMode(const std::string& text, RenderMode& mode);

struct RenderOptions {
    std::string Executable; // the Chromium program; empty: looked for (FindChromium)
    int Tabs = 0;           // pages rendered at once; 0: one per core
    long BudgetMs = 10000;  // from the start of loading to reading the document
    std::size_t MaxHtml = 10 * 1024 * 1024; // characters of the rendered document kept
    int MaxRestarts = 3;                    // browser restarts allowed
    std::string UserAgent;                  // empty: the browser's own
};

struct RenderedPage {
    bool Rendered = false; // Html holds the rendered document
    bool TimedOut = false; // the page did not settle within the budget
    std::string Html;
    std::string FinalUrl; // the document's address when it was read (scripts may change it)
    // The first uncaught script error, or failed script or style sheet of the
    // page's own host.
    std::string Error;
    std::string Note; // why the page was not rendered
    // No browser could be had (none found, given up after crashes, stopped):
    // the page was not tried at all.
    bool Unavailable = false;
};

class Renderer {
  public:
    explicit Renderer(RenderOptions options);
    ~Renderer(); // ends the browser
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Renders one page (an absolute http or https URL). Thread-safe; blocks
    // while all tabs are busy.
    RenderedPage Render(const std::string& url);

    // Empty while pages can be rendered; else why not (no Chromium, it died
    // too often), in words.
    std::string Trouble() const;
    // Ends the browser for good: pages being rendered end at once, unrendered.
    void Shutdown();
    // The browser's process id, or -1 when none runs.
    long BrowserPid() const;

    std::atomic<std::size_t> Rendered{0}, TimedOut{0}, Failed{0}, Restarts{0};

  private:
    struct Tab;
    std::unique_ptr<Tab> OpenTab(const std::shared_ptr<DevTools>& browser);
    std::shared_ptr<DevTools> Browser(std::string& trouble);
    void Broken(const std::shared_ptr<DevTools>& browser);

    const RenderOptions Options;
    mutable std::mutex Lock;
    std::condition_variable TabFree;
    int TabsFree = 1;
    std::shared_ptr<DevTools> Current;
    std::vector<std::unique_ptr<Tab>> IdleTabs;
    bool Started = false;
    std::string Disabled; // the trouble, once rendering is given up
};

} // namespace vantora::render
