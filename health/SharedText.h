#pragma once
// Compact texts for records there are millions of (the findings of a crawl):
// CheckId, an identifier interned once for the whole program, so a record
// holds a pointer and no characters; SharedText, an immutable text whose
// copies share one counted block, so the findings of one URL hold its text
// once. Both are assigned from any string and read as a std::string_view;
// neither can dangle, whatever they were made from.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>

namespace vantora::health {

class CheckId;
class SharedText;

// A hash of any text, for sets of texts looked up by std::string_view.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>()(text);
    }
};

// A text that is not one of the two handles (those compare among themselves).
// (A trait, and no <=>: the meta-object compiler reads this header and
// cannot parse <concepts>.)
template <typename T>
inline constexpr bool IsPlainText = std::is_convertible_v<const T&, std::string_view> &&
                                    !std::is_same_v<T, CheckId> && !std::is_same_v<T, SharedText>;
template <typename T> using PlainText = std::enable_if_t<IsPlainText<T>, int>;

class CheckId {
  public:
    CheckId() noexcept;
    CheckId(std::string_view id);
    CheckId(const std::string& id) : CheckId(std::string_view(id)) {}
    CheckId(const char* id) : CheckId(std::string_view(id)) {}

    const std::string& str() const noexcept { return *Name; }
    std::string_view view() const noexcept { return *Name; }
    operator std::string_view() const noexcept { return *Name; }
    const char* c_str() const noexcept { return Name->c_str(); }
    bool empty() const noexcept { return Name->empty(); }
    std::size_t size() const noexcept { return Name->size(); }
    int compare(const CheckId& other) const noexcept {
        return Name == other.Name ? 0 : Name->compare(*other.Name);
    }

    // Equal identifiers are one interned string: equality is one comparison.
    friend bool operator==(const CheckId& a, const CheckId& b) noexcept { return a.Name == b.Name; }
    friend bool operator<(const CheckId& a, const CheckId& b) noexcept { return a.compare(b) < 0; }
    template <typename T, PlainText<T> = 0> friend bool operator==(const CheckId& a, const T& b) {
        return a.view() == std::string_view(b);
    }
    template <typename T, PlainText<T> = 0> friend bool operator<(const CheckId& a, const T& b) {
        return a.view() < std::string_view(b);
    }
    template <typename T, PlainText<T> = 0> friend bool operator<(const T& a, const CheckId& b) {
        return std::string_view(a) < b.view();
    }

  private:
    const std::string* Name;
};

class SharedText {
  public:
    SharedText() noexcept = default;
    SharedText(std::string_view text);
    SharedText(const std::string& text) : SharedText(std::string_view(text)) {}
    SharedText(const char* text) : SharedText(std::string_view(text)) {}
    SharedText(const SharedText& other) noexcept : Text(other.Text) {
        if (Text)
            Text->Count.fetch_add(1, std::memory_order_relaxed);
    }
    SharedText(SharedText&& other) noexcept : Text(other.Text) { other.Text = nullptr; }
    SharedText& operator=(SharedText other) noexcept {
        std::swap(Text, other.Text);
        return *this;
    }
    ~SharedText() { Release(); }

    std::string_view view() const noexcept {
        return Text ? std::string_view(Text->Chars(), Text->Size) : std::string_view();
    }
    operator std::string_view() const noexcept { return view(); }
    std::string str() const { return std::string(view()); }
    bool empty() const noexcept { return !Text; }
    std::size_t size() const noexcept { return Text ? Text->Size : 0; }
    int compare(const SharedText& other) const noexcept {
        return Text == other.Text ? 0 : view().compare(other.view());
    }

    friend bool operator==(const SharedText& a, const SharedText& b) noexcept {
        return a.Text == b.Text || a.view() == b.view();
    }
    friend bool operator<(const SharedText& a, const SharedText& b) noexcept {
        return a.compare(b) < 0;
    }
    template <typename T, PlainText<T> = 0>
    friend bool operator==(const SharedText& a, const T& b) {
        return a.view() == std::string_view(b);
    }
    template <typename T, PlainText<T> = 0> friend bool operator<(const SharedText& a, const T& b) {
        return a.view() < std::string_view(b);
    }
    template <typename T, PlainText<T> = 0> friend bool operator<(const T& a, const SharedText& b) {
        return std::string_view(a) < b.view();
    }

  private:
    // The count and the length, the characters right after.
    struct Block {
        std::atomic<std::uint32_t> Count;
        std::uint32_t Size;
        const char* Chars() const noexcept { return reinterpret_cast<const char*>(this + 1); }
        char* Chars() noexcept { return reinterpret_cast<char*>(this + 1); }
    };
    void Release() noexcept;

    Block* Text = nullptr; // nullptr: the empty text
};

// Hands out one SharedText for equal texts while it lives: the findings read
// from two crawls hold each URL once.
class TextPool {
  public:
    SharedText Get(std::string_view text);

  private:
    std::unordered_set<SharedText, TextHash, std::equal_to<>> Texts;
};

} // namespace vantora::health
