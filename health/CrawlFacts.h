#pragma once
// The facts of one crawl as read back from the facts file sm writes (its
// layout: facts-format.md beside this file).

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vantora::health {

inline constexpr int FactsVersion = 1;

// One fetched URL of the site, with its page facts when it was an HTML page.
struct UrlFacts {
    long Id = -1;
    std::string Url;
    int Status = 0; // 0: no answer
    std::string Error;
    std::string Location; // redirect target
    long FirstByteMs = -1, TotalMs = -1;
    long long Bytes = 0;
    std::string Type;
    std::string Modified;
    std::string RobotsHeader;
    std::vector<std::string> HeaderCanonicals;
    int Depth = -1;
    // Fetched only because an XML sitemap lists it or a canonical names it: no
    // link led to it, and it gets no page checks.
    bool Unfollowed = false;

    bool Html = false; // a page record was read
    std::vector<std::string> Titles;
    bool HasDescription = false;
    std::string Description;
    std::size_t DescriptionChars = 0;
    std::string RobotsMeta;
    std::vector<std::string> Canonicals;
    std::vector<std::pair<std::string, std::string>> Alternates;
    std::size_t H1Count = 0, H1WithText = 0;
    std::vector<std::string> H1Texts;
    std::vector<std::string> Ids;
    std::size_t Words = 0;
    std::string Hash;
    std::size_t ImagesWithoutAlt = 0;
    std::vector<std::string> Insecure;
    std::size_t InsecureCount = 0;
    std::size_t JsonLd = 0, JsonLdInvalid = 0;
    std::vector<long> Links;
    std::vector<std::string> NoFollow; // URLs the page links to only with rel=nofollow
    std::vector<std::pair<std::string, std::string>> Fragments;
    bool TooDeep = false;

    // What loading the page in a browser gave (a "render" record).
    struct Rendering {
        bool Tried = false; // a render record was read
        bool Rendered = false, TimedOut = false;
        std::string Error, Note;
        std::vector<std::string> Changed; // "title", "description", "robots", "canonical"...
        std::vector<std::string> Titles;
        bool HasDescription = false;
        std::string Description;
        std::string Robots;
        std::vector<std::string> Canonicals;
        std::vector<long> Links; // site URLs only the rendered document links to
        bool Changes(const char* what) const {
            for (const std::string& item : Changed)
                if (item == what)
                    return true;
            return false;
        }
    } Render;
};

struct SitemapFile {
    std::string Url;
    int Status = 0;
    std::size_t Urls = 0;
    std::string Note;
};

struct CrawlFacts {
    int Version = 0;
    std::string Root;
    std::string Started;
    std::vector<UrlFacts> Urls;
    std::unordered_map<long, std::size_t> ById; // id -> index in Urls
    std::vector<SitemapFile> Sitemaps;
    std::vector<std::string> Listed; // URLs the sitemaps list
    bool Ended = false;              // the end record was read
    bool Complete = false;
    std::size_t Pages = 0;
};

// Reads a facts file. False, with a one-line reason, when it is not a facts
// file, of a later version, or damaged; a file without its end record reads
// fine with Ended false.
bool ReadFacts(std::istream& in, CrawlFacts& facts, std::string& error);
bool ReadFactsFile(const std::string& path, CrawlFacts& facts, std::string& error);

} // namespace vantora::health
