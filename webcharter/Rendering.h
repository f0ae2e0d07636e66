#pragma once
// Rendering in the crawl: after a page's served body is read, the pages the
// render mode asks for are loaded in headless Chromium (render/); the links
// only the rendered document has are added after the served ones, and its
// facts are kept beside the served facts.

#include "PageReading.h"
#include "Renderer.h"

#include <memory>
#include <string>

namespace vantora::webcharter {

// What rendering one page gave, for the facts file.
struct RenderFacts {
    bool Rendered = false;
    bool TimedOut = false;
    std::string Error;                // first script error or failed script or style sheet
    std::string Note;                 // why it was not rendered
    std::shared_ptr<PageFacts> Facts; // of the rendered document (when facts are written)
};

class PageRendering {
  public:
    PageRendering(render::RenderMode mode, render::RenderOptions options)
        : Mode(mode), Browser(std::move(options)) {}

    // Called on a parse thread with the page's served body, once ParsePage has
    // read it into parsed.
    void Apply(const ParsePool::Task& task, ParsedPage& parsed, size_t maxUrlLength, bool facts,
               size_t maxLinks);
    // A line for the log at the end of the crawl (empty when nothing was asked
    // to render), and the reason pages could not be rendered at all (or empty).
    std::string Summary() const;
    std::string Trouble() const { return Browser.Trouble(); }
    // Ends the browser: pages being rendered end at once, unrendered.
    void Stop() { Browser.Shutdown(); }

  private:
    const render::RenderMode Mode;
    render::Renderer Browser;
    std::atomic<size_t> Asked{0};
};

} // namespace vantora::webcharter
