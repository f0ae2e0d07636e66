#pragma once
// Watching pages: the project keeps a list of pages whose rank (Rankscout)
// or link-backs (Backwatch) are checked again on every bulletin board
// update. When a new result of a watched page is filed, it is compared with
// the result it follows and a bulletin is posted for each change: a rank
// that moved, a link-back that is new or lost. New site-health errors since
// the crawl before are posted too. Results that could not be checked are
// never compared: they say nothing about a change.
#include "ProjectData.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vantora {

// Whether page is watched with tool (Rankscout or Backwatch).
bool IsWatched(const ProjectData& project, ToolKind tool, const QString& page);
// Starts or ends watching page; starting turns the tool's automatic
// bulletins flag on. False when nothing changed.
bool SetWatched(ProjectData& project, ToolKind tool, const QString& page, bool on);
// Ends watching every page of tool (its automatic bulletins were stopped).
void StopWatching(ProjectData& project, ToolKind tool);
// The watched pages of tool, in the order they were added.
QStringList WatchedPages(const ProjectData& project, ToolKind tool);

struct NewBulletin {
    QString Body;   // lines joined by "<br>"
    QString Sender; // "Message from"
    QString Page;   // "Regarding Web Page"
    bool operator==(const NewBulletin&) const = default;
};

// The bulletins for a new result of page that follows the result before
// (both stored bodies); none when either could not be checked.
QList<NewBulletin> ResultChanges(ToolKind tool, const QString& page, const QString& before,
                                 const QString& now);

// The key phrase and the engines' request parameters ("altavista") of a
// stored Rankscout body; false when it names no phrase or no engine.
bool RankRequestOf(const QString& body, QString& phrase, QStringList& engineParameters);

// New site-health errors of the latest crawl against the one before, once
// per crawl: lastPosted holds the id of the crawl already posted and is
// moved on. Nothing without a history or with fewer than two crawls.
QList<NewBulletin> HealthChanges(const QString& historyPath, QString& lastPosted);

// Appends the bulletins unread; the number appended.
int PostBulletins(BulletinList& messages, const QList<NewBulletin>& bulletins);

} // namespace vantora
