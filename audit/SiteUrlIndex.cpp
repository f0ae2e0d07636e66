#include "SiteUrlIndex.h"

#include <QCollator>
#include <QSet>
#include <algorithm>

namespace vantora {

namespace {

const QString IndexTag = QStringLiteral(" <INDEX>");

QCollator EntryCollator(const QLocale& locale) {
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

QString AuditNodeUrl(const SiteTree& tree, int node) {
    const QString& caption = tree.Caption(node);
    return caption.contains(QLatin1String("://")) ? caption : tree.FullUrl(node, node);
}

QString SiteUrlEntryText(const SiteUrlEntry& entry) {
    return entry.Url + IndexTag + QString::number(entry.Node);
}

std::vector<QString> AuditNodeUrls(const SiteTree& tree) {
    std::vector<QString> urls;
    urls.reserve(size_t(tree.Count()));
    for (int node = 0; node < tree.Count(); ++node)
        urls.push_back(AuditNodeUrl(tree, node));
    return urls;
}

std::vector<SiteUrlEntry> BuildSiteUrlIndex(const SiteTree& tree, const QLocale& locale) {
    return BuildSiteUrlIndex(AuditNodeUrls(tree), locale);
}

std::vector<SiteUrlEntry> BuildSiteUrlIndex(const std::vector<QString>& nodeUrls,
                                            const QLocale& locale) {
    std::vector<SiteUrlEntry> entries;
    QSet<QString> present;
    present.reserve(qsizetype(nodeUrls.size()));
    for (int node = 0; node < int(nodeUrls.size()); ++node) {
        const QString& url = nodeUrls[size_t(node)];
        if (present.contains(url))
            continue;
        present.insert(url);
        entries.push_back({url, node});
    }
    // Inserting each entry after the ones it compares equal to, in node
    // order, is what a stable sort of the entries in node order gives.
    const QCollator collator = EntryCollator(locale);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(entries.size());
    for (const SiteUrlEntry& entry : entries)
        keys.push_back(collator.sortKey(SiteUrlEntryText(entry)));
    std::vector<int> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    std::vector<SiteUrlEntry> sorted;
    sorted.reserve(entries.size());
    for (int i : order)
        sorted.push_back(std::move(entries[size_t(i)]));
    return sorted;
}

QStringList BuildSiteUrlIndexByScan(const SiteTree& tree, const QLocale& locale) {
    const QCollator collator = EntryCollator(locale);
    QStringList index;
    for (int node = 0; node < tree.Count(); ++node) {
        const QString url = AuditNodeUrl(tree, node);
        bool found = false;
        for (const QString& entry : index) {
            if (entry.left(entry.lastIndexOf(IndexTag)) == url) {
                found = true;
                break;
            }
        }
        if (found)
            continue;
        const QString text = url + IndexTag + QString::number(node);
        qsizetype low = 0;
        qsizetype high = index.size();
        while (low < high) {
            const qsizetype mid = (low + high) / 2;
            if (collator.compare(index.at(mid), text) <= 0)
                low = mid + 1;
            else
                high = mid;
        }
        index.insert(low, text);
    }
    return index;
}

} // namespace vantora
