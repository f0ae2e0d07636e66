#pragma once
// The facts of one crawl as read back from the facts file sm writes (its
// layout: facts-format.md beside this file). A million URLs must fit beside
// the program's other data, so the facts are kept compact: every text lives
// in one arena owned by the CrawlFacts (UrlFacts hold views into it), lists of
// texts are packed there, links are 32-bit indexes, and what few pages carry
// (errors, robots headers, hreflang, render results...) hangs off a pointer
// that is empty for the others.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <iosfwd>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vantora::health {

inline constexpr int FactsVersion = 1;

// Memory for texts that live as long as the crawl's facts: allocated in large
// blocks, never moved, so views into it stay valid when the facts are moved.
class TextArena {
  public:
    std::string_view Keep(std::string_view text);
    void* Allocate(std::size_t bytes, std::size_t align);
    std::size_t Bytes() const { return Total; }

  private:
    std::vector<std::unique_ptr<char[]>> Blocks;
    char* At = nullptr;
    std::size_t Left = 0, Total = 0;
};

// A list of texts packed in a TextArena: a count, then each text with its
// length in front, or (for a text the arena already holds, such as a page's
// own URL as its canonical) a pointer to it. Read by iterating (operator[]
// walks from the start).
template <bool Pairs> class PackedTexts {
  public:
    using value_type =
        std::conditional_t<Pairs, std::pair<std::string_view, std::string_view>, std::string_view>;
    class const_iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = PackedTexts::value_type;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = value_type;
        const_iterator() = default;
        const_iterator(const char* at, std::uint32_t left) : At(at), Left(left) {}
        value_type operator*() const {
            const char* at = At;
            if constexpr (Pairs) {
                const std::string_view first = Next(at);
                return {first, Next(at)};
            } else {
                return Next(at);
            }
        }
        const_iterator& operator++() {
            Next(At);
            if constexpr (Pairs)
                Next(At);
            --Left;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return Left == other.Left; }
        bool operator!=(const const_iterator& other) const { return Left != other.Left; }

      private:
        const char* At = nullptr;
        std::uint32_t Left = 0;
    };
    using iterator = const_iterator;

    PackedTexts() = default;
    explicit PackedTexts(const char* data) : Data(data) {}

    std::size_t size() const { return Data ? Count() : 0; }
    bool empty() const { return size() == 0; }
    const_iterator begin() const {
        if (!Data)
            return {};
        const char* at = Data;
        const std::uint32_t count = ReadLength(at);
        return {at, count};
    }
    const_iterator end() const { return {nullptr, 0}; }
    value_type front() const { return *begin(); }
    value_type operator[](std::size_t i) const {
        const_iterator at = begin();
        while (i-- > 0)
            ++at;
        return *at;
    }

    // Packs texts (pairs: first and second alternately) into the arena; those
    // equal to kept point to it instead of being copied.
    static PackedTexts Pack(TextArena& arena, std::span<const std::string> texts,
                            std::string_view kept = {});

    static std::uint32_t ReadLength(const char*& at) {
        std::uint32_t value = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*at++);
            value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
    }

  private:
    std::uint32_t Count() const {
        const char* at = Data;
        return ReadLength(at);
    }
    static std::string_view Next(const char*& at) {
        const std::uint32_t coded = ReadLength(at), length = coded >> 1;
        if (coded & 1) {
            const char* text = nullptr;
            std::memcpy(&text, at, sizeof text);
            at += sizeof text;
            return {text, length};
        }
        const std::string_view text(at, length);
        at += length;
        return text;
    }
    const char* Data = nullptr;
};

using TextList = PackedTexts<false>;
using TextPairs = PackedTexts<true>;

