#include "SiteSitemaps.h"

#include "PageText.h"
#include "Url.h"

#include <curl/curl.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_set>

namespace vantora::webcharter {

namespace {

struct Body {
    std::string Text;
    std::size_t Limit = 0;
    bool Cut = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const size_t length = size * count;
    const size_t room = body->Limit - std::min(body->Limit, body->Text.size());
    if (length > room) {
        body->Text.append(data, room);
        body->Cut = true;
        return 0;
    }
    body->Text.append(data, length);
    return length;
}

// A blocking GET of one small file; the status, or 0 with error.
long Get(const std::string& url, const SitemapLimits& limits, std::size_t maxBytes, Body& body,
         std::string& error) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    body.Limit = maxBytes;
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, limits.TimeoutMs);
    curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT_MS, limits.ConnectTimeoutMs);
    if (!limits.UserAgent.empty())
        curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, limits.UserAgent.c_str());
    // Content-Encoding is undone by libcurl; a .gz file's own gzip is undone below.
    curl_easy_setopt(easy.get(), CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
    CURLcode code = curl_easy_perform(easy.get());
    if (code == CURLE_WRITE_ERROR && body.Cut)
        code = CURLE_OK;
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (code != CURLE_OK) {
        error = curl_easy_strerror(code);
        return status;
    }
    return status;
}

std::string DecodeEntities(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        const std::string_view name = text.substr(i + 1, semi - i - 1);
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (!name.empty() && name[0] == '#') {
            const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
            const unsigned long code =
                std::strtoul(std::string(name.substr(hex ? 2 : 1)).c_str(), nullptr, hex ? 16 : 10);
            if (code > 0 && code < 0x80)
                out += static_cast<char>(code);
            else
                out += EscapeUrlText(std::string(text.substr(i, semi - i + 1)));
        } else {
            out += std::string(text.substr(i, semi - i + 1));
        }
        i = semi;
    }
    return out;
}

} // namespace

std::vector<std::string> RobotsSitemapLines(std::string_view robots) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < robots.size() && lines.size() < 1000) {
        std::size_t end = robots.find_first_of("\r\n", begin);
        if (end == std::string_view::npos)
            end = robots.size();
        std::string line(robots.substr(begin, end - begin));
        line = line.substr(0, line.find('#'));
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && AsciiLower(Trim(line.substr(0, colon))) == "sitemap") {
            std::string value = Trim(line.substr(colon + 1));
            if (!value.empty())
                lines.push_back(std::move(value));
        }
        begin = end + 1;
    }
    return lines;
}

