#include "AnswerText.h"

#include "PageText.h"

namespace vantora {

std::string BlankLineBreaks(std::string_view text) {
    std::string s = RepairUtf8(text);
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto u = static_cast<unsigned char>(s[i]);
        if (u < 32 || u == 127) {
            out += ' ';
        } else if (u == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) {
            // U+0080..U+009F: the C1 controls, NEL (U+0085) among them.
            out += ' ';
            ++i;
        } else if (u == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(s[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(s[i + 2]) == 0xA9)) {
            // U+2028 LINE SEPARATOR and U+2029 PARAGRAPH SEPARATOR.
            out += ' ';
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string CleanItem(std::string_view text, std::size_t maxPoints) {
    std::string s = BlankLineBreaks(text);
    for (char& c : s) {
        if (c == '<')
            c = '[';
        else if (c == '>')
            c = ']';
    }
    s = CollapseSpace(s);
    if (CodePointCount(s) > maxPoints)
        s = CutCodePoints(s, maxPoints > 3 ? maxPoints - 3 : maxPoints) + "...";
    return s;
}

namespace {

std::string_view Replacement(std::string_view word) {
    if (word == "PERCENTAGE")
        return "Percentage";
    if (word == "PROBLEM")
        return "Problem";
    if (word == "ERROR")
        return "Error";
    if (word == "NO-SPAM")
        return "No-spam";
    if (word == "Unspecified Host or Keywords")
        return "unspecified host or keywords";
    return {};
}

} // namespace

std::string DefuseWords(std::string_view text, std::initializer_list<std::string_view> words) {
    std::string s(text);
    for (const auto from : words) {
        const std::string_view to = Replacement(from);
        if (to.empty())
            continue;
        for (std::size_t pos = s.find(from); pos != std::string::npos;
             pos = s.find(from, pos + to.size()))
            s.replace(pos, from.size(), to);
    }
    return s;
}

std::string DefuseMarkers(std::string_view text) {
    return DefuseWords(
        text, {"PERCENTAGE", "PROBLEM", "ERROR", "NO-SPAM", "Unspecified Host or Keywords"});
}

std::string Noun(std::size_t count, std::string_view singular, std::string_view plural) {
    if (count == 1)
        return std::string(singular);
    return plural.empty() ? std::string(singular) + "s" : std::string(plural);
}

std::string JoinAnswer(std::string_view marker, std::string_view separator,
                       const std::vector<std::string>& items) {
    std::string out(marker);
    out += separator;
    for (const auto& item : items) {
        out += item;
        out += "<br>";
    }
    return out;
}

} // namespace vantora
