#include "ServiceSettings.h"

#include "ConfigEdit.h"
#include "Endpoints.h"
#include "ServerConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace vantora {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr auto BraveUrl =
    "https://api.search.brave.com/res/v1/web/search?q={query}&count={count}&offset={page0}"_L1;
constexpr auto MarginaliaUrl =
    "https://api2.marginalia-search.com/search?query={query}&count={count}&page={page}"_L1;
constexpr auto BraveHeader = "X-Subscription-Token: "_L1;
constexpr auto MarginaliaHeader = "API-Key: "_L1;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

QString HeaderValue(const SearchBackend& b, QLatin1StringView name) {
    for (const std::string& h : b.Headers)
        if (Q(h).startsWith(name, Qt::CaseInsensitive))
            return Q(h).mid(name.size()).trimmed();
    return QString();
}

SearchSetting SearchFrom(const OffPageConfig& c, const std::string& name) {
    SearchSetting s;
    s.Name = Q(name);
    const auto it = c.Searches.find(name);
    if (it == c.Searches.end())
        return s;
    const SearchBackend& b = it->second;
    const QString url = Q(b.UrlTemplate);
    if (url.contains("api.search.brave.com"_L1)) {
        s.Kind = SearchService::Brave;
        s.Key = HeaderValue(b, BraveHeader);
    } else if (url.contains("marginalia"_L1)) {
        s.Kind = SearchService::Marginalia;
        s.Key = HeaderValue(b, MarginaliaHeader);
    } else if (url.contains("format=json"_L1) && url.contains("/search?"_L1) &&
               b.ResultsPointer == "/results") {
        s.Kind = SearchService::SearXNG;
        s.Address = url.left(url.indexOf("/search?"_L1));
    } else {
        s.Kind = SearchService::Json;
        s.Address = url;
        s.Results = Q(b.ResultsPointer);
        s.UrlField = Q(b.UrlField);
        s.Header = b.Headers.empty() ? QString() : Q(b.Headers.front());
    }
    return s;
}

bool IsHttp(const QString& url) {
    return url.startsWith("http://"_L1, Qt::CaseInsensitive) ||
           url.startsWith("https://"_L1, Qt::CaseInsensitive);
}

bool HasLineBreak(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar(0x2028) || c == QChar(0x2029))
            return true;
    return false;
}

QString SearchProblem(const SearchSetting& s, const QString& what) {
    switch (s.Kind) {
    case SearchService::None:
        return QString();
    case SearchService::SearXNG:
        if (!IsHttp(s.Address.trimmed()))
            return what + ": the SearXNG address must begin with http:// or https://"_L1;
        if (HasLineBreak(s.Address))
            return what + ": the SearXNG address must be one line"_L1;
        return QString();
    case SearchService::Brave:
    case SearchService::Marginalia:
        if (s.Key.trimmed().isEmpty())
            return what + ": the API key is missing"_L1;
        if (HasLineBreak(s.Key))
            return what + ": the API key must be one line, without line breaks"_L1;
        return QString();
    case SearchService::Json:
        if (!IsHttp(s.Address.trimmed()))
            return what + ": the URL template must begin with http:// or https://"_L1;
        if (HasLineBreak(s.Address) || HasLineBreak(s.Results) || HasLineBreak(s.UrlField) ||
            HasLineBreak(s.Header))
            return what + ": the fields must be one line each, without line breaks"_L1;
        if (!s.Address.contains("{query}"_L1))
            return what + ": the URL template must hold {query}, where the search words go"_L1;
        if (!s.Results.isEmpty() && !s.Results.startsWith(u'/'))
            return what + ": the result pointer must begin with / (such as /results)"_L1;
        if (s.UrlField.trimmed().isEmpty())
            return what + ": the URL field of a result must be named (such as url)"_L1;
        if (!s.Header.isEmpty() && s.Header.indexOf(u':') < 1)
            return what + ": the header must read Name: value"_L1;
        return QString();
    }
    return QString();
}

