#include "SiteUrlIndex.h"

#include "Site.h"
#include "SiteTree.h"

#include <algorithm>
#include <chrono>
#include <functional>

namespace vantora {

namespace {

// UrlKey; itself tells whether the key is the URL's own text.
std::string_view KeyOf(QStringView url, std::string& buffer, bool& itself) {
    // Most URLs are plain ASCII in normal form: copied byte for byte and
    // checked, they are their own key.
    buffer.resize(size_t(url.size()));
    bool ascii = true;
    for (qsizetype i = 0; i < url.size(); ++i) {
        const char16_t c = url[i].unicode();
        if (c >= 0x80) {
            ascii = false;
            break;
        }
        buffer[size_t(i)] = char(c);
    }
    itself = ascii && health::IsNormalUrl(buffer);
    if (itself)
        return buffer;
    std::string text = url.trimmed().toString().toStdString();
    if (text.find("://") == std::string::npos)
        text.insert(0, "http://");
    buffer = health::NormalUrl(text);
    return buffer;
}

std::uint64_t HashOf(std::string_view key) {
    return std::hash<std::string_view>()(key);
}

// Whether the candidates and their ancestors are at most limit nodes: then
// each candidate's full URL is built from its ancestors, and otherwise all
// in one walk of the tree that builds every URL from its parent's.
template <typename Candidates>
bool FewAncestors(const SiteTree& tree, const Candidates& candidates, std::size_t limit) {
    std::size_t count = 0;
    for (const auto& candidate : candidates)
        for (int m = candidate.Node; m >= 0; m = tree.Parent(m))
            if (++count > limit)
                return false;
    return true;
}
// Lists of more URLs than this have their keys worked out on two threads.
constexpr qsizetype ManyUrls = 20000;

// The nodes in the view's depth-first order: by the rows on the path from
// the top level down to each (an ancestor before its descendants).
std::vector<int> InViewOrder(const SiteTree& tree, const std::vector<int>& nodes) {
    std::vector<std::pair<std::vector<int>, int>> paths;
    paths.reserve(nodes.size());
    for (const int node : nodes) {
        std::vector<int> rows;
        for (int m = node; m >= 0; m = tree.Parent(m))
            rows.push_back(tree.Row(m));
        std::reverse(rows.begin(), rows.end());
        paths.emplace_back(std::move(rows), node);
    }
    std::sort(paths.begin(), paths.end());
    std::vector<int> ordered;
    ordered.reserve(paths.size());
    for (const auto& path : paths)
        ordered.push_back(path.second);
    return ordered;
}

// The keys of the URLs asked for, with their hashes; the texts of a part
// of the list are held one after the other in that part's buffer.
class WantedKeys {
  public:
    explicit WantedKeys(const QStringList& urls) : Urls(urls), Entries(size_t(urls.size())) {
        const qsizetype half = urls.size() > ManyUrls ? urls.size() / 2 : urls.size();
        const auto work = [&](int part, qsizetype from, qsizetype to) {
            std::string buffer;
            std::string& texts = Texts[part];
            for (qsizetype i = from; i < to; ++i) {
                bool itself = false;
                const std::string_view key = KeyOf(urls[i], buffer, itself);
                Entries[size_t(i)] = {HashOf(key), itself ? 0 : texts.size(),
                                      itself ? Itself : key.size(), part};
                if (!itself)
                    texts += key;
            }
        };
        std::thread helper;
        if (half < urls.size())
            helper = std::thread(work, 1, half, urls.size());
        work(0, 0, half);
        if (helper.joinable())
            helper.join();
    }
    // The first of the URLs of each key, in the order of the list: a key
    // asked for many times is looked up once.
    std::vector<std::uint32_t> Distinct() const {
        std::size_t capacity = 16;
        while (capacity < 2 * Entries.size())
            capacity *= 2;
        std::vector<std::uint32_t> places(capacity, 0); // an entry's number + 1; 0 is empty
        std::vector<std::uint32_t> distinct;
        std::string scratch;
        for (std::uint32_t i = 0; i < Entries.size(); ++i) {
            std::size_t slot = std::size_t(Entries[i].Hash) & (capacity - 1);
            for (;; slot = (slot + 1) & (capacity - 1)) {
                const std::uint32_t other = places[slot];
                if (other == 0) {
                    places[slot] = i + 1;
                    distinct.push_back(i);
                    break;
                }
                if (Entries[other - 1].Hash == Entries[i].Hash &&
                    Matches(other - 1, Key(i, scratch)))
                    break;
            }
        }
        return distinct;
    }
    std::uint64_t Hash(std::size_t i) const { return Entries[i].Hash; }
    const QString& Url(std::size_t i) const { return Urls[qsizetype(i)]; }
    // Whether the key of URL i is key.
    bool Matches(std::size_t i, std::string_view key) const {
        const Entry& e = Entries[i];
        if (e.Size == Itself)
            return QLatin1StringView(key.data(), qsizetype(key.size())) == Urls[qsizetype(i)];
        return std::string_view(Texts[e.Part]).substr(e.Offset, e.Size) == key;
    }

