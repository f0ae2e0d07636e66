#pragma once
// What the main window gives the subsystems that hang off it (tool pages,
// audit, bulletin board): the open project, the status bar, the busy cursor,
// the modified flag, the message boxes, the connection check, the request
// queue and the program options they read. The window implements it once;
// tests implement it over doubles.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace vantora {

class Dialogs;
class SiteTree;
class Transport;
struct ProjectData;

// The program options a subsystem reads (stored as ReportGen, Clear and
// Leave in the settings store).
struct RunOptions {
    bool ReportGen = false; // begin a report when Show finds no stored one
    bool Clear = false;     // clear a report view before a new report
    bool Leave = false;     // keep a page's older results beside the new one
};

class WindowHost {
  public:
    virtual ~WindowHost() = default;

    // The open project's data, and whether a project is open at all.
    virtual ProjectData& Project() = 0;
    virtual bool ProjectIsOpen() const = 0;
    virtual void SetProjectModified() = 0;

    virtual Dialogs& MessageBoxes() = 0;
    // Status bar panel 0.
    virtual QString StatusText() const = 0;
    virtual void SetStatusText(const QString& text) = 0;
    // The hourglass cursor on or off (calls pair up).
    virtual void SetBusyCursor(bool on) = 0;
    // Lets pending window messages run where the program must.
    virtual void LetMessagesRun() = 0;

    // Connected, or dialled now; false means stop without a message.
    virtual bool CheckConnect() = 0;
    // The request queue and its transport.
    virtual Transport& Requests() = 0;
    // The analysis server's host and port ("127.0.0.1:47800").
    virtual QString ServerAddress() const = 0;

    // The full URLs of the valid pages selected in the site map, in tree order.
    virtual QStringList SelectedPages() const = 0;
    virtual RunOptions Options() const = 0;
    // The local date and time now (tests fix it).
    virtual QDateTime Now() const = 0;

    // Brings a page of the tools notebook to the front (its tab index).
    virtual void ShowPage(int tabIndex) = 0;
    // The tab index of the notebook's current page.
    virtual int CurrentPage() const = 0;
    // Bulletins were added to the project's messages (a watched page changed).
    virtual void BulletinsPosted() {}
    // The site map tree the window holds, when it is built from the project's
    // present SiteMapLines; null otherwise (or without a window).
    virtual const SiteTree* BuiltSiteTree() const { return nullptr; }
};

} // namespace vantora
