#include "ServerConfig.h"

#include "PageText.h"

#include <cpptoml.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <sys/stat.h>

namespace vantora {

namespace {

// Where each table and key stands in the file, so that a value cpptoml read
// but this code refuses can still be named by its line.
class LineFinder {
  public:
    explicit LineFinder(std::string_view text) {
        std::string table;
        std::size_t lineNumber = 0;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            ++lineNumber;
            const std::string line = Trim(text.substr(start, end - start));
            if (!line.empty() && line[0] == '[') {
                const auto close = line.find(']');
                table = Bare(
                    line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
                Lines.emplace(table, lineNumber);
            } else if (const auto eq = line.find('=');
                       !line.empty() && line[0] != '#' && eq != std::string::npos) {
                const std::string key = Bare(line.substr(0, eq));
                Lines.emplace(table.empty() ? key : table + "." + key, lineNumber);
            }
            start = end + 1;
        }
    }

    // "line N" for a dotted path, falling back to its table's line.
    std::string Where(const std::string& path) const {
        for (std::string p = path; !p.empty();) {
            if (const auto it = Lines.find(p); it != Lines.end())
                return "line " + std::to_string(it->second);
            const auto dot = p.rfind('.');
            if (dot == std::string::npos)
                break;
            p.resize(dot);
        }
        return "somewhere";
    }

  private:
    static std::string Bare(std::string_view s) {
        std::string out;
        for (const char c : s)
            if (c != '"' && c != '\'' && c != ' ' && c != '\t')
                out += c;
        return out;
    }
    std::map<std::string, std::size_t> Lines;
};

struct ConfigError {
    std::string Path;
    std::string Message;
};

class Reader {
  public:
    Reader(const LineFinder& lines, std::vector<std::string>& warnings, std::string_view file)
        : Lines(lines), Warnings(warnings), File(file) {}

    [[noreturn]] void Fail(const std::string& path, const std::string& message) const {
        throw ConfigError{path, message};
    }

    void Warn(const std::string& path, const std::string& message) const {
        Warnings.push_back(File + " " + Lines.Where(path) + ": " + message);
    }

    std::string Where(const std::string& path) const { return Lines.Where(path); }

    // Warns about keys of table that are not among known.
    void CheckKeys(const cpptoml::table& table, const std::string& path,
                   const std::set<std::string>& known) const {
        for (const auto& [key, value] : table) {
            const std::string full = path.empty() ? key : path + "." + key;
            if (!known.count(key))
                Warn(full, "unknown key \"" + full + "\" is ignored");
        }
    }

    std::string String(const cpptoml::table& table, const std::string& path, const std::string& key,
                       bool required) const {
        if (!table.contains(key)) {
            if (required)
                Fail(path, "\"" + path + "\" needs a \"" + key + "\" value");
            return {};
        }
        const auto text = table.get(key)->as<std::string>();
        if (!text)
            Fail(path + "." + key, "\"" + path + "." + key + "\" must be a text in quotes");
        return text->get();
    }

    long Number(const cpptoml::table& table, const std::string& path, const std::string& key,
                long fallback, long low, long high) const {
        if (!table.contains(key))
            return fallback;
        const auto number = table.get(key)->as<int64_t>();
        if (!number || number->get() < low || number->get() > high)
            Fail(path + "." + key, "\"" + path + "." + key + "\" must be a whole number from " +
                                       std::to_string(low) + " to " + std::to_string(high));
        return static_cast<long>(number->get());
    }

    std::vector<std::string> Headers(const cpptoml::table& table, const std::string& path) const {
        std::vector<std::string> out;
        if (!table.contains("header"))
            return out;
        const auto value = table.get("header");
        std::vector<std::string> texts;
        if (const auto one = value->as<std::string>()) {
            texts.push_back(one->get());
        } else if (const auto many = value->as_array()) {
            for (const auto& item : *many) {
                const auto text = item->as<std::string>();
                if (!text)
                    Fail(path + ".header", "\"" + path + ".header\" must be texts");
                texts.push_back(text->get());
            }
        } else {
            Fail(path + ".header", "\"" + path + ".header\" must be a text or a list of texts");
        }
        for (const auto& text : texts) {
            const auto colon = text.find(':');
            if (colon == std::string::npos || colon == 0 ||
                text.find_first_of("\r\n") != std::string::npos)
                Fail(path + ".header", "\"" + path + ".header\" must read \"Name: value\"");
            out.push_back(text);
        }
        return out;
    }

