#include "ConfigEdit.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>
#include <vector>

namespace vantora {

namespace {

struct Line {
    std::size_t Start; // offset of the line in the text
    std::size_t End;   // offset after its '\n' (or the text's end)
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        const std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back({start, end});
        start = end;
    }
    return lines;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// A table or key name with its quotes and blanks dropped ("search . \"a\"" -> search.a).
std::string Bare(std::string_view s) {
    std::string out;
    for (const char c : s)
        if (c != '"' && c != '\'' && c != ' ' && c != '\t')
            out += c;
    return out;
}

// The table a header line opens, if it is one ("[[...]]" arrays of tables
// count as headers too, so that their keys are never taken for another's).
std::optional<std::string> Header(std::string_view line) {
    line = Trimmed(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const bool array = line.size() > 1 && line[1] == '[';
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    const std::string name = Bare(line.substr(array ? 2 : 1, close - (array ? 2 : 1)));
    return array ? "[[" + name : name;
}

// The key a line sets, if it sets one.
std::optional<std::string> KeyOf(std::string_view line) {
    line = Trimmed(line);
    if (line.empty() || line.front() == '#' || line.front() == '[')
        return std::nullopt;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Bare(line.substr(0, eq));
}

// How many more lines a value that starts on this line takes: an array or
// inline table whose brackets close later, or a multi-line string.
std::size_t ContinuationLines(const std::string& text, const std::vector<Line>& lines,
                              std::size_t index) {
    const std::string_view first(text.data() + lines[index].Start,
                                 lines[index].End - lines[index].Start);
    const std::size_t eq = first.find('=');
    std::string_view value = Trimmed(first.substr(eq + 1));
    for (const std::string_view quotes : {std::string_view("\"\"\""), std::string_view("'''")}) {
        if (value.substr(0, 3) != quotes)
            continue;
        if (value.find(quotes, 3) != std::string_view::npos)
            return 0;
        for (std::size_t i = index + 1; i < lines.size(); ++i)
            if (std::string_view(text.data() + lines[i].Start, lines[i].End - lines[i].Start)
                    .find(quotes) != std::string_view::npos)
                return i - index;
        return lines.size() - 1 - index;
    }
    // Brackets outside strings and comments.
    int depth = 0;
    for (std::size_t i = index; i < lines.size(); ++i) {
        const std::string_view line(text.data() + lines[i].Start, lines[i].End - lines[i].Start);
        char quote = 0;
        for (std::size_t k = i == index ? eq + 1 : 0; k < line.size(); ++k) {
            const char c = line[k];
            if (quote) {
                if (c == '\\' && quote == '"')
                    ++k;
                else if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '#') {
                break;
            } else if (c == '[' || c == '{') {
                ++depth;
            } else if (c == ']' || c == '}') {
                --depth;
            }
        }
        if (depth <= 0)
            return i - index;
    }
    return lines.size() - 1 - index;
}

// The comment that ends the last line of the value starting on line index
// ("# ..." without the line break), "" when there is none. A '#' inside a
// string is no comment.
std::string TrailingComment(const std::string& text, const std::vector<Line>& lines,
                            std::size_t index) {
    const std::size_t last = index + ContinuationLines(text, lines, index);
    std::string_view line(text.data() + lines[last].Start, lines[last].End - lines[last].Start);
    std::size_t from = 0;
    if (last == index) {
        from = line.find('=') + 1;
    } else {
        // A multi-line string's last line: the comment can only follow its closing quotes.
        for (const std::string_view quotes : {std::string_view("\"\"\""), std::string_view("'''")})
            if (const std::size_t at = line.find(quotes); at != std::string_view::npos) {
                from = at + 3;
                break;
            }
    }
    char quote = 0;
    for (std::size_t k = from; k < line.size(); ++k) {
        const char c = line[k];
        if (quote) {
            if (c == '\\' && quote == '"')
                ++k;
            else if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            const std::string_view triple = c == '"' ? "\"\"\"" : "\'\'\'";
            if (line.substr(k, 3) == triple) {
                // A multi-line string closed on the same line: skip it whole.
                const std::size_t close = line.find(triple, k + 3);
                if (close == std::string_view::npos)
                    return std::string();
                k = close + 2;
            } else {
                quote = c;
            }
        } else if (c == '#') {
            return std::string(Trimmed(line.substr(k)));
        }
    }
    return std::string();
}

struct Found {
    bool TableFound = false;
    std::size_t TableLine = 0;   // the header line (0 for the top of the file)
    std::size_t InsertAfter = 0; // offset after which a new key of the table goes
    std::optional<std::size_t> KeyLine;
};

Found Find(const std::string& text, const std::vector<Line>& lines, std::string_view table,
           std::string_view key) {
    Found f;
    bool inTable = table.empty();
    f.TableFound = table.empty();
    std::size_t lastKeyEnd = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line(text.data() + lines[i].Start, lines[i].End - lines[i].Start);
        if (const auto header = Header(line)) {
            if (inTable)
                break; // the table ends where the next one begins
            inTable = *header == Bare(table);
            if (inTable) {
                f.TableFound = true;
                f.TableLine = i;
                lastKeyEnd = lines[i].End;
            }
            continue;
        }
        if (!inTable)
            continue;
        if (const auto k = KeyOf(line)) {
            const std::size_t more = ContinuationLines(text, lines, i);
            if (*k == key && !f.KeyLine)
                f.KeyLine = i;
            i += more;
            lastKeyEnd = lines[i].End;
        }
    }
    f.InsertAfter = lastKeyEnd;
    return f;
}

} // namespace

bool ConfigText::Has(std::string_view table, std::string_view key) const {
    const std::vector<Line> lines = SplitLines(Text);
    return Find(Text, lines, table, key).KeyLine.has_value();
}

void ConfigText::Set(std::string_view table, std::string_view key, std::string_view value) {
    const std::vector<Line> lines = SplitLines(Text);
    const Found f = Find(Text, lines, table, key);
    const std::string entry = std::string(key) + " = " + std::string(value) + "\n";
    if (f.KeyLine) {
        const std::size_t i = *f.KeyLine;
        const std::size_t last = i + ContinuationLines(Text, lines, i);
        const std::string_view line(Text.data() + lines[i].Start, lines[i].End - lines[i].Start);
        const std::size_t indent = line.find_first_not_of(" \t");
        // The user's note after the value stays with the new value.
        const std::string comment = TrailingComment(Text, lines, i);
        const std::string_view lastLine(Text.data() + lines[last].Start,
                                        lines[last].End - lines[last].Start);
        const bool crlf = lastLine.size() >= 2 && lastLine.substr(lastLine.size() - 2) == "\r\n";
        std::string replaced =
            std::string(line.substr(0, indent)) + std::string(key) + " = " + std::string(value);
        if (!comment.empty())
            replaced += " " + comment;
        replaced += crlf ? "\r\n" : "\n";
        Text.replace(lines[i].Start, lines[last].End - lines[i].Start, replaced);
        return;
    }
    if (f.TableFound) {
        std::size_t at = f.InsertAfter;
        std::string insert = entry;
        if (at > 0 && Text[at - 1] != '\n')
            insert = "\n" + insert;
        Text.insert(at, insert);
        return;
    }
    if (!Text.empty() && Text.back() != '\n')
        Text += '\n';
    if (!Text.empty())
        Text += '\n';
    Text += "[" + std::string(table) + "]\n" + entry;
}

void ConfigText::Remove(std::string_view table, std::string_view key) {
    const std::vector<Line> lines = SplitLines(Text);
    const Found f = Find(Text, lines, table, key);
    if (!f.KeyLine)
        return;
    const std::size_t i = *f.KeyLine;
    const std::size_t last = i + ContinuationLines(Text, lines, i);
    Text.erase(lines[i].Start, lines[last].End - lines[i].Start);
}

std::string TomlString(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

bool WriteConfigFile(const std::string& path, const std::string& text, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    const std::string temp = path + ".new-" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = "cannot write " + temp;
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    // The file may hold API keys: it keeps the old file's permissions, and a
    // new one is readable by its owner only.
    const auto perms = fs::exists(target, ec) ? fs::status(target, ec).permissions()
                                              : fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(temp, perms, ec);
    fs::rename(temp, target, ec);
    if (ec) {
        error = "cannot replace " + path + ": " + ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace vantora
