#pragma once
// The audit's index of site URLs: each distinct node URL of the site map
// tree once, with the first node (in depth-first order) that gives it, in
// ascending order of the entry text URL + " <INDEX>" + node index, compared
// without regard to case by the locale's collation.
#include "SiteTree.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

namespace vantora {

struct SiteUrlEntry {
    QString Url;
    int Node = -1;
};

// A node's URL for sorting and de-duplication: its caption when that holds
// "://", otherwise its full URL in the tree.
QString AuditNodeUrl(const SiteTree& tree, int node);

// Every node's URL, by node index.
std::vector<QString> AuditNodeUrls(const SiteTree& tree);

// The index, built with a hash set for the URLs already present and one
// stable sort on collation keys; nodeUrls as AuditNodeUrls gives them.
std::vector<SiteUrlEntry> BuildSiteUrlIndex(const std::vector<QString>& nodeUrls,
                                            const QLocale& locale);
std::vector<SiteUrlEntry> BuildSiteUrlIndex(const SiteTree& tree, const QLocale& locale);

// The same index built the plain way (each node URL compared with every entry
// present, then inserted at its place found by bisection), as entry texts.
// Kept to check the fast build against and to measure it.
QStringList BuildSiteUrlIndexByScan(const SiteTree& tree, const QLocale& locale);

// "URL <INDEX>n".
QString SiteUrlEntryText(const SiteUrlEntry& entry);

} // namespace vantora
