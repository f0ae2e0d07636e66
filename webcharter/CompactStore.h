#pragma once
// Compact containers for a crawl of millions of URLs: URL texts packed into large
// blocks (one allocation per megabyte, not one per URL), an open-addressing index
// from a key's hash to a number, and first-in first-out stores that keep a fixed
// amount in memory and the rest in a temporary file.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::webcharter {

// Reads size bytes at offset of a temporary file written through file (flushed
// first, so what it buffers is read too); false when they are not all there.
inline bool ReadFully(std::FILE* file, uint64_t offset, void* into, size_t size) {
    if (std::fflush(file) != 0)
        return false;
    auto* at = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t got = ::pread(fileno(file), at, size, static_cast<off_t>(offset));
        if (got <= 0)
            return false;
        at += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<size_t>(got);
    }
    return true;
}

// Texts that live as long as the crawl, each stored once with a terminating NUL
// (so it can be handed to C interfaces as it stands).
class TextArena {
  public:
    std::string_view Add(std::string_view text) {
        const size_t need = text.size() + 1;
        if (need > BlockBytes / 4) {
            // a long text gets a block of its own, so the current block goes on
            Large.push_back(std::make_unique<char[]>(need));
            return Place(Large.back().get(), text);
        }
        if (Blocks.empty() || Used + need > BlockBytes) {
            Blocks.push_back(std::make_unique<char[]>(BlockBytes));
            Used = 0;
        }
        const std::string_view placed = Place(Blocks.back().get() + Used, text);
        Used += need;
        return placed;
    }
    size_t Bytes() const {
        return Blocks.size() * BlockBytes; // the large texts are few
    }

  private:
    static std::string_view Place(char* at, std::string_view text) {
        if (!text.empty())
            std::memcpy(at, text.data(), text.size());
        at[text.size()] = 0;
        return {at, text.size()};
    }
    static constexpr size_t BlockBytes = 1 << 20;
    std::vector<std::unique_ptr<char[]>> Blocks;
    std::vector<std::unique_ptr<char[]>> Large;
    size_t Used = 0;
};

// A set of numbers (non-negative ints) looked up by a key text, of which only a
// 64-bit hash is kept: twelve bytes a slot, at most 70 % of slots used. Two keys
// with one hash are taken as one; among the few million keys of a crawl the odds
// of that are about one in ten million. The slots are split in 64 tables by the
// hash's top bits, each grown on its own: growing copies one table at a time, so
// memory never holds the whole index twice.
class KeyIndex {
  public:
    int Find(std::string_view key) const {
        const uint64_t hash = Hash(key);
        return Shards[hash >> ShardShift].Find(hash);
    }
    bool Contains(std::string_view key) const { return Find(key) >= 0; }
    // Adds number under key unless the key is there already; returns whether added.
    bool Add(std::string_view key, int number) {
        const uint64_t hash = Hash(key);
        if (!Shards[hash >> ShardShift].Add(hash, number))
            return false;
        ++Count;
        return true;
    }
    size_t Size() const { return Count; }

  private:
    static constexpr int ShardBits = 6;
    static constexpr int ShardShift = 64 - ShardBits;
    static uint64_t Hash(std::string_view key) {
        uint64_t hash = std::hash<std::string_view>()(key);
        // mixed, so that the slot (the low bits) and the table (the top bits)
        // depend on every bit
        hash ^= hash >> 31;
        hash *= 0xbf58476d1ce4e5b9ull;
        hash ^= hash >> 29;
        hash *= 0x94d049bb133111ebull;
        hash ^= hash >> 32;
        return hash;
    }
    struct Shard {
        std::vector<uint64_t> Hashes;
        std::vector<int32_t> Numbers; // -1: an empty slot
        size_t Mask = 0;
        size_t Count = 0;

        int Find(uint64_t hash) const {
            if (Numbers.empty())
                return -1;
            for (size_t slot = hash & Mask;; slot = (slot + 1) & Mask) {
                if (Numbers[slot] < 0)
                    return -1;
                if (Hashes[slot] == hash)
                    return Numbers[slot];
            }
        }
        bool Add(uint64_t hash, int number) {
            if (Find(hash) >= 0)
                return false;
            if ((Count + 1) * 10 > Numbers.size() * 7)
                Grow();
            Place(hash, number);
            ++Count;
            return true;
        }
        void Place(uint64_t hash, int number) {
            size_t slot = hash & Mask;
            while (Numbers[slot] >= 0)
                slot = (slot + 1) & Mask;
            Hashes[slot] = hash;
            Numbers[slot] = number;
        }
        void Grow() {
            std::vector<uint64_t> oldHashes = std::move(Hashes);
            std::vector<int32_t> oldNumbers = std::move(Numbers);
            const size_t size = oldNumbers.empty() ? 64 : oldNumbers.size() * 2;
            Hashes.assign(size, 0);
            Numbers.assign(size, -1);
            Mask = size - 1;
            for (size_t i = 0; i < oldNumbers.size(); ++i)
                if (oldNumbers[i] >= 0)
                    Place(oldHashes[i], oldNumbers[i]);
        }
    };
    Shard Shards[size_t(1) << ShardBits];
    size_t Count = 0;
};

