#include "JsonScan.h"

#include "PageText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace vantora::health {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void JsonScan::Blank() {
    while (At < Text.size()) {
        const char c = Text[At];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return;
        ++At;
    }
}

JsonScan::Kind JsonScan::Peek() {
    if (Bad)
        return Kind::Bad;
    Blank();
    if (At >= Text.size())
        return Kind::Bad;
    switch (Text[At]) {
    case '{':
        return Kind::Object;
    case '[':
        return Kind::Array;
    case '"':
        return Kind::String;
    case 't':
        return Kind::True;
    case 'f':
        return Kind::False;
    case 'n':
        return Kind::Null;
    default:
        break;
    }
    const char c = Text[At];
    return c == '-' || (c >= '0' && c <= '9') ? Kind::Number : Kind::Bad;
}

bool JsonScan::ScanString(std::string* out) {
    if (out)
        out->clear();
    ++At; // the opening quote
    const char* const data = Text.data();
    const std::size_t size = Text.size();
    while (true) {
        const std::size_t run = At;
        while (At < size) {
            const auto c = static_cast<unsigned char>(data[At]);
            if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80)
                break;
            ++At;
        }
        if (out)
            out->append(data + run, At - run);
        if (At >= size)
            return Fail();
        const auto c = static_cast<unsigned char>(data[At]);
        if (c == '"') {
            ++At;
            AfterValue = true;
            return true;
        }
        if (c < 0x20)
            return Fail();
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(Text, At);
            if (length == 0)
                return Fail();
            if (out)
                out->append(data + At, length);
            At += length;
            continue;
        }
        // an escape
        if (++At >= size)
            return Fail();
        const char e = data[At++];
        char plain = 0;
        switch (e) {
        case '"':
        case '\\':
        case '/':
            plain = e;
            break;
        case 'b':
            plain = '\b';
            break;
        case 'f':
            plain = '\f';
            break;
        case 'n':
            plain = '\n';
            break;
        case 'r':
            plain = '\r';
            break;
        case 't':
            plain = '\t';
            break;
        case 'u':
            break;
        default:
            return Fail();
        }
        if (e != 'u') {
            if (out)
                *out += plain;
            continue;
        }
        auto hex4 = [&](std::uint32_t& value) {
            if (At + 4 > size)
                return false;
            value = 0;
            for (int k = 0; k < 4; ++k) {
                const int digit = HexValue(data[At + k]);
                if (digit < 0)
                    return false;
                value = value * 16 + static_cast<std::uint32_t>(digit);
            }
            At += 4;
            return true;
        };
        std::uint32_t cp = 0;
        if (!hex4(cp))
            return Fail();
        if (cp >= 0xDC00 && cp <= 0xDFFF)
            return Fail(); // a low surrogate with no high one before it
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            std::uint32_t low = 0;
            if (At + 2 > size || data[At] != '\\' || data[At + 1] != 'u')
                return Fail();
            At += 2;
            if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return Fail();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
        if (out)
            AppendCodePoint(*out, cp);
    }
}

bool JsonScan::ScanNumber(long long* value, bool* integer) {
    const std::size_t start = At;
    const char* const data = Text.data();
    const std::size_t size = Text.size();
    auto digits = [&] {
        const std::size_t from = At;
        while (At < size && data[At] >= '0' && data[At] <= '9')
            ++At;
        return At > from;
    };
    if (At < size && data[At] == '-')
        ++At;
    if (At >= size)
        return Fail();
    if (data[At] == '0')
        ++At;
    else if (!digits())
        return Fail();
    bool whole = true;
    if (At < size && data[At] == '.') {
        ++At;
        if (!digits())
            return Fail();
        whole = false;
    }
    if (At < size && (data[At] == 'e' || data[At] == 'E')) {
        ++At;
        if (At < size && (data[At] == '+' || data[At] == '-'))
            ++At;
        if (!digits())
            return Fail();
        whole = false;
    }
    AfterValue = true;
    if (!value)
        return true;
    if (whole) {
        long long parsed = 0;
        const auto [end, code] = std::from_chars(data + start, data + At, parsed);
        if (code == std::errc() && end == data + At) {
            *value = parsed;
            *integer = true;
            return true;
        }
    }
    double real = 0;
    std::from_chars(data + start, data + At, real);
    *integer = false;
    constexpr double limit = 9.2e18;
    if (std::isnan(real))
        real = 0;
    *value = real >= limit    ? std::numeric_limits<long long>::max()
             : real <= -limit ? std::numeric_limits<long long>::min()
                              : static_cast<long long>(real);
    return true;
}

