#include "CrawlFacts.h"

#include "JsonScan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace vantora::health {

std::string_view TextArena::Keep(std::string_view text) {
    if (text.empty())
        return {};
    char* at = static_cast<char*>(Allocate(text.size(), 1));
    std::memcpy(at, text.data(), text.size());
    return {at, text.size()};
}

void* TextArena::Allocate(std::size_t bytes, std::size_t align) {
    constexpr std::size_t BlockBytes = 1 << 20;
    const std::size_t pad = At ? (align - reinterpret_cast<std::uintptr_t>(At) % align) % align : 0;
    if (bytes + pad > Left) {
        if (bytes > BlockBytes / 4) {
            // A large text gets a block of its own; the current block stays in use.
            Blocks.push_back(std::make_unique<char[]>(bytes));
            Total += bytes;
            return Blocks.back().get();
        }
        Blocks.push_back(std::make_unique<char[]>(BlockBytes));
        Total += BlockBytes;
        At = Blocks.back().get();
        Left = BlockBytes;
        return Allocate(bytes, align);
    }
    At += pad;
    Left -= pad;
    void* result = At;
    At += bytes;
    Left -= bytes;
    return result;
}

template <bool Pairs>
PackedTexts<Pairs> PackedTexts<Pairs>::Pack(TextArena& arena, std::span<const std::string> texts,
                                            std::string_view kept) {
    if (texts.empty())
        return {};
    const char* const keptAt = kept.data();
    std::size_t bytes = 5;
    for (const std::string& text : texts)
        bytes += 5 + (!kept.empty() && text == kept ? sizeof keptAt : text.size());
    char* const start = static_cast<char*>(arena.Allocate(bytes, 1));
    char* at = start;
    auto length = [&](std::size_t value) {
        while (value >= 0x80) {
            *at++ = static_cast<char>(0x80 | (value & 0x7F));
            value >>= 7;
        }
        *at++ = static_cast<char>(value);
    };
    length(Pairs ? texts.size() / 2 : texts.size());
    for (const std::string& text : texts) {
        if (!kept.empty() && text == kept) {
            length(text.size() * 2 + 1);
            std::memcpy(at, &keptAt, sizeof keptAt);
            at += sizeof keptAt;
            continue;
        }
        length(text.size() * 2);
        std::memcpy(at, text.data(), text.size());
        at += text.size();
    }
    return PackedTexts(start);
}

template class PackedTexts<false>;
template class PackedTexts<true>;

const UrlFacts::Rare& UrlFacts::Extra() const {
    static const Rare none;
    return More ? *More : none;
}

std::optional<std::size_t> CrawlFacts::Find(long id) const {
    constexpr std::uint32_t None = std::numeric_limits<std::uint32_t>::max();
    if (id >= 0 && static_cast<std::size_t>(id) < DenseIds.size() &&
        DenseIds[static_cast<std::size_t>(id)] != None)
        return DenseIds[static_cast<std::size_t>(id)];
    if (!SparseIds.empty())
        if (const auto found = SparseIds.find(id); found != SparseIds.end())
            return found->second;
    return std::nullopt;
}

