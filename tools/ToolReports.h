#pragma once
// The reports of the five on-line tools: one body writer per tool inside the
// shared report frame, over any report sink.
#include "ToolKind.h"

class QString;

namespace vantora {

class ReportSink;
class ToolArchive;

// Writes the report of stored result index: the tool's heading with the
// date added, its body lines, "End of Report" (or the truncation ending when
// the body is shorter than its format). clearFirst empties the sink before.
// Returns false when the index does not exist or the report was truncated.
bool WriteStoredReport(const ToolArchive& archive, int index, ReportSink& sink, bool clearFirst);

// Whether a Wordweigh intake holds all that its report and the audit read:
// a percentage, and a report that is written whole. Other tools' answers
// are taken as they come.
bool AnswerIsWhole(ToolKind kind, const QString& page, const QString& body,
                   const QString& percentage);

// Appends the lines for an answer that lacks part of what its report reads
// and so was not stored, in plain Arial 10, without a frame.
void WriteIncomplete(ToolKind kind, const QString& page, ReportSink& sink);

// Appends the tool's message for a page the server could not open, in plain
// Arial 10, without a frame; reason is the server's own, when it gave one.
void WriteNotOpened(ToolKind kind, ReportSink& sink, const QString& reason = QString());

// The bullet that starts Enginepost's and Backwatch's result lines.
inline constexpr char16_t Bullet = u'\u2022';

} // namespace vantora
