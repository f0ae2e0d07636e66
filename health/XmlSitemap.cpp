#include "XmlSitemap.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vantora::health {

namespace {

bool WriteWhole(const std::string& path, const std::string& text, std::string& error) {
    if (path == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0;
    }
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = "Cannot write file " + part;
            std::remove(part.c_str());
            return false;
        }
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        error = "Cannot create file " + path;
        std::remove(part.c_str());
        return false;
    }
    return true;
}

constexpr const char* Head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

} // namespace

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

long long WriteXmlSitemaps(const std::string& path, const std::vector<PageRow>& rows,
                           const std::string& siteFolder, std::string& error, std::size_t perFile) {
    std::vector<const PageRow*> pages;
    for (const PageRow& row : rows)
        if (Listable(row))
            pages.push_back(&row);
    auto urlset = [&](std::size_t begin, std::size_t end) {
        std::string text = Head;
        text += "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
        for (std::size_t i = begin; i < end; ++i) {
            text += "  <url><loc>" + XmlEscape(pages[i]->Url) + "</loc>";
            if (!pages[i]->Modified.empty())
                text += "<lastmod>" + XmlEscape(pages[i]->Modified) + "</lastmod>";
            text += "</url>\n";
        }
        return text + "</urlset>\n";
    };
    if (pages.size() <= perFile)
        return WriteWhole(path, urlset(0, pages.size()), error)
                   ? static_cast<long long>(pages.size())
                   : -1;
    if (path == "-") {
        error = "more than " + std::to_string(perFile) +
                " pages need a sitemap index and numbered files: give a file name";
        return -1;
    }
    const std::filesystem::path whole(path);
    const std::string stem = whole.stem().string(), extension = whole.extension().string();
    std::string index = Head;
    index += "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (std::size_t begin = 0, number = 1; begin < pages.size(); begin += perFile, ++number) {
        const std::string name = stem + "-" + std::to_string(number) + extension;
        const std::string file = (whole.parent_path() / name).string();
        if (!WriteWhole(file, urlset(begin, std::min(pages.size(), begin + perFile)), error))
            return -1;
        index += "  <sitemap><loc>" + XmlEscape(siteFolder + name) + "</loc></sitemap>\n";
    }
    index += "</sitemapindex>\n";
    return WriteWhole(path, index, error) ? static_cast<long long>(pages.size()) : -1;
}

bool Listable(const PageRow& row) {
    return row.Indexable && row.Html && row.Status == 200;
}

std::vector<std::string> LatestSubmissionBatches(const History& history, std::string& error,
                                                 std::size_t perBatch) {
    std::vector<std::string> batches;
    const std::optional<CrawlInfo> latest = history.Latest();
    if (!latest) {
        error = "the crawl history holds no crawl yet";
        return batches;
    }
    std::size_t inBatch = perBatch;
    history.ForEachPage(latest->Id, [&](const PageRow& row) {
        if (!Listable(row))
            return true;
        if (inBatch == perBatch) {
            batches.emplace_back();
            inBatch = 0;
        }
        batches.back() += row.Url + "\n";
        ++inBatch;
        return true;
    });
    return batches;
}

long long WriteLatestSitemap(const History& history, const std::string& path, std::string& error) {
    const std::optional<CrawlInfo> latest = history.Latest();
    if (!latest) {
        error = "the crawl history holds no crawl yet";
        return -1;
    }
    std::vector<PageRow> rows;
    history.ForEachPage(latest->Id, [&](const PageRow& row) {
        if (row.Indexable)
            rows.push_back(row);
        return true;
    });
    const std::string folder = latest->Root.substr(0, latest->Root.rfind('/') + 1);
    return WriteXmlSitemaps(path, rows, folder, error);
}

} // namespace vantora::health
