#pragma once
// Findings and page changes written as CSV (RFC 4180, a header line first)
// and as JSON arrays of objects with the same members.

#include "Compare.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::health {

// check,severity,url,detail[,change]
void WriteFindingsCsv(std::ostream& out, const std::vector<ComparedFinding>& findings,
                      bool withChange);
// The columns named (see ParseFindingColumns), in that order.
void WriteFindingsCsv(std::ostream& out, const std::vector<ComparedFinding>& findings,
                      const std::vector<std::string>& columns);
// A comma-separated list of check, severity, url, detail, link_score and
// change (only when comparing); false with a reason for an unknown or
// repeated name.
bool ParseFindingColumns(std::string_view list, bool comparing, std::vector<std::string>& columns,
                         std::string& error);
// A link score with one decimal, or unknown when it is not known.
std::string ScoreText(double score, std::string_view unknown);

// check, severity, url, detail, link_score (null when not known)[, change]
void WriteFindingsJson(std::ostream& out, const std::vector<ComparedFinding>& findings,
                       bool withChange);

// change,url,field,old,new
void WriteChangesCsv(std::ostream& out, const std::vector<PageChange>& changes);
void WriteChangesJson(std::ostream& out, const std::vector<PageChange>& changes);

// One CSV field, quoted when it holds a comma, a quote or a line break.
std::string CsvField(std::string_view text);
// A JSON string with its quotes; invalid UTF-8 is written as "?".
std::string JsonString(std::string_view text);

} // namespace vantora::health
