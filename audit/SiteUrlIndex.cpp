#include "SiteUrlIndex.h"

#include <QCollator>
#include <algorithm>

namespace vantora {

namespace {

const QString IndexTag = QStringLiteral(" <INDEX>");

QCollator EntryCollator(const QLocale& locale) {
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// Whether text holds "://": a search for each ':' (which few URLs hold more
// than once) rather than for the whole needle.
bool HoldsSchemeSeparator(QStringView text) {
    for (qsizetype at = text.indexOf(u':'); at >= 0; at = text.indexOf(u':', at + 1))
        if (text.mid(at + 1, 2) == u"//")
            return true;
    return false;
}

} // namespace

QString AuditNodeUrl(const SiteTree& tree, int node) {
    const QString& caption = tree.Caption(node);
    return caption.contains(QLatin1String("://")) ? caption : tree.FullUrl(node, node);
}

QString SiteUrlEntryText(const SiteUrlEntry& entry) {
    return entry.Url + IndexTag + QString::number(entry.Node);
}

SiteUrls::SiteUrls(const SiteTree& tree) : NodeIds(size_t(tree.Count()), -1) {
    // A caption holding "://" is the URL itself; the URLs of the others are
    // built from their folders' on one walk of the tree.
    const auto absolute = [&](int node) { return HoldsSchemeSeparator(tree.Caption(node)); };
    std::vector<QString> built(size_t(tree.Count()));
    tree.ForEachFullUrl([&](int node) { return !absolute(node); },
                        [&](int node, const QString& url) { built[size_t(node)] = url; });
    Ids.reserve(tree.Count());
    for (int node = 0; node < tree.Count(); ++node) {
        QString& url = built[size_t(node)];
        NodeIds[size_t(node)] = Intern(url.isNull() ? tree.Caption(node) : url, node);
        url = QString();
    }
}

int SiteUrls::Intern(const QString& url, int node) {
    const auto found = Ids.constFind(QStringView(url));
    if (found != Ids.constEnd())
        return *found;
    Texts.push_back(url);
    FirstNodes.push_back(node);
    const int id = int(Texts.size()) - 1;
    Ids.insert(QStringView(Texts.back()), id);
    return id;
}

std::vector<SiteUrlEntry> BuildSiteUrlIndex(const SiteTree& tree, const QLocale& locale) {
    return BuildSiteUrlIndex(SiteUrls(tree), locale);
}

std::vector<SiteUrlEntry> BuildSiteUrlIndex(const SiteUrls& urls, const QLocale& locale) {
    std::vector<SiteUrlEntry> entries;
    entries.reserve(size_t(urls.Count()));
    for (int id = 0; id < urls.Count(); ++id)
        if (urls.FirstNode(id) >= 0)
            entries.push_back({urls.Text(id), urls.FirstNode(id)});
    // Inserting each entry after the ones it compares equal to, in node
    // order, is what a stable sort of the entries in node order gives.
    const QCollator collator = EntryCollator(locale);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(entries.size());
    QString text;
    for (const SiteUrlEntry& entry : entries) {
        text.resize(0);
        text += entry.Url;
        text += IndexTag;
        text += QString::number(entry.Node);
        keys.push_back(collator.sortKey(text));
    }
    std::vector<int> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    keys = {};
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