void WriteSearch(ConfigText& text, const SearchSetting& s) {
    const std::string table = "search." + S(s.Name);
    text.Set(table, "kind", "\"json\"");
    switch (s.Kind) {
    case SearchService::None:
        return;
    case SearchService::SearXNG: {
        QString base = s.Address.trimmed();
        while (base.endsWith(u'/'))
            base.chop(1);
        text.Set(table, "url",
                 TomlString(S(base + "/search?q={query}&format=json&pageno={page}"_L1)));
        text.Remove(table, "results");
        text.Remove(table, "url_field");
        text.Remove(table, "per_page");
        return;
    }
    case SearchService::Brave:
        text.Set(table, "url", TomlString(S(QString(BraveUrl))));
        text.Set(table, "results", "\"/web/results\"");
        text.Set(table, "per_page", "20");
        text.Set(table, "header", TomlString(S(BraveHeader + s.Key.trimmed())));
        text.Remove(table, "url_field");
        return;
    case SearchService::Marginalia:
        text.Set(table, "url", TomlString(S(QString(MarginaliaUrl))));
        text.Set(table, "header", TomlString(S(MarginaliaHeader + s.Key.trimmed())));
        text.Remove(table, "results");
        text.Remove(table, "url_field");
        return;
    case SearchService::Json:
        text.Set(table, "url", TomlString(S(s.Address.trimmed())));
        text.Set(table, "results",
                 TomlString(S(s.Results.isEmpty() ? u"/results"_s : s.Results.trimmed())));
        text.Set(table, "url_field", TomlString(S(s.UrlField.trimmed())));
        if (s.Header.trimmed().isEmpty())
            text.Remove(table, "header");
        else
            text.Set(table, "header", TomlString(S(s.Header.trimmed())));
        return;
    }
}

// The key an engine is spelled with in table, or its own name when absent.
template <typename Engine>
std::string EngineKey(const ConfigText& text, const std::string& table, const Engine& e) {
    const std::string name(e.Name);
    std::string lower = name;
    std::string upper = name;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& key : {name, lower, upper, std::string(e.Parameter)})
        if (text.Has(table, key))
            return key;
    return name;
}

// Maps every engine that is unmapped or mapped to oldName to newName (empty:
// removes those mappings). Engines the user mapped elsewhere by hand stay.
template <typename Engines>
void MapEngines(ConfigText& text, const std::string& table, const Engines& engines,
                const std::map<std::string, std::string>& mapped, const std::string& oldName,
                const std::string& newName) {
    for (const auto& e : engines) {
        const auto it = mapped.find(std::string(e.Name));
        if (it != mapped.end() && it->second != oldName)
            continue;
        const std::string key = EngineKey(text, table, e);
        if (newName.empty())
            text.Remove(table, key);
        else
            text.Set(table, key, TomlString(newName));
    }
}

std::string FirstMapped(const std::map<std::string, std::string>& mapped, std::string_view first) {
    if (const auto it = mapped.find(std::string(first)); it != mapped.end())
        return it->second;
    return mapped.empty() ? std::string() : mapped.begin()->second;
}

} // namespace

ServiceSettings SettingsFromText(const QByteArray& text, QString* error) {
    ServiceSettings out;
    out.Ranks.Name = u"ranks"_s;
    out.LinkBacks.Name = u"linkbacks"_s;
    out.Submission.Name = u"submission"_s;
    const ConfigLoad load = ParseServerConfig(text.toStdString(), "vantora-server.toml");
    if (!load.Ok) {
        if (error)
            *error = Q(load.Error);
        return out;
    }
    const OffPageConfig& c = load.Config;
    if (const std::string rank = FirstMapped(c.RankEngines, "ALTAVISTA"); !rank.empty())
        out.Ranks = SearchFrom(c, rank);
    if (!c.BackwatchSearch.empty()) {
        out.LinkBacks = SearchFrom(c, c.BackwatchSearch);
        out.LinkBacksAsRanks =
            out.Ranks.Kind != SearchService::None && c.BackwatchSearch == S(out.Ranks.Name);
    }
    if (const std::string post = FirstMapped(c.SubmitEngines, "AltaVista"); !post.empty()) {
        const SubmitBackend& b = c.Submits.at(post);
        SubmitSetting& s = out.Submission;
        s.Name = Q(post);
        s.Kind = b.Kind == SubmitKind::IndexNow ? SubmitService::IndexNow : SubmitService::Get;
        if (b.Kind == SubmitKind::IndexNow) {
            s.Endpoint = Q(b.Endpoint);
            s.Key = Q(b.Key);
            s.KeyLocation = Q(b.KeyLocation);
        } else {
            s.UrlTemplate = Q(b.UrlTemplate);
        }
    }
    return out;
}