// One fetched URL of the site, with its page facts when it was an HTML page.
struct UrlFacts {
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
        // Site URLs only the rendered document links to, by their index in
        // CrawlFacts::Urls.
        std::vector<std::uint32_t> Links;
        bool Changes(const char* what) const {
            for (const std::string& item : Changed)
                if (item == what)
                    return true;
            return false;
        }
    };
    // The facts few URLs have.
    struct Rare {
        std::string_view Error;
        std::string_view Location; // redirect target
        std::string_view RobotsHeader;
        std::string_view RobotsMeta;
        TextList HeaderCanonicals;
        TextPairs Alternates;
        TextList Insecure;
        TextList NoFollow; // URLs the page links to only with rel=nofollow
        TextPairs Fragments;
        Rendering Render;
    };

    long Id = -1;
    std::string_view Url;
    std::string_view Modified;
    std::string_view Description;
    long long Bytes = 0;
    int Status = 0; // 0: no answer
    int Depth = -1;
    std::int32_t FirstByteMs = -1, TotalMs = -1;
    std::uint32_t DescriptionChars = 0;
    std::uint32_t H1Count = 0, H1WithText = 0;
    std::uint32_t Words = 0;
    std::uint32_t ImagesWithoutAlt = 0;
    std::uint32_t InsecureCount = 0;
    std::uint32_t JsonLd = 0, JsonLdInvalid = 0;
    // Fetched only because an XML sitemap lists it or a canonical names it: no
    // link led to it, and it gets no page checks.
    bool Unfollowed = false;
    bool Html = false; // a page record was read
    bool HasDescription = false;
    bool TooDeep = false;
    bool HasHash = false;
    // The main content's text hash (the file's 16 hex digits), when HasHash.
    std::uint64_t Hash = 0;
    TextList Titles;
    TextList Canonicals;
    TextList H1Texts;
    TextList Ids;
    // The site URLs the page links to, by their index in CrawlFacts::Urls.
    std::span<const std::uint32_t> Links;
    const Rare* More = nullptr;

    std::string_view Error() const { return Extra().Error; }
    std::string_view Location() const { return Extra().Location; }
    std::string_view RobotsHeader() const { return Extra().RobotsHeader; }
    std::string_view RobotsMeta() const { return Extra().RobotsMeta; }
    TextList HeaderCanonicals() const { return Extra().HeaderCanonicals; }
    TextPairs Alternates() const { return Extra().Alternates; }
    TextList Insecure() const { return Extra().Insecure; }
    TextList NoFollow() const { return Extra().NoFollow; }
    TextPairs Fragments() const { return Extra().Fragments; }
    const Rendering& Render() const { return Extra().Render; }

  private:
    const Rare& Extra() const;
};

struct SitemapFile {
    std::string Url;
    int Status = 0;
    std::size_t Urls = 0;
    std::string Note;
};

struct CrawlFacts {
    CrawlFacts() = default;
    CrawlFacts(CrawlFacts&&) = default;
    CrawlFacts& operator=(CrawlFacts&&) = default;
    CrawlFacts(const CrawlFacts&) = delete;
    CrawlFacts& operator=(const CrawlFacts&) = delete;

    int Version = 0;
    std::string Root;
    std::string Started;
    std::vector<UrlFacts> Urls;
    std::vector<SitemapFile> Sitemaps;
    std::vector<std::string_view> Listed; // URLs the sitemaps list
    bool Ended = false;                   // the end record was read
    bool Complete = false;
    std::size_t Pages = 0;

    // The index in Urls of the URL the crawler numbered id.
    std::optional<std::size_t> Find(long id) const;

    // Where the texts live; the reader fills it.
    TextArena Texts;
    std::deque<UrlFacts::Rare> Rares;
    // id -> index in Urls: ids below DenseIds.size() directly, the others hashed.
    std::vector<std::uint32_t> DenseIds;
    std::unordered_map<long, std::uint32_t> SparseIds;
};

// Reads a facts file. False, with a one-line reason, when it is not a facts
// file, of a later version, or damaged; a file without its end record reads
// fine with Ended false.
bool ReadFacts(std::istream& in, CrawlFacts& facts, std::string& error);
bool ReadFactsFile(const std::string& path, CrawlFacts& facts, std::string& error);

} // namespace vantora::health
