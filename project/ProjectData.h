#pragma once
// The open project's persistent data. The main window holds one of these
// beside its run-time state; the file reader and writer are the only code
// that knows the byte layout.
#include "CrawlSettings.h"
#include "ToolKind.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace vantora {

// One tool's stored results as parallel columns indexed together: index i
// of every column is one result, newest at the end. The columns are private
// and every change goes through Change(), which checks in every build that
// they still pair up; a change that would break them throws and leaves the
// archive as it was.
class ToolArchive {
  public:
    explicit ToolArchive(ToolKind kind);

    ToolKind Kind() const { return Which; }
    // Only Wordweigh keeps a percentage column.
    bool HasPercentages() const { return WithPercentages; }
    int Count() const { return PageColumn.size(); }
    const QStringList& Pages() const { return PageColumn; }             // page URL
    const QStringList& Dates() const { return DateColumn; }             // date and time added
    const QStringList& Percentages() const { return PercentageColumn; } // Wordweigh; else empty
    const QStringList& Bodies() const { return BodyColumn; }            // "<br>"-separated items

    // Index of the first (lowest) or last (newest) entry for page, -1 if none.
    int FirstIndexOf(const QString& page) const { return PageColumn.indexOf(page); }
    int LastIndexOf(const QString& page) const { return PageColumn.lastIndexOf(page); }

    void Append(const QString& page, const QString& date, const QString& body,
                const QString& percentage = QString());
    // Removes entry index from every column; false when there is no such entry.
    bool RemoveAt(int index);
    void Clear();
    // Replaces every column at once (the project file reader). False, and the
    // archive unchanged, when the columns do not pair up.
    bool SetColumns(QStringList pages, QStringList dates, QStringList percentages,
                    QStringList bodies);

    // True when every column holds Count() items (the percentage column only
    // for Wordweigh, else it is empty).
    bool IsConsistent() const;

  private:
    template <class Edit> void Change(Edit&& edit);

    ToolKind Which;
    bool WithPercentages;
    QStringList PageColumn;
    QStringList DateColumn;
    QStringList PercentageColumn;
    QStringList BodyColumn;
};

// The bulletin board's messages as four parallel columns. The columns are
// private; every change goes through one member that checks they stay
// paired, in every build.
class BulletinList {
  public:
    int Count() const { return BodyColumn.size(); }
    const QStringList& Bodies() const { return BodyColumn; }     // lines joined by "<br>"
    const QStringList& Senders() const { return SenderColumn; }  // "Message from"
    const QStringList& Pages() const { return PageColumn; }      // "Regarding Web Page"
    const QStringList& ReadStates() const { return ReadColumn; } // "1" once read, else "0"

    bool IsConsistent() const;
    void Append(const QString& body, const QString& sender, const QString& page,
                const QString& readState);
    // Removes message index from every column; false when there is none.
    bool RemoveAt(int index);
    // Sets the read state of message index; false when there is none.
    bool SetReadState(int index, const QString& readState);
    void Clear();
    // Replaces every column at once (the project file reader). False, and the
    // list unchanged, when the columns do not pair up.
    bool SetColumns(QStringList bodies, QStringList senders, QStringList pages,
                    QStringList readStates);

  private:
    template <class Edit> void Change(Edit&& edit);

    QStringList BodyColumn;
    QStringList SenderColumn;
    QStringList PageColumn;
    QStringList ReadColumn;
};

struct ProjectData {
    QString RootHost;
    QString RootPath;
    QString ProxyServer;
    qint32 ProxyPort = 0;
    QString RankscoutBulletins = QStringLiteral("N");
    QString BackwatchBulletins = QStringLiteral("N");
    QStringList SiteMapLines;
    ToolArchive WordweighArchive{ToolKind::Wordweigh};
    ToolArchive StuffwatchArchive{ToolKind::Stuffwatch};
    ToolArchive RankscoutArchive{ToolKind::Rankscout};
    ToolArchive EnginepostArchive{ToolKind::Enginepost};
    ToolArchive BackwatchArchive{ToolKind::Backwatch};
    BulletinList BulletinMessages;
    // Watched pages ("3 PAGE" Rankscout, "5 PAGE" Backwatch) and "H ID", the
    // last crawl whose new site-health errors were posted. Stored after the
    // file's last block, where older versions do not look.
    QStringList Watches;
    // "Render JavaScript" for the crawl: "off", "auto" or "on" ("" = off).
    // Kept, with the watch list, in the file beside the project
    // (ProjectExtras.h), never in the project file itself.
    QString RenderMode;
    // The crawl's user agent, pace, patterns, cookies and headers; kept
    // beside the project file too.
    CrawlSettings Crawl;
    // The members of the file beside the project this version does not use.
    QJsonObject OtherExtras;

    // "http://" + RootHost + RootPath.
    QString RootUrl() const { return QStringLiteral("http://") + RootHost + RootPath; }
    bool HasRoot() const { return !(RootHost + RootPath).isEmpty(); }
    ToolArchive& Archive(ToolKind kind);
    const ToolArchive& Archive(ToolKind kind) const;
    // The archive of a request tag 1..5; nullptr for any other number.
    ToolArchive* ArchiveForTag(int tag);
    const ToolArchive* ArchiveForTag(int tag) const;
    // Empties every field, as after a reset.
    void Clear();
};

} // namespace vantora
