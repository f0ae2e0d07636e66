#include "BulletinBoard.h"

#include "Dialogs.h"
#include "Endpoints.h"
#include "History.h"
#include "Transport.h"
#include "Watch.h"

namespace vantora {

QStringList MessageLines(const QString& body) {
    return body.split(QStringLiteral("<br>"));
}

ReportFormat MessageFormat() {
    ReportFormat format;
    format.FontName = QStringLiteral("Arial");
    format.PointSize = 10;
    return format;
}

int MessageReadFlag(const BulletinList& messages, int index) {
    return messages.ReadStates().value(index).trimmed().toInt();
}

bool StopEntryEnabled(const QString& flag) {
    return flag == QStringLiteral("Y");
}

QString StopBulletinsEntry(BulletinTool tool, const QString& serverAddress, const QString& userId,
                           const QString& rootHost) {
    if (tool == BulletinTool::Backwatch)
        return QueueEntry(StopBackwatchBulletinsTag,
                          StopBackwatchBulletinsUrl(serverAddress, userId, rootHost));
    return QueueEntry(StopRankscoutBulletinsTag,
                      StopRankscoutBulletinsUrl(serverAddress, userId, rootHost));
}

bool OpenMessage(BulletinHost& host, int index, ReportSink& view) {
    BulletinList& messages = host.Project().BulletinMessages;
    if (index < 0 || index >= messages.Count())
        return false;
    host.SetBusyCursor(true);
    host.LetMessagesRun();
    view.ClearReport();
    view.SetFormat(MessageFormat());
    for (const QString& line : MessageLines(messages.Bodies().at(index)))
        view.AppendLine(line);
    messages.SetReadState(index, QString::number(ReadFlag));
    host.SetProjectModified();
    host.SetBusyCursor(false);
    return true;
}

bool DeleteMessage(BulletinHost& host, int index, ReportSink& view) {
    const MsgAnswer answer = host.MessageBoxes().Message(
        MsgKind::Confirm,
        QStringLiteral(
            "Are you sure you want to Erase the selected Message from the Bulletin Board?"),
        MsgButtons::YesNo);
    if (answer != MsgAnswer::Yes)
        return false;
    BulletinList& messages = host.Project().BulletinMessages;
    if (index < 0 || index >= messages.Count())
        return false;
    messages.RemoveAt(index);
    view.ClearReport();
    // The removal is a change of the project like any other: without the mark
    // closing the project would drop it without offering to save.
    host.SetProjectModified();
    return true;
}

bool StopBulletins(BulletinHost& host, BulletinTool tool) {
    if (!host.CheckConnect()) {
        host.MessageBoxes().Message(
            MsgKind::Information,
            QStringLiteral("You must be connected to the Internet to complete this operation, "
                           "please retry when you are connected."),
            MsgButtons::Ok);
        return false;
    }
    ProjectData& project = host.Project();
    Transport& net = host.Net();
    net.RequestQueue.append(
        StopBulletinsEntry(tool, host.ServerAddress(), host.UserId(), project.RootHost));
    if (net.TransportIdle)
        net.StartNextRequest(project.ProxyServer, project.ProxyPort);
    return true;
}

QStringList WatchRequests(const ProjectData& project, const QString& serverAddress) {
    QStringList entries;
    if (StopEntryEnabled(project.RankscoutBulletins)) {
        const ToolArchive& ranks = project.RankscoutArchive;
        for (const QString& page : WatchedPages(project, ToolKind::Rankscout)) {
            const int at = ranks.LastIndexOf(page);
            QString phrase;
            QStringList engines;
            if (at < 0 || !RankRequestOf(ranks.Bodies()[at], phrase, engines))
                continue;
            entries << QueueEntry(int(ToolKind::Rankscout),
                                  RankscoutUrl(serverAddress, page, phrase, engines, false));
        }
    }
    if (StopEntryEnabled(project.BackwatchBulletins))
        for (const QString& page : WatchedPages(project, ToolKind::Backwatch))
            entries << QueueEntry(int(ToolKind::Backwatch), BackwatchUrl(serverAddress, page));
    return entries;
}

int UpdateBulletinBoard(BulletinHost& host, bool quiet) {
    ProjectData& project = host.Project();
    // New site-health errors need no server: they are posted at once.
    QString lastPosted;
    qsizetype healthAt = -1;
    for (qsizetype i = 0; i < project.Watches.size(); ++i)
        if (project.Watches[i].startsWith(QLatin1String("H "))) {
            healthAt = i;
            lastPosted = project.Watches[i].mid(2);
        }
    const QString history = host.ProjectFileName().isEmpty()
                                ? QString()
                                : QString::fromStdString(health::History::PathFor(
                                      host.ProjectFileName().toStdString()));
    const QString before = lastPosted;
    if (PostBulletins(project.BulletinMessages, HealthChanges(history, lastPosted)) > 0 ||
        lastPosted != before) {
        if (healthAt >= 0)
            project.Watches[healthAt] = QStringLiteral("H ") + lastPosted;
        else
            project.Watches << QStringLiteral("H ") + lastPosted;
        host.SetProjectModified();
    }

    const QStringList entries = WatchRequests(project, host.ServerAddress());
    if (entries.isEmpty()) {
        const bool watching = !WatchedPages(project, ToolKind::Rankscout).isEmpty() ||
                              !WatchedPages(project, ToolKind::Backwatch).isEmpty();
        if (!quiet && watching)
            host.MessageBoxes().Message(
                MsgKind::Information,
                QStringLiteral("The watched pages are not checked while the automatic bulletins "
                               "of their tool are off (Project Settings turns them off). Choose "
                               "a watched page's watch entry in the site map's menu to turn them "
                               "on again."),
                MsgButtons::Ok);
        else if (!quiet)
            host.MessageBoxes().Message(
                MsgKind::Information,
                QStringLiteral("No page is watched. Choose \"Watch Rank for this Key Phrase\" on "
                               "the Rankscout page or \"Watch Link-backs\" on the Backwatch page "
                               "to have their changes posted here."),
                MsgButtons::Ok);
        return 0;
    }
    if (quiet ? !host.CheckConnectQuietly() : !host.CheckConnect())
        return 0;
    Transport& net = host.Net();
    net.RequestQueue.append(entries);
    if (net.TransportIdle)
        net.StartNextRequest(project.ProxyServer, project.ProxyPort);
    return int(entries.size());
}

} // namespace vantora
