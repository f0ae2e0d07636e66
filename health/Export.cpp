#include "Export.h"

#include "PageText.h"

#include <cstdio>

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
            << ", \"detail\": " << JsonString(row.Item.Detail);
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
