#include "SiteUrlIndex.h"

#include <QCollator>
#include <QHashFunctions>
#include <algorithm>
#include <charconv>
#include <functional>

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
    const QStringView caption = tree.Caption(node);
    return caption.contains(QLatin1String("://")) ? caption.toString() : tree.FullUrl(node, node);
}

QString SiteUrlEntryText(const SiteUrlEntry& entry) {
    return entry.Url.toString() + IndexTag + QString::number(entry.Node);
}

SiteUrls::SiteUrls(const SiteTree& tree) : NodeIds(size_t(tree.Count()), -1) {
    // A caption holding "://" is the URL itself; the URLs of the others are
    // built from their folders' on one walk of the tree (in the order of the
    // view, which sorting may have changed) and copied to the blocks, then
    // numbered in node order.
    const auto absolute = [&](int node) { return HoldsSchemeSeparator(tree.Caption(node)); };
    std::vector<QStringView> built(size_t(tree.Count()));
    tree.ForEachFullUrl([&](int node) { return !absolute(node); },
                        [&](int node, const QString& url) { built[size_t(node)] = Keep(url); });
    Texts.reserve(size_t(tree.Count()));
    for (int node = 0; node < tree.Count(); ++node) {
        const QStringView url = built[size_t(node)];
        NodeIds[size_t(node)] =
            url.data() ? Intern(url, node, false) : Intern(tree.Caption(node), node, false);
    }
}

int SiteUrls::Add(QStringView url) {
    return Intern(url, -1, true);
}

QStringView SiteUrls::Keep(QStringView text) {
    const size_t size = size_t(text.size());
    if (size > Left) {
        const size_t block = std::max<size_t>(size, size_t(1) << 20);
        Blocks.push_back(std::make_unique<char16_t[]>(block));
        At = Blocks.back().get();
        Left = block;
    }
    char16_t* kept = At;
    std::copy(text.utf16(), text.utf16() + size, kept);
    At += size;
    Left -= size;
    return QStringView(kept, qsizetype(size));
}

void SiteUrls::Grow() {
    Slots.assign(std::max<size_t>(64, Slots.size() * 2), -1);
    const size_t mask = Slots.size() - 1;
    for (size_t id = 0; id < Texts.size(); ++id) {
        size_t at = Hashes[id] & mask;
        while (Slots[at] >= 0)
            at = (at + 1) & mask;
        Slots[at] = int(id);
    }
}

int SiteUrls::Intern(QStringView url, int node, bool copy) {
    // Kept at most half full, so a probe is short.
    if ((Texts.size() + 1) * 2 > Slots.size())
        Grow();
    const size_t hash = qHash(url);
    const size_t mask = Slots.size() - 1;
    size_t at = hash & mask;
    for (; Slots[at] >= 0; at = (at + 1) & mask) {
        const size_t id = size_t(Slots[at]);
        if (Hashes[id] == hash && Texts[id] == url)
            return int(id);
    }
    const int id = int(Texts.size());
    Texts.push_back(copy ? Keep(url) : url);
    FirstNodes.push_back(node);
    Hashes.push_back(hash);
    Slots[at] = id;
    return id;
}

std::vector<SiteUrlEntry> BuildSiteUrlIndex(const SiteTree& tree, const QLocale& locale) {
    return BuildSiteUrlIndex(SiteUrls(tree), locale);
}

namespace {

// Appends the decimal digits of a number, as QString::number writes them.
void AppendDecimal(QString& text, int number) {
    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    for (const char* c = digits; c != end; ++c)
        text += QLatin1Char(*c);
}

// The entry text of a URL id, written to text.
void WriteEntryText(QString& text, const SiteUrls& urls, int id) {
    text.resize(0);
    text.append(urls.Text(id));
    text += IndexTag;
    AppendDecimal(text, urls.FirstNode(id));
}

// The index's order of URL ids: by collation of the entry texts, in node
// order between texts that compare equal (which is what inserting each
// entry after the ones it compares equal to gives).
class EntryOrder {
  public:
    EntryOrder(const SiteUrls& urls, const QLocale& locale)
        : Urls(urls), Collator(EntryCollator(locale)) {}

    bool operator()(int a, int b) {
        WriteEntryText(A, Urls, a);
        WriteEntryText(B, Urls, b);
        const int c = Collator.compare(A, B);
        return c != 0 ? c < 0 : Urls.FirstNode(a) < Urls.FirstNode(b);
    }

  private:
    const SiteUrls& Urls;
    QCollator Collator;
    QString A, B;
};

// Sorts ids on one collation key each.
void SortOnKeys(std::vector<int>& ids, const SiteUrls& urls, const QLocale& locale) {
    std::sort(ids.begin(), ids.end(),
              [&](int a, int b) { return urls.FirstNode(a) < urls.FirstNode(b); });
    const QCollator collator = EntryCollator(locale);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(ids.size());
    QString text;
    for (const int id : ids) {
        WriteEntryText(text, urls, id);
        keys.push_back(collator.sortKey(text));
    }
    std::vector<int> order(ids.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    std::vector<int> sorted;
    sorted.reserve(ids.size());
    for (const int i : order)
        sorted.push_back(ids[size_t(i)]);
    ids = std::move(sorted);
}

// Puts ids in order by merging the runs in which they already are: a
// comparison for each id when the guess was right, and a fall back to
// sorting on collation keys when it was far out.
void SortByRuns(std::vector<int>& ids, const SiteUrls& urls, const QLocale& locale) {
    EntryOrder less(urls, locale);
    std::vector<size_t> bounds{0}; // the runs are [bounds[k], bounds[k + 1])
    for (size_t i = 1; i < ids.size(); ++i)
        if (!less(ids[i - 1], ids[i]))
            bounds.push_back(i);
    if (bounds.size() > ids.size() / 16 + 1) {
        SortOnKeys(ids, urls, locale);
        return;
    }
    bounds.push_back(ids.size());
    std::vector<int> merged(ids.size());
    while (bounds.size() > 2) {
        std::vector<size_t> next{0};
        for (size_t k = 0; k + 1 < bounds.size(); k += 2) {
            const size_t low = bounds[k];
            const size_t mid = bounds[k + 1];
            const size_t high = k + 2 < bounds.size() ? bounds[k + 2] : mid;
            std::merge(ids.begin() + low, ids.begin() + mid, ids.begin() + mid, ids.begin() + high,
                       merged.begin() + low, std::ref(less));
            next.push_back(high);
        }
        ids.swap(merged);
        bounds = std::move(next);
    }
}

} // namespace

std::vector<SiteUrlEntry> BuildSiteUrlIndex(const SiteUrls& urls, const QLocale& locale,
                                            std::vector<int> guess) {
    if (guess.empty()) {
        for (int id = 0; id < urls.Count(); ++id)
            if (urls.FirstNode(id) >= 0)
                guess.push_back(id);
        SortOnKeys(guess, urls, locale);
    } else {
        SortByRuns(guess, urls, locale);
    }
    std::vector<SiteUrlEntry> entries;
    entries.reserve(guess.size());
    for (const int id : guess)
        entries.push_back({urls.Text(id), urls.FirstNode(id)});
    return entries;
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
