#pragma once
// Reading page bodies: the links of one page, resolved against its URL, computed on
// parse threads so the crawl loop never waits for a parser.

#include "Links.h"
#include "PageFacts.h"
#include "Url.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantora::webcharter {

struct RenderFacts; // Rendering.h

struct ResolvedLink {
    LinkKind Kind;
    std::optional<Url> Address; // an http(s) URL
    std::string Mail;           // "mailto:" + address
    std::string Invalid;        // an http(s) reference that cannot be parsed
};

// What reading one page's body gives: computed on a parse thread, from the body
// and the page URL alone, so the result does not depend on timing.
struct ParsedPage {
    bool Binary = false;             // not text: listed as a link, not as a page
    bool LongLinkCut = false;        // a reference longer than the URL limit was left out
    size_t LinksCut = 0;             // distinct links beyond the per-page bound, left out
    bool ExtractorsDisagree = false; // checked only when asked to
    size_t BodyHash = 0;
    size_t BodySize = 0;
    std::vector<ResolvedLink> Links;
    std::shared_ptr<PageFacts> Facts; // read only for the facts file
    // Set when the page was given to the browser (Rendering.h); the links from
    // ServedLinks on are those only the rendered document has.
    std::shared_ptr<const RenderFacts> Render;
    size_t ServedLinks = static_cast<size_t>(-1);
};

// The address of a mailto: link from what follows "mailto:": the first address, or
// the "to" field when there is none before "?"; without a fragment, its domain in
// lower case. Empty when there is none.
std::string MailAddress(std::string_view rest);

// contentType: the answer's Content-Type, whose charset (or else the page's <meta>)
// tells the encoding; pages not in UTF-8 are decoded before their links are read.
// headerLinks: references the answer's headers give as links of the page (a
// paginated listing's "Link: <...>; rel=next"); they resolve against the page's
// own URL and follow the document's links.
ParsedPage ParsePage(const std::string& body, const std::string& pageUrl, size_t maxUrlLength,
                     bool verify, const std::string& contentType = {}, bool facts = false,
                     size_t maxLinks = static_cast<size_t>(-1),
                     const std::vector<std::string>& headerLinks = {});

// Threads that read page bodies. Results come back through Take(); Wake is called
// when a thread has read what it can take, or many pages, so that the crawl
// loop's wait ends. Bodies are read in batches: a thread is woken when many
// bodies (or many bytes) wait or when Flush is called, so that on a site of
// small pages a thread reads many in a row instead of sleeping after each, and
// the crawl loop does not wake a thread for every page.
class ParsePool {
  public:
    struct Task {
        long Seq;
        std::string Body;
        std::string PageUrl;
        std::string ContentType;
        std::vector<std::string> HeaderLinks; // pages the answer's Link headers name
    };
    struct Result {
        long Seq;
        ParsedPage Parsed;
    };

    ParsePool(int threads, size_t maxUrlLength, bool verify, std::function<void()> wake,
              bool facts = false, size_t maxLinks = static_cast<size_t>(-1))
        : MaxUrlLength(maxUrlLength), MaxLinks(maxLinks), Verify(verify), Facts(facts),
          Wake(std::move(wake)) {
        for (int i = 0; i < threads; ++i)
            Threads.emplace_back([this] { Work(); });
    }
    ~ParsePool() {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Closing = true;
        }
        More.notify_all();
        for (std::thread& thread : Threads)
            thread.join();
    }
    void Add(Task task) {
        bool wake = false;
        {
            std::lock_guard<std::mutex> guard(Lock);
            QueuedBytes += task.Body.size();
            Tasks.push_back(std::move(task));
            wake = Tasks.size() >= BatchTasks || QueuedBytes >= BatchBytes;
        }
        if (wake)
            More.notify_one();
    }
    // Wakes the threads for what waits: for when the crawl would wait for it.
    void Flush() {
        size_t waiting = 0;
        {
            std::lock_guard<std::mutex> guard(Lock);
            waiting = Tasks.size();
        }
        if (waiting == 1)
            More.notify_one();
        else if (waiting > 1)
            More.notify_all();
    }
    // Runs after each page is read, on the same thread (rendering, when asked
    // for); set before the first Add. Rendering a page takes long: each body is
    // then given to a thread at once.
    void SetAfterRead(std::function<void(const Task&, ParsedPage&)> after) {
        AfterRead = std::move(after);
        BatchTasks = 1;
    }
    std::vector<Result> Take() {
        std::lock_guard<std::mutex> guard(Lock);
        std::vector<Result> results = std::move(Done);
        Done.clear();
        return results;
    }

  private:
    void Work() {
        while (true) {
            Task task;
            bool large = false;
            {
                // Reading a large body takes many times its size (a 10 MB page of
                // half a million links takes about 100 MB): one is read at a time,
                // so memory does not grow with the number of threads.
                std::unique_lock<std::mutex> guard(Lock);
                auto next = Tasks.end();
                More.wait(guard, [&] {
                    next = NextTask();
                    return next != Tasks.end() || (Closing && Tasks.empty());
                });
                if (next == Tasks.end())
                    return;
                large = next->Body.size() > LargeBody;
                LargeRunning = LargeRunning || large;
                QueuedBytes -= next->Body.size();
                task = std::move(*next);
                Tasks.erase(next);
            }
            Result result{task.Seq, ParsePage(task.Body, task.PageUrl, MaxUrlLength, Verify,
                                              task.ContentType, Facts, MaxLinks, task.HeaderLinks)};
            if (AfterRead)
                AfterRead(task, result.Parsed);
            bool wake = false;
            {
                std::lock_guard<std::mutex> guard(Lock);
                Done.push_back(std::move(result));
                if (large)
                    LargeRunning = false;
                // the crawl loop is woken when this thread would wait, or for many
                wake = NextTask() == Tasks.end() || Done.size() >= BatchTasks;
            }
            if (large)
                More.notify_all();
            if (wake)
                Wake();
        }
    }

    // The body a thread may read next (under Lock): one large body at a time.
    std::deque<Task>::iterator NextTask() {
        return std::find_if(Tasks.begin(), Tasks.end(), [&](const Task& waiting) {
            return !LargeRunning || waiting.Body.size() <= LargeBody;
        });
    }

    const size_t MaxUrlLength;
    const size_t MaxLinks;
    const bool Verify;
    const bool Facts;
    const std::function<void()> Wake;
    std::function<void(const Task&, ParsedPage&)> AfterRead;
    std::mutex Lock;
    std::condition_variable More;
    std::deque<Task> Tasks;
    size_t QueuedBytes = 0; // of the bodies in Tasks
    std::vector<Result> Done;
    size_t BatchTasks = 16;
    static constexpr size_t BatchBytes = 512u << 10;
    bool Closing = false;
    static constexpr size_t LargeBody = 1u << 20;
    bool LargeRunning = false; // a body larger than LargeBody is being read
    std::vector<std::thread> Threads;
};

} // namespace vantora::webcharter
