#include "SiteMapSelect.h"

#include "Site.h"
#include "SiteMapController.h"

#include <QItemSelection>

#include <unordered_set>

namespace vantora {

namespace {

std::string Key(const QString& url) {
    std::string text = url.trimmed().toStdString();
    if (text.find("://") == std::string::npos)
        text = "http://" + text;
    return health::NormalUrl(text);
}

} // namespace

int SelectNodesByUrl(SiteMapController& control, const QStringList& urls, QModelIndex* first) {
    std::unordered_set<std::string> wanted;
    for (const QString& url : urls)
        wanted.insert(Key(url));
    QItemSelection selection;
    int count = 0;
    QModelIndex firstIndex;
    for (const int node : control.Tree().DisplayOrder()) {
        // Every node, broken links too: they are shown where they are.
        if (!wanted.count(Key(control.Tree().FullUrl(node, node))))
            continue;
        const QModelIndex index = control.Model()->IndexOf(node);
        if (!index.isValid())
            continue;
        selection.select(index, index);
        if (!count++)
            firstIndex = index;
    }
    control.Selection()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (firstIndex.isValid())
        control.Selection()->setCurrentIndex(firstIndex, QItemSelectionModel::NoUpdate);
    if (first)
        *first = firstIndex;
    return count;
}

} // namespace vantora
