#pragma once
// The open project's persistent data. The main window holds one of these
// beside its run-time state; the file reader and writer are the only code
// that knows the byte layout.
#include <QString>
#include <QStringList>

namespace vantora {

// One tool's stored results as parallel columns indexed together. Every
// change goes through the member functions so the columns stay paired.
struct ToolArchive {
    explicit ToolArchive(bool withPercentages = false) : HasPercentages(withPercentages) {}

    bool HasPercentages;     // only Wordweigh keeps a percentage column
    QStringList Pages;       // page URL
    QStringList Dates;       // date and time added
    QStringList Percentages; // Wordweigh: effectiveness as text; else always empty
    QStringList Bodies;      // answer body ("<br>"-separated items)

    int Count() const { return Pages.size(); }
    // True when every column holds Count() items (the percentage column only
    // for Wordweigh, else it is empty).
    bool IsConsistent() const;
    void Append(const QString& page, const QString& date, const QString& body,
                const QString& percentage = QString());
    void RemoveAt(int index);
    void Clear();
};

// The bulletin board's messages as four parallel columns.
struct BulletinList {
    QStringList Bodies;     // lines joined by "<br>"
    QStringList Senders;    // "Message from"
    QStringList Pages;      // "Regarding Web Page"
    QStringList ReadStates; // "1" once read, else "0"

    int Count() const { return Bodies.size(); }
    bool IsConsistent() const;
    void Append(const QString& body, const QString& sender, const QString& page,
                const QString& readState);
    void RemoveAt(int index);
    void Clear();
};

struct ProjectData {
    QString RootHost;
    QString RootPath;
    QString ProxyServer;
    qint32 ProxyPort = 0;
    QString RankscoutBulletins = QStringLiteral("N");
    QString BackwatchBulletins = QStringLiteral("N");
    QStringList SiteMapLines;
    ToolArchive WordweighArchive{true};
    ToolArchive StuffwatchArchive;
    ToolArchive RankscoutArchive;
    ToolArchive EnginepostArchive;
    ToolArchive BackwatchArchive;
    BulletinList BulletinMessages;

    // "http://" + RootHost + RootPath.
    QString RootUrl() const { return QStringLiteral("http://") + RootHost + RootPath; }
    bool HasRoot() const { return !(RootHost + RootPath).isEmpty(); }
    // The archive of a tool kind 1..5 (Wordweigh..Backwatch); nullptr otherwise.
    ToolArchive* Archive(int toolKind);
    const ToolArchive* Archive(int toolKind) const;
    // Empties every field, as after a reset.
    void Clear();
};

} // namespace vantora
