#include "Rendering.h"

#include "ScriptBuilt.h"

#include <unordered_set>

namespace vantora::webcharter {

namespace {

std::string LinkKey(const ResolvedLink& link) {
    const char kind = static_cast<char>('0' + static_cast<int>(link.Kind));
    if (link.Address)
        return kind + link.Address->ToString();
    return kind + (link.Mail.empty() ? "!" + link.Invalid : link.Mail);
}

} // namespace

void PageRendering::Apply(const ParsePool::Task& task, ParsedPage& parsed, size_t maxUrlLength,
                          bool facts, size_t maxLinks) {
    if (parsed.Binary || Mode == render::RenderMode::Off ||
        (Mode == render::RenderMode::Auto && !render::LooksScriptBuilt(task.Body)))
        return;
    render::RenderedPage page = Browser.Render(task.PageUrl);
    if (page.Unavailable)
        return; // said once for the crawl (Trouble), not page by page
    ++Asked;
    auto result = std::make_shared<RenderFacts>();
    result->TimedOut = page.TimedOut;
    result->Error = std::move(page.Error);
    result->Note = std::move(page.Note);
    result->Rendered = page.Rendered;
    parsed.Render = result;
    if (!page.Rendered)
        return;
    // Links in the rendered document resolve against where it was when read:
    // a script may have moved it (history.pushState, location).
    std::string base = task.PageUrl;
    if (const std::optional<Url> final = ParseUrl(page.FinalUrl))
        base = final->ToString();
    ParsedPage rendered = ParsePage(page.Html, base, maxUrlLength, false,
                                    "text/html; charset=utf-8", facts, maxLinks);
    result->Facts = std::move(rendered.Facts);
    std::unordered_set<std::string> served;
    for (const ResolvedLink& link : parsed.Links)
        served.insert(LinkKey(link));
    parsed.ServedLinks = parsed.Links.size();
    for (ResolvedLink& link : rendered.Links) {
        if (parsed.Links.size() >= maxLinks) {
            ++parsed.LinksCut;
            continue;
        }
        if (served.insert(LinkKey(link)).second)
            parsed.Links.push_back(std::move(link));
    }
    parsed.LongLinkCut = parsed.LongLinkCut || rendered.LongLinkCut;
}

std::string PageRendering::Summary() const {
    if (!Asked)
        return {};
    std::string line = std::to_string(Browser.Rendered.load()) + " of " +
                       std::to_string(Asked.load()) + " page(s) rendered in Chromium";
    if (Browser.TimedOut)
        line +=
            "; " + std::to_string(Browser.TimedOut.load()) + " did not settle within the budget";
    if (Browser.Failed)
        line += "; " + std::to_string(Browser.Failed.load()) + " could not be rendered";
    if (Browser.Restarts)
        line += "; Chromium was restarted " + std::to_string(Browser.Restarts.load()) + " time(s)";
    return line;
}

} // namespace vantora::webcharter
