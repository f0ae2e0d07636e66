#include "ProjectSettings.h"

#include "Dialogs.h"
#include "ProjectData.h"
#include "ProjectFile.h"

namespace vantora {

namespace {
const QString Http = QStringLiteral("http://");
const QString SchemeSeparator = QStringLiteral("://");
} // namespace

QString UrlFormatErrorMessage() {
    return QStringLiteral(
        "An error occurred while trying to format the entered URL, operation aborted.");
}

QString EnterValidUrlMessage() {
    return QStringLiteral("Please enter a valid URL to use as the Root URL in the Site Map.");
}

QString EnterProxyServerMessage() {
    return QStringLiteral("Please enter an IP address for the Proxy server, or uncheck \"Connect "
                          "through a Proxy Server\".\rContact your System Administrator if you "
                          "do not know the Proxy server IP address.");
}

QString ProxyPortRangeMessage() {
    return QStringLiteral("Please enter a Port number from 1 to 65535 for the Proxy server, or "
                          "uncheck \"Connect through a Proxy Server\".");
}

QString EnterProxyPortMessage() {
    return QStringLiteral("Please enter a Port number for the Proxy server, or uncheck \"Connect "
                          "through a Proxy Server\".\rContact your System Administrator if you "
                          "do not know the Proxy server Port number.");
}

QString RootChangeWarning() {
    return QStringLiteral("Warning! Changing the Root URL will result in losing the current "
                          "SiteMap information.\rAre you sure you want to change it?");
}

QString RefusedInRootUrl() {
    return QStringLiteral(" @&?%");
}

QString RootUrlHost(const QString& url) {
    const QString rest = url.mid(Http.size());
    const qsizetype slash = rest.indexOf(u'/');
    return slash < 0 ? rest : rest.left(slash);
}

UrlNormalisation NormaliseRootUrl(const QString& text) {
    QString url = text.isEmpty() ? Http : text;
    if (!url.endsWith(u'/'))
        url += u'/';
    if (!url.startsWith(Http)) {
        if (!url.contains(SchemeSeparator))
            url.prepend(Http);
        if (!url.contains(Http) && url.contains(SchemeSeparator))
            url = QStringLiteral("http") + url.mid(url.indexOf(SchemeSeparator));
        const qsizetype at = url.indexOf(Http);
        if (at > 0)
            url = url.mid(at);
        if (RootUrlHost(url).isEmpty())
            url.clear();
    }
    // The field cannot hold a longer text; cutting it would silently change
    // the root.
    if (url.size() > SettingsFieldMaxLength)
        return {QString(), true};
    return {url, false};
}

RootSplit SplitRootUrl(const QString& url) {
    const qsizetype slash = url.indexOf(u'/', Http.size());
    if (slash < 0)
        return {url.mid(Http.size()), QStringLiteral("/")};
    return {url.mid(Http.size(), slash - Http.size()), url.mid(slash)};
}

ProjectSettingsFields FieldsFromProject(const ProjectData& project) {
    ProjectSettingsFields fields;
    fields.Url = project.RootUrl();
    fields.UseProxy = !project.ProxyServer.isEmpty();
    fields.ProxyServer = project.ProxyServer;
    fields.ProxyPort = QString::number(project.ProxyPort);
    if (!project.RenderMode.isEmpty())
        fields.RenderMode = project.RenderMode;
    fields.Crawl = project.Crawl;
    return fields;
}

ProjectSettingsFields EmptyFields() {
    return {};
}

SettingsOkOutcome ApplyProjectSettings(ProjectSettingsFields& fields, ProjectSettingsHost& host,
                                       Dialogs& dialogs) {
    const UrlNormalisation normal = NormaliseRootUrl(fields.Url);
    if (normal.Failed)
        dialogs.Message(MsgKind::Error, UrlFormatErrorMessage(), MsgButtons::Ok);
    fields.Url = normal.Url;

    // "http://" alone passes normalisation (it is what an empty field shows)
    // but names no site; it is refused like an empty field.
    // A refused character that got in whole (an old project's root, text put
    // in by a program) is refused here like the typed one.
    bool refused = false;
    for (const QChar c : fields.Url)
        refused = refused || RefusedInRootUrl().contains(c);
    if (fields.Url.isEmpty() || RootUrlHost(fields.Url).isEmpty() || refused) {
        dialogs.Message(MsgKind::Information, EnterValidUrlMessage(), MsgButtons::Ok);
        return {false, SettingsField::Url};
    }
    if (fields.UseProxy && fields.ProxyServer.isEmpty()) {
        dialogs.Message(MsgKind::Information, EnterProxyServerMessage(), MsgButtons::Ok);
        return {false, SettingsField::ProxyServer};
    }
    if (fields.UseProxy && fields.ProxyPort.isEmpty()) {
        dialogs.Message(MsgKind::Information, EnterProxyPortMessage(), MsgButtons::Ok);
        return {false, SettingsField::ProxyPort};
    }
    // A pasted non-number is refused before anything is stored, so the
    // project never holds half of a change.
    qint32 port = 0;
    if (fields.UseProxy && !ParseDecimalInt(fields.ProxyPort, port)) {
        dialogs.GeneralError(NotIntegerMessage(fields.ProxyPort));
        return {false, SettingsField::ProxyPort};
    }
    if (fields.UseProxy && (port < 1 || port > 65535)) {
        dialogs.Message(MsgKind::Information, ProxyPortRangeMessage(), MsgButtons::Ok);
        return {false, SettingsField::ProxyPort};
    }

    if (const CrawlSettingsProblem problem = CheckCrawlSettings(fields.Crawl);
        problem.Field != CrawlSettingsField::None) {
        dialogs.Message(MsgKind::Information, problem.Message, MsgButtons::Ok);
        static const SettingsField focus[] = {SettingsField::None,       SettingsField::UserAgent,
                                              SettingsField::Include,    SettingsField::Exclude,
                                              SettingsField::CookieFile, SettingsField::Headers};
        return {false, focus[static_cast<int>(problem.Field)]};
    }

    ProjectData& project = host.Project();
    const bool hadRoot = project.HasRoot();
    if (hadRoot && fields.Url != project.RootUrl()) {
        switch (dialogs.Message(MsgKind::Warning, RootChangeWarning(), MsgButtons::YesNoCancel)) {
        case MsgAnswer::Yes: {
            const RootSplit root = SplitRootUrl(fields.Url);
            project.RootHost = root.Host;
            project.RootPath = root.Path;
            project.SiteMapLines.clear();
            host.ClearSiteMapTree();
            host.MarkProjectModified();
            host.SetProjectStatus(QStringLiteral("Project Open, ") + fields.Url);
            break;
        }
        case MsgAnswer::No:
            fields.Url = project.RootUrl();
            break;
        default:
            return {false, SettingsField::None};
        }
    }

    // The proxy and the bulletin flags are saved with the project: a change
    // of either alone must not be lost at Close.
    const QString oldServer = project.ProxyServer;
    const qint32 oldPort = project.ProxyPort;
    const bool bulletinsWereOn = project.RankscoutBulletins != QLatin1String("N") ||
                                 project.BackwatchBulletins != QLatin1String("N");
    if (fields.UseProxy) {
        project.ProxyServer = fields.ProxyServer;
        project.ProxyPort = port;
    } else {
        project.ProxyServer.clear();
        project.ProxyPort = 0;
    }
    if (!hadRoot)
        host.ApplyNewProjectState(fields.Url);
    const RootSplit root = SplitRootUrl(fields.Url);
    project.RootHost = root.Host;
    project.RootPath = root.Path;
    project.RankscoutBulletins = QStringLiteral("N");
    project.BackwatchBulletins = QStringLiteral("N");
    const QString oldRender =
        project.RenderMode.isEmpty() ? QStringLiteral("off") : project.RenderMode;
    project.RenderMode = fields.RenderMode;
    const bool crawlChanged = project.Crawl != fields.Crawl;
    project.Crawl = fields.Crawl;
    if (hadRoot && (project.ProxyServer != oldServer || project.ProxyPort != oldPort ||
                    bulletinsWereOn || fields.RenderMode != oldRender || crawlChanged))
        host.MarkProjectModified();
    return {true, SettingsField::None};
}

} // namespace vantora
