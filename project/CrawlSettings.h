#pragma once
// How a project's site is crawled, beyond its root URL and proxy: the user
// agent, the pace, the include and exclude patterns, a cookie file and extra
// request headers. Kept in the file beside the project (ProjectExtras.h) and
// turned into the site mapper's arguments by both the window and the command
// line, in one place.
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace vantora {

struct ProjectData;

struct CrawlSettings {
    QString UserAgent;   // empty: the mapper's own (DefaultCrawlerUserAgent)
    double MaxRate = 0;  // requests a second to the site; 0: no bound
    int PerHost = 0;     // connections at once to one host; 0: the mapper's default
    QStringList Include; // regular expressions on the URL; any one may match
    QStringList Exclude;
    QString CookieFile;  // Netscape format, read only
    QStringList Headers; // "Name: value"
    // Members of the stored object this version does not know, kept as read.
    QJsonObject Other;

    bool IsDefault() const { return *this == CrawlSettings{}; }
    bool operator==(const CrawlSettings&) const = default;
};

// The mapper's limits for the pace, the same it accepts on its command line.
inline constexpr double MaxCrawlRate = 1000;
inline constexpr int MaxCrawlPerHost = 256;

// The User-Agent the mapper sends when none is set.
QString DefaultCrawlerUserAgent();

// The stored form (member "crawl" of the file beside the project): only what
// differs from the defaults, plus Other. Values of the wrong type or out of
// range are dropped when read.
QJsonObject CrawlSettingsToJson(const CrawlSettings& settings);
CrawlSettings CrawlSettingsFromJson(const QJsonObject& object);

// Which entry a check refused.
enum class CrawlSettingsField { None, UserAgent, Include, Exclude, CookieFile, Headers };

struct CrawlSettingsProblem {
    CrawlSettingsField Field = CrawlSettingsField::None;
    QString Message; // empty when all is well
};

// Checks what the mapper would refuse: a user agent on more than one line,
// patterns that are not regular expressions (ECMAScript, as the mapper reads
// them), a cookie file that is not a readable file, headers not of the form
// "Name: value". The first problem found, in the order of the fields.
CrawlSettingsProblem CheckCrawlSettings(const CrawlSettings& settings);

// Lines of a multi-line entry (patterns, headers): each trimmed, blank ones
// left out.
QStringList EntryLines(const QString& text);

// The site mapper's arguments for the project's crawl after Search_URL=:
// the render mode (renderMode when not empty, else the project's own) and
// the settings above. Each value is one argument, passed as it is.
QStringList SiteMapperArguments(const ProjectData& project, const QString& renderMode = {});

// The mapper's journal of a crawl of the project at projectPath, kept while
// it runs and left behind when it is stopped: PROJECT.resume.
QString CrawlJournalPath(const QString& projectPath);

} // namespace vantora