// Texts written once and read back once, in the order written (the URLs waiting
// in the frontier): the newest megabyte in memory, the rest in an unnamed
// temporary file.
class TextSpool {
  public:
    TextSpool() = default;
    ~TextSpool() {
        if (File)
            std::fclose(File);
    }
    TextSpool(const TextSpool&) = delete;
    TextSpool& operator=(const TextSpool&) = delete;

    // Returns where the text begins.
    uint64_t Add(std::string_view text) {
        const uint64_t at = OnDisk + Tail.size();
        Tail.append(text);
        if (Tail.size() >= (1u << 20))
            Flush();
        return at;
    }
    // Texts are read in the order they were added (the queue's order), so what is
    // on disk is read ahead in large pieces: one read for many texts, not one each.
    std::string Read(uint64_t at, size_t size) const {
        std::string text(size, '\0');
        size_t done = 0;
        if (at < OnDisk) {
            const size_t fromDisk = static_cast<size_t>(std::min<uint64_t>(size, OnDisk - at));
            if (at < AheadAt || at + fromDisk > AheadAt + Ahead.size()) {
                const size_t want = static_cast<size_t>(
                    std::min<uint64_t>(std::max<size_t>(fromDisk, AheadBytes), OnDisk - at));
                Ahead.resize(want);
                if (!ReadFully(File, at, Ahead.data(), want))
                    throw std::runtime_error("cannot read the crawl queue's temporary file");
                AheadAt = at;
            }
            std::memcpy(text.data(), Ahead.data() + (at - AheadAt), fromDisk);
            done = fromDisk;
        }
        if (done < size)
            text.replace(done, size - done, Tail, at + done - OnDisk, size - done);
        return text;
    }

  private:
    void Flush() {
        if (!File) {
            File = std::tmpfile();
            if (!File)
                throw std::runtime_error("cannot create a temporary file for the crawl queue");
        }
        if (std::fseek(File, 0, SEEK_END) != 0 ||
            std::fwrite(Tail.data(), 1, Tail.size(), File) != Tail.size() || std::fflush(File) != 0)
            throw std::runtime_error("cannot write the crawl queue's temporary file");
        OnDisk += Tail.size();
        Tail.clear();
    }
    static constexpr size_t AheadBytes = 1 << 18;
    mutable std::FILE* File = nullptr;
    std::string Tail;
    uint64_t OnDisk = 0;
    mutable std::string Ahead; // read ahead from the file, from AheadAt
    mutable uint64_t AheadAt = 0;
};

// A first-in first-out queue of trivially copyable entries. Up to InMemory
// entries are kept in memory; past that, entries go to an unnamed temporary
// file in blocks and come back in order when the entries before them are taken.
template <typename T> class SpillQueue {
  public:
    explicit SpillQueue(size_t inMemory = 1 << 16) : InMemory(inMemory) {}
    ~SpillQueue() {
        if (File)
            std::fclose(File);
    }
    SpillQueue(const SpillQueue&) = delete;
    SpillQueue& operator=(const SpillQueue&) = delete;

    void Push(const T& entry) {
        ++Total;
        if (OnDisk == 0 && Tail.empty() && Head.size() < InMemory) {
            Head.push_back(entry);
            return;
        }
        Tail.push_back(entry);
        if (Tail.size() >= BlockEntries)
            FlushTail();
    }
    bool Empty() const { return Total == 0; }
    size_t Size() const { return Total; }
    size_t SpilledEver() const { return Spilled; }
    T Pop() {
        if (Head.empty())
            Refill();
        T entry = Head.front();
        Head.pop_front();
        --Total;
        return entry;
    }
    void Clear() {
        Head.clear();
        Tail.clear();
        OnDisk = ReadAt = WriteAt = 0;
        Total = 0;
    }

  private:
    static constexpr size_t BlockEntries = 4096;
    void FlushTail() {
        if (!File) {
            File = std::tmpfile();
            if (!File)
                throw std::runtime_error("cannot create a temporary file for the crawl queue");
        }
        std::fseek(File, static_cast<long>(WriteAt), SEEK_SET);
        if (std::fwrite(Tail.data(), sizeof(T), Tail.size(), File) != Tail.size())
            throw std::runtime_error("cannot write the crawl queue's temporary file");
        WriteAt += Tail.size() * sizeof(T);
        OnDisk += Tail.size();
        Spilled += Tail.size();
        Tail.clear();
    }
    void Refill() {
        if (OnDisk == 0) {
            Head.insert(Head.end(), Tail.begin(), Tail.end());
            Tail.clear();
            return;
        }
        std::fflush(File);
        const size_t count = std::min(OnDisk, BlockEntries * 4);
        std::vector<T> block(count);
        std::fseek(File, static_cast<long>(ReadAt), SEEK_SET);
        if (std::fread(block.data(), sizeof(T), count, File) != count)
            throw std::runtime_error("cannot read the crawl queue's temporary file");
        ReadAt += count * sizeof(T);
        OnDisk -= count;
        if (OnDisk == 0) {
            // all read back: the file starts again from its beginning
            ReadAt = WriteAt = 0;
        }
        Head.insert(Head.end(), block.begin(), block.end());
    }

    const size_t InMemory;
    std::deque<T> Head;  // taken from the front
    std::vector<T> Tail; // newest entries, not yet written
    std::FILE* File = nullptr;
    size_t OnDisk = 0, ReadAt = 0, WriteAt = 0, Total = 0, Spilled = 0;
};

