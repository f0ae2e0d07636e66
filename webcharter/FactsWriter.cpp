#include "FactsWriter.h"

#include "PageText.h"
#include "Url.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace vantora::webcharter {

namespace {

void Quoted(std::string& out, std::string_view text) {
    std::string repaired;
    if (!IsValidUtf8(text)) {
        repaired = RepairUtf8(text);
        text = repaired;
    }
    out += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

void Member(std::string& out, const char* name, std::string_view text) {
    out += ",\"";
    out += name;
    out += "\":";
    Quoted(out, text);
}

void Member(std::string& out, const char* name, long long value) {
    out += ",\"";
    out += name;
    out += "\":";
    out += std::to_string(value);
}

void Member(std::string& out, const char* name, const std::vector<std::string>& list) {
    out += ",\"";
    out += name;
    out += "\":[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i)
            out += ',';
        Quoted(out, list[i]);
    }
    out += ']';
}

void Member(std::string& out, const char* name,
            const std::vector<std::pair<std::string, std::string>>& list) {
    out += ",\"";
    out += name;
    out += "\":[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        out += i ? ",[" : "[";
        Quoted(out, list[i].first);
        out += ',';
        Quoted(out, list[i].second);
        out += ']';
    }
    out += ']';
}

std::string Headers(CURL* easy, const char* name) {
    std::string joined;
    curl_header* header = nullptr;
    if (curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK)
        return joined;
    const std::size_t amount = header->amount;
    for (std::size_t i = 0; i < amount && i < 16; ++i) {
        if (i && curl_easy_header(easy, name, i, CURLH_HEADER, -1, &header) != CURLHE_OK)
            break;
        if (!joined.empty())
            joined += ',';
        joined += std::string_view(header->value).substr(0, 1024);
    }
    return joined;
}

} // namespace

namespace {

// The date form servers send ("Sun, 06 Nov 1994 08:49:37 GMT") read without the
// general date parser, which costs a dozen scans of the text: false for any other
// form or a field out of range, which the general parser then reads.
bool FixedHttpDate(std::string_view text, std::string& out) {
    static constexpr std::string_view days = "MonTueWedThuFriSatSun";
    static constexpr std::string_view months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (text.size() != 29 || text.substr(3, 2) != ", " || text[7] != ' ' || text[11] != ' ' ||
        text[16] != ' ' || text[19] != ':' || text[22] != ':' || text.substr(25) != " GMT")
        return false;
    const std::size_t day = days.find(text.substr(0, 3));
    const std::size_t month = months.find(text.substr(8, 3));
    if (day == std::string_view::npos || day % 3 || month == std::string_view::npos || month % 3)
        return false;
    int fields[5];
    static constexpr int at[5] = {5, 17, 20, 23, 12}; // day, hour, minute, second, year
    for (int f = 0; f < 5; ++f) {
        const int digits = f == 4 ? 4 : 2;
        int value = 0;
        for (int k = 0; k < digits; ++k) {
            const char c = text[static_cast<std::size_t>(at[f] + k)];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        fields[f] = value;
    }
    const int year = fields[4], m = static_cast<int>(month / 3) + 1;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    static constexpr int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || fields[0] < 1 || fields[0] > lengths[m - 1] + (m == 2 && leap) ||
        fields[1] > 23 || fields[2] > 59 || fields[3] > 59)
        return false;
    out = "0000-00-00T00:00:00Z";
    const auto put = [&out](std::size_t at, int value, int digits) {
        for (int k = digits - 1; k >= 0; --k, value /= 10)
            out[at + static_cast<std::size_t>(k)] = static_cast<char>('0' + value % 10);
    };
    put(0, year, 4);
    put(5, m, 2);
    put(8, fields[0], 2);
    put(11, fields[1], 2);
    put(14, fields[2], 2);
    put(17, fields[3], 2);
    return true;
}

} // namespace

std::string W3cDate(const char* httpDate) {
    if (std::string fixed; FixedHttpDate(httpDate, fixed))
        return fixed;
    const std::time_t when = curl_getdate(httpDate, nullptr);
    if (when < 0)
        return {};
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::vector<std::string> LinkHeaderTargets(std::string_view value, std::string_view relation) {
    std::vector<std::string> found;
    std::size_t i = 0;
    while ((i = value.find('<', i)) != std::string_view::npos && found.size() < 8) {
        const std::size_t close = value.find('>', i);
        if (close == std::string_view::npos)
            break;
        const std::string_view target = value.substr(i + 1, close - i - 1);
        // the parameters run to the next link: a comma followed by "<"
        std::size_t end = value.find('<', close);
        if (end == std::string_view::npos)
            end = value.size();
        const std::string params = AsciiLower(value.substr(close + 1, end - close - 1));
        std::size_t rel = params.find("rel=");
        if (rel != std::string::npos) {
            std::string rels = params.substr(rel + 4);
            if (!rels.empty() && rels[0] == '"')
                rels = rels.substr(1, rels.find('"', 1) - 1);
            else
                rels = rels.substr(0, rels.find_first_of(";, "));
            for (std::size_t at = 0; at < rels.size();) {
                const std::size_t blank = std::min(rels.find(' ', at), rels.size());
                if (rels.substr(at, blank - at) == relation) {
                    found.emplace_back(target);
                    break;
                }
                at = blank + 1;
            }
        }
        i = close + 1;
    }
    return found;
}

void ReadTransferFacts(CURL* easy, FetchFacts& facts) {
    curl_off_t first = 0, total = 0, bytes = 0;
    if (curl_easy_getinfo(easy, CURLINFO_STARTTRANSFER_TIME_T, &first) == CURLE_OK && first > 0)
        facts.FirstByteMs = static_cast<long>(first / 1000);
    if (curl_easy_getinfo(easy, CURLINFO_TOTAL_TIME_T, &total) == CURLE_OK && total > 0)
        facts.TotalMs = static_cast<long>(total / 1000);
    if (facts.Bytes == 0 && curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &bytes) == CURLE_OK)
        facts.Bytes = bytes;
    char* type = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        facts.Type = std::string(type).substr(0, 200);
    if (facts.Status <= 0)
        return;
    curl_header* modified = nullptr;
    if (curl_easy_header(easy, "Last-Modified", 0, CURLH_HEADER, -1, &modified) == CURLHE_OK)
        facts.Modified = W3cDate(std::string(modified->value).substr(0, 100).c_str());
    facts.RobotsHeader = AsciiLower(Headers(easy, "X-Robots-Tag"));
    const std::string links = LinkHeaders(easy);
    if (!links.empty()) {
        const std::optional<Url> page = ParseUrl(facts.Url);
        for (const std::string& target : LinkHeaderCanonicals(links)) {
            std::optional<Url> resolved = page ? ResolveUrl(*page, target) : std::nullopt;
            facts.LinkCanonicals.push_back(resolved ? resolved->ToString()
                                                    : EscapeUrlText(target.substr(0, 200)));
        }
    }
}

std::string LinkHeaders(CURL* easy) {
    return Headers(easy, "Link");
}

FactsWriter::~FactsWriter() {
    StopWriting();
    if (File)
        std::fclose(File);
}

void FactsWriter::Post(std::function<void()> job) {
    Batch.push_back(std::move(job));
    if (Batch.size() >= 128)
        HandOver();
}

void FactsWriter::HandOver() {
    if (Batch.empty())
        return;
    {
        std::unique_lock<std::mutex> guard(Lock);
        Room.wait(guard, [this] { return Jobs.size() < 4096; });
        for (std::function<void()>& job : Batch)
            Jobs.push_back(std::move(job));
    }
    Batch.clear();
    More.notify_one();
}

void FactsWriter::Work() {
    std::deque<std::function<void()>> batch;
    while (true) {
        {
            std::unique_lock<std::mutex> guard(Lock);
            More.wait(guard, [this] { return Closing || !Jobs.empty(); });
            if (Jobs.empty())
                return;
            batch.swap(Jobs);
        }
        Room.notify_all();
        for (std::function<void()>& job : batch)
            job();
        batch.clear();
    }
}

void FactsWriter::StopWriting() {
    if (!Writer.joinable())
        return;
    HandOver();
    {
        std::lock_guard<std::mutex> guard(Lock);
        Closing = true;
    }
    More.notify_all();
    Writer.join();
}

bool FactsWriter::Open(const std::string& path, const std::string& root, std::string& error) {
    File = std::fopen(path.c_str(), "wb");
    if (!File) {
        error = "Cannot create file " + path;
        return false;
    }
    Path = path;
    std::setvbuf(File, nullptr, _IOFBF, 1 << 20);
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char started[32];
    std::strftime(started, sizeof started, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string line = "{\"format\":\"vantora-facts\"";
    Member(line, "version", 1);
    Member(line, "root", root);
    Member(line, "started", started);
    Line(line + "}");
    if (Failed)
        return false;
    Writer = std::thread([this] { Work(); });
    return true;
}

void FactsWriter::Line(const std::string& line) {
    if (!File || Failed)
        return;
    if (std::fwrite(line.data(), 1, line.size(), File) != line.size() ||
        std::fputc('\n', File) == EOF)
        Failed = true;
}

void FactsWriter::Fetch(FetchFacts facts) {
    Post([this, facts = std::move(facts)] { WriteFetch(facts); });
}

void FactsWriter::Page(long id, std::shared_ptr<const PageFacts> facts, std::vector<long> links) {
    Post([this, id, facts = std::move(facts), links = std::move(links)] {
        WritePage(id, *facts, links);
    });
}

void FactsWriter::WriteFetch(const FetchFacts& facts) {
    std::string& line = Buffer;
    line = "{\"k\":\"fetch\"";
    Member(line, "id", facts.Id);
    Member(line, "url", facts.Url);
    Member(line, "status", facts.Status);
    if (!facts.Error.empty())
        Member(line, "error", facts.Error);
    if (!facts.Location.empty())
        Member(line, "location", facts.Location.substr(0, 4096));
    Member(line, "first_ms", facts.FirstByteMs);
    Member(line, "total_ms", facts.TotalMs);
    Member(line, "bytes", facts.Bytes);
    if (!facts.Type.empty())
        Member(line, "type", facts.Type);
    if (!facts.Modified.empty())
        Member(line, "modified", facts.Modified);
    if (!facts.RobotsHeader.empty())
        Member(line, "x_robots", facts.RobotsHeader);
    if (!facts.LinkCanonicals.empty())
        Member(line, "link_canonical", facts.LinkCanonicals);
    Member(line, "depth", facts.Depth);
    Member(line, "source",
           facts.From == FetchFacts::Source::Sitemap     ? "sitemap"
           : facts.From == FetchFacts::Source::Canonical ? "canonical"
                                                         : "link");
    line += '}';
    Line(line);
}

void FactsWriter::WritePage(long id, const PageFacts& facts, const std::vector<long>& links) {
    std::string& line = Buffer;
    line = "{\"k\":\"page\"";
    Member(line, "id", id);
    Member(line, "titles", facts.Titles);
    if (facts.HasDescription)
        Member(line, "description", facts.Description);
    Member(line, "description_chars", static_cast<long long>(facts.DescriptionChars));
    if (!facts.Robots.empty())
        Member(line, "robots", facts.Robots);
    Member(line, "canonicals", facts.Canonicals);
    if (!facts.Alternates.empty()) {
        Member(line, "hreflang", facts.Alternates);
        Member(line, "hreflang_count", static_cast<long long>(facts.AlternateCount));
    }
    Member(line, "h1_count", static_cast<long long>(facts.H1Count));
    Member(line, "h1_with_text", static_cast<long long>(facts.H1WithText));
    Member(line, "h1_texts", facts.H1Texts);
    Member(line, "ids", facts.Ids);
    Member(line, "words", static_cast<long long>(facts.MainWords));
    char hash[24];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, facts.MainHash);
    Member(line, "hash", hash);
    Member(line, "img_no_alt", static_cast<long long>(facts.ImagesWithoutAlt));
    if (facts.InsecureCount) {
        Member(line, "insecure", facts.Insecure);
        Member(line, "insecure_count", static_cast<long long>(facts.InsecureCount));
    }
    if (facts.JsonLdBlocks) {
        Member(line, "jsonld", static_cast<long long>(facts.JsonLdBlocks));
        Member(line, "jsonld_invalid", static_cast<long long>(facts.JsonLdInvalid));
    }
    line += ",\"links\":[";
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (i)
            line += ',';
        line += std::to_string(links[i]);
    }
    line += ']';
    if (!facts.Fragments.empty())
        Member(line, "fragments", facts.Fragments);
    if (!facts.NoFollow.empty())
        Member(line, "nofollow", facts.NoFollow);
    if (facts.TooDeep)
        line += ",\"too_deep\":true";
    line += '}';
    Line(line);
}

