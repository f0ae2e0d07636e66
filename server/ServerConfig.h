#pragma once
// The server's configuration file (TOML): the search services that rank
// checks and link-back searches ask, the submission services that page
// submissions go to, which client engine name maps to which service, and
// where the link index lives.

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

struct SearchBackend {
    std::string Name;
    // {query}, {page} (from 1), {page0} (from 0), {offset} (results before the page), {count}
    std::string UrlTemplate;
    std::string ResultsPointer = "/results"; // JSON pointer to the array of results
    std::string UrlField = "url";            // member of a result that holds its URL
    int PerPage = 10;
    std::vector<std::string> Headers; // "Name: value"
    long TimeoutSeconds = 10;
};

enum class SubmitKind { IndexNow, Get };

struct SubmitBackend {
    std::string Name;
    SubmitKind Kind = SubmitKind::IndexNow;
    std::string Endpoint;    // IndexNow: the service's /indexnow address
    std::string Key;         // IndexNow: the site's key
    std::string KeyLocation; // IndexNow: where the key file is, when not /KEY.txt
    std::string UrlTemplate; // Get: {url} {title} {desc} {keywords} {email}
    std::vector<std::string> Headers;
    long TimeoutSeconds = 10;
};

// Who may use a server shared by a team ([access]).
struct AccessConfig {
    std::vector<std::string> Tokens; // from tokens and the lines of tokens_file
    std::string TokensFile;          // as written; read by LoadServerConfig
    long PerTokenPerMinute = 600;    // requests a minute per token, 0: no limit
    long PerAddressPerMinute = 300;  // requests a minute per client address, 0: no limit
};

struct OffPageConfig {
    // Host names this server answers for besides its listening address and,
    // on loopback, 127.0.0.1, localhost and ::1 ([server] hosts).
    std::vector<std::string> Hosts;
    std::map<std::string, SearchBackend> Searches;
    int RankDepth = 50;
    std::map<std::string, std::string> RankEngines; // "ALTAVISTA" -> search backend name
    std::map<std::string, SubmitBackend> Submits;
    std::map<std::string, std::string> SubmitEngines; // "AltaVista" -> submit backend name
    std::string BackwatchSearch;                      // search backend name, or empty
    std::string LinkIndexPath;                        // empty: the default one
    bool LinkIndexOff = false;                        // index = "" turns it off
    AccessConfig Access;
};

// The rank checker's engines: request parameter and the name in the answer,
// in the order the client sends them.
struct RankEngine {
    std::string_view Parameter;
    std::string_view Name;
};
inline constexpr std::array<RankEngine, 9> RankEngines = {{{"altavista", "ALTAVISTA"},
                                                           {"hotbot", "HOTBOT"},
                                                           {"lycos", "LYCOS"},
                                                           {"excite", "EXCITE"},
                                                           {"infoseek", "INFOSEEK"},
                                                           {"webcrawler", "WEBCRAWLER"},
                                                           {"northernlight", "NORTHERNLIGHT"},
                                                           {"yahoo", "YAHOO"},
                                                           {"linkstar", "LINKSTAR"}}};

// The submitter's engines: request parameter and display name, in the order
// the client sends them.
struct SubmitEngine {
    std::string_view Parameter;
    std::string_view Name;
};
inline constexpr std::array<SubmitEngine, 16> SubmitEngines = {{{"altavista", "AltaVista"},
                                                                {"hotbot", "HotBot"},
                                                                {"lycos", "Lycos"},
                                                                {"excite", "Excite"},
                                                                {"infoseek", "Infoseek"},
                                                                {"webcrawler", "Webcrawler"},
                                                                {"planetsearch", "PlanetSearch"},
                                                                {"netfind", "NetFind"},
                                                                {"scrubtheweb", "ScrubTheWeb"},
                                                                {"sitefinder", "SiteFinder"},
                                                                {"moshix2", "Moshix2"},
                                                                {"questfinder", "QuestFinder"},
                                                                {"xerus", "Xerus"},
                                                                {"zap", "Zap"},
                                                                {"whatuseek", "What-u-Seek"},
                                                                {"megallan", "Megallan"}}};

struct ConfigLoad {
    bool Ok = false;
    std::string Error; // "FILE line N: ..." when not Ok
    std::vector<std::string> Warnings;
    OffPageConfig Config;
};

// Reads and checks a configuration text; fileName only names it in messages.
ConfigLoad ParseServerConfig(std::string_view text, std::string_view fileName);
ConfigLoad LoadServerConfig(const std::string& path);

// Whether a link index setting names a PostgreSQL database
// ("postgresql://...") rather than a file.
bool IsDatabaseAddress(std::string_view index);

// $XDG_CONFIG_HOME/vantora/vantora-server.toml (~/.config when unset).
std::string DefaultConfigPath();
// $XDG_DATA_HOME/vantora/links.sqlite (~/.local/share when unset).
std::string DefaultLinkIndexPath();

} // namespace vantora