  private:
    const LineFinder& Lines;
    std::vector<std::string>& Warnings;
    std::string File;
};

bool IsHttpUrl(const std::string& url) {
    const std::string lower = AsciiLower(url.substr(0, 8));
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

bool ValidIndexNowKey(const std::string& key) {
    if (key.size() < 8 || key.size() > 128)
        return false;
    for (const char c : key)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-'))
            return false;
    return true;
}

SearchBackend ReadSearch(const Reader& r, const cpptoml::table& table, const std::string& name) {
    const std::string path = "search." + name;
    r.CheckKeys(table, path,
                {"kind", "url", "results", "url_field", "per_page", "header", "timeout"});
    SearchBackend b;
    b.Name = name;
    const std::string kind = r.String(table, path, "kind", false);
    if (!kind.empty() && kind != "json")
        r.Fail(path + ".kind", "\"" + path + ".kind\" must be \"json\"");
    b.UrlTemplate = r.String(table, path, "url", true);
    if (!IsHttpUrl(b.UrlTemplate))
        r.Fail(path + ".url", "\"" + path + ".url\" must begin with http:// or https://");
    if (b.UrlTemplate.find("{query}") == std::string::npos)
        r.Fail(path + ".url", "\"" + path + ".url\" must hold {query}");
    if (table.contains("results"))
        b.ResultsPointer = r.String(table, path, "results", true);
    try {
        (void)nlohmann::json::json_pointer(b.ResultsPointer);
    } catch (const nlohmann::json::exception&) {
        r.Fail(path + ".results",
               "\"" + path + ".results\" must be a JSON pointer such as \"/results\"");
    }
    if (table.contains("url_field"))
        b.UrlField = r.String(table, path, "url_field", true);
    if (b.UrlField.empty())
        r.Fail(path + ".url_field", "\"" + path + ".url_field\" must not be empty");
    b.PerPage = static_cast<int>(r.Number(table, path, "per_page", 10, 1, 100));
    b.Headers = r.Headers(table, path);
    b.TimeoutSeconds = r.Number(table, path, "timeout", 10, 1, 120);
    return b;
}

SubmitBackend ReadSubmit(const Reader& r, const cpptoml::table& table, const std::string& name) {
    const std::string path = "submit." + name;
    r.CheckKeys(table, path,
                {"kind", "endpoint", "key", "key_location", "url", "header", "timeout"});
    SubmitBackend b;
    b.Name = name;
    const std::string kind = r.String(table, path, "kind", true);
    if (kind == "indexnow") {
        b.Kind = SubmitKind::IndexNow;
        b.Endpoint = r.String(table, path, "endpoint", true);
        if (!IsHttpUrl(b.Endpoint))
            r.Fail(path + ".endpoint",
                   "\"" + path + ".endpoint\" must begin with http:// or https://");
        b.Key = r.String(table, path, "key", true);
        if (!ValidIndexNowKey(b.Key))
            r.Fail(path + ".key",
                   "\"" + path + ".key\" must be 8 to 128 letters, digits or dashes");
        b.KeyLocation = r.String(table, path, "key_location", false);
        if (!b.KeyLocation.empty() && !IsHttpUrl(b.KeyLocation))
            r.Fail(path + ".key_location",
                   "\"" + path + ".key_location\" must begin with http:// or https://");
    } else if (kind == "get") {
        b.Kind = SubmitKind::Get;
        b.UrlTemplate = r.String(table, path, "url", true);
        if (!IsHttpUrl(b.UrlTemplate))
            r.Fail(path + ".url", "\"" + path + ".url\" must begin with http:// or https://");
        if (b.UrlTemplate.find("{url}") == std::string::npos)
            r.Fail(path + ".url", "\"" + path + ".url\" must hold {url}");
    } else {
        r.Fail(path + ".kind", "\"" + path + ".kind\" must be \"indexnow\" or \"get\"");
    }
    b.Headers = r.Headers(table, path);
    b.TimeoutSeconds = r.Number(table, path, "timeout", 10, 1, 120);
    return b;
}

// The client's engine name that key stands for, matched without regard to
// case; empty when it names none.
template <typename Engines> std::string EngineName(const Engines& engines, const std::string& key) {
    const std::string lower = AsciiLower(key);
    for (const auto& e : engines)
        if (AsciiLower(e.Name) == lower || e.Parameter == lower)
            return std::string(e.Name);
    return {};
}

const cpptoml::table* SubTable(const Reader& r, const cpptoml::table& root,
                               const std::string& name) {
    if (!root.contains(name))
        return nullptr;
    const auto base = root.get(name);
    if (!base->is_table())
        r.Fail(name, "\"" + name + "\" must be a table ([" + name + "])");
    return static_cast<const cpptoml::table*>(base.get());
}

// A token is a secret of 16 to 256 printable characters without blanks.
bool GoodToken(const std::string& token) {
    if (token.size() < 16 || token.size() > 256)
        return false;
    for (const char c : token)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
            return false;
    return true;
}

void ReadAccess(const Reader& r, const cpptoml::table& access, AccessConfig& config) {
    r.CheckKeys(
        access, "access",
        {"tokens", "tokens_file", "requests_per_minute", "requests_per_minute_per_address"});
    if (access.contains("tokens")) {
        const auto list = access.get("tokens")->as_array();
        if (!list)
            r.Fail("access.tokens", "\"access.tokens\" must be a list of texts in quotes");
        for (const auto& item : *list) {
            const auto token = item->as<std::string>();
            if (!token || !GoodToken(token->get()))
                r.Fail("access.tokens", "\"access.tokens\" must hold tokens of 16 to 256 "
                                        "characters without blanks");
            config.Tokens.push_back(token->get());
        }
    }
    config.TokensFile = r.String(access, "access", "tokens_file", false);
    config.PerTokenPerMinute =
        r.Number(access, "access", "requests_per_minute", config.PerTokenPerMinute, 0, 1000000);
    config.PerAddressPerMinute = r.Number(access, "access", "requests_per_minute_per_address",
                                          config.PerAddressPerMinute, 0, 1000000);
}

void ReadAll(const Reader& r, const cpptoml::table& root, OffPageConfig& config) {
    r.CheckKeys(root, "",
                {"server", "search", "rankscout", "submit", "enginepost", "backwatch", "access"});
    if (const auto* access = SubTable(r, root, "access"))
        ReadAccess(r, *access, config.Access);
    if (const auto* server = SubTable(r, root, "server")) {
        r.CheckKeys(*server, "server", {"hosts"});
        if (server->contains("hosts")) {
            const auto list = server->get("hosts")->as_array();
            if (!list)
                r.Fail("server.hosts", "\"server.hosts\" must be a list of host names");
            for (const auto& item : *list) {
                const auto name = item->as<std::string>();
                if (!name || name->get().empty() ||
                    name->get().find_first_of(" /:\t\r\n") != std::string::npos)
                    r.Fail("server.hosts",
                           "\"server.hosts\" must hold host names without port, such as "
                           "\"analysis.example\"");
                config.Hosts.push_back(AsciiLower(name->get()));
            }
        }
    }
    if (const auto* searches = SubTable(r, root, "search")) {
        for (const auto& [name, value] : *searches) {
            if (!value->is_table())
                r.Fail("search." + name, "\"search." + name + "\" must be a table");
            config.Searches[name] = ReadSearch(r, static_cast<const cpptoml::table&>(*value), name);
        }
    }
    if (const auto* submits = SubTable(r, root, "submit")) {
        for (const auto& [name, value] : *submits) {
            if (!value->is_table())
                r.Fail("submit." + name, "\"submit." + name + "\" must be a table");
            config.Submits[name] = ReadSubmit(r, static_cast<const cpptoml::table&>(*value), name);
        }
    }
    if (const auto* rank = SubTable(r, root, "rankscout")) {
        for (const auto& [key, value] : *rank) {
            const std::string path = "rankscout." + key;
            if (key == "depth") {
                config.RankDepth = static_cast<int>(r.Number(*rank, "rankscout", key, 50, 1, 500));
                continue;
            }
            const std::string engine = EngineName(RankEngines, key);
            if (engine.empty()) {
                r.Warn(path, "unknown key \"" + path + "\" is ignored (not a rank engine name)");
                continue;
            }
            const std::string backend = r.String(*rank, "rankscout", key, true);
            if (!config.Searches.count(backend))
                r.Fail(path, "\"" + path + "\" names \"" + backend + "\", which is not a [search." +
                                 backend + "] table");
            config.RankEngines[engine] = backend;
        }
    }
    if (const auto* post = SubTable(r, root, "enginepost")) {
        for (const auto& [key, value] : *post) {
            const std::string path = "enginepost." + key;
            const std::string engine = EngineName(SubmitEngines, key);
            if (engine.empty()) {
                r.Warn(path,
                       "unknown key \"" + path + "\" is ignored (not a submission engine name)");
                continue;
            }
            const std::string backend = r.String(*post, "enginepost", key, true);
            if (!config.Submits.count(backend))
                r.Fail(path, "\"" + path + "\" names \"" + backend + "\", which is not a [submit." +
                                 backend + "] table");
            config.SubmitEngines[engine] = backend;
        }
    }
    if (const auto* back = SubTable(r, root, "backwatch")) {
        r.CheckKeys(*back, "backwatch", {"search", "index"});
        config.BackwatchSearch = r.String(*back, "backwatch", "search", false);
        if (!config.BackwatchSearch.empty() && !config.Searches.count(config.BackwatchSearch))
            r.Fail("backwatch.search", "\"backwatch.search\" names \"" + config.BackwatchSearch +
                                           "\", which is not a [search." + config.BackwatchSearch +
                                           "] table");
        config.LinkIndexPath = r.String(*back, "backwatch", "index", false);
        config.LinkIndexOff = back->contains("index") && config.LinkIndexPath.empty();
    }
}

std::string HomeFolder(const char* variable, const char* fallback) {
    if (const char* v = std::getenv(variable); v && *v == '/')
        return v;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + fallback;
}

} // namespace

ConfigLoad ParseServerConfig(std::string_view text, std::string_view fileName) {
    ConfigLoad load;
    const LineFinder lines(text);
    const Reader reader(lines, load.Warnings, fileName);
    try {
        std::istringstream in{std::string(text)};
        cpptoml::parser parser(in);
        const auto root = parser.parse();
        ReadAll(reader, *root, load.Config);
        load.Ok = true;
    } catch (const cpptoml::parse_exception& e) {
        // cpptoml's message already ends with "at line N".
        load.Error = std::string(fileName) + ": " + e.what();
    } catch (const ConfigError& e) {
        load.Error = std::string(fileName) + " " + lines.Where(e.Path) + ": " + e.Message;
    }
    if (!load.Ok)
        load.Config = OffPageConfig{};
    return load;
}

namespace {

// Adds the tokens of [access] tokens_file (one a line; blank lines and
// lines starting with # are skipped) to the configuration; a file that
// cannot be read or holds a bad token makes the whole configuration fail.
void ReadTokensFile(const std::string& configPath, const std::string& configText,
                    ConfigLoad& load) {
    std::string file = load.Config.Access.TokensFile;
    if (file.front() != '/')
        file = (std::filesystem::path(configPath).parent_path() / file).lexically_normal().string();
    const std::string where = configPath + " " + LineFinder(configText).Where("access.tokens_file");
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        load.Ok = false;
        load.Error = where + ": the tokens file " + file + " cannot be read";
        return;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string token = Trim(line);
        if (token.empty() || token.front() == '#')
            continue;
        if (!GoodToken(token)) {
            // The line's text is a secret, so only its number is told.
            load.Ok = false;
            load.Error = where + ": " + file + " line " + std::to_string(number) +
                         " is not a token of 16 to 256 characters without blanks";
            return;
        }
        load.Config.Access.Tokens.push_back(token);
    }
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0 && (info.st_mode & 004))
        load.Warnings.push_back(where + ": " + file +
                                " can be read by every user of this machine (chmod 640)");
    load.Config.Access.TokensFile = file;
}

} // namespace

bool IsDatabaseAddress(std::string_view index) {
    return index.rfind("postgresql://", 0) == 0 || index.rfind("postgres://", 0) == 0;
}

ConfigLoad LoadServerConfig(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ConfigLoad load;
        load.Error = path + ": cannot be read";
        return load;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (text.str().size() > (1u << 20)) {
        ConfigLoad load;
        load.Error = path + ": larger than 1 MB, not a configuration file";
        return load;
    }
    ConfigLoad load = ParseServerConfig(text.str(), path);
    // A relative index path is read from the configuration file's folder.
    std::string& index = load.Config.LinkIndexPath;
    if (!index.empty() && index.front() != '/' && !IsDatabaseAddress(index))
        index = (std::filesystem::path(path).parent_path() / index).lexically_normal().string();
    if (load.Ok && !load.Config.Access.TokensFile.empty())
        ReadTokensFile(path, text.str(), load);
    return load;
}

std::string DefaultConfigPath() {
    return HomeFolder("XDG_CONFIG_HOME", "/.config") + "/vantora/vantora-server.toml";
}

std::string DefaultLinkIndexPath() {
    return HomeFolder("XDG_DATA_HOME", "/.local/share") + "/vantora/links.sqlite";
}

} // namespace vantora
