#pragma once
// The Sitecensus audit: one report over the project's site map and the
// results every tool stored, written to a report sink without a window.
#include "AuditOptions.h"
#include "ProjectData.h"
#include "ReportSink.h"

#include <QDateTime>
#include <QLocale>

namespace vantora {

class SiteTree;

// Writes the audit below whatever the sink already holds (clearing it first
// is the caller's choice). now gives the title's date and time and the
// window for two-digit years; locale the date and time formats and the
// order of URLs. Anything that cannot be read on the way ends the report
// with the truncation warning; the project is never changed. tree, when
// given, is the site map tree built from the project's SiteMapLines (sorted
// or not), read instead of building one; it must not change meanwhile.
void WriteAuditReport(const ProjectData& project, const AuditOptions& options, const QDateTime& now,
                      const QLocale& locale, ReportSink& sink, const SiteTree* tree = nullptr);

// "Sitecensus - Report, created " + date and time (the time left out at
// exactly midnight).
QString AuditTitle(const QDateTime& now, const QLocale& locale);

} // namespace vantora
