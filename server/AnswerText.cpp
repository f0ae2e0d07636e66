#include "AnswerText.h"

#include "PageText.h"

namespace vantora {

std::string CleanItem(std::string_view text, std::size_t maxPoints) {
    std::string s = RepairUtf8(text);
    for (char& c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127)
            c = ' ';
        else if (c == '<')
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
