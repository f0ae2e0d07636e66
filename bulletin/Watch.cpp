#include "Watch.h"

#include "BulletinBoard.h"
#include "Compare.h"
#include "History.h"
#include "ResultChecks.h"

#include <QSet>

#include <algorithm>

namespace vantora {

using namespace Qt::Literals::StringLiterals;

namespace {

// A watch entry as stored: the tool's number, a blank, the page.
QString Entry(ToolKind tool, const QString& page) {
    return QString::number(int(tool)) + u' ' + page;
}

constexpr auto HealthEntry = "H "_L1;

QStringList ItemsOf(const QString& body) {
    QStringList items = body.split("<br>"_L1);
    if (!items.isEmpty() && items.last().isEmpty())
        items.removeLast();
    return items;
}

struct RankBlock {
    QString Engine;
    int Position = 0;
    bool Checked = true;
};

QList<RankBlock> RankBlocks(const QString& body) {
    QList<RankBlock> blocks;
    for (qsizetype at = body.indexOf("<ENGINE>"_L1); at >= 0;
         at = body.indexOf("<ENGINE>"_L1, at + 8)) {
        RankBlock b;
        const qsizetype end = body.indexOf("<br>"_L1, at);
        b.Engine = body.mid(at + 8, end < 0 ? -1 : end - at - 8);
        const qsizetype match = body.indexOf("<MATCH>"_L1, at);
        if (match < 0)
            continue;
        const qsizetype stop = body.indexOf("<br>"_L1, match);
        bool ok = false;
        b.Position = body.mid(match + 7, stop < 0 ? -1 : stop - match - 7).trimmed().toInt(&ok);
        b.Checked = ok && !RankEngineUnchecked(body, at);
        blocks << b;
    }
    return blocks;
}

QString PhraseOf(const QString& body) {
    const qsizetype at = body.indexOf("<KEYWORDS>"_L1);
    if (at < 0)
        return QString();
    const qsizetype end = body.indexOf("<br>"_L1, at);
    return body.mid(at + 10, end < 0 ? -1 : end - at - 10);
}

QString PositionText(int position) {
    return position > 0 ? QString::number(position) : u"not ranked"_s;
}

QList<NewBulletin> RankChanges(const QString& page, const QString& before, const QString& now) {
    QList<NewBulletin> out;
    const QList<RankBlock> old = RankBlocks(before);
    const QString phrase = PhraseOf(now);
    // A rank for another key phrase is no earlier rank of this one.
    if (phrase != PhraseOf(before))
        return out;
    for (const RankBlock& b : RankBlocks(now)) {
        const auto was = std::find_if(old.begin(), old.end(),
                                      [&](const RankBlock& o) { return o.Engine == b.Engine; });
        if (was == old.end() || !was->Checked || !b.Checked || was->Position == b.Position)
            continue;
        out << NewBulletin{"The rank of "_L1 + page + " moved from "_L1 +
                               PositionText(was->Position) + " to "_L1 + PositionText(b.Position) +
                               ".<br>Search engine: "_L1 + b.Engine + "<br>Key phrase: "_L1 +
                               phrase,
                           u"Rankscout"_s, page};
    }
    return out;
}

// The linking pages of a Backwatch body: the first item of each group of six.
QStringList LinkingPages(const QString& body) {
    const QStringList items = ItemsOf(body);
    QStringList pages;
    for (qsizetype k = 2; k + 5 < items.size(); k += 6) {
        const QString& first = items[k];
        if (first == "END"_L1)
            break;
        pages << first;
    }
    return pages;
}

QList<NewBulletin> LinkChanges(const QString& page, const QString& before, const QString& now) {
    QList<NewBulletin> out;
    const QStringList old = LinkingPages(before);
    const QStringList fresh = LinkingPages(now);
    const QSet<QString> oldSet(old.begin(), old.end());
    const QSet<QString> freshSet(fresh.begin(), fresh.end());
    for (const QString& link : fresh)
        if (!oldSet.contains(link))
            out << NewBulletin{"A new page links back to "_L1 + page + ":<br>"_L1 + link,
                               u"Backwatch"_s, page};
    for (const QString& link : old)
        if (!freshSet.contains(link))
            out << NewBulletin{"A page no longer links back to "_L1 + page + ":<br>"_L1 + link,
                               u"Backwatch"_s, page};
    return out;
}

} // namespace

bool IsWatched(const ProjectData& project, ToolKind tool, const QString& page) {
    return project.Watches.contains(Entry(tool, page));
}

bool SetWatched(ProjectData& project, ToolKind tool, const QString& page, bool on) {
    const QString entry = Entry(tool, page);
    if (on) {
        (tool == ToolKind::Rankscout ? project.RankscoutBulletins : project.BackwatchBulletins) =
            u"Y"_s;
        if (project.Watches.contains(entry))
            return false;
        project.Watches << entry;
        return true;
    }
    return project.Watches.removeAll(entry) > 0;
}

void StopWatching(ProjectData& project, ToolKind tool) {
    const QString prefix = QString::number(int(tool)) + u' ';
    project.Watches.removeIf([&](const QString& e) { return e.startsWith(prefix); });
}

QStringList WatchedPages(const ProjectData& project, ToolKind tool) {
    const QString prefix = QString::number(int(tool)) + u' ';
    QStringList pages;
    for (const QString& e : project.Watches)
        if (e.startsWith(prefix))
            pages << e.mid(prefix.size());
    return pages;
}

QList<NewBulletin> ResultChanges(ToolKind tool, const QString& page, const QString& before,
                                 const QString& now) {
    if (before.isEmpty() || now.isEmpty())
        return {};
    if (tool == ToolKind::Rankscout)
        return RankChanges(page, before, now);
    if (tool == ToolKind::Backwatch) {
        if (!UncheckedReason(tool, before).isEmpty() || !UncheckedReason(tool, now).isEmpty())
            return {};
        return LinkChanges(page, before, now);
    }
    return {};
}

bool RankRequestOf(const QString& body, QString& phrase, QStringList& engineParameters) {
    phrase = PhraseOf(body);
    engineParameters.clear();
    for (const RankBlock& b : RankBlocks(body))
        engineParameters << b.Engine.toLower();
    return !phrase.isEmpty() && !engineParameters.isEmpty();
}

QList<NewBulletin> HealthChanges(const QString& historyPath, QString& lastPosted) {
    health::History history;
    std::string error;
    if (historyPath.isEmpty() || !history.Open(historyPath.toStdString(), false, error))
        return {};
    const std::vector<health::CrawlInfo> crawls = history.Crawls();
    if (crawls.size() < 2)
        return {};
    const health::CrawlInfo& latest = crawls.back();
    const QString id = QString::number(latest.Id);
    if (lastPosted == id)
        return {};
    lastPosted = id;
    QList<NewBulletin> out;
    for (const health::ComparedFinding& c :
         health::CompareCrawls(history, latest, crawls[crawls.size() - 2].Id)) {
        if (c.How != health::Change::New || c.Item.Level != health::Severity::Error)
            continue;
        const QString url = QString::fromStdString(c.Item.Url.str());
        out << NewBulletin{"A new site-health error since the crawl before ("_L1 +
                               QString::fromStdString(latest.Time) + "):<br>"_L1 +
                               QString::fromStdString(c.Item.Check.str()) + ": "_L1 +
                               QString::fromStdString(c.Item.Detail.str()),
                           u"Site Health"_s, url};
    }
    return out;
}

int PostBulletins(BulletinList& messages, const QList<NewBulletin>& bulletins) {
    for (const NewBulletin& b : bulletins) {
        // A bulletin is one line of the project file: no carriage returns.
        QString body = b.Body;
        body.replace(u'\r', u' ').replace(u'\n', u' ');
        messages.Append(body, b.Sender, b.Page, QString::number(UnreadFlag));
    }
    return int(bulletins.size());
}

} // namespace vantora
