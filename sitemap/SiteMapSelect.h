#pragma once
// Selecting site map nodes by URL, for pages that other parts of the program
// list (the site-health findings): the tools then run on them.
#include <QModelIndex>
#include <QStringList>

#include <vector>

namespace vantora {

class SiteMapController;
class SiteTree;

// The nodes whose full URLs are among urls, compared as the crawl writes URLs
// (scheme and host in lower case, default port and fragment dropped), in
// view order.
std::vector<int> FindNodesByUrl(const SiteTree& tree, const QStringList& urls);

// Selects the nodes FindNodesByUrl names; every other node is deselected. Returns how many nodes
// were selected; first, when given, receives the first of them in view order.
int SelectNodesByUrl(SiteMapController& control, const QStringList& urls,
                     QModelIndex* first = nullptr);

} // namespace vantora