namespace {

constexpr std::uint32_t NoIndex = std::numeric_limits<std::uint32_t>::max();

// The members the reader knows, whatever record kind they belong to (a name
// means the same in every kind), and the shape each is read as.
enum class Shape { Text, Number, Bool, Texts, Pairs, Ints };
enum Field : int {
    FK,
    FFormat,
    FVersion,
    FRoot,
    FStarted,
    FId,
    FUrl,
    FStatus,
    FError,
    FLocation,
    FFirstMs,
    FTotalMs,
    FBytes,
    FType,
    FModified,
    FXRobots,
    FLinkCanonical,
    FDepth,
    FSource,
    FTitles,
    FDescription,
    FDescriptionChars,
    FRobots,
    FCanonicals,
    FHreflang,
    FH1Count,
    FH1WithText,
    FH1Texts,
    FIds,
    FWords,
    FHash,
    FImgNoAlt,
    FInsecure,
    FInsecureCount,
    FJsonLd,
    FJsonLdInvalid,
    FLinks,
    FFragments,
    FNoFollow,
    FTooDeep,
    FRendered,
    FTimeout,
    FNote,
    FChanged,
    FJsLinks,
    FUrls,
    FComplete,
    FPages,
    FieldCount
};

struct FieldName {
    std::string_view Name;
    Field Id;
    Shape As;
};

constexpr FieldName Fields[] = {
    {"k", FK, Shape::Text},
    {"format", FFormat, Shape::Text},
    {"version", FVersion, Shape::Number},
    {"root", FRoot, Shape::Text},
    {"started", FStarted, Shape::Text},
    {"id", FId, Shape::Number},
    {"url", FUrl, Shape::Text},
    {"status", FStatus, Shape::Number},
    {"error", FError, Shape::Text},
    {"location", FLocation, Shape::Text},
    {"first_ms", FFirstMs, Shape::Number},
    {"total_ms", FTotalMs, Shape::Number},
    {"bytes", FBytes, Shape::Number},
    {"type", FType, Shape::Text}, // read, not kept: no check asks for it
    {"modified", FModified, Shape::Text},
    {"x_robots", FXRobots, Shape::Text},
    {"link_canonical", FLinkCanonical, Shape::Texts},
    {"depth", FDepth, Shape::Number},
    {"source", FSource, Shape::Text},
    {"titles", FTitles, Shape::Texts},
    {"description", FDescription, Shape::Text},
    {"description_chars", FDescriptionChars, Shape::Number},
    {"robots", FRobots, Shape::Text},
    {"canonicals", FCanonicals, Shape::Texts},
    {"hreflang", FHreflang, Shape::Pairs},
    {"h1_count", FH1Count, Shape::Number},
    {"h1_with_text", FH1WithText, Shape::Number},
    {"h1_texts", FH1Texts, Shape::Texts},
    {"ids", FIds, Shape::Texts},
    {"words", FWords, Shape::Number},
    {"hash", FHash, Shape::Text},
    {"img_no_alt", FImgNoAlt, Shape::Number},
    {"insecure", FInsecure, Shape::Texts},
    {"insecure_count", FInsecureCount, Shape::Number},
    {"jsonld", FJsonLd, Shape::Number},
    {"jsonld_invalid", FJsonLdInvalid, Shape::Number},
    {"links", FLinks, Shape::Ints},
    {"fragments", FFragments, Shape::Pairs},
    {"nofollow", FNoFollow, Shape::Texts},
    {"too_deep", FTooDeep, Shape::Bool},
    {"rendered", FRendered, Shape::Bool},
    {"timeout", FTimeout, Shape::Bool},
    {"note", FNote, Shape::Text},
    {"changed", FChanged, Shape::Texts},
    {"js_links", FJsLinks, Shape::Ints},
    {"urls", FUrls, Shape::Number},
    {"complete", FComplete, Shape::Bool},
    {"pages", FPages, Shape::Number},
};

const FieldName* Lookup(std::string_view name) {
    for (const FieldName& field : Fields)
        if (field.Name.size() == name.size() && field.Name[0] == name[0] && field.Name == name)
            return &field;
    return nullptr;
}

// The members of one record as read, by field; reused from line to line.
struct Value {
    bool Present = false;
    bool IsText = false, IsNumber = false, IsInteger = false, IsBool = false;
    std::string Text;
    long long Number = 0;
    bool Bool = false;
    std::vector<std::string> List; // texts (pairs: first and second alternately)
    std::size_t Count = 0;
    std::vector<std::uint32_t> Ints;
};

class Record {
  public:
    // Reads one line; false when it is not a JSON object.
    bool Read(std::string_view line) {
        for (const Field field : Touched)
            Values[field].Present = false;
        Touched.clear();
        JsonScan scan(line);
        if (scan.Peek() != JsonScan::Kind::Object)
            return false;
        scan.OpenObject();
        while (scan.Member(Name)) {
            const FieldName* field = Lookup(Name);
            if (!field) {
                if (!scan.Skip())
                    return false;
                continue;
            }
            Value& value = Values[field->Id];
            if (!value.Present)
                Touched.push_back(field->Id);
            value.Present = true;
            if (!ReadValue(scan, field->As, value))
                return false;
        }
        return scan.Finish();
    }

