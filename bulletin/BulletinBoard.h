#pragma once
// The bulletin board's work without windows: a message cut into lines and
// written to the message view, opening and deleting messages, the enabling
// rule of the stop entries and the two requests that stop automatic bulletins.
#include "ProjectData.h"
#include "ReportSink.h"

#include <QStringList>

namespace vantora {

class Dialogs;
class Transport;

// What the bulletin board needs from the main window.
class BulletinHost {
  public:
    virtual ~BulletinHost() = default;
    virtual ProjectData& Project() = 0;
    virtual Dialogs& MessageBoxes() = 0;
    virtual Transport& Net() = 0;
    virtual QString ServerAddress() const = 0;
    virtual QString UserId() const = 0;
    // The connection check every on-line command runs first; false = stop.
    virtual bool CheckConnect() = 0;
    // The same without dialling or asking (the periodic check).
    virtual bool CheckConnectQuietly() { return CheckConnect(); }
    virtual void SetProjectModified() = 0;
    virtual void SetBusyCursor(bool on) { (void)on; }
    // The project's file, "" while it is unsaved (its crawl history is beside it).
    virtual QString ProjectFileName() const { return QString(); }
    virtual void LetMessagesRun() {}
};

enum class BulletinTool { Backwatch, Rankscout };

// The read flag of an unread and of a read message, as stored.
inline constexpr int UnreadFlag = 0;
inline constexpr int ReadFlag = 1;

// A message body cut at every "<br>": a body without one is one line, a body
// ending in "<br>" ends with an empty line.
QStringList MessageLines(const QString& body);

// The message view's text format: Arial, 13 pixels high (10 points).
ReportFormat MessageFormat();

// The read flag of message index as the list shows it: the stored column
// read as a number (0 when it is not one).
int MessageReadFlag(const BulletinList& messages, int index);

// A stop entry is enabled exactly when its project flag is "Y".
bool StopEntryEnabled(const QString& flag);

// The request queue entry of a stop request: the tag digit and the URL.
QString StopBulletinsEntry(BulletinTool tool, const QString& serverAddress, const QString& userId,
                           const QString& rootHost);

// Opens message index: writes its lines to view, marks it read and the
// project modified. False, and nothing done, for an index outside the list.
bool OpenMessage(BulletinHost& host, int index, ReportSink& view);

// Asks whether to erase the message (always, even when index is -1 for no
// selection), then removes message index from all four columns and empties
// the view. True when a message was removed.
bool DeleteMessage(BulletinHost& host, int index, ReportSink& view);

// "Stop Backwatch Bulletins" / "Stop Rankscout Bulletins": after the
// connection check, queues the stop request and starts the transport when it
// is idle. True when the request was queued.
bool StopBulletins(BulletinHost& host, BulletinTool tool);

// "Update" (and Tools > Update Bulletin Board, and the periodic check): posts
// the new site-health errors since the crawl before, then queues a check of
// every watched page whose tool's automatic bulletins are on; the answers
// post bulletins as they are filed. quiet: no message boxes (the periodic
// check). The number of checks queued.
int UpdateBulletinBoard(BulletinHost& host, bool quiet = false);

// The queue entries for the watched checks: Rankscout with the key phrase
// and engines of the page's latest stored result, Backwatch as it is.
QStringList WatchRequests(const ProjectData& project, const QString& serverAddress);

} // namespace vantora
