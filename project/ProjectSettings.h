#pragma once
// The logic behind the Project Settings dialog: URL normalisation, the split
// of the root URL into RootHost and RootPath, and the "Ok" checks with their
// effects on the project. The dialog window (ui/New.h) only moves texts
// between its controls and ProjectSettingsFields.
#include "CrawlSettings.h"

#include <QString>

namespace vantora {

class Dialogs;
struct ProjectData;

// Longest text the URL and proxy server fields hold.
inline constexpr int SettingsFieldMaxLength = 1023;
// Longest text the port field holds.
inline constexpr int PortFieldMaxLength = 6;

struct UrlNormalisation {
    QString Url;
    bool Failed = false; // the result would not fit the URL field; Url is then empty
};

// Brings a typed URL into the form "http://" host path "/":
//   empty -> "http://"; a missing final "/" is added; a URL starting with
//   "http://" is then done. Otherwise "http://" is put in front when there is
//   no "://", any other scheme (or "http" in other letter case) before the
//   first "://" becomes "http", text before the first "http://" is removed,
//   and a URL with an empty host becomes empty.
// All tests on the text are exact and case-sensitive.
UrlNormalisation NormaliseRootUrl(const QString& text);

// "An error occurred while trying to format the entered URL, operation aborted."
QString UrlFormatErrorMessage();

struct RootSplit {
    QString Host;
    QString Path;
};
// Host: the text after "http://" up to its first "/"; Path: from that "/" to
// the end ("/" when there is none).
RootSplit SplitRootUrl(const QString& url);

// The host part of a normalised URL (empty for "http://" or "http:///x/").
QString RootUrlHost(const QString& url);
// The characters a root URL may not hold: blank, "@", "&", "?" and "%".
QString RefusedInRootUrl();

// What the dialog shows.
struct ProjectSettingsFields {
    QString Url;
    bool UseProxy = false;
    QString ProxyServer;
    QString ProxyPort;
    // "Render JavaScript": "off", "auto" or "on" (or a newer version's value, kept).
    QString RenderMode = QStringLiteral("off");
    // The advanced part's crawl settings, as typed (lists already split into lines).
    CrawlSettings Crawl;

    bool operator==(const ProjectSettingsFields&) const = default;
};

// The fields as OpenProject fills them from an opened project.
ProjectSettingsFields FieldsFromProject(const ProjectData& project);
// The fields as ResetProject leaves them: all empty, no proxy.
ProjectSettingsFields EmptyFields();

// What "Ok" needs from the main window.
class ProjectSettingsHost {
  public:
    virtual ~ProjectSettingsHost() = default;
    virtual ProjectData& Project() = 0;
    // The new-project steps for a project without a root; urlText is the
    // dialog's URL, for the status bar. Called after the proxy has been
    // stored and before the root is: it empties the site map, archives and
    // bulletins but must leave ProxyServer and ProxyPort alone.
    virtual void ApplyNewProjectState(const QString& urlText) = 0;
    // Empties the site map tree (SiteMapLines is cleared by the caller).
    virtual void ClearSiteMapTree() = 0;
    // Status bar panel 1.
    virtual void SetProjectStatus(const QString& text) = 0;
    virtual void MarkProjectModified() = 0;
};

enum class SettingsField {
    None,
    Url,
    ProxyServer,
    ProxyPort,
    UserAgent,
    Include,
    Exclude,
    CookieFile,
    Headers
};

struct SettingsOkOutcome {
    bool Accepted = false;                     // close the dialog
    SettingsField Focus = SettingsField::None; // the field to focus when it stays open
};

// Runs "Ok": normalises fields.Url, checks the fields in order (URL, proxy
// server, port and its range 1 to 65535, then the crawl settings with
// CheckCrawlSettings, each refusal an information box), asks before a change of an
// existing root URL, then stores the proxy, the root, the bulletin flags and
// the render mode and crawl settings; a changed proxy, render mode or crawl
// setting, or bulletin flags that
// were on, mark the project modified. fields is updated with
// what the dialog must show afterwards (the normalised URL, or the old root after "No").
SettingsOkOutcome ApplyProjectSettings(ProjectSettingsFields& fields, ProjectSettingsHost& host,
                                       Dialogs& dialogs);

// Texts of the "Ok" checks.
QString EnterValidUrlMessage();
QString EnterProxyServerMessage();
QString EnterProxyPortMessage();
QString ProxyPortRangeMessage();
QString RootChangeWarning();

} // namespace vantora