    bool Has(Field field) const { return Values[field].Present; }
    std::string_view Text(Field field) const {
        const Value& value = Values[field];
        return value.Present && value.IsText ? std::string_view(value.Text) : std::string_view();
    }
    long long Number(Field field, long long fallback = 0) const {
        const Value& value = Values[field];
        return value.Present && value.IsNumber ? value.Number : fallback;
    }
    bool Bool(Field field) const {
        const Value& value = Values[field];
        return value.Present && value.IsBool && value.Bool;
    }
    std::span<const std::string> Texts(Field field) const {
        const Value& value = Values[field];
        if (!value.Present)
            return {};
        return {value.List.data(), value.Count};
    }
    std::span<const std::uint32_t> Ints(Field field) const {
        const Value& value = Values[field];
        if (!value.Present)
            return {};
        return value.Ints;
    }

  private:
    static std::string& Slot(Value& value, std::size_t i) {
        if (i >= value.List.size())
            value.List.resize(i + 1);
        return value.List[i];
    }

    static bool ReadValue(JsonScan& scan, Shape as, Value& value) {
        using Kind = JsonScan::Kind;
        const Kind kind = scan.Peek();
        value.IsText = value.IsNumber = value.IsInteger = value.IsBool = false;
        value.Count = 0;
        value.Ints.clear();
        switch (as) {
        case Shape::Text:
            if (kind != Kind::String)
                return scan.Skip();
            value.IsText = true;
            return scan.ReadString(value.Text);
        case Shape::Number:
            if (kind != Kind::Number)
                return scan.Skip();
            value.IsNumber = true;
            return scan.ReadNumber(value.Number, value.IsInteger);
        case Shape::Bool:
            if (kind != Kind::True && kind != Kind::False)
                return scan.Skip();
            value.IsBool = true;
            return scan.ReadBool(value.Bool);
        case Shape::Texts:
            if (kind != Kind::Array)
                return scan.Skip();
            scan.OpenArray();
            while (scan.Item()) {
                if (scan.Peek() != Kind::String) {
                    if (!scan.Skip())
                        return false;
                } else if (!scan.ReadString(Slot(value, value.Count++))) {
                    return false;
                }
            }
            return !scan.Failed();
        case Shape::Pairs:
            // Items that are arrays of exactly two texts; others are passed over.
            if (kind != Kind::Array)
                return scan.Skip();
            scan.OpenArray();
            while (scan.Item()) {
                if (scan.Peek() != Kind::Array) {
                    if (!scan.Skip())
                        return false;
                    continue;
                }
                scan.OpenArray();
                std::size_t n = 0;
                bool texts = true;
                while (scan.Item()) {
                    if (n < 2 && scan.Peek() == Kind::String) {
                        if (!scan.ReadString(Slot(value, value.Count + n)))
                            return false;
                    } else {
                        texts = false;
                        if (!scan.Skip())
                            return false;
                    }
                    ++n;
                }
                if (scan.Failed())
                    return false;
                if (texts && n == 2)
                    value.Count += 2;
            }
            return !scan.Failed();
        case Shape::Ints:
            // Integers only. sm numbers its URLs from 0, so an id outside 32
            // bits names no URL of the crawl and is passed over.
            if (kind != Kind::Array)
                return scan.Skip();
            scan.OpenArray();
            while (scan.Item()) {
                if (scan.Peek() != Kind::Number) {
                    if (!scan.Skip())
                        return false;
                    continue;
                }
                long long number = 0;
                bool integer = false;
                if (!scan.ReadNumber(number, integer))
                    return false;
                if (integer && number >= 0 && number < NoIndex)
                    value.Ints.push_back(static_cast<std::uint32_t>(number));
            }
            return !scan.Failed();
        }
        return false;
    }

