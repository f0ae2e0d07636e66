#include "SiteMapSelect.h"

#include "SiteMapController.h"
#include "SiteTree.h"
#include "SiteUrlIndex.h"

#include <QHash>
#include <QSet>

#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

namespace vantora {

namespace {

QString Key(const QString& url) {
    std::string buffer;
    const std::string_view key = UrlKey(url, buffer);
    return QString::fromUtf8(key.data(), qsizetype(key.size()));
}

// The start of a URL's last path segment: after the last "/" that is not
// the text's last character (a folder's segment keeps its closing "/", so
// folders are told apart too); -1 when the text is empty or only "/".
qsizetype LastSegmentStart(QStringView text) {
    const qsizetype end = text.endsWith(u'/') ? text.size() - 1 : text.size();
    if (end <= 0)
        return -1;
    return text.first(end).lastIndexOf(u'/') + 1;
}

// The last path segment of a node's full URL is the same part of its own
// caption. When that part holds only characters that normalisation leaves
// alone, it is also the last segment of the node's key, and a node whose
// segment no wanted key ends in is passed over without building its full
// URL: most nodes of a large map. Anything else (a query, an escape, a
// fragment, a blank, "." or "..", a bare host) gives no answer and the node
// is compared whole.
std::optional<QStringView> PlainLastSegment(QStringView caption) {
    const qsizetype start = LastSegmentStart(caption);
    const qsizetype scheme = caption.indexOf(QLatin1String("://"));
    if (start < 0 || (scheme >= 0 && start < scheme + 4))
        return std::nullopt;
    const QStringView segment = caption.mid(start);
    QStringView name = segment;
    if (name.endsWith(u'/'))
        name.chop(1);
    if (name.isEmpty() || name == u"." || name == u"..")
        return std::nullopt;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'_' &&
            c != u'~')
            return std::nullopt;
    return segment;
}

} // namespace

std::vector<int> FindNodesByUrl(const SiteTree& tree, const QStringList& urls) {
    // Held as QStrings so a node's URL is looked up as the tree has it, and
    // its last segment without a copy.
    struct ViewHash {
        size_t operator()(QStringView text) const { return qHash(text); }
    };
    // The normal forms of many URLs take a while: a second thread works out
    // half of them.
    const qsizetype half = urls.size() > 20000 ? urls.size() / 2 : urls.size();
    std::vector<QString> keys(size_t(urls.size()));
    const auto normalise = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            keys[size_t(i)] = Key(urls[i]);
    };
    std::thread helper;
    if (half < urls.size())
        helper = std::thread(normalise, half, urls.size());
    normalise(0, half);
    if (helper.joinable())
        helper.join();
    QSet<QString> wanted;
    wanted.reserve(urls.size());
    std::vector<QString> segmentTexts;
    segmentTexts.reserve(keys.size());
    for (const QString& key : keys) {
        segmentTexts.push_back(key.mid(qMax(qsizetype(0), LastSegmentStart(key))));
        wanted.insert(key);
    }
    const std::unordered_set<QStringView, ViewHash> lastSegments(segmentTexts.begin(),
                                                                 segmentTexts.end());
    std::vector<int> found;
    tree.ForEachFullUrl(
        [&](int node) {
            // Every node, broken links too: they are shown where they are.
            const std::optional<QStringView> segment = PlainLastSegment(tree.Caption(node));
            return !segment || lastSegments.count(*segment) > 0;
        },
        [&](int node, const QString& url) {
            // Most URLs in the map are written as the crawl writes them, so
            // the URL as it stands is tried before its normal form is worked
            // out (the normal form of a normal URL is the URL itself).
            if (wanted.contains(url) || wanted.contains(Key(url)))
                found.push_back(node);
        });
    return found;
}

int SelectNodesByUrl(SiteMapController& control, const QStringList& urls, QModelIndex* first) {
    // The index answers once it is built; until then (a large tree just
    // replaced, its build not done within the wait) every node is walked.
    std::optional<std::vector<int>> indexed = control.UrlIndex().Find(control.Tree(), urls);
    const std::vector<int> found =
        indexed ? std::move(*indexed) : FindNodesByUrl(control.Tree(), urls);
    const QModelIndex firstIndex =
        found.empty() ? QModelIndex() : control.Model()->IndexOf(found.front());
    control.SelectOnly(found, firstIndex);
    if (first)
        *first = firstIndex;
    return int(found.size());
}

} // namespace vantora
