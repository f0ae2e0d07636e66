#pragma once
// Compact containers for a crawl of millions of URLs: URL texts packed into large
// blocks (one allocation per megabyte, not one per URL), an open-addressing index
// from a key to a number whose key text lives elsewhere, and a first-in first-out
// queue that keeps a fixed number of entries in memory and the rest in a
// temporary file.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace vantora::webcharter {

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

// A set of numbers (non-negative ints) looked up by a key text that the owner
// keeps: KeyOf(number) gives it. Eight bytes a slot, at most 70 % of slots used.
class KeyIndex {
  public:
    explicit KeyIndex(std::function<std::string_view(int)> keyOf) : KeyOf(std::move(keyOf)) {}

    int Find(std::string_view key) const {
        if (Slots.empty())
            return -1;
        const uint64_t hash = Hash(key);
        const uint32_t tag = static_cast<uint32_t>(hash >> 32);
        for (size_t slot = hash & Mask;; slot = (slot + 1) & Mask) {
            const uint64_t entry = Slots[slot];
            if (entry == Empty)
                return -1;
            if (static_cast<uint32_t>(entry >> 32) == tag) {
                const int number = static_cast<int>(entry & 0xFFFFFFFFu);
                if (KeyOf(number) == key)
                    return number;
            }
        }
    }
    bool Contains(std::string_view key) const { return Find(key) >= 0; }
    // Adds number under key unless the key is there already; returns whether added.
    bool Add(std::string_view key, int number) {
        if (Find(key) >= 0)
            return false;
        if ((Count + 1) * 10 > Slots.size() * 7)
            Grow();
        Place(Hash(key), number);
        ++Count;
        return true;
    }
    size_t Size() const { return Count; }

  private:
    static constexpr uint64_t Empty = ~uint64_t(0);
    static uint64_t Hash(std::string_view key) {
        // 64-bit FNV-1a, mixed so that the low bits (the slot) depend on every byte
        uint64_t hash = 1469598103934665603ull;
        for (const char c : key)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        hash ^= hash >> 29;
        hash *= 0xbf58476d1ce4e5b9ull;
        hash ^= hash >> 32;
        return hash;
    }
    void Place(uint64_t hash, int number) {
        size_t slot = hash & Mask;
        while (Slots[slot] != Empty)
            slot = (slot + 1) & Mask;
        Slots[slot] = (hash >> 32 << 32) | static_cast<uint32_t>(number);
    }
    void Grow() {
        std::vector<uint64_t> old = std::move(Slots);
        Slots.assign(old.empty() ? 1024 : old.size() * 2, Empty);
        Mask = Slots.size() - 1;
        for (const uint64_t entry : old)
            if (entry != Empty) {
                const int number = static_cast<int>(entry & 0xFFFFFFFFu);
                Place(Hash(KeyOf(number)), number);
            }
    }
    std::function<std::string_view(int)> KeyOf;
    std::vector<uint64_t> Slots;
    size_t Mask = 0;
    size_t Count = 0;
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

// An append-only array of 32-bit numbers kept in an unnamed temporary file but
// for its last block: it is written once during the crawl and read back in
// pieces when the map is written.
class SpillArray {
  public:
    SpillArray() = default;
    ~SpillArray() {
        if (File)
            std::fclose(File);
    }
    SpillArray(const SpillArray&) = delete;
    SpillArray& operator=(const SpillArray&) = delete;

    void Push(uint32_t value) {
        Tail.push_back(value);
        if (Tail.size() >= BlockEntries)
            Flush();
    }
    uint64_t Size() const { return OnDisk + Tail.size(); }
    // Entries [begin, begin + count) into out.
    void Read(uint64_t begin, uint32_t count, std::vector<uint32_t>& out) const {
        out.resize(count);
        uint32_t done = 0;
        if (begin < OnDisk) {
            const uint32_t fromDisk =
                static_cast<uint32_t>(std::min<uint64_t>(count, OnDisk - begin));
            std::fflush(File);
            if (std::fseek(File, static_cast<long>(begin * sizeof(uint32_t)), SEEK_SET) != 0 ||
                std::fread(out.data(), sizeof(uint32_t), fromDisk, File) != fromDisk)
                throw std::runtime_error("cannot read the crawl's temporary file of links");
            done = fromDisk;
        }
        for (; done < count; ++done)
            out[done] = Tail[begin + done - OnDisk];
    }

  private:
    static constexpr size_t BlockEntries = 1 << 14;
    void Flush() {
        if (!File) {
            File = std::tmpfile();
            if (!File)
                throw std::runtime_error("cannot create a temporary file for the crawl's links");
        }
        std::fseek(File, 0, SEEK_END);
        if (std::fwrite(Tail.data(), sizeof(uint32_t), Tail.size(), File) != Tail.size())
            throw std::runtime_error("cannot write the crawl's temporary file of links");
        OnDisk += Tail.size();
        Tail.clear();
    }
    mutable std::FILE* File = nullptr;
    std::vector<uint32_t> Tail;
    uint64_t OnDisk = 0;
};

} // namespace vantora::webcharter