    std::array<Value, FieldCount> Values;
    std::vector<Field> Touched;
    std::string Name;
};

template <class T> T Clamp(long long value) {
    return static_cast<T>(
        std::clamp<long long>(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

std::uint32_t Count(long long value) {
    return static_cast<std::uint32_t>(
        std::clamp<long long>(value, 0, std::numeric_limits<std::uint32_t>::max()));
}

// The 16 hex digits sm writes, or (for any other text) a 64-bit FNV-1a hash
// of the text, so that equal texts still compare equal.
std::uint64_t HashOf(std::string_view text) {
    if (text.size() == 16) {
        std::uint64_t value = 0;
        bool hex = true;
        for (const char c : text) {
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0) {
                hex = false;
                break;
            }
            value = value * 16 + static_cast<std::uint64_t>(digit);
        }
        if (hex)
            return value;
    }
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return hash ^ 0x5bd1e9955bd1e995ull;
}

// Texts that repeat from page to page (content types, dates) are kept once
// while they repeat: a small cache of the last ones seen.
class Repeats {
  public:
    std::string_view Keep(TextArena& arena, std::string_view text) {
        if (text.empty())
            return {};
        std::size_t hash = std::hash<std::string_view>()(text);
        std::string_view& slot = Slots[hash % Slots.size()];
        if (slot != text)
            slot = arena.Keep(text);
        return slot;
    }

  private:
    std::array<std::string_view, 64> Slots{};
};

class Reader {
  public:
    explicit Reader(CrawlFacts& facts) : Facts(facts) {}

    // Takes one record of the facts file after the header.
    void Take(const Record& record) {
        const std::string_view kind = record.Text(FK);
        if (kind == "fetch") {
            if (record.Text(FUrl).empty())
                return;
            const long id = Clamp<long>(record.Number(FId, -1));
            if (const std::optional<std::size_t> at = Facts.Find(id)) {
                Fetch(record, Facts.Urls[*at]); // a later answer for the same URL
                return;
            }
            SetIndex(id, static_cast<std::uint32_t>(Facts.Urls.size()));
            UrlFacts& url = Facts.Urls.emplace_back();
            url.Id = id;
            Fetch(record, url);
        } else if (kind == "page") {
            if (const std::optional<std::size_t> at =
                    Facts.Find(Clamp<long>(record.Number(FId, -1))))
                Page(record, Facts.Urls[*at]);
        } else if (kind == "render") {
            if (const std::optional<std::size_t> at =
                    Facts.Find(Clamp<long>(record.Number(FId, -1))))
                Render(record, Rare(Facts.Urls[*at]).Render);
        } else if (kind == "sitemap") {
            Facts.Sitemaps.push_back({std::string(record.Text(FUrl)),
                                      Clamp<int>(record.Number(FStatus)),
                                      static_cast<std::size_t>(Count(record.Number(FUrls))),
                                      std::string(record.Text(FNote))});
        } else if (kind == "listed") {
            if (const std::string_view url = record.Text(FUrl); !url.empty())
                Facts.Listed.push_back(Facts.Texts.Keep(url));
        } else if (kind == "end") {
            Facts.Ended = true;
            Facts.Complete = record.Bool(FComplete);
            Facts.Pages = static_cast<std::size_t>(std::max<long long>(0, record.Number(FPages)));
        }
    }

    // Turns the links' ids into indexes, now that every URL is known; links
    // to ids no fetch record has are dropped.
    void Resolve() {
        auto resolve = [&](auto& ids) {
            std::size_t kept = 0;
            for (std::size_t i = 0; i < ids.size(); ++i)
                if (const std::optional<std::size_t> at = Facts.Find(ids[i]))
                    ids[kept++] = static_cast<std::uint32_t>(*at);
            return kept;
        };
        for (UrlFacts& url : Facts.Urls) {
            if (!url.Links.empty()) {
                std::span<std::uint32_t> ids(const_cast<std::uint32_t*>(url.Links.data()),
                                             url.Links.size());
                url.Links = url.Links.first(resolve(ids));
            }
            if (url.More && !url.More->Render.Links.empty()) {
                std::vector<std::uint32_t>& ids = Rare(url).Render.Links;
                ids.resize(resolve(ids));
            }
        }
    }

  private:
    UrlFacts::Rare& Rare(UrlFacts& url) {
        if (!url.More)
            url.More = &Facts.Rares.emplace_back();
        return *const_cast<UrlFacts::Rare*>(url.More);
    }

    void SetIndex(long id, std::uint32_t index) {
        // Ids sm writes count up from 0: those are kept in a plain array that
        // grows with the file; any others are hashed.
        const std::size_t dense = 2 * Facts.Urls.size() + 65536;
        if (id >= 0 && static_cast<std::size_t>(id) < dense) {
            if (static_cast<std::size_t>(id) >= Facts.DenseIds.size())
                Facts.DenseIds.resize(static_cast<std::size_t>(id) + 1, NoIndex);
            Facts.DenseIds[static_cast<std::size_t>(id)] = index;
        } else {
            Facts.SparseIds.emplace(id, index);
        }
    }

    std::string_view Keep(std::string_view text) { return Facts.Texts.Keep(text); }

    void Fetch(const Record& record, UrlFacts& url) {
        url.Url = Keep(record.Text(FUrl));
        url.Status = Clamp<int>(record.Number(FStatus));
        url.FirstByteMs = Clamp<std::int32_t>(record.Number(FFirstMs, -1));
        url.TotalMs = Clamp<std::int32_t>(record.Number(FTotalMs, -1));
        url.Bytes = record.Number(FBytes);
        url.Modified = Dates.Keep(Facts.Texts, record.Text(FModified));
        url.Depth = Clamp<int>(record.Number(FDepth, -1));
        const std::string_view source = record.Text(FSource);
        url.Unfollowed = !source.empty() && source != "link";
        const std::string_view error = record.Text(FError), location = record.Text(FLocation),
                               robots = record.Text(FXRobots);
        const std::span<const std::string> canonicals = record.Texts(FLinkCanonical);
        if (url.More || !error.empty() || !location.empty() || !robots.empty() ||
            !canonicals.empty()) {
            UrlFacts::Rare& rare = Rare(url);
            rare.Error = Keep(error);
            rare.Location = Keep(location);
            rare.RobotsHeader = Keep(robots);
            rare.HeaderCanonicals = TextList::Pack(Facts.Texts, canonicals, url.Url);
        }
    }

    void Page(const Record& record, UrlFacts& url) {
        url.Html = true;
        url.Titles = TextList::Pack(Facts.Texts, record.Texts(FTitles));
        url.HasDescription = record.Has(FDescription);
        url.Description = Keep(record.Text(FDescription));
        url.DescriptionChars = Count(record.Number(FDescriptionChars));
        url.Canonicals = TextList::Pack(Facts.Texts, record.Texts(FCanonicals), url.Url);
        url.H1Count = Count(record.Number(FH1Count));
        url.H1WithText = Count(record.Number(FH1WithText));
        url.H1Texts = TextList::Pack(Facts.Texts, record.Texts(FH1Texts));
        url.Ids = TextList::Pack(Facts.Texts, record.Texts(FIds));
        url.Words = Count(record.Number(FWords));
        const std::string_view hash = record.Text(FHash);
        url.HasHash = !hash.empty();
        url.Hash = url.HasHash ? HashOf(hash) : 0;
        url.ImagesWithoutAlt = Count(record.Number(FImgNoAlt));
        url.InsecureCount = Count(record.Number(FInsecureCount));
        url.JsonLd = Count(record.Number(FJsonLd));
        url.JsonLdInvalid = Count(record.Number(FJsonLdInvalid));
        const std::span<const std::uint32_t> links = record.Ints(FLinks);
        if (links.empty()) {
            url.Links = {};
        } else {
            auto* ids = static_cast<std::uint32_t*>(
                Facts.Texts.Allocate(links.size() * sizeof(std::uint32_t), alignof(std::uint32_t)));
            std::copy(links.begin(), links.end(), ids);
            url.Links = {ids, links.size()};
        }
        url.TooDeep = record.Bool(FTooDeep);
        const std::string_view robots = record.Text(FRobots);
        const auto alternates = record.Texts(FHreflang), insecure = record.Texts(FInsecure),
                   nofollow = record.Texts(FNoFollow), fragments = record.Texts(FFragments);
        if (url.More || !robots.empty() || !alternates.empty() || !insecure.empty() ||
            !nofollow.empty() || !fragments.empty()) {
            UrlFacts::Rare& rare = Rare(url);
            rare.RobotsMeta = Keep(robots);
            rare.Alternates = TextPairs::Pack(Facts.Texts, alternates);
            rare.Insecure = TextList::Pack(Facts.Texts, insecure);
            rare.NoFollow = TextList::Pack(Facts.Texts, nofollow);
            rare.Fragments = TextPairs::Pack(Facts.Texts, fragments);
        }
    }

    static std::vector<std::string> List(std::span<const std::string> texts) {
        return {texts.begin(), texts.end()};
    }

    void Render(const Record& record, UrlFacts::Rendering& render) {
        render.Tried = true;
        render.Rendered = record.Bool(FRendered);
        render.TimedOut = record.Bool(FTimeout);
        render.Error = record.Text(FError);
        render.Note = record.Text(FNote);
        render.Changed = List(record.Texts(FChanged));
        render.Titles = List(record.Texts(FTitles));
        render.HasDescription = record.Has(FDescription);
        render.Description = record.Text(FDescription);
        render.Robots = record.Text(FRobots);
        render.Canonicals = List(record.Texts(FCanonicals));
        const std::span<const std::uint32_t> links = record.Ints(FJsLinks);
        render.Links.assign(links.begin(), links.end());
    }

    CrawlFacts& Facts;
    Repeats Dates;
};

bool ReadFactsFrom(std::istream& in, CrawlFacts& facts, std::string& error,
                   std::size_t expectedBytes) {
    facts = CrawlFacts();
    // Room for the URLs a file of that size holds (sm writes a few hundred
    // bytes a URL; more still fit): growing the table by copies would hold
    // two of them at once, and room never written costs no memory.
    facts.Urls.reserve(std::min<std::size_t>(expectedBytes / 200, std::size_t(1) << 26));
    Reader reader(facts);
    Record record;
    std::string line;
    std::size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty())
            continue;
        if (!record.Read(line)) {
            if (!in.good() && number > 1)
                break; // a last line cut off by a killed writer: the end is missing
            error = "line " + std::to_string(number) + " of the facts file is not a record";
            return false;
        }
        if (number == 1) {
            if (record.Text(FFormat) != "vantora-facts") {
                error = "not a crawl facts file";
                return false;
            }
            facts.Version = Clamp<int>(record.Number(FVersion));
            if (facts.Version < 1 || facts.Version > FactsVersion) {
                error = "the facts file is of version " + std::to_string(facts.Version) +
                        "; this program reads version " + std::to_string(FactsVersion);
                return false;
            }
            facts.Root = record.Text(FRoot);
            facts.Started = record.Text(FStarted);
            continue;
        }
        reader.Take(record);
    }
    if (number == 0) {
        error = "the facts file is empty";
        return false;
    }
    reader.Resolve();
    return true;
}

} // namespace

bool ReadFacts(std::istream& in, CrawlFacts& facts, std::string& error) {
    return ReadFactsFrom(in, facts, error, 0);
}

bool ReadFactsFile(const std::string& path, CrawlFacts& facts, std::string& error) {
    std::ifstream in;
    std::vector<char> buffer(1 << 20);
    in.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    in.open(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::error_code code;
    const std::uintmax_t size = std::filesystem::file_size(path, code);
    return ReadFactsFrom(in, facts, error, code ? 0 : static_cast<std::size_t>(size));
}

} // namespace vantora::health
