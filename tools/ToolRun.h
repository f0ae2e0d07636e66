#pragma once
// What the five on-line tools share between their input and their report:
// queueing a run's requests, the time stamp of a stored result, filing an
// answer in the tool's archive and the old-report list's item text.
#include "AnswerIntake.h"
#include "ToolKind.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace vantora {

class ToolArchive;
class WindowHost;

// Appends one queue entry per request URL, tagged with the tool's number,
// and starts the transport with the project's proxy when it is idle; a run
// already in flight keeps going and these entries wait behind it.
void QueueRequests(WindowHost& host, ToolKind kind, const QStringList& urls);

// "Date and time added": the locale's short date, one blank, the locale's
// long time without a time-zone name; the time is left out at exactly
// midnight.
QString DateAdded(const QDateTime& when, const QLocale& locale = QLocale());

// Where a filed answer went: the index of the older result of the same page
// that was removed (-1 for none) and the index of the new entry.
struct Filed {
    int Removed = -1;
    int Index = -1;
};

// Files a stored intake: unless leave is on, the first older result of the
// same page is removed; the new entry goes to the end.
Filed FileAnswer(ToolArchive& archive, const Intake& intake, const QString& dateAdded, bool leave);

// An old-report list item: the page URL, ", added " and the date added.
QString OldReportText(const ToolArchive& archive, int index);

} // namespace vantora
