#include "Export.h"

#include "PageText.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace vantora::health {

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonString(std::string_view text) {
    const std::string valid = RepairUtf8(text);
    std::string out = "\"";
    for (const char c : valid) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string ScoreText(double score, std::string_view unknown) {
    if (score < 0)
        return std::string(unknown);
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", score);
    return text;
}

bool ParseFindingColumns(std::string_view list, bool comparing, std::vector<std::string>& columns,
                         std::string& error) {
    columns.clear();
    static constexpr std::string_view Known[] = {"check",  "severity",   "url",
                                                 "detail", "link_score", "change"};
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        const std::string name(list.substr(at, comma - at));
        at = comma + 1;
        if (std::find(std::begin(Known), std::end(Known), name) == std::end(Known)) {
            error = "unknown column \"" + name +
                    "\" (columns: check, severity, url, detail, link_score, change)";
            return false;
        }
        if (name == "change" && !comparing) {
            error = "the column change needs --compare";
            return false;
        }
        if (std::find(columns.begin(), columns.end(), name) != columns.end()) {
            error = "the column " + name + " is named twice";
            return false;
        }
        columns.push_back(name);
    }
    return true;
}

void WriteFindingsCsv(std::ostream& out, const std::vector<ComparedFinding>& findings,
                      const std::vector<std::string>& columns) {
    for (std::size_t i = 0; i < columns.size(); ++i)
        out << (i ? "," : "") << columns[i];
    out << "\n";
    for (const ComparedFinding& row : findings) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::string& column = columns[i];
            if (i)
                out << ',';
            if (column == "check")
                out << CsvField(row.Item.Check);
            else if (column == "severity")
                out << SeverityName(row.Item.Level);
            else if (column == "url")
                out << CsvField(row.Item.Url);
            else if (column == "detail")
                out << CsvField(row.Item.Detail);
            else if (column == "link_score")
                out << ScoreText(row.Item.LinkScore, "");
            else if (column == "change")
                out << ChangeName(row.How);
        }
        out << "\n";
    }
}

void WriteFindingsCsv(std::ostream& out, const std::vector<ComparedFinding>& findings,
                      bool withChange) {
    out << "check,severity,url,detail" << (withChange ? ",change" : "") << "\n";
    for (const ComparedFinding& row : findings) {
        out << CsvField(row.Item.Check) << ',' << SeverityName(row.Item.Level) << ','
            << CsvField(row.Item.Url) << ',' << CsvField(row.Item.Detail);
        if (withChange)
            out << ',' << ChangeName(row.How);
        out << "\n";
    }
}

void WriteFindingsJson(std::ostream& out, const std::vector<ComparedFinding>& findings,
                       bool withChange) {
    out << "[";
    bool first = true;
    for (const ComparedFinding& row : findings) {
        out << (first ? "\n" : ",\n") << "  {\"check\": " << JsonString(row.Item.Check)
            << ", \"severity\": \"" << SeverityName(row.Item.Level)
            << "\", \"url\": " << JsonString(row.Item.Url)
            << ", \"detail\": " << JsonString(row.Item.Detail)
            << ", \"link_score\": " << ScoreText(row.Item.LinkScore, "null");
        if (withChange)
            out << ", \"change\": \"" << ChangeName(row.How) << "\"";
        out << "}";
        first = false;
    }
    out << (first ? "]\n" : "\n]\n");
}

void WriteChangesCsv(std::ostream& out, const std::vector<PageChange>& changes) {
    out << "change,url,field,old,new\n";
    for (const PageChange& row : changes)
        out << row.How << ',' << CsvField(row.Url) << ',' << row.Field << ',' << CsvField(row.Old)
            << ',' << CsvField(row.New) << "\n";
}

void WriteChangesJson(std::ostream& out, const std::vector<PageChange>& changes) {
    out << "[";
    bool first = true;
    for (const PageChange& row : changes) {
        out << (first ? "\n" : ",\n") << "  {\"change\": \"" << row.How
            << "\", \"url\": " << JsonString(row.Url) << ", \"field\": " << JsonString(row.Field)
            << ", \"old\": " << JsonString(row.Old) << ", \"new\": " << JsonString(row.New) << "}";
        first = false;
    }
    out << (first ? "]\n" : "\n]\n");
}

} // namespace vantora::health