  private:
    // The key of URL i, written to scratch when it is the URL's own text.
    std::string_view Key(std::size_t i, std::string& scratch) const {
        const Entry& e = Entries[i];
        if (e.Size != Itself)
            return std::string_view(Texts[e.Part]).substr(e.Offset, e.Size);
        scratch = Urls[qsizetype(i)].toStdString();
        return scratch;
    }
    // The size of a key that is its URL's own text, which is not kept twice.
    static constexpr std::size_t Itself = std::size_t(-1);
    struct Entry {
        std::uint64_t Hash;
        std::size_t Offset, Size;
        int Part;
    };
    const QStringList& Urls;
    std::vector<Entry> Entries;
    std::string Texts[2];
};

} // namespace

std::string_view UrlKey(QStringView url, std::string& buffer) {
    bool itself = false;
    return KeyOf(url, buffer, itself);
}

// Hashes by node number, and the node numbers grouped by the top bits of
// their hashes: 16 bytes a node at most.
struct SiteUrlIndex::Table {
    std::vector<std::uint64_t> Hashes;
    std::vector<std::uint32_t> Nodes;
    // Nodes[Buckets[b]] .. Nodes[Buckets[b + 1]] have hashes whose top bits are b.
    std::vector<std::uint32_t> Buckets;
    int Shift = 63;

