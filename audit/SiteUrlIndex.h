#pragma once
// The audit's index of site URLs: each distinct node URL of the site map
// tree once, with the first node (in depth-first order) that gives it, in
// ascending order of the entry text URL + " <INDEX>" + node index, compared
// without regard to case by the locale's collation.
#include "SiteTree.h"

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

namespace vantora {

struct SiteUrlEntry {
    QString Url;
    int Node = -1;
};

// A node's URL for sorting and de-duplication: its caption when that holds
// "://", otherwise its full URL in the tree.
QString AuditNodeUrl(const SiteTree& tree, int node);

// The distinct URLs of a tree's nodes, each held once: ids count from 0 in
// the order of the first node that gives each URL, so that equal ids mean
// equal texts and the reverse.
class SiteUrls {
  public:
    explicit SiteUrls(const SiteTree& tree);

    int Count() const { return int(Texts.size()); }
    const QString& Text(int id) const { return Texts[size_t(id)]; }
    // The first node with the URL; -1 for a URL added with Add.
    int FirstNode(int id) const { return FirstNodes[size_t(id)]; }
    int IdOfNode(int node) const { return NodeIds[size_t(node)]; }
    // The id of url, added (without a node) when no node gives it.
    int Add(const QString& url) { return Intern(url, -1); }

  private:
    int Intern(const QString& url, int node);

    std::vector<QString> Texts;
    std::vector<int> FirstNodes;
    std::vector<int> NodeIds;
    // Views into Texts, whose buffers stay in place as the vector grows.
    QHash<QStringView, int> Ids;
};

// The index over the URLs that nodes give. Without a guess it is built with
// one stable sort on collation keys. A guess holds the ids of those URLs in
// an order close to the index's (by collation of the URLs alone, say): the
// runs in which it is right are merged, one comparison for each URL when
// it is right throughout. The index is the same whatever the guess.
std::vector<SiteUrlEntry> BuildSiteUrlIndex(const SiteUrls& urls, const QLocale& locale,
                                            std::vector<int> guess = {});
std::vector<SiteUrlEntry> BuildSiteUrlIndex(const SiteTree& tree, const QLocale& locale);

// The same index built the plain way (each node URL compared with every entry
// present, then inserted at its place found by bisection), as entry texts.
// Kept to check the fast build against and to measure it.
QStringList BuildSiteUrlIndexByScan(const SiteTree& tree, const QLocale& locale);

// "URL <INDEX>n".
QString SiteUrlEntryText(const SiteUrlEntry& entry);

} // namespace vantora