bool Gunzip(std::string_view data, std::size_t maxBytes, std::string& out, bool& cut) {
    out.clear();
    cut = false;
    if (data.size() < 2 || static_cast<unsigned char>(data[0]) != 0x1f ||
        static_cast<unsigned char>(data[1]) != 0x8b)
        return false;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    char buffer[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = sizeof buffer - stream.avail_out;
        if (out.size() + produced > maxBytes) {
            out.append(buffer, maxBytes - out.size());
            cut = true; // a gzip bomb ends here
            break;
        }
        out.append(buffer, produced);
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break; // the data ended early: keep what came
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END || result == Z_OK || cut ||
           (result == Z_BUF_ERROR && !out.empty());
}

SitemapDocument ParseSitemapXml(std::string_view xml, std::size_t maxLocs) {
    SitemapDocument document;
    // The root element, after the XML declaration, comments and a BOM.
    for (std::size_t i = xml.find('<'); i != std::string_view::npos; i = xml.find('<', i + 1)) {
        if (i + 1 < xml.size() && (xml[i + 1] == '?' || xml[i + 1] == '!'))
            continue;
        std::size_t end = i + 1;
        while (end < xml.size() && !std::strchr(" \t\r\n>/", xml[end]))
            ++end;
        std::string name = AsciiLower(xml.substr(i + 1, end - i - 1));
        if (const std::size_t colon = name.find(':'); colon != std::string::npos)
            name = name.substr(colon + 1);
        document.Index = name == "sitemapindex";
        document.Sitemap = document.Index || name == "urlset";
        break;
    }
    if (!document.Sitemap)
        return document;
    std::size_t at = 0;
    while (true) {
        const std::size_t open = xml.find("<loc>", at);
        if (open == std::string_view::npos)
            break;
        const std::size_t close = xml.find("</loc>", open + 5);
        if (close == std::string_view::npos)
            break;
        if (document.Locs.size() >= maxLocs) {
            document.Cut = true;
            break;
        }
        std::string_view text = xml.substr(open + 5, close - open - 5);
        if (text.size() > 4096) {
            at = close + 6;
            continue; // no URL is this long
        }
        if (text.substr(0, 9) == "<![CDATA[" && text.size() >= 12)
            text = text.substr(9, text.size() - 12);
        std::string loc = Trim(DecodeEntities(text));
        if (!loc.empty())
            document.Locs.push_back(std::move(loc));
        at = close + 6;
    }
    return document;
}

SitemapsRead ReadSiteSitemaps(const std::string& rootUrl, const SitemapLimits& limits,
                              const std::atomic<bool>* stop) {
    SitemapsRead read;
    const std::optional<Url> root = ParseUrl(rootUrl);
    if (!root)
        return read;
    const std::string origin = root->Scheme + "://" + root->Authority();
    std::deque<std::string> queue;
    {
        Body robots;
        std::string error;
        const long status = Get(origin + "/robots.txt", limits, 512 * 1024, robots, error);
        if (status >= 200 && status < 300)
            for (const std::string& line : RobotsSitemapLines(robots.Text))
                if (const std::optional<Url> url = ResolveUrl(*root, line))
                    queue.push_back(url->ToString());
    }
    const bool guessed = queue.empty();
    if (guessed)
        queue.push_back(origin + "/sitemap.xml");
    std::unordered_set<std::string> seenFiles, seenUrls;
    while (!queue.empty() && !(stop && stop->load())) {
        const std::string url = std::move(queue.front());
        queue.pop_front();
        if (!seenFiles.insert(url).second)
            continue; // an index that lists itself, or a file listed twice
        if (seenFiles.size() > limits.MaxFiles) {
            read.Files.push_back({url, 0, 0,
                                  "more than " + std::to_string(limits.MaxFiles) +
                                      " sitemap files; the rest are not read"});
            break;
        }
        SitemapFileRead file;
        file.Url = url;
        Body body;
        std::string error;
        file.Status = Get(url, limits, limits.MaxBytes, body, error);
        if (!error.empty() || file.Status != 200) {
            // A guessed /sitemap.xml that is not there is no sitemap at all.
            if (!(guessed && file.Status >= 400 && file.Status < 500)) {
                file.Note = error.empty() ? "answers " + std::to_string(file.Status) : error;
                read.Files.push_back(std::move(file));
            }
            continue;
        }
        std::string xml = std::move(body.Text);
        bool cut = body.Cut;
        std::string inflated;
        bool inflatedCut = false;
        if (Gunzip(xml, limits.MaxBytes, inflated, inflatedCut)) {
            xml = std::move(inflated);
            cut = cut || inflatedCut;
        }
        SitemapDocument document = ParseSitemapXml(xml, limits.MaxUrlsPerFile);
        if (!document.Sitemap) {
            if (!guessed) {
                file.Note = "not an XML sitemap";
                read.Files.push_back(std::move(file));
            }
            continue;
        }
        file.Urls = document.Locs.size();
        if (cut)
            file.Note =
                "larger than " + std::to_string(limits.MaxBytes) + " bytes; the rest is not read";
        else if (document.Cut)
            file.Note = "more than " + std::to_string(limits.MaxUrlsPerFile) +
                        " URLs; the rest are not read";
        for (std::string& loc : document.Locs) {
            const std::optional<Url> parsed = ParseUrl(loc);
            if (!parsed)
                continue;
            std::string normal = parsed->ToString();
            if (document.Index)
                queue.push_back(std::move(normal));
            else if (seenUrls.insert(normal).second)
                read.Urls.push_back(std::move(normal));
        }
        read.Files.push_back(std::move(file));
    }
    return read;
}

void FetchListedPages(const std::vector<std::string>& urls, const SitemapLimits& limits,
                      int concurrency, std::size_t maxBytes, const std::atomic<bool>* stop,
                      const std::function<void(ListedAnswer&)>& each) {
    struct Slot {
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> Easy{curl_easy_init(),
                                                                 curl_easy_cleanup};
        Body Read;
        std::string Url;
    };
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                curl_multi_cleanup);
    std::vector<std::unique_ptr<Slot>> idle;
    std::size_t next = 0;
    int running = 0;
    auto start = [&](Slot& slot, const std::string& url) {
        CURL* easy = slot.Easy.get();
        curl_easy_reset(easy);
        slot.Url = url;
        slot.Read = Body();
        slot.Read.Limit = maxBytes;
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_PRIVATE, &slot);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limits.TimeoutMs);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limits.ConnectTimeoutMs);
        if (!limits.UserAgent.empty())
            curl_easy_setopt(easy, CURLOPT_USERAGENT, limits.UserAgent.c_str());
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &slot.Read);
        curl_multi_add_handle(multi.get(), easy);
        ++running;
    };
    std::vector<std::unique_ptr<Slot>> slots;
    for (int i = 0; i < std::max(1, concurrency); ++i)
        idle.push_back(std::make_unique<Slot>());
    while (!(stop && stop->load())) {
        while (!idle.empty() && next < urls.size()) {
            slots.push_back(std::move(idle.back()));
            idle.pop_back();
            start(*slots.back(), urls[next++]);
        }
        if (running == 0)
            break;
        int still = 0;
        curl_multi_perform(multi.get(), &still);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL* easy = message->easy_handle;
            Slot* slot = nullptr;
            curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char**>(&slot));
            curl_multi_remove_handle(multi.get(), easy);
            --running;
            ListedAnswer answer;
            answer.Url = slot->Url;
            answer.Easy = easy;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.Status);
            CURLcode code = message->data.result;
            if (code == CURLE_WRITE_ERROR && slot->Read.Cut)
                code = CURLE_OK;
            if (code != CURLE_OK)
                answer.Error = curl_easy_strerror(code);
            char* type = nullptr;
            curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
            std::string lower = AsciiLower(type ? type : "");
            lower = Trim(lower.substr(0, lower.find(';')));
            answer.Html = answer.Status == 200 && (lower.empty() || lower == "text/html" ||
                                                   lower == "application/xhtml+xml");
            if (answer.Html)
                answer.Body = std::move(slot->Read.Text);
            each(answer);
            for (auto at = slots.begin(); at != slots.end(); ++at)
                if (at->get() == slot) {
                    idle.push_back(std::move(*at));
                    slots.erase(at);
                    break;
                }
        }
        curl_multi_poll(multi.get(), nullptr, 0, 100, nullptr);
    }
    for (auto& slot : slots)
        curl_multi_remove_handle(multi.get(), slot->Easy.get());
}

} // namespace vantora::webcharter
