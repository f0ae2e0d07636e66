#pragma once
// Whether a stored result of an on-line tool could check what the tool
// checks. A server that had no service to ask, whose services all failed or
// that could not read the page says so in its answer; such a result is
// neither a finding nor an absence, and the audit leaves it out.
#include "ToolKind.h"

#include <QString>

namespace vantora {

// Why the stored body could not be checked, in words; empty when it was.
// For Rankscout the body is unchecked only when none of its engines was
// checked (see RankEngineUnchecked for one engine).
QString UncheckedReason(ToolKind kind, const QString& body);

// Whether the Rankscout engine block that starts at engineAt (the index of
// its "<ENGINE>" item) ends in a position that was not checked.
bool RankEngineUnchecked(const QString& body, qsizetype engineAt);

} // namespace vantora