SettingsFile ReadServiceSettings(const QString& path) {
    SettingsFile file;
    QFile in(path);
    file.Exists = QFileInfo(path).isFile();
    if (file.Exists) {
        if (!in.open(QIODevice::ReadOnly) || QFileInfo(path).size() > (1 << 20)) {
            file.Readable = false;
            file.Error = path + ": cannot be read"_L1;
            return file;
        }
        file.Text = in.readAll();
    }
    QString error;
    file.Settings = SettingsFromText(file.Text, &error);
    if (!error.isEmpty()) {
        file.Readable = false;
        file.Error = error.replace("vantora-server.toml"_L1, path);
    }
    return file;
}

QString SettingsProblem(const ServiceSettings& settings) {
    if (QString p = SearchProblem(settings.Ranks, u"Ranks"_s); !p.isEmpty())
        return p;
    if (!settings.LinkBacksAsRanks)
        if (QString p = SearchProblem(settings.LinkBacks, u"Link-backs"_s); !p.isEmpty())
            return p;
    if (settings.LinkBacksAsRanks && settings.Ranks.Kind == SearchService::None)
        return u"Link-backs: they cannot use the service for ranks, as none is chosen there"_s;
    const SubmitSetting& s = settings.Submission;
    if (s.Kind == SubmitService::IndexNow) {
        if (!IsHttp(s.Endpoint.trimmed()) || HasLineBreak(s.Endpoint))
            return u"Submission: the IndexNow address must begin with http:// or https://"_s;
        if (HasLineBreak(s.Key))
            return u"Submission: the key must be one line, without line breaks"_s;
        if (!QRegularExpression(u"^[A-Za-z0-9-]{8,128}$"_s).match(s.Key.trimmed()).hasMatch())
            return u"Submission: the key must be 8 to 128 letters, digits or dashes"_s;
        if (!s.KeyLocation.trimmed().isEmpty() &&
            (!IsHttp(s.KeyLocation.trimmed()) || HasLineBreak(s.KeyLocation)))
            return u"Submission: the key location must begin with http:// or https://"_s;
    } else if (s.Kind == SubmitService::Get) {
        if (!IsHttp(s.UrlTemplate.trimmed()) || HasLineBreak(s.UrlTemplate))
            return u"Submission: the URL template must begin with http:// or https://"_s;
        if (!s.UrlTemplate.contains("{url}"_L1))
            return u"Submission: the URL template must hold {url}, where the page goes"_s;
    }
    return QString();
}

