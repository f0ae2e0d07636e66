#include "SiteMapSelect.h"

#include "Site.h"
#include "SiteMapController.h"
#include "SiteTree.h"

#include <QItemSelection>
#include <QSet>

#include <algorithm>
#include <optional>
#include <vector>

#include <unordered_set>

namespace vantora {

namespace {

std::string Key(const QString& url) {
    std::string text = url.trimmed().toStdString();
    if (text.find("://") == std::string::npos)
        text = "http://" + text;
    return health::NormalUrl(text);
}

// The last path segment of a node's full URL is the part of its own caption
// after its last "/". When that part holds only characters that
// normalisation leaves alone, it is also the last segment of the node's key,
// and a node whose segment no wanted key ends in is passed over without
// building its full URL: most nodes of a large map. Anything else (a query,
// an escape, a fragment, a blank, "." or "..", a bare host) gives no answer
// and the node is compared whole.
std::optional<QStringView> PlainLastSegment(const QString& caption) {
    const qsizetype slash = caption.lastIndexOf(u'/');
    const qsizetype scheme = caption.indexOf(QLatin1String("://"));
    if (scheme >= 0 && slash < scheme + 3)
        return std::nullopt;
    const QStringView segment = QStringView(caption).mid(slash + 1);
    if (segment == u"." || segment == u"..")
        return std::nullopt;
    for (const QChar c : segment)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'_' &&
            c != u'~')
            return std::nullopt;
    return segment;
}

} // namespace

int SelectNodesByUrl(SiteMapController& control, const QStringList& urls, QModelIndex* first) {
    std::unordered_set<std::string> wanted;
    QSet<QString> lastSegments;
    for (const QString& url : urls) {
        std::string key = Key(url);
        const size_t slash = key.rfind('/');
        lastSegments.insert(
            QString::fromStdString(key.substr(slash == std::string::npos ? 0 : slash + 1)));
        wanted.insert(std::move(key));
    }
    struct Found {
        int Parent, Row, Node;
    };
    const SiteTree& tree = control.Tree();
    std::vector<Found> found;
    for (const int node : tree.DisplayOrder()) {
        // Every node, broken links too: they are shown where they are.
        const std::optional<QStringView> segment = PlainLastSegment(tree.Caption(node));
        if (segment && !lastSegments.contains(segment->toString()))
            continue;
        if (wanted.count(Key(tree.FullUrl(node, node))))
            found.push_back({tree.Parent(node), tree.Row(node), node});
    }
    const QModelIndex firstIndex =
        found.empty() ? QModelIndex() : control.Model()->IndexOf(found.front().Node);
    // Siblings next to each other become one range: the view handles each
    // range on its own, and a selection of most of a large map would
    // otherwise take it many seconds.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.Parent != b.Parent ? a.Parent < b.Parent : a.Row < b.Row;
    });
    QItemSelection selection;
    for (size_t at = 0; at < found.size();) {
        size_t end = at + 1;
        while (end < found.size() && found[end].Parent == found[at].Parent &&
               found[end].Row == found[end - 1].Row + 1)
            ++end;
        selection.append(QItemSelectionRange(control.Model()->IndexOf(found[at].Node),
                                             control.Model()->IndexOf(found[end - 1].Node)));
        at = end;
    }
    const int count = int(found.size());
    control.Selection()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (firstIndex.isValid())
        control.Selection()->setCurrentIndex(firstIndex, QItemSelectionModel::NoUpdate);
    if (first)
        *first = firstIndex;
    return count;
}

} // namespace vantora