    int Count() const { return int(Hashes.size()); }
    template <typename Each> void ForEachNode(std::uint64_t hash, Each each) const {
        const std::size_t bucket = std::size_t(hash >> Shift);
        for (std::uint32_t i = Buckets[bucket]; i < Buckets[bucket + 1]; ++i)
            if (Hashes[Nodes[i]] == hash)
                each(int(Nodes[i]));
    }
};

struct SiteUrlIndex::Shared {
    std::mutex Lock;
    std::condition_variable Done;
    std::uint64_t Generation = 0;
    bool Building = false;
    std::shared_ptr<const Table> Ready;
    std::atomic<bool> Cancel{false};
};

SiteUrlIndex::SiteUrlIndex() : State(std::make_shared<Shared>()) {}

SiteUrlIndex::~SiteUrlIndex() {
    Drop();
}

void SiteUrlIndex::Drop() {
    if (Builder.joinable()) {
        State->Cancel = true;
        Builder.join();
        State->Cancel = false;
    }
    const std::lock_guard<std::mutex> hold(State->Lock);
    ++State->Generation;
    State->Ready.reset();
    State->Building = false;
}

void SiteUrlIndex::WaitForBuild() {
    if (Builder.joinable())
        Builder.join();
}

std::shared_ptr<const SiteUrlIndex::Table> SiteUrlIndex::Build(const SiteTree& tree,
                                                               const std::atomic<bool>& cancel) {
    auto table = std::make_shared<Table>();
    const std::size_t count = std::size_t(tree.Count());
    table->Hashes.resize(count);
    std::string buffer;
    tree.ForEachFullUrl([&](int) { return !cancel.load(std::memory_order_relaxed); },
                        [&](int node, const QString& url) {
                            table->Hashes[std::size_t(node)] = HashOf(UrlKey(url, buffer));
                        });
    if (cancel)
        return nullptr;
    // About one node a bucket: the largest power of two not above the count.
    int bits = 1;
    while (bits < 31 && (std::size_t(2) << bits) <= count)
        ++bits;
    table->Shift = 64 - bits;
    std::vector<std::uint32_t>& buckets = table->Buckets;
    buckets.assign((std::size_t(1) << bits) + 1, 0);
    for (const std::uint64_t hash : table->Hashes)
        ++buckets[std::size_t(hash >> table->Shift) + 1];
    for (std::size_t b = 1; b < buckets.size(); ++b)
        buckets[b] += buckets[b - 1];
    // Each bucket's start serves as its fill position; once filled, every
    // start has moved to the next bucket's, and the starts are put back.
    table->Nodes.resize(count);
    for (std::size_t node = 0; node < count; ++node)
        table->Nodes[buckets[std::size_t(table->Hashes[node] >> table->Shift)]++] =
            std::uint32_t(node);
    for (std::size_t b = buckets.size() - 1; b > 0; --b)
        buckets[b] = buckets[b - 1];
    buckets[0] = 0;
    return table;
}

void SiteUrlIndex::Rebuild(const SiteTree& tree) {
    Drop();
    if (tree.Count() < BackgroundNodes) {
        std::shared_ptr<const Table> table = Build(tree, State->Cancel);
        const std::lock_guard<std::mutex> hold(State->Lock);
        State->Ready = std::move(table);
        return;
    }
    std::uint64_t generation;
    {
        const std::lock_guard<std::mutex> hold(State->Lock);
        generation = State->Generation;
        State->Building = true;
    }
    Builder = std::thread([state = State, generation, &tree] {
        std::shared_ptr<const Table> table = Build(tree, state->Cancel);
        {
            // A build of a tree since dropped never answers.
            const std::lock_guard<std::mutex> hold(state->Lock);
            if (state->Generation != generation)
                return;
            state->Ready = std::move(table);
            state->Building = false;
        }
        state->Done.notify_all();
    });
}

bool SiteUrlIndex::IsReady() const {
    const std::lock_guard<std::mutex> hold(State->Lock);
    return State->Ready != nullptr;
}

std::size_t SiteUrlIndex::MemoryBytes() const {
    const std::lock_guard<std::mutex> hold(State->Lock);
    const Table* table = State->Ready.get();
    return table ? table->Hashes.capacity() * sizeof(std::uint64_t) +
                       (table->Nodes.capacity() + table->Buckets.capacity()) * sizeof(std::uint32_t)
                 : 0;
}

std::optional<std::vector<int>> SiteUrlIndex::Find(const SiteTree& tree, const QStringList& urls,
                                                   int waitMs) const {
    std::shared_ptr<const Table> table;
    {
        std::unique_lock<std::mutex> hold(State->Lock);
        State->Done.wait_for(hold, std::chrono::milliseconds(waitMs),
                             [&] { return !State->Building; });
        table = State->Ready;
    }
    if (!table || table->Count() != tree.Count())
        return std::nullopt;
    const WantedKeys wanted(urls);
    // A candidate is a node whose hash is that of a wanted key; the
    // candidates of one node are chained by Next.
    struct Candidate {
        int Node, Next;
        std::size_t Wanted;
    };
    const std::vector<std::uint32_t> distinct = wanted.Distinct();
    std::vector<Candidate> candidates;
    candidates.reserve(distinct.size());
    for (const std::size_t w : distinct)
        table->ForEachNode(wanted.Hash(w), [&](int node) { candidates.push_back({node, -1, w}); });
    // The same text has the same key: only a node whose URL is not written
    // as the URL asked for has its key worked out.
    std::string buffer;
    const auto same = [&](const Candidate& candidate, const QString& url) {
        return wanted.Url(candidate.Wanted) == url ||
               wanted.Matches(candidate.Wanted, UrlKey(url, buffer));
    };
    std::vector<int> found;
    if (FewAncestors(tree, candidates, std::size_t(tree.Count()) / 4)) {
        std::sort(candidates.begin(), candidates.end(),
                  [](const Candidate& a, const Candidate& b) { return a.Node < b.Node; });
        for (std::size_t c = 0; c < candidates.size();) {
            const int node = candidates[c].Node;
            const QString url = tree.FullUrl(node, node);
            bool match = false;
            for (; c < candidates.size() && candidates[c].Node == node; ++c)
                match = match || same(candidates[c], url);
            if (match)
                found.push_back(node);
        }
        return InViewOrder(tree, found);
    }
    std::vector<int> first(std::size_t(tree.Count()), -1);
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        Candidate& candidate = candidates[c];
        candidate.Next = first[std::size_t(candidate.Node)];
        first[std::size_t(candidate.Node)] = int(c);
    }
    tree.ForEachFullUrl([&](int node) { return first[std::size_t(node)] >= 0; },
                        [&](int node, const QString& url) {
                            for (int c = first[std::size_t(node)]; c >= 0;
                                 c = candidates[std::size_t(c)].Next) {
                                if (same(candidates[std::size_t(c)], url)) {
                                    found.push_back(node);
                                    break;
                                }
                            }
                        });
    return found;
}

} // namespace vantora
