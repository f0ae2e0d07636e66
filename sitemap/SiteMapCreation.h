#pragma once
// Update Site Map: runs the site-mapping applet `sm`, waits for its map in
// the map folder and loads it into the project.
#include <QObject>
#include <QString>
#include <QStringList>

#include "SiteMapFormat.h"

namespace vantora {

class ProcessLauncher;
class SiteMapController;
class SiteMapHost;

// The folder for the runs' sitemap.tmp: the program folder when it is
// writable, otherwise the user's application data folder (created if needed).
QString SiteMapFolder(const QString& programDir);

// Each map run works in a folder "map-XXXXXX" of its own below the map
// folder and holds a lock on a file in it while it runs. Folders left by runs
// that ended without removing them (the program was killed, or it ended
// while a crawl ran) are removed: those whose lock no running program holds,
// and those without a lock file that are older than a minute (a run takes
// its lock just after making its folder). Returns how many were removed.
int RemoveAbandonedRunFolders(const QString& mapFolder);

// The lock of a running map run on its folder, held until destroyed.
class RunFolderLock {
  public:
    explicit RunFolderLock(const QString& runFolder);
    ~RunFolderLock();
    RunFolderLock(const RunFolderLock&) = delete;
    RunFolderLock& operator=(const RunFolderLock&) = delete;
    bool IsHeld() const { return Fd >= 0; }

  private:
    int Fd = -1;
};

// Whether the applet's output (without the marker line) maps rootUrl: its
// "<ROOT>" line names the same URL. Output without a "<ROOT>" line, or with
// the whole-map failure text, is left to the tree builder's own checks.
bool MapIsForRoot(const QStringList& lines, const QString& rootUrl);

// Whether a map read from the applet's output is complete: at least one line,
// and "Unspecified Host" somewhere or exactly "<END>" as the last line.
bool SiteMapOutputComplete(const QStringList& lines);

// What the applet reports on its error output while it runs: its progress
// ("120 pages done, 40 queued, 3 broken") and, at the end, what the map leaves
// out and why (a page limit, robots.txt, crawler traps...).
struct AppletReport {
    QString Progress;
    QStringList LeftOut;
    QByteArray Pending; // the start of a line not yet ended
    // Takes more of the applet's error output.
    void Read(const QByteArray& more);
};

// The information box's text for a map that leaves things out.
QString LeftOutMessage(const QStringList& leftOut);

// The links the applet did not check (its --not-checked file: "STATUS<TAB>URL"
// lines, 0 for a link never asked, a last "+<TAB>N" for N more), for the
// information box: at most shown of them with their answers, then how many
// more. Empty when there are none.
QString NotCheckedMessage(const QByteArray& list, int shown = 20);

extern const QString MsgMapStopped;  // the status text after Stop
extern const QString MsgMapCreating; // "Creating the Site Map, Please Wait..."
extern const QString MsgMapComplete; // "SiteMap creation complete."
extern const QString MsgMapError;    // "Error creating SiteMap."
// The status text when the applet could not examine the site.
extern const QString MsgMapNotUpdated;
// The question when the journal of a stopped crawl is there (Yes, No, Cancel).
extern const QString MsgContinueCrawl;
// The status text while the applet's map is read ("%1": the percentage).
extern const QString MsgReadingMap;
// The status text while a finished crawl is checked and kept in the history.
extern const QString MsgKeepingCrawl;

class SiteMapCreator : public QObject {
    Q_OBJECT
  public:
    // The applet is programDir + "sm"; the files live in mapFolder.
    SiteMapCreator(SiteMapHost& host, SiteMapController& tree, ProcessLauncher& launcher,
                   const QString& programDir, const QString& mapFolder, QObject* parent = nullptr);

    // Opens the information window at every creation while true; the window's
    // check box sets it. Not stored.
    bool ShowMapperInfo = true;
    // The pause after the start and the polling interval (one second each).
    int StartPauseMs = 1000;
    int PollIntervalMs = 1000;
    // The largest map that is taken from the applet.
    MapLimits Limits;

    QString AppletPath() const { return Applet; }
    QString MapFolder() const { return Folder; }
    bool IsRunning() const { return Running; }

    // The command. Returns when the map is loaded, the user stopped it or a
    // failure was reported; keeps the window responsive meanwhile.
    void UpdateSiteMap();

  signals:
    // Open the information window (not modal).
    void ShowInfoWindow();
    // The applet's latest progress line, while it runs.
    void AppletProgress(const QString& text);
    void RunningChanged(bool running);
    // A finished map's crawl was kept in the project's crawl history.
    void CrawlStored();
    // A finished crawl is about to be kept (the history is written after
    // it): what shows the crawl before may let go of its lists meanwhile.
    void KeepingCrawl();
    // Keeping the crawl failed; the history is as it was.
    void CrawlNotStored();

  private:
    void Run();
    MapReadResult ReadMap(const QString& path);
    void EndStopped(qint64 applet);
    void Fail(const QString& text);
    // Waits for the applet to end, then keeps its crawl in the history.
    void KeepCrawl(qint64 applet, const QString& factsPath, const QString& historyPath);

    SiteMapHost& Host;
    SiteMapController& TreeControl;
    ProcessLauncher& Launcher;
    QString Applet;
    QString Folder;
    bool Running = false;
};

} // namespace vantora
