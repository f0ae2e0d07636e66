#pragma once
// The search and submission services of the analysis server as the Search
// Services page shows them: one search service for ranks, one for link-backs
// (or the same), one submission service. They are read from and written
// into the server's own configuration file, changing only the keys they
// stand for, so that comments and everything else written by hand stay.
#include <QString>

namespace vantora {

enum class SearchService { None, SearXNG, Brave, Marginalia, Json };
enum class SubmitService { None, IndexNow, Get };

struct SearchSetting {
    SearchService Kind = SearchService::None;
    QString Name;    // the [search.NAME] table
    QString Address; // SearXNG: the instance ("http://127.0.0.1:8888"); Json: the URL template
    QString Key;     // Brave and Marginalia: the API key
    QString Results = QStringLiteral("/results"); // Json: pointer to the list of results
    QString UrlField = QStringLiteral("url");     // Json: member holding a result's URL
    QString Header;                               // Json: an optional "Name: value" header
};

struct SubmitSetting {
    SubmitService Kind = SubmitService::None;
    QString Name; // the [submit.NAME] table
    QString Endpoint = QStringLiteral("https://api.indexnow.org/indexnow");
    QString Key;
    QString KeyLocation; // empty: https://SITE/KEY.txt
    QString UrlTemplate; // Get: {url} {title} {desc} {keywords} {email}
};

struct ServiceSettings {
    SearchSetting Ranks;
    bool LinkBacksAsRanks = false; // link-backs ask the ranks' service
    SearchSetting LinkBacks;
    SubmitSetting Submission;
};

struct SettingsFile {
    bool Exists = false;
    bool Readable = true; // false: the file has an error (Error names its line)
    QString Error;
    ServiceSettings Settings;
    QByteArray Text; // the file as read
};

// Reads the settings the file holds; a missing file is an empty one.
SettingsFile ReadServiceSettings(const QString& path);
// The settings a configuration text holds.
ServiceSettings SettingsFromText(const QByteArray& text, QString* error = nullptr);

// The first thing wrong with the settings, in words; empty when none.
QString SettingsProblem(const ServiceSettings& settings);

// The configuration text with the settings in place of what text held for
// them; false (error in words) when the settings have a problem or the new
// text would not read.
bool ApplySettings(const QByteArray& text, const ServiceSettings& settings, QByteArray& out,
                   QString& error);

// Writes the settings into the file at path. A file with an error is only
// replaced when replaceBroken is set; its old text is kept beside it as
// PATH.broken. False with the reason in words, the old file unchanged.
bool SaveServiceSettings(const QString& path, const ServiceSettings& settings, bool replaceBroken,
                         QString& error);

// The text of an IndexNow key file (the key, and nothing else) and the
// file's name, KEY.txt.
QByteArray KeyFileText(const QString& key);
QString KeyFileName(const QString& key);

// The request that tests one service: search.NAME with a query, or
// submit.NAME with a page of the project's site.
QString ServiceTestUrl(const QString& serverAddress, const QString& service,
                       const QString& queryOrPage);

struct ServiceTestResult {
    bool Ok = false;
    QString Text; // what happened, in words, with the first result
};
// Reads the server's answer to a test request.
ServiceTestResult ReadServiceTest(const QString& answer);

} // namespace vantora
