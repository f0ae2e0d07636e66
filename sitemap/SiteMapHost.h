#pragma once
// What the site map code needs from the main window: the open project, the
// status bar's left panel, the busy animation, the Stop flag, the connection
// check and the message boxes.
#include "Checks.h"

#include <QString>

#include <functional>

namespace vantora {

class Dialogs;
struct ProjectData;

class SiteMapHost {
  public:
    virtual ~SiteMapHost() = default;
    virtual Dialogs& MessageBoxes() = 0;
    // The open project; its SiteMapLines, RootHost and RootPath are read and written.
    virtual ProjectData& Project() = 0;
    virtual void SetProjectModified() = 0;
    // Status bar panel 0.
    virtual QString StatusText() const = 0;
    virtual void SetStatusText(const QString& text) = 0;
    // The tool bar's busy animation; off shows its first picture again.
    virtual void SetBusyAnimation(bool running) = 0;
    // The Stop button's flag.
    virtual bool StopRequested() const = 0;
    virtual void SetStopRequested(bool requested) = 0;
    // Connected, or dialled now; false means stop without a message.
    virtual bool CheckConnect() = 0;
    // The crawl history beside the project file; empty while the project has
    // no file, and then a crawl is not kept.
    virtual QString CrawlHistoryPath() const { return {}; }
    // The site mapper's journal beside the project file (CrawlJournalPath);
    // empty while the project has no file, and then a crawl cannot be continued.
    virtual QString CrawlJournalPath() const { return {}; }
    // What the site-health checks of a kept crawl are run with.
    virtual health::CheckSettings HealthChecks() const { return {}; }
};

// Shows the hourglass cursor for its lifetime (nothing without a GUI application).
class WaitCursor {
  public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    bool Active = false;
};

// Lets pending window messages run.
void ProcessPendingEvents();

// Waits up to ms milliseconds while window messages go on being handled,
// returning early once stop() says so (it is asked every few milliseconds).
// Timers drive the wait; it sleeps only once the application is quitting.
void WaitWhileHandlingMessages(int ms, const std::function<bool()>& stop);

// Runs work on a thread of its own while window messages go on being
// handled here, and tick here every tickMs milliseconds meanwhile (to show
// progress, to pass on a Stop); returns once work has ended. False when work
// ended by an exception (it ran out of memory): its results are then not to
// be used.
bool RunWhileHandlingMessages(const std::function<void()>& work,
                              const std::function<void()>& tick = {}, int tickMs = 100);

} // namespace vantora
