#pragma once
// Selecting site map nodes by URL, for pages that other parts of the program
// list (the site-health findings): the tools then run on them.
#include <QModelIndex>
#include <QStringList>

namespace vantora {

class SiteMapController;

// Selects the nodes whose full URLs are among urls, compared as the crawl
// writes URLs (scheme and host in lower case, default port and fragment
// dropped); every other node is deselected. Returns how many nodes were
// selected; first, when given, receives the first of them in view order.
int SelectNodesByUrl(SiteMapController& control, const QStringList& urls,
                     QModelIndex* first = nullptr);

} // namespace vantora