void FactsWriter::Render(long id, const PageFacts& served, bool rendered, bool timedOut,
                         const std::string& error, const std::string& note, const PageFacts* facts,
                         const std::vector<long>& renderedLinks) {
    std::string line = "{\"k\":\"render\"";
    Member(line, "id", id);
    line += rendered ? ",\"rendered\":true" : ",\"rendered\":false";
    if (timedOut)
        line += ",\"timeout\":true";
    if (!error.empty())
        Member(line, "error", error.substr(0, 1000));
    if (!note.empty())
        Member(line, "note", note);
    if (facts) {
        // Only what the scripts changed is written, and named in "changed".
        std::vector<std::string> changed;
        if (facts->Titles != served.Titles) {
            changed.push_back("title");
            Member(line, "titles", facts->Titles);
        }
        if (facts->HasDescription != served.HasDescription ||
            facts->Description != served.Description) {
            changed.push_back("description");
            if (facts->HasDescription)
                Member(line, "description", facts->Description);
        }
        if (facts->Robots != served.Robots) {
            changed.push_back("robots");
            Member(line, "robots", facts->Robots);
        }
        if (facts->Canonicals != served.Canonicals) {
            changed.push_back("canonical");
            Member(line, "canonicals", facts->Canonicals);
        }
        if (facts->Alternates != served.Alternates) {
            changed.push_back("hreflang");
            Member(line, "hreflang", facts->Alternates);
        }
        if (facts->H1Texts != served.H1Texts || facts->H1Count != served.H1Count) {
            changed.push_back("h1");
            Member(line, "h1_count", static_cast<long long>(facts->H1Count));
            Member(line, "h1_texts", facts->H1Texts);
        }
        if (facts->MainHash != served.MainHash) {
            changed.push_back("content");
            Member(line, "words", static_cast<long long>(facts->MainWords));
            char hash[24];
            std::snprintf(hash, sizeof hash, "%016" PRIx64, facts->MainHash);
            Member(line, "hash", hash);
        }
        Member(line, "changed", changed);
    }
    line += ",\"js_links\":[";
    for (std::size_t i = 0; i < renderedLinks.size(); ++i) {
        if (i)
            line += ',';
        line += std::to_string(renderedLinks[i]);
    }
    line += "]}";
    Post([this, line = std::move(line)] { Line(line); });
}

void FactsWriter::Sitemap(const std::string& url, long status, std::size_t urls,
                          const std::string& note) {
    std::string line = "{\"k\":\"sitemap\"";
    Member(line, "url", url);
    Member(line, "status", status);
    Member(line, "urls", static_cast<long long>(urls));
    if (!note.empty())
        Member(line, "note", note);
    line += '}';
    Post([this, line = std::move(line)] { Line(line); });
}

void FactsWriter::Listed(const std::string& url) {
    std::string line = "{\"k\":\"listed\"";
    Member(line, "url", url);
    line += '}';
    Post([this, line = std::move(line)] { Line(line); });
}

bool FactsWriter::Close(std::size_t pages, bool complete, std::string& error) {
    if (!File) {
        error = "the facts file is not open";
        return false;
    }
    std::string line = "{\"k\":\"end\"";
    Member(line, "pages", static_cast<long long>(pages));
    line += complete ? ",\"complete\":true}" : ",\"complete\":false}";
    StopWriting(); // everything handed over is written first
    Line(line);
    const bool closed = std::fclose(File) == 0;
    File = nullptr;
    if (Failed || !closed) {
        error = "Cannot write file " + Path;
        return false;
    }
    return true;
}

} // namespace vantora::webcharter
