#include "ToolRun.h"

#include "ProjectData.h"
#include "TimeStamps.h"
#include "Transport.h"
#include "WindowHost.h"

namespace vantora {

void QueueRequests(WindowHost& host, ToolKind kind, const QStringList& urls) {
    if (urls.isEmpty())
        return;
    Transport& requests = host.Requests();
    for (const QString& url : urls)
        requests.Append(Tag(kind), url);
    if (requests.TransportIdle) {
        const ProjectData& project = host.Project();
        requests.StartNextRequest(project.ProxyServer, project.ProxyPort);
    }
}

QString DateAdded(const QDateTime& when, const QLocale& locale) {
    return WriteStamp(when, locale);
}

Filed FileAnswer(ToolArchive& archive, const Intake& intake, const QString& dateAdded, bool leave) {
    Filed filed;
    if (!leave) {
        filed.Removed = archive.FirstIndexOf(intake.Page);
        if (filed.Removed >= 0)
            archive.RemoveAt(filed.Removed);
    }
    archive.Append(intake.Page, dateAdded, intake.Body, intake.Percentage);
    filed.Index = archive.Count() - 1;
    return filed;
}

QString OldReportText(const ToolArchive& archive, int index) {
    return archive.Pages().value(index) + QStringLiteral(", added ") + archive.Dates().value(index);
}

} // namespace vantora
