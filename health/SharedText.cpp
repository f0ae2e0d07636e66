#include "SharedText.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>

namespace vantora::health {

namespace {

struct Interned {
    std::mutex Lock;
    // A node-based set: its strings never move, so the pointers handed out
    // stay valid for the whole run.
    std::unordered_set<std::string, TextHash, std::equal_to<>> Names;
};

// Never destroyed: a handle may still be read while static objects are torn down.
Interned& Pool() {
    static Interned* pool = new Interned;
    return *pool;
}

const std::string& EmptyName() {
    static const std::string* empty = new std::string;
    return *empty;
}

} // namespace

CheckId::CheckId() noexcept : Name(&EmptyName()) {}

CheckId::CheckId(std::string_view id) : Name(&EmptyName()) {
    if (id.empty())
        return;
    Interned& pool = Pool();
    const std::lock_guard<std::mutex> hold(pool.Lock);
    auto at = pool.Names.find(id);
    if (at == pool.Names.end())
        at = pool.Names.emplace(id).first;
    Name = &*at;
}

SharedText::SharedText(std::string_view text) {
    if (text.empty())
        return;
    if (text.size() > UINT32_MAX)
        throw std::length_error("a shared text of more than 4 GB");
    void* memory = std::malloc(sizeof(Block) + text.size());
    if (!memory)
        throw std::bad_alloc();
    Text = new (memory) Block{{1}, static_cast<std::uint32_t>(text.size())};
    std::memcpy(Text->Chars(), text.data(), text.size());
}

void SharedText::Release() noexcept {
    if (Text && Text->Count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        Text->~Block();
        std::free(Text);
    }
    Text = nullptr;
}

SharedText TextPool::Get(std::string_view text) {
    if (text.empty())
        return {};
    auto at = Texts.find(text);
    if (at == Texts.end())
        at = Texts.emplace(text).first;
    return *at;
}

} // namespace vantora::health
