#pragma once
// Findings and page changes written as CSV (RFC 4180, a header line first)
// and as JSON arrays of objects with the same members.

#include "Compare.h"

#include <ostream>
#include <vector>

namespace vantora::health {

// check,severity,url,detail[,change]
void WriteFindingsCsv(std::ostream& out, const std::vector<ComparedFinding>& findings,
                      bool withChange);
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
