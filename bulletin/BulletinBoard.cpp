#include "BulletinBoard.h"

#include "Dialogs.h"
#include "Endpoints.h"
#include "Transport.h"

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

} // namespace vantora