// An append-only array of trivially copyable entries kept in an unnamed temporary
// file but for its last block: written once during the crawl, read back in pieces
// when the map is written.
template <typename T> class SpillList {
  public:
    SpillList() = default;
    ~SpillList() {
        if (File)
            std::fclose(File);
    }
    SpillList(const SpillList&) = delete;
    SpillList& operator=(const SpillList&) = delete;

    void Push(const T& value) {
        Tail.push_back(value);
        if (Tail.size() >= BlockEntries)
            Flush();
    }
    uint64_t Size() const { return OnDisk + Tail.size(); }
    bool Empty() const { return Size() == 0; }
    // Entries [begin, begin + count) into out.
    void Read(uint64_t begin, uint32_t count, std::vector<T>& out) const {
        out.resize(count);
        uint32_t done = 0;
        if (begin < OnDisk) {
            const uint32_t fromDisk =
                static_cast<uint32_t>(std::min<uint64_t>(count, OnDisk - begin));
            if (!ReadFully(File, begin * sizeof(T), out.data(), fromDisk * sizeof(T)))
                throw std::runtime_error("cannot read a temporary file of the crawl");
            done = fromDisk;
        }
        for (; done < count; ++done)
            out[done] = Tail[begin + done - OnDisk];
    }
    // One entry; a block around it is read at once, so that entries near each
    // other cost one read.
    T At(uint64_t index) const {
        if (index < CachedAt || index >= CachedAt + Cached.size()) {
            CachedAt = index - std::min<uint64_t>(index, CacheEntries / 4);
            Read(CachedAt,
                 static_cast<uint32_t>(std::min<uint64_t>(CacheEntries, Size() - CachedAt)),
                 Cached);
        }
        return Cached[index - CachedAt];
    }

  private:
    static constexpr size_t BlockEntries = (size_t(64) << 10) / sizeof(T);
    static constexpr size_t CacheEntries = (size_t(16) << 10) / sizeof(T);
    void Flush() {
        if (!File) {
            File = std::tmpfile();
            if (!File)
                throw std::runtime_error("cannot create a temporary file for the crawl");
        }
        std::fseek(File, 0, SEEK_END);
        if (std::fwrite(Tail.data(), sizeof(T), Tail.size(), File) != Tail.size())
            throw std::runtime_error("cannot write a temporary file of the crawl");
        OnDisk += Tail.size();
        Tail.clear();
    }
    mutable std::FILE* File = nullptr;
    std::vector<T> Tail;
    uint64_t OnDisk = 0;
    mutable std::vector<T> Cached;
    mutable uint64_t CachedAt = 0;
};

// 32-bit numbers, and texts among them.
class SpillArray : public SpillList<uint32_t> {
  public:
    // A text as a word of its size followed by its bytes, four to a word.
    void PushText(std::string_view text) {
        Push(static_cast<uint32_t>(text.size()));
        for (size_t at = 0; at < text.size(); at += 4) {
            uint32_t word = 0;
            std::memcpy(&word, text.data() + at, std::min<size_t>(4, text.size() - at));
            Push(word);
        }
    }
    // The words a text pushed by PushText takes; the text at words of those.
    static size_t TextWords(size_t size) { return 1 + (size + 3) / 4; }
    static std::string_view TextAt(const uint32_t* words) {
        return {reinterpret_cast<const char*>(words + 1), words[0]};
    }
};

} // namespace vantora::webcharter
