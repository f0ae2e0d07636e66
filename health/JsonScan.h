#pragma once
// A pull reader over one JSON text (a line of the facts file): the caller
// walks the value it expects member by member and skips what it does not
// know, so no tree is built. As strict as RFC 8259: UTF-8 checked, \u escapes
// decoded with their surrogates paired, no trailing text. Nesting costs one
// byte a level and no recursion, so a hostile line is bounded by its length.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantora::health {

class JsonScan {
  public:
    enum class Kind { Object, Array, String, Number, True, False, Null, Bad };

    explicit JsonScan(std::string_view text) : Text(text) {}

    // The kind of the next value, white space skipped; Bad at the end of the
    // text or after a fault.
    Kind Peek();

    // An object: Open it, then Member gives each member's name in turn (and
    // false at its end); the member's value must be read or skipped next.
    bool OpenObject();
    bool Member(std::string& name);
    // An array: Open it, then Item says whether another item follows.
    bool OpenArray();
    bool Item();

    bool ReadString(std::string& out);
    // A number; integer tells one written without fraction or exponent that
    // fits 64 bits. Others are truncated towards zero and clamped.
    bool ReadNumber(long long& value, bool& integer);
    bool ReadBool(bool& value);
    // Reads past one value of any kind, checking it.
    bool Skip();

    // Nothing but white space is left and no fault was met.
    bool Finish();
    bool Failed() const { return Bad; }

  private:
    void Blank();
    bool Fail() {
        Bad = true;
        return false;
    }
    bool ScanString(std::string* out);
    bool ScanNumber(long long* value, bool* integer);
    bool ScanLiteral(std::string_view word);
    bool ScanScalar();
    bool NameAndColon(std::string* name);
    bool NextEntry(char close);

    std::string_view Text;
    std::size_t At = 0;
    bool Bad = false;
    bool AfterValue = false; // a value ended; a separator or a close comes next
    std::string Nesting;     // open containers while skipping
    std::string Scratch;     // member names while skipping
};

} // namespace vantora::health