bool JsonScan::ScanLiteral(std::string_view word) {
    if (Text.substr(At, word.size()) != word)
        return Fail();
    At += word.size();
    AfterValue = true;
    return true;
}

bool JsonScan::ScanScalar() {
    switch (Peek()) {
    case Kind::String:
        return ScanString(nullptr);
    case Kind::Number:
        return ScanNumber(nullptr, nullptr);
    case Kind::True:
        return ScanLiteral("true");
    case Kind::False:
        return ScanLiteral("false");
    case Kind::Null:
        return ScanLiteral("null");
    default:
        return Fail();
    }
}

bool JsonScan::NameAndColon(std::string* name) {
    Blank();
    if (At >= Text.size() || Text[At] != '"' || !ScanString(name))
        return Fail();
    Blank();
    if (At >= Text.size() || Text[At] != ':')
        return Fail();
    ++At;
    AfterValue = false;
    return true;
}

bool JsonScan::OpenObject() {
    if (Peek() != Kind::Object)
        return Fail();
    ++At;
    AfterValue = false;
    return true;
}

// Past the separator before the next member or item of the open object or
// array; false at its close (taken) or when the text is bad.
bool JsonScan::NextEntry(char close) {
    if (Bad)
        return false;
    Blank();
    if (At >= Text.size())
        return Fail();
    if (Text[At] == close) {
        ++At;
        AfterValue = true;
        return false;
    }
    if (AfterValue) {
        if (Text[At] != ',')
            return Fail();
        ++At;
        AfterValue = false;
    }
    return true;
}

bool JsonScan::Member(std::string& name) {
    return NextEntry('}') && NameAndColon(&name);
}

bool JsonScan::OpenArray() {
    if (Peek() != Kind::Array)
        return Fail();
    ++At;
    AfterValue = false;
    return true;
}

bool JsonScan::Item() {
    return NextEntry(']');
}

bool JsonScan::ReadString(std::string& out) {
    if (Peek() != Kind::String)
        return Fail();
    return ScanString(&out);
}

bool JsonScan::ReadNumber(long long& value, bool& integer) {
    if (Peek() != Kind::Number)
        return Fail();
    return ScanNumber(&value, &integer);
}

bool JsonScan::ReadBool(bool& value) {
    const Kind kind = Peek();
    if (kind != Kind::True && kind != Kind::False)
        return Fail();
    value = kind == Kind::True;
    return ScanLiteral(value ? "true" : "false");
}

bool JsonScan::Skip() {
    Nesting.clear();
    while (true) {
        // A value comes next.
        const Kind kind = Peek();
        if (kind == Kind::Object || kind == Kind::Array) {
            ++At;
            Blank();
            const char close = kind == Kind::Object ? '}' : ']';
            if (At < Text.size() && Text[At] == close) {
                ++At;
            } else {
                Nesting += close;
                if (kind == Kind::Object && !NameAndColon(&Scratch))
                    return false;
                continue;
            }
        } else if (!ScanScalar()) {
            return false;
        }
        // A value ended: close what it ends, or go on to the next item.
        while (true) {
            if (Nesting.empty()) {
                AfterValue = true;
                return true;
            }
            Blank();
            if (At >= Text.size())
                return Fail();
            if (Text[At] == Nesting.back()) {
                ++At;
                Nesting.pop_back();
                continue;
            }
            if (Text[At] != ',')
                return Fail();
            ++At;
            if (Nesting.back() == '}' && !NameAndColon(&Scratch))
                return false;
            break;
        }
    }
}

bool JsonScan::Finish() {
    if (Bad)
        return false;
    Blank();
    return At == Text.size();
}

} // namespace vantora::health