bool ApplySettings(const QByteArray& text, const ServiceSettings& settings, QByteArray& out,
                   QString& error) {
    error = SettingsProblem(settings);
    if (!error.isEmpty())
        return false;
    const ConfigLoad before = ParseServerConfig(text.toStdString(), "vantora-server.toml");
    if (!before.Ok) {
        error = Q(before.Error);
        return false;
    }
    const OffPageConfig& c = before.Config;
    const ServiceSettings old = SettingsFromText(text);
    ConfigText edit(text.toStdString());

    if (settings.Ranks.Kind != SearchService::None)
        WriteSearch(edit, settings.Ranks);
    MapEngines(edit, "rankscout", RankEngines, c.RankEngines,
               old.Ranks.Kind == SearchService::None ? std::string() : S(old.Ranks.Name),
               settings.Ranks.Kind == SearchService::None ? std::string() : S(settings.Ranks.Name));

    if (settings.LinkBacksAsRanks) {
        edit.Set("backwatch", "search", TomlString(S(settings.Ranks.Name)));
    } else if (settings.LinkBacks.Kind != SearchService::None) {
        SearchSetting own = settings.LinkBacks;
        if (own.Name == settings.Ranks.Name)
            own.Name = u"linkbacks"_s;
        WriteSearch(edit, own);
        edit.Set("backwatch", "search", TomlString(S(own.Name)));
    } else {
        edit.Remove("backwatch", "search");
    }

    const SubmitSetting& s = settings.Submission;
    const std::string oldPost =
        old.Submission.Kind == SubmitService::None ? std::string() : S(old.Submission.Name);
    if (s.Kind != SubmitService::None) {
        const std::string table = "submit." + S(s.Name);
        if (s.Kind == SubmitService::IndexNow) {
            edit.Set(table, "kind", "\"indexnow\"");
            edit.Set(table, "endpoint", TomlString(S(s.Endpoint.trimmed())));
            edit.Set(table, "key", TomlString(S(s.Key.trimmed())));
            if (s.KeyLocation.trimmed().isEmpty())
                edit.Remove(table, "key_location");
            else
                edit.Set(table, "key_location", TomlString(S(s.KeyLocation.trimmed())));
            edit.Remove(table, "url");
        } else {
            edit.Set(table, "kind", "\"get\"");
            edit.Set(table, "url", TomlString(S(s.UrlTemplate.trimmed())));
            for (const char* key : {"endpoint", "key", "key_location"})
                edit.Remove(table, key);
        }
    }
    MapEngines(edit, "enginepost", SubmitEngines, c.SubmitEngines, oldPost,
               s.Kind == SubmitService::None ? std::string() : S(s.Name));

    const ConfigLoad after = ParseServerConfig(edit.Str(), "vantora-server.toml");
    if (!after.Ok) {
        error = u"The settings could not be written into the file: "_s + Q(after.Error);
        return false;
    }
    out = QByteArray::fromStdString(edit.Str());
    return true;
}

bool SaveServiceSettings(const QString& path, const ServiceSettings& settings, bool replaceBroken,
                         QString& error) {
    const SettingsFile file = ReadServiceSettings(path);
    QByteArray base = file.Text;
    if (!file.Readable) {
        if (!replaceBroken) {
            error = file.Error;
            return false;
        }
        // The broken text is kept beside the new file, nothing is lost.
        QFile::remove(path + ".broken"_L1);
        if (!QFile::copy(path, path + ".broken"_L1)) {
            error = u"The broken file could not be kept as "_s + path + ".broken"_L1 +
                    u", so it is not replaced."_s;
            return false;
        }
        base.clear();
    }
    QByteArray text;
    if (!ApplySettings(base, settings, text, error))
        return false;
    std::string why;
    if (!WriteConfigFile(S(path), text.toStdString(), why)) {
        error = Q(why);
        return false;
    }
    return true;
}

QByteArray KeyFileText(const QString& key) {
    return key.trimmed().toUtf8();
}

QString KeyFileName(const QString& key) {
    return key.trimmed() + ".txt"_L1;
}

QString ServiceTestUrl(const QString& serverAddress, const QString& service,
                       const QString& queryOrPage) {
    const bool search = service.startsWith("search."_L1);
    return "http://"_L1 + serverAddress +
           "/cgi-bin/zeph/text_output/servicetest-pt.cgi?service="_L1 + QueryValue(service) +
           (search ? "&query="_L1 : "&url="_L1) + QueryValue(queryOrPage);
}

ServiceTestResult ReadServiceTest(const QString& answer) {
    ServiceTestResult r;
    if (!answer.startsWith("SERVICETEST<br>"_L1)) {
        r.Text = answer.isEmpty()
                     ? u"The server gave no answer."_s
                     : u"The server does not know the service test (it may be an older "
                       u"version); its answer began: "_s +
                           answer.left(120);
        return r;
    }
    QStringList items = answer.mid(15).split("<br>"_L1);
    r.Ok = items.value(0) == "OK"_L1;
    r.Text = items.value(1);
    if (!items.value(2).isEmpty())
        r.Text += u' ' + items.value(2);
    return r;
}

} // namespace vantora
