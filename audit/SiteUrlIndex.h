#pragma once
// The audit's index of site URLs: each distinct node URL of the site map
// tree once, with the first node (in depth-first order) that gives it, in
// ascending order of the entry text URL + " <INDEX>" + node index, compared
// without regard to case by the locale's collation.
#include "SiteTree.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <vector>

namespace vantora {

struct SiteUrlEntry {
    QStringView Url; // held by the SiteUrls the entry was built from
    int Node = -1;
};

// A node's URL for sorting and de-duplication: its caption when that holds
// "://", otherwise its full URL in the tree.
QString AuditNodeUrl(const SiteTree& tree, int node);

// The distinct URLs of a tree's nodes, each held once: ids count from 0 in
// the order of the first node that gives each URL, so that equal ids mean
// equal texts and the reverse. A URL that is a node's caption is the
// caption's text in the tree (which must stay as it is while these are
// used); the others are kept in large blocks of their own, with a table of
// ids by hash rather than a string per URL and a hash node per string: a
// million URLs take a third of the memory that way.
class SiteUrls {
  public:
    explicit SiteUrls(const SiteTree& tree);
    SiteUrls(const SiteUrls&) = delete;
    SiteUrls& operator=(const SiteUrls&) = delete;

    int Count() const { return int(Texts.size()); }
    QStringView Text(int id) const { return Texts[size_t(id)]; }
    // The first node with the URL; -1 for a URL added with Add.
    int FirstNode(int id) const { return FirstNodes[size_t(id)]; }
    int IdOfNode(int node) const { return NodeIds[size_t(node)]; }
    // The id of url, added (a copy, without a node) when no node gives it.
    int Add(QStringView url);

  private:
    // The id of url; a new one when absent, its text url itself (kept) or
    // a copy in the blocks.
    int Intern(QStringView url, int node, bool copy);
    QStringView Keep(QStringView text);
    void Grow();

    std::vector<QStringView> Texts;
    std::vector<int> FirstNodes;
    std::vector<int> NodeIds;
    std::vector<size_t> Hashes; // by id
    std::vector<int> Slots;     // ids by hash, open addressing; -1 free
    std::vector<std::unique_ptr<char16_t[]>> Blocks;
    char16_t* At = nullptr;
    size_t Left = 0;
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
