#include "SiteUrlIndex.h"

#include "Site.h"
#include "SiteTree.h"

#include <algorithm>
#include <chrono>
#include <cstring>
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

// Whether the nodes and their ancestors are at most limit nodes: then
// each node's full URL is built from its ancestors, and otherwise all
// in one walk of the tree that builds every URL from its parent's.
bool FewAncestors(const SiteTree& tree, const std::vector<int>& nodes, std::size_t limit) {
    std::size_t count = 0;
    for (const int node : nodes)
        for (int m = node; m >= 0; m = tree.Parent(m))
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
    explicit WantedKeys(const QStringList& urls)
        : Urls(urls), Entries(size_t(urls.size())),
          Half(urls.size() > ManyUrls ? urls.size() / 2 : urls.size()) {
        const qsizetype half = Half;
        const auto work = [&](int part, qsizetype from, qsizetype to) {
            std::string buffer;
            std::string& texts = Texts[part];
            for (qsizetype i = from; i < to; ++i) {
                bool itself = false;
                const std::string_view key = KeyOf(urls[i], buffer, itself);
                Entries[size_t(i)] = {HashOf(key), itself ? Itself : texts.size()};
                if (!itself) {
                    const auto size = std::uint32_t(key.size());
                    texts.append(reinterpret_cast<const char*>(&size), sizeof size);
                    texts += key;
                }
            }
        };
        std::thread helper;
        if (half < urls.size())
            helper = std::thread(work, 1, half, urls.size());
        work(0, 0, half);
        if (helper.joinable())
            helper.join();
    }
    std::size_t Size() const { return Entries.size(); }
    // Whether URLs a and b have the same key.
    bool SameKey(std::size_t a, std::size_t b, std::string& scratch) const {
        return Entries[a].Hash == Entries[b].Hash && Matches(a, Key(b, scratch));
    }
    std::uint64_t Hash(std::size_t i) const { return Entries[i].Hash; }
    const QString& Url(std::size_t i) const { return Urls[qsizetype(i)]; }
    // Whether the key of URL i is key.
    bool Matches(std::size_t i, std::string_view key) const {
        if (Entries[i].Offset == Itself)
            return QLatin1StringView(key.data(), qsizetype(key.size())) == Urls[qsizetype(i)];
        return Kept(i) == key;
    }

  private:
    // The key of URL i, written to scratch when it is the URL's own text.
    std::string_view Key(std::size_t i, std::string& scratch) const {
        if (Entries[i].Offset != Itself)
            return Kept(i);
        scratch = Urls[qsizetype(i)].toStdString();
        return scratch;
    }
    // A key kept in its part's texts: its size, then its bytes.
    std::string_view Kept(std::size_t i) const {
        const std::string& texts = Texts[qsizetype(i) < Half ? 0 : 1];
        std::uint32_t size;
        std::memcpy(&size, texts.data() + Entries[i].Offset, sizeof size);
        return std::string_view(texts).substr(Entries[i].Offset + sizeof size, size);
    }
    // The offset of a key that is its URL's own text, which is not kept twice.
    static constexpr std::uint64_t Itself = std::uint64_t(-1);
    struct Entry {
        std::uint64_t Hash, Offset;
    };
    const QStringList& Urls;
    std::vector<Entry> Entries;
    const qsizetype Half; // the list's first part, keyed on this thread
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
    // Asks for the bucket of hash ahead of its lookup.
    void Prefetch(std::uint64_t hash) const {
        __builtin_prefetch(&Buckets[std::size_t(hash >> Shift)]);
    }
    // Calls each(node) for the nodes of the hash until it returns false.
    template <typename Each> void ForEachNode(std::uint64_t hash, Each each) const {
        const std::size_t bucket = std::size_t(hash >> Shift);
        for (std::uint32_t i = Buckets[bucket]; i < Buckets[bucket + 1]; ++i)
            if (Hashes[Nodes[i]] == hash && !each(int(Nodes[i])))
                return;
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
    // candidates of one node are chained from first by Next. A key asked
    // for again has a candidate at the first node of its hash already, and
    // is passed over: a URL listed many times costs no more than once.
    struct Candidate {
        int Node, Next;
        std::size_t Wanted;
    };
    std::vector<int> first(std::size_t(tree.Count()), -1);
    std::vector<Candidate> candidates;
    std::vector<int> nodes; // those with candidates
    candidates.reserve(std::min(std::size_t(urls.size()), first.size()));
    std::string scratch;
    for (std::size_t w = 0; w < wanted.Size(); ++w) {
        // The buckets of the keys a few ahead are fetched meanwhile.
        if (w + 8 < wanted.Size())
            table->Prefetch(wanted.Hash(w + 8));
        bool looked = false, again = false;
        table->ForEachNode(wanted.Hash(w), [&](int node) {
            int& head = first[std::size_t(node)];
            if (!looked) {
                looked = true;
                for (int c = head; c >= 0 && !again; c = candidates[std::size_t(c)].Next)
                    again = wanted.SameKey(candidates[std::size_t(c)].Wanted, w, scratch);
            }
            if (again)
                return false;
            if (head < 0)
                nodes.push_back(node);
            candidates.push_back({node, head, w});
            head = int(candidates.size() - 1);
            return true;
        });
    }
    // The same text has the same key: only a node whose URL is not written
    // as the URL asked for has its key worked out.
    std::string buffer;
    const auto matches = [&](int node, const QString& url) {
        for (int c = first[std::size_t(node)]; c >= 0; c = candidates[std::size_t(c)].Next) {
            const std::size_t w = candidates[std::size_t(c)].Wanted;
            if (wanted.Url(w) == url || wanted.Matches(w, UrlKey(url, buffer)))
                return true;
        }
        return false;
    };
    std::vector<int> found;
    if (FewAncestors(tree, nodes, std::size_t(tree.Count()) / 4)) {
        for (const int node : nodes)
            if (matches(node, tree.FullUrl(node, node)))
                found.push_back(node);
        return InViewOrder(tree, found);
    }
    tree.ForEachFullUrl([&](int node) { return first[std::size_t(node)] >= 0; },
                        [&](int node, const QString& url) {
                            if (matches(node, url))
                                found.push_back(node);
                        });
    return found;
}

} // namespace vantora
