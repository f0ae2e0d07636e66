#include "CrawlSettings.h"

#include "ProjectData.h"
#include "ProjectExtras.h"

#include <QFileInfo>
#include <QJsonArray>

#include <regex>
#include <tuple>

namespace vantora {

namespace {

const QString AgentKey = QStringLiteral("user_agent");
const QString RateKey = QStringLiteral("max_rate");
const QString PerHostKey = QStringLiteral("per_host");
const QString IncludeKey = QStringLiteral("include");
const QString ExcludeKey = QStringLiteral("exclude");
const QString CookieKey = QStringLiteral("cookie_file");
const QString HeadersKey = QStringLiteral("headers");

QStringList Strings(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& item : value.toArray())
        if (item.isString() && !item.toString().trimmed().isEmpty())
            list << item.toString();
    return list;
}

bool OneLine(const QString& text) {
    return !text.contains(u'\n') && !text.contains(u'\r');
}

// Empty when pattern is an ECMAScript regular expression, else why not.
QString PatternError(const QString& pattern) {
    try {
        std::regex check(pattern.toStdString(), std::regex::ECMAScript);
    } catch (const std::regex_error& error) {
        return QString::fromLocal8Bit(error.what());
    }
    return QString();
}

bool HeaderIsValid(const QString& header) {
    const qsizetype colon = header.indexOf(u':');
    if (colon <= 0 || !OneLine(header))
        return false;
    const QString name = header.left(colon);
    return !name.contains(u' ') && !name.contains(u'\t');
}

} // namespace

QString DefaultCrawlerUserAgent() {
    return QStringLiteral(
        "Webcharter/1.0 (Vantora site mapper; +https://vantora.app/help/webcharter)");
}

QJsonObject CrawlSettingsToJson(const CrawlSettings& settings) {
    QJsonObject object = settings.Other;
    if (!settings.UserAgent.isEmpty())
        object.insert(AgentKey, settings.UserAgent);
    if (settings.MaxRate > 0)
        object.insert(RateKey, settings.MaxRate);
    if (settings.PerHost > 0)
        object.insert(PerHostKey, settings.PerHost);
    if (!settings.Include.isEmpty())
        object.insert(IncludeKey, QJsonArray::fromStringList(settings.Include));
    if (!settings.Exclude.isEmpty())
        object.insert(ExcludeKey, QJsonArray::fromStringList(settings.Exclude));
    if (!settings.CookieFile.isEmpty())
        object.insert(CookieKey, settings.CookieFile);
    if (!settings.Headers.isEmpty())
        object.insert(HeadersKey, QJsonArray::fromStringList(settings.Headers));
    return object;
}

CrawlSettings CrawlSettingsFromJson(const QJsonObject& object) {
    CrawlSettings settings;
    settings.Other = object;
    const QString agent = settings.Other.take(AgentKey).toString();
    if (OneLine(agent))
        settings.UserAgent = agent;
    const double rate = settings.Other.take(RateKey).toDouble();
    if (rate > 0 && rate <= MaxCrawlRate)
        settings.MaxRate = rate;
    const QJsonValue perHost = settings.Other.take(PerHostKey);
    if (perHost.isDouble() && perHost.toInt() >= 1 && perHost.toInt() <= MaxCrawlPerHost)
        settings.PerHost = perHost.toInt();
    settings.Include = Strings(settings.Other.take(IncludeKey));
    settings.Exclude = Strings(settings.Other.take(ExcludeKey));
    settings.CookieFile = settings.Other.take(CookieKey).toString();
    settings.Headers = Strings(settings.Other.take(HeadersKey));
    return settings;
}

CrawlSettingsProblem CheckCrawlSettings(const CrawlSettings& settings) {
    if (!OneLine(settings.UserAgent))
        return {CrawlSettingsField::UserAgent,
                QStringLiteral("The user agent must be a text on one line.")};
    for (const auto& [field, patterns, name] :
         {std::tuple{CrawlSettingsField::Include, &settings.Include, QStringLiteral("include")},
          std::tuple{CrawlSettingsField::Exclude, &settings.Exclude, QStringLiteral("exclude")}})
        for (const QString& pattern : *patterns)
            if (const QString why = PatternError(pattern); !why.isEmpty())
                return {field, QStringLiteral("The %1 pattern \"%2\" is not a valid regular "
                                              "expression (%3).\rPlease correct or remove it.")
                                   .arg(name, pattern, why)};
    if (!settings.CookieFile.isEmpty()) {
        const QFileInfo file(settings.CookieFile);
        if (!file.isFile() || !file.isReadable())
            return {CrawlSettingsField::CookieFile,
                    QStringLiteral("The cookie file \"%1\" cannot be read.\rPlease choose a "
                                   "cookie file exported by a browser, or leave the entry empty.")
                        .arg(settings.CookieFile)};
    }
    for (const QString& header : settings.Headers)
        if (!HeaderIsValid(header))
            return {CrawlSettingsField::Headers,
                    QStringLiteral("The request header \"%1\" is not of the form \"Name: "
                                   "value\".\rPlease write one header on each line.")
                        .arg(header)};
    return {};
}

QStringList EntryLines(const QString& text) {
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
    }
    return lines;
}

QStringList SiteMapperArguments(const ProjectData& project, const QString& renderMode) {
    QStringList arguments;
    // Off is the mapper's own default.
    const QString render = renderMode.isEmpty() ? EffectiveRenderMode(project) : renderMode;
    if (render != QLatin1String("off"))
        arguments << QStringLiteral("--render=") + render;
    const CrawlSettings& crawl = project.Crawl;
    if (!crawl.UserAgent.isEmpty())
        arguments << QStringLiteral("--user-agent=") + crawl.UserAgent;
    if (crawl.MaxRate > 0)
        arguments << QStringLiteral("--max-rate=") + QString::number(crawl.MaxRate, 'g', 10);
    if (crawl.PerHost > 0)
        arguments << QStringLiteral("--per-host=") + QString::number(crawl.PerHost);
    for (const QString& pattern : crawl.Include)
        arguments << QStringLiteral("--include=") + pattern;
    for (const QString& pattern : crawl.Exclude)
        arguments << QStringLiteral("--exclude=") + pattern;
    if (!crawl.CookieFile.isEmpty())
        arguments << QStringLiteral("--cookie-file=") + crawl.CookieFile;
    for (const QString& header : crawl.Headers)
        arguments << QStringLiteral("--header=") + header;
    return arguments;
}

QString CrawlJournalPath(const QString& projectPath) {
    return projectPath + QStringLiteral(".resume");
}

} // namespace vantora
