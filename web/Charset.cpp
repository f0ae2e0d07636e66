#include "Charset.h"

#include "PageText.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

namespace vantora {

namespace {

struct Label {
    const char* Name;
    const char* Encoding;
};

// The labels browsers accept, each with the encoding it names.
constexpr Label Labels[] = {
    {"unicode-1-1-utf-8", "UTF-8"},
    {"unicode11utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"utf-8", "UTF-8"},
    {"utf8", "UTF-8"},
    {"x-unicode20utf8", "UTF-8"},
    {"866", "IBM866"},
    {"cp866", "IBM866"},
    {"csibm866", "IBM866"},
    {"ibm866", "IBM866"},
    {"csisolatin2", "ISO-8859-2"},
    {"iso-8859-2", "ISO-8859-2"},
    {"iso-ir-101", "ISO-8859-2"},
    {"iso8859-2", "ISO-8859-2"},
    {"iso88592", "ISO-8859-2"},
    {"iso_8859-2", "ISO-8859-2"},
    {"iso_8859-2:1987", "ISO-8859-2"},
    {"l2", "ISO-8859-2"},
    {"latin2", "ISO-8859-2"},
    {"csisolatin3", "ISO-8859-3"},
    {"iso-8859-3", "ISO-8859-3"},
    {"iso-ir-109", "ISO-8859-3"},
    {"iso8859-3", "ISO-8859-3"},
    {"iso88593", "ISO-8859-3"},
    {"iso_8859-3", "ISO-8859-3"},
    {"iso_8859-3:1988", "ISO-8859-3"},
    {"l3", "ISO-8859-3"},
    {"latin3", "ISO-8859-3"},
    {"csisolatin4", "ISO-8859-4"},
    {"iso-8859-4", "ISO-8859-4"},
    {"iso-ir-110", "ISO-8859-4"},
    {"iso8859-4", "ISO-8859-4"},
    {"iso88594", "ISO-8859-4"},
    {"iso_8859-4", "ISO-8859-4"},
    {"iso_8859-4:1988", "ISO-8859-4"},
    {"l4", "ISO-8859-4"},
    {"latin4", "ISO-8859-4"},
    {"csisolatincyrillic", "ISO-8859-5"},
    {"cyrillic", "ISO-8859-5"},
    {"iso-8859-5", "ISO-8859-5"},
    {"iso-ir-144", "ISO-8859-5"},
    {"iso8859-5", "ISO-8859-5"},
    {"iso88595", "ISO-8859-5"},
    {"iso_8859-5", "ISO-8859-5"},
    {"iso_8859-5:1988", "ISO-8859-5"},
    {"arabic", "ISO-8859-6"},
    {"asmo-708", "ISO-8859-6"},
    {"csiso88596e", "ISO-8859-6"},
    {"csiso88596i", "ISO-8859-6"},
    {"csisolatinarabic", "ISO-8859-6"},
    {"ecma-114", "ISO-8859-6"},
    {"iso-8859-6", "ISO-8859-6"},
    {"iso-8859-6-e", "ISO-8859-6"},
    {"iso-8859-6-i", "ISO-8859-6"},
    {"iso-ir-127", "ISO-8859-6"},
    {"iso8859-6", "ISO-8859-6"},
    {"iso88596", "ISO-8859-6"},
    {"iso_8859-6", "ISO-8859-6"},
    {"iso_8859-6:1987", "ISO-8859-6"},
    {"csisolatingreek", "ISO-8859-7"},
    {"ecma-118", "ISO-8859-7"},
    {"elot_928", "ISO-8859-7"},
    {"greek", "ISO-8859-7"},
    {"greek8", "ISO-8859-7"},
    {"iso-8859-7", "ISO-8859-7"},
    {"iso-ir-126", "ISO-8859-7"},
    {"iso8859-7", "ISO-8859-7"},
    {"iso88597", "ISO-8859-7"},
    {"iso_8859-7", "ISO-8859-7"},
    {"iso_8859-7:1987", "ISO-8859-7"},
    {"sun_eu_greek", "ISO-8859-7"},
    {"csiso88598e", "ISO-8859-8"},
    {"csisolatinhebrew", "ISO-8859-8"},
    {"hebrew", "ISO-8859-8"},
    {"iso-8859-8", "ISO-8859-8"},
    {"iso-8859-8-e", "ISO-8859-8"},
    {"iso-ir-138", "ISO-8859-8"},
    {"iso8859-8", "ISO-8859-8"},
    {"iso88598", "ISO-8859-8"},
    {"iso_8859-8", "ISO-8859-8"},
    {"iso_8859-8:1988", "ISO-8859-8"},
    {"visual", "ISO-8859-8"},
    {"csiso88598i", "ISO-8859-8-I"},
    {"iso-8859-8-i", "ISO-8859-8-I"},
    {"logical", "ISO-8859-8-I"},
    {"csisolatin6", "ISO-8859-10"},
    {"iso-8859-10", "ISO-8859-10"},
    {"iso-ir-157", "ISO-8859-10"},
    {"iso8859-10", "ISO-8859-10"},
    {"iso885910", "ISO-8859-10"},
    {"l6", "ISO-8859-10"},
    {"latin6", "ISO-8859-10"},
    {"iso-8859-13", "ISO-8859-13"},
    {"iso8859-13", "ISO-8859-13"},
    {"iso885913", "ISO-8859-13"},
    {"iso-8859-14", "ISO-8859-14"},
    {"iso8859-14", "ISO-8859-14"},
    {"iso885914", "ISO-8859-14"},
    {"csisolatin9", "ISO-8859-15"},
    {"iso-8859-15", "ISO-8859-15"},
    {"iso8859-15", "ISO-8859-15"},
    {"iso885915", "ISO-8859-15"},
    {"iso_8859-15", "ISO-8859-15"},
    {"l9", "ISO-8859-15"},
    {"iso-8859-16", "ISO-8859-16"},
    {"cskoi8r", "KOI8-R"},
    {"koi", "KOI8-R"},
    {"koi8", "KOI8-R"},
    {"koi8-r", "KOI8-R"},
    {"koi8_r", "KOI8-R"},
    {"koi8-ru", "KOI8-U"},
    {"koi8-u", "KOI8-U"},
    {"csmacintosh", "macintosh"},
    {"mac", "macintosh"},
    {"macintosh", "macintosh"},
    {"x-mac-roman", "macintosh"},
    {"dos-874", "windows-874"},
    {"iso-8859-11", "windows-874"},
    {"iso8859-11", "windows-874"},
    {"iso885911", "windows-874"},
    {"tis-620", "windows-874"},
    {"windows-874", "windows-874"},
    {"cp1250", "windows-1250"},
    {"windows-1250", "windows-1250"},
    {"x-cp1250", "windows-1250"},
    {"cp1251", "windows-1251"},
    {"windows-1251", "windows-1251"},
    {"x-cp1251", "windows-1251"},
    {"ansi_x3.4-1968", "windows-1252"},
    {"ascii", "windows-1252"},
    {"cp1252", "windows-1252"},
    {"cp819", "windows-1252"},
    {"csisolatin1", "windows-1252"},
    {"ibm819", "windows-1252"},
    {"iso-8859-1", "windows-1252"},
    {"iso-ir-100", "windows-1252"},
    {"iso8859-1", "windows-1252"},
    {"iso88591", "windows-1252"},
    {"iso_8859-1", "windows-1252"},
    {"iso_8859-1:1987", "windows-1252"},
    {"l1", "windows-1252"},
    {"latin1", "windows-1252"},
    {"us-ascii", "windows-1252"},
    {"windows-1252", "windows-1252"},
    {"x-cp1252", "windows-1252"},
    {"cp1253", "windows-1253"},
    {"windows-1253", "windows-1253"},
    {"x-cp1253", "windows-1253"},
    {"cp1254", "windows-1254"},
    {"csisolatin5", "windows-1254"},
    {"iso-8859-9", "windows-1254"},
    {"iso-ir-148", "windows-1254"},
    {"iso8859-9", "windows-1254"},
    {"iso88599", "windows-1254"},
    {"iso_8859-9", "windows-1254"},
    {"iso_8859-9:1989", "windows-1254"},
    {"l5", "windows-1254"},
    {"latin5", "windows-1254"},
    {"windows-1254", "windows-1254"},
    {"x-cp1254", "windows-1254"},
    {"cp1255", "windows-1255"},
    {"windows-1255", "windows-1255"},
    {"x-cp1255", "windows-1255"},
    {"cp1256", "windows-1256"},
    {"windows-1256", "windows-1256"},
    {"x-cp1256", "windows-1256"},
    {"cp1257", "windows-1257"},
    {"windows-1257", "windows-1257"},
    {"x-cp1257", "windows-1257"},
    {"cp1258", "windows-1258"},
    {"windows-1258", "windows-1258"},
    {"x-cp1258", "windows-1258"},
    {"x-mac-cyrillic", "x-mac-cyrillic"},
    {"x-mac-ukrainian", "x-mac-cyrillic"},
    {"chinese", "GBK"},
    {"csgb2312", "GBK"},
    {"csiso58gb231280", "GBK"},
    {"gb2312", "GBK"},
    {"gb_2312", "GBK"},
    {"gb_2312-80", "GBK"},
    {"gbk", "GBK"},
    {"iso-ir-58", "GBK"},
    {"x-gbk", "GBK"},
    {"gb18030", "gb18030"},
    {"big5", "Big5"},
    {"big5-hkscs", "Big5"},
    {"cn-big5", "Big5"},
    {"csbig5", "Big5"},
    {"x-x-big5", "Big5"},
    {"cseucpkdfmtjapanese", "EUC-JP"},
    {"euc-jp", "EUC-JP"},
    {"x-euc-jp", "EUC-JP"},
    {"csiso2022jp", "ISO-2022-JP"},
    {"iso-2022-jp", "ISO-2022-JP"},
    {"csshiftjis", "Shift_JIS"},
    {"ms932", "Shift_JIS"},
    {"ms_kanji", "Shift_JIS"},
    {"shift-jis", "Shift_JIS"},
    {"shift_jis", "Shift_JIS"},
    {"sjis", "Shift_JIS"},
    {"windows-31j", "Shift_JIS"},
    {"x-sjis", "Shift_JIS"},
    {"cseuckr", "EUC-KR"},
    {"csksc56011987", "EUC-KR"},
    {"euc-kr", "EUC-KR"},
    {"iso-ir-149", "EUC-KR"},
    {"korean", "EUC-KR"},
    {"ks_c_5601-1987", "EUC-KR"},
    {"ks_c_5601-1989", "EUC-KR"},
    {"ksc5601", "EUC-KR"},
    {"ksc_5601", "EUC-KR"},
    {"windows-949", "EUC-KR"},
    {"csiso2022kr", "replacement"},
    {"hz-gb-2312", "replacement"},
    {"iso-2022-cn", "replacement"},
    {"iso-2022-cn-ext", "replacement"},
    {"iso-2022-kr", "replacement"},
    {"replacement", "replacement"},
    {"unicodefffe", "UTF-16BE"},
    {"utf-16be", "UTF-16BE"},
    {"csunicode", "UTF-16LE"},
    {"iso-10646-ucs-2", "UTF-16LE"},
    {"ucs-2", "UTF-16LE"},
    {"unicode", "UTF-16LE"},
    {"unicodefeff", "UTF-16LE"},
    {"utf-16", "UTF-16LE"},
    {"utf-16le", "UTF-16LE"},
    {"x-user-defined", "x-user-defined"},
};

// The ICU converter that decodes each encoding as browsers decode it.
const char* IcuName(std::string_view encoding) {
    if (encoding == "ISO-8859-8-I")
        return "ISO-8859-8";
    if (encoding == "GBK")
        return "gb18030"; // browsers decode GBK with the gb18030 decoder
    if (encoding == "Big5")
        return "Big5-HKSCS";
    if (encoding == "Shift_JIS")
        return "windows-31j";
    if (encoding == "EUC-KR")
        return "windows-949";
    if (encoding == "IBM866")
        return "ibm-866";
    return nullptr; // the encoding's own name
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
    if (text.size() - std::min(at, text.size()) < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != prefix[i])
            return false;
    return true;
}

std::string_view BomEncoding(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return "UTF-8";
    if (bytes.substr(0, 2) == "\xFE\xFF")
        return "UTF-16BE";
    if (bytes.substr(0, 2) == "\xFF\xFE")
        return "UTF-16LE";
    return {};
}

// The value after "charset" in a meta content attribute ("text/html; charset=koi8-r").
std::string CharsetFromContent(std::string_view content) {
    size_t i = 0;
    while (true) {
        size_t found = std::string_view::npos;
        for (size_t j = i; j + 7 <= content.size(); ++j)
            if (StartsWithNoCase(content, j, "charset")) {
                found = j;
                break;
            }
        if (found == std::string_view::npos)
            return {};
        i = found + 7;
        while (i < content.size() && IsSpace(content[i]))
            ++i;
        if (i < content.size() && content[i] == '=')
            break;
        // "charset" not followed by '=': look further on
    }
    ++i;
    while (i < content.size() && IsSpace(content[i]))
        ++i;
    if (i >= content.size())
        return {};
    if (content[i] == '"' || content[i] == '\'') {
        const size_t close = content.find(content[i], i + 1);
        if (close == std::string_view::npos)
            return {};
        return std::string(content.substr(i + 1, close - i - 1));
    }
    size_t end = i;
    while (end < content.size() && !IsSpace(content[end]) && content[end] != ';')
        ++end;
    return std::string(content.substr(i, end - i));
}

struct Attribute {
    std::string Name, Value;
};

// Reads one attribute of a tag at pos in the way the encoding prescan does; false
// at the tag's end. Without an attribute to fill, it is only passed over.
bool NextAttribute(std::string_view s, size_t& pos, Attribute* kept) {
    Attribute skipped;
    Attribute& attribute = kept ? *kept : skipped;
    const auto add = [&](std::string& to, char c) {
        if (kept)
            to += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    };
    attribute = {};
    while (pos < s.size() && (IsSpace(s[pos]) || s[pos] == '/'))
        ++pos;
    if (pos >= s.size() || s[pos] == '>')
        return false;
    for (const size_t nameStart = pos;;) {
        if (pos >= s.size())
            return true;
        const char c = s[pos];
        if (c == '=' && pos > nameStart) {
            ++pos;
            break;
        }
        if (IsSpace(c)) {
            while (pos < s.size() && IsSpace(s[pos]))
                ++pos;
            if (pos < s.size() && s[pos] == '=') {
                ++pos;
                break;
            }
            return true;
        }
        if (c == '/' || c == '>')
            return true;
        add(attribute.Name, c);
        ++pos;
    }
    while (pos < s.size() && IsSpace(s[pos]))
        ++pos;
    if (pos >= s.size())
        return true;
    if (s[pos] == '"' || s[pos] == '\'') {
        const char quote = s[pos++];
        while (pos < s.size() && s[pos] != quote)
            add(attribute.Value, s[pos++]);
        if (pos < s.size())
            ++pos;
        return true;
    }
    if (s[pos] == '>')
        return true;
    while (pos < s.size() && !IsSpace(s[pos]) && s[pos] != '>')
        add(attribute.Value, s[pos++]);
    return true;
}

// The encoding a <meta> in the first 1,024 bytes declares, or empty.
std::string PrescanMeta(std::string_view bytes) {
    const std::string_view s = bytes.substr(0, 1024);
    // only a <meta> tag gives an answer: without one, nothing needs reading
    bool meta = false;
    for (size_t at = s.find('<'); at != std::string_view::npos && !meta; at = s.find('<', at + 1))
        meta = StartsWithNoCase(s, at, "<meta");
    if (!meta)
        return {};
    size_t pos = 0;
    while (pos < s.size()) {
        if (s.compare(pos, 4, "<!--") == 0) {
            const size_t end = s.find("-->", pos + 2);
            if (end == std::string_view::npos)
                return {};
            pos = end + 3;
            continue;
        }
        if (StartsWithNoCase(s, pos, "<meta") && pos + 5 < s.size() &&
            (IsSpace(s[pos + 5]) || s[pos + 5] == '/')) {
            pos += 6;
            std::vector<std::string> seen;
            bool gotPragma = false;
            int needPragma = -1; // -1 unknown, 0 no, 1 yes
            std::string charset;
            Attribute attribute;
            while (NextAttribute(s, pos, &attribute)) {
                if (std::find(seen.begin(), seen.end(), attribute.Name) != seen.end())
                    continue;
                seen.push_back(attribute.Name);
                if (attribute.Name == "http-equiv") {
                    if (attribute.Value == "content-type")
                        gotPragma = true;
                } else if (attribute.Name == "content") {
                    if (charset.empty()) {
                        const std::string found =
                            EncodingForLabel(CharsetFromContent(attribute.Value));
                        if (!found.empty()) {
                            charset = found;
                            needPragma = 1;
                        }
                    }
                } else if (attribute.Name == "charset") {
                    charset = EncodingForLabel(attribute.Value);
                    needPragma = 0;
                }
            }
            if (needPragma == -1 || (needPragma == 1 && !gotPragma) || charset.empty())
                continue;
            if (charset == "UTF-16BE" || charset == "UTF-16LE")
                return "UTF-8";
            if (charset == "x-user-defined")
                return "windows-1252";
            return charset;
        }
        if (s[pos] == '<' && pos + 1 < s.size() &&
            (std::isalpha(static_cast<unsigned char>(s[pos + 1])) ||
             (s[pos + 1] == '/' && pos + 2 < s.size() &&
              std::isalpha(static_cast<unsigned char>(s[pos + 2]))))) {
            // another tag: its name, then its attributes, are skipped
            while (pos < s.size() && !IsSpace(s[pos]) && s[pos] != '>')
                ++pos;
            while (NextAttribute(s, pos, nullptr)) {
            }
            continue;
        }
        if (s.compare(pos, 2, "<!") == 0 || s.compare(pos, 2, "</") == 0 ||
            s.compare(pos, 2, "<?") == 0) {
            const size_t end = s.find('>', pos + 2);
            if (end == std::string_view::npos)
                return {};
            pos = end + 1;
            continue;
        }
        // only a "<" starts what is looked for
        pos = s.find('<', pos + 1);
    }
    return {};
}

std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(nullptr, 0, &length, reinterpret_cast<const UChar*>(text.data()),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    out.resize(static_cast<size_t>(length));
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), length, &length, reinterpret_cast<const UChar*>(text.data()),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    return out;
}

} // namespace

std::string EncodingForLabel(std::string_view label) {
    while (!label.empty() && IsSpace(label.front()))
        label.remove_prefix(1);
    while (!label.empty() && IsSpace(label.back()))
        label.remove_suffix(1);
    if (label.empty() || label.size() > 32)
        return {};
    const std::string lower = Lower(label);
    for (const Label& entry : Labels)
        if (lower == entry.Name)
            return entry.Encoding;
    return {};
}

std::string CharsetParameter(std::string_view contentType) {
    // parameters after the first ';', "name=value" or name="value"
    size_t pos = contentType.find(';');
    while (pos != std::string_view::npos && pos < contentType.size()) {
        ++pos;
        while (pos < contentType.size() && IsSpace(contentType[pos]))
            ++pos;
        const size_t equals = contentType.find('=', pos);
        const size_t next = contentType.find(';', pos);
        if (equals == std::string_view::npos || (next != std::string_view::npos && next < equals)) {
            pos = next;
            continue;
        }
        std::string_view name = contentType.substr(pos, equals - pos);
        while (!name.empty() && IsSpace(name.back()))
            name.remove_suffix(1);
        size_t v = equals + 1;
        std::string value;
        if (v < contentType.size() && contentType[v] == '"') {
            const size_t close = contentType.find('"', v + 1);
            value = std::string(contentType.substr(
                v + 1, (close == std::string_view::npos ? contentType.size() : close) - v - 1));
            pos = close == std::string_view::npos ? close : contentType.find(';', close);
        } else {
            value = std::string(contentType.substr(
                v, (next == std::string_view::npos ? contentType.size() : next) - v));
            while (!value.empty() && IsSpace(value.back()))
                value.pop_back();
            pos = next;
        }
        if (Lower(name) == "charset")
            return value;
    }
    return {};
}

std::string SniffTextEncoding(std::string_view bytes, std::string_view contentType) {
    if (const std::string_view bom = BomEncoding(bytes); !bom.empty())
        return std::string(bom);
    if (std::string declared = EncodingForLabel(CharsetParameter(contentType)); !declared.empty())
        return declared;
    return IsValidUtf8(bytes) ? "UTF-8" : "windows-1252";
}

std::string SniffHtmlEncoding(std::string_view bytes, std::string_view contentType) {
    if (const std::string_view bom = BomEncoding(bytes); !bom.empty())
        return std::string(bom);
    if (std::string declared = EncodingForLabel(CharsetParameter(contentType)); !declared.empty())
        return declared;
    if (std::string meta = PrescanMeta(bytes); !meta.empty())
        return meta;
    return IsValidUtf8(bytes) ? "UTF-8" : "windows-1252";
}

std::string DecodeToUtf8(std::string_view bytes, std::string_view encoding) {
    const std::string_view bom = BomEncoding(bytes);
    if (!bom.empty() && bom == encoding)
        bytes.remove_prefix(bom == "UTF-8" ? 3 : 2);
    if (encoding == "UTF-8" && IsValidUtf8(bytes))
        return std::string(bytes);
    if (encoding == "replacement")
        return bytes.empty() ? std::string() : std::string("\xEF\xBF\xBD");
    if (encoding == "x-user-defined") {
        std::u16string text;
        text.reserve(bytes.size());
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            text += b < 0x80 ? char16_t(b) : char16_t(0xF780 + b - 0x80);
        }
        return Utf16ToUtf8(text);
    }
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii && encoding != "UTF-16BE" && encoding != "UTF-16LE" && encoding != "ISO-2022-JP")
        return std::string(bytes);
    const std::string name(encoding);
    const char* icu = IcuName(encoding);
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(icu ? icu : name.c_str(), &status);
    if (U_FAILURE(status) || !converter) {
        if (converter)
            ucnv_close(converter);
        if (encoding == "windows-1252")
            return ToUtf8(bytes);
        return DecodeToUtf8(bytes, "windows-1252");
    }
    std::unique_ptr<UConverter, void (*)(UConverter*)> owner(converter, ucnv_close);
    std::u16string text(bytes.size() * 2 + 16, u'\0');
    status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()),
                                         static_cast<int32_t>(text.size()), bytes.data(),
                                         static_cast<int32_t>(bytes.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        text.assign(static_cast<size_t>(length), u'\0');
        status = U_ZERO_ERROR;
        ucnv_resetToUnicode(converter);
        ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()),
                      static_cast<int32_t>(text.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &status);
    }
    if (U_FAILURE(status))
        return RepairUtf8(bytes);
    text.resize(static_cast<size_t>(length));
    return Utf16ToUtf8(text);
}

std::string DecodeHtml(std::string_view bytes, std::string_view contentType) {
    return DecodeToUtf8(bytes, SniffHtmlEncoding(bytes, contentType));
}

} // namespace vantora
