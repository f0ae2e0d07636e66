#include "CrawlFacts.h"

#include <nlohmann/json.hpp>

#include <fstream>

namespace vantora::health {

namespace {

using Json = nlohmann::json;

std::string Text(const Json& record, const char* name) {
    const auto found = record.find(name);
    return found != record.end() && found->is_string() ? found->get<std::string>() : std::string();
}

long long Number(const Json& record, const char* name, long long fallback = 0) {
    const auto found = record.find(name);
    return found != record.end() && found->is_number() ? found->get<long long>() : fallback;
}

std::vector<std::string> Texts(const Json& record, const char* name) {
    std::vector<std::string> list;
    const auto found = record.find(name);
    if (found == record.end() || !found->is_array())
        return list;
    for (const Json& item : *found)
        if (item.is_string())
            list.push_back(item.get<std::string>());
    return list;
}

std::vector<std::pair<std::string, std::string>> Pairs(const Json& record, const char* name) {
    std::vector<std::pair<std::string, std::string>> list;
    const auto found = record.find(name);
    if (found == record.end() || !found->is_array())
        return list;
    for (const Json& item : *found)
        if (item.is_array() && item.size() == 2 && item[0].is_string() && item[1].is_string())
            list.emplace_back(item[0].get<std::string>(), item[1].get<std::string>());
    return list;
}

void ReadFetch(const Json& record, UrlFacts& url) {
    url.Url = Text(record, "url");
    url.Status = static_cast<int>(Number(record, "status"));
    url.Error = Text(record, "error");
    url.Location = Text(record, "location");
    url.FirstByteMs = static_cast<long>(Number(record, "first_ms", -1));
    url.TotalMs = static_cast<long>(Number(record, "total_ms", -1));
    url.Bytes = Number(record, "bytes");
    url.Type = Text(record, "type");
    url.Modified = Text(record, "modified");
    url.RobotsHeader = Text(record, "x_robots");
    url.HeaderCanonicals = Texts(record, "link_canonical");
    url.Depth = static_cast<int>(Number(record, "depth", -1));
    const std::string source = Text(record, "source");
    url.Unfollowed = !source.empty() && source != "link";
}

void ReadPage(const Json& record, UrlFacts& url) {
    url.Html = true;
    url.Titles = Texts(record, "titles");
    url.HasDescription = record.contains("description");
    url.Description = Text(record, "description");
    url.DescriptionChars = static_cast<std::size_t>(Number(record, "description_chars"));
    url.RobotsMeta = Text(record, "robots");
    url.Canonicals = Texts(record, "canonicals");
    url.Alternates = Pairs(record, "hreflang");
    url.H1Count = static_cast<std::size_t>(Number(record, "h1_count"));
    url.H1WithText = static_cast<std::size_t>(Number(record, "h1_with_text"));
    url.H1Texts = Texts(record, "h1_texts");
    url.Ids = Texts(record, "ids");
    url.Words = static_cast<std::size_t>(Number(record, "words"));
    url.Hash = Text(record, "hash");
    url.ImagesWithoutAlt = static_cast<std::size_t>(Number(record, "img_no_alt"));
    url.Insecure = Texts(record, "insecure");
    url.InsecureCount = static_cast<std::size_t>(Number(record, "insecure_count"));
    url.JsonLd = static_cast<std::size_t>(Number(record, "jsonld"));
    url.JsonLdInvalid = static_cast<std::size_t>(Number(record, "jsonld_invalid"));
    if (const auto links = record.find("links"); links != record.end() && links->is_array())
        for (const Json& id : *links)
            if (id.is_number_integer())
                url.Links.push_back(id.get<long>());
    url.Fragments = Pairs(record, "fragments");
    url.NoFollow = Texts(record, "nofollow");
    url.TooDeep = record.value("too_deep", false);
}

void ReadRender(const Json& record, UrlFacts::Rendering& render) {
    render.Tried = true;
    render.Rendered = record.value("rendered", false);
    render.TimedOut = record.value("timeout", false);
    render.Error = Text(record, "error");
    render.Note = Text(record, "note");
    render.Changed = Texts(record, "changed");
    render.Titles = Texts(record, "titles");
    render.HasDescription = record.contains("description");
    render.Description = Text(record, "description");
    render.Robots = Text(record, "robots");
    render.Canonicals = Texts(record, "canonicals");
    if (const auto links = record.find("js_links"); links != record.end() && links->is_array())
        for (const Json& id : *links)
            if (id.is_number_integer())
                render.Links.push_back(id.get<long>());
}

} // namespace

bool ReadFacts(std::istream& in, CrawlFacts& facts, std::string& error) {
    facts = CrawlFacts();
    std::string line;
    std::size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty())
            continue;
        Json record = Json::parse(line, nullptr, false);
        if (record.is_discarded() || !record.is_object()) {
            if (!in.good() && number > 1)
                break; // a last line cut off by a killed writer: the end is missing
            error = "line " + std::to_string(number) + " of the facts file is not a record";
            return false;
        }
        if (number == 1) {
            if (Text(record, "format") != "vantora-facts") {
                error = "not a crawl facts file";
                return false;
            }
            facts.Version = static_cast<int>(Number(record, "version"));
            if (facts.Version < 1 || facts.Version > FactsVersion) {
                error = "the facts file is of version " + std::to_string(facts.Version) +
                        "; this program reads version " + std::to_string(FactsVersion);
                return false;
            }
            facts.Root = Text(record, "root");
            facts.Started = Text(record, "started");
            continue;
        }
        const std::string kind = Text(record, "k");
        if (kind == "fetch") {
            const long id = static_cast<long>(Number(record, "id", -1));
            UrlFacts url;
            url.Id = id;
            ReadFetch(record, url);
            if (url.Url.empty())
                continue;
            const auto [at, added] = facts.ById.emplace(id, facts.Urls.size());
            if (added)
                facts.Urls.push_back(std::move(url));
            else
                ReadFetch(record, facts.Urls[at->second]); // a later answer for the same URL
        } else if (kind == "page") {
            const auto at = facts.ById.find(static_cast<long>(Number(record, "id", -1)));
            if (at != facts.ById.end())
                ReadPage(record, facts.Urls[at->second]);
        } else if (kind == "render") {
            const auto at = facts.ById.find(static_cast<long>(Number(record, "id", -1)));
            if (at != facts.ById.end())
                ReadRender(record, facts.Urls[at->second].Render);
        } else if (kind == "sitemap") {
            facts.Sitemaps.push_back(
                {Text(record, "url"), static_cast<int>(Number(record, "status")),
                 static_cast<std::size_t>(Number(record, "urls")), Text(record, "note")});
        } else if (kind == "listed") {
            std::string url = Text(record, "url");
            if (!url.empty())
                facts.Listed.push_back(std::move(url));
        } else if (kind == "end") {
            facts.Ended = true;
            facts.Complete = record.value("complete", false);
            facts.Pages = static_cast<std::size_t>(Number(record, "pages"));
        }
    }
    if (number == 0) {
        error = "the facts file is empty";
        return false;
    }
    return true;
}

bool ReadFactsFile(const std::string& path, CrawlFacts& facts, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    return ReadFacts(in, facts, error);
}

} // namespace vantora::health
