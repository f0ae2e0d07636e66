#include "SiteTree.h"

#include <QCollator>
#include <algorithm>

namespace vantora {

void SiteTree::Clear() {
    // The memory goes too: a tree of a million nodes replaced by a small one
    // would keep its arrays' size.
    std::vector<char16_t>().swap(Text);
    Starts.assign(1, 0);
    Starts.shrink_to_fit();
    std::vector<NodeKind>().swap(Kinds);
    std::vector<int>().swap(Parents);
    std::vector<int>().swap(Rows);
    std::vector<int>().swap(ChildStart);
    std::vector<int>().swap(ChildList);
}

void SiteTree::Reserve(size_t nodes, size_t chars) {
    Text.reserve(Text.size() + chars);
    Starts.reserve(Starts.size() + nodes);
    Kinds.reserve(Kinds.size() + nodes);
    Parents.reserve(Parents.size() + nodes);
}

int SiteTree::ChildCount(int parent) const {
    const size_t p = size_t(parent + 1);
    if (p + 1 >= ChildStart.size())
        return 0;
    return ChildStart[p + 1] - ChildStart[p];
}

int SiteTree::Child(int parent, int row) const {
    return ChildList[size_t(ChildStart[size_t(parent + 1)] + row)];
}

int SiteTree::Append(QStringView caption, NodeKind kind, int parent) {
    Text.insert(Text.end(), caption.utf16(), caption.utf16() + caption.size());
    Starts.push_back(Text.size());
    Kinds.push_back(kind);
    Parents.push_back(parent);
    return int(Kinds.size()) - 1;
}

void SiteTree::Finish() {
    // Counting sort of the nodes by parent keeps line order within each parent.
    const size_t n = Kinds.size();
    ChildStart.assign(n + 2, 0);
    for (size_t i = 0; i < n; ++i)
        ++ChildStart[size_t(Parents[i] + 1) + 1];
    for (size_t p = 1; p < ChildStart.size(); ++p)
        ChildStart[p] += ChildStart[p - 1];
    ChildList.assign(n, 0);
    Rows.assign(n, 0);
    std::vector<int> fill(ChildStart.begin(), ChildStart.end() - 1);
    for (size_t i = 0; i < n; ++i) {
        const size_t slot = size_t(Parents[i] + 1);
        Rows[i] = fill[slot] - ChildStart[slot];
        ChildList[size_t(fill[slot]++)] = int(i);
    }
}

void SiteTree::Sort(bool sorted) {
    if (ChildStart.empty())
        return;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (size_t slot = 0; slot + 1 < ChildStart.size(); ++slot) {
        auto first = ChildList.begin() + ChildStart[slot];
        auto last = ChildList.begin() + ChildStart[slot + 1];
        if (last - first < 2)
            continue;
        if (sorted) {
            std::stable_sort(first, last, [&](int a, int b) {
                return collator.compare(Caption(a), Caption(b)) < 0;
            });
        } else {
            std::sort(first, last);
        }
        int row = 0;
        for (auto it = first; it != last; ++it)
            Rows[size_t(*it)] = row++;
    }
}

std::vector<int> SiteTree::DisplayOrder() const {
    std::vector<int> order;
    order.reserve(Kinds.size());
    // Iterative depth-first walk: a stack of (parent, next row).
    std::vector<std::pair<int, int>> stack;
    stack.emplace_back(-1, 0);
    while (!stack.empty()) {
        auto& [parent, row] = stack.back();
        if (row >= ChildCount(parent)) {
            stack.pop_back();
            continue;
        }
        const int node = Child(parent, row++);
        order.push_back(node);
        if (ChildCount(node) > 0)
            stack.emplace_back(node, 0);
    }
    return order;
}

QString SiteTree::FullUrl(int node, int target) const {
    if (node < 0 || node >= Count())
        return {};
    static const QString http = QStringLiteral("http://");
    // Collect the parts from the node up to the nearest absolute ancestor (or
    // the top level), then join them from the top down.
    std::vector<QStringView> parts;
    for (int m = node;;) {
        const QStringView c = Caption(m);
        const qsizetype slash = c.lastIndexOf(QLatin1Char('/'));
        parts.push_back(slash < 0 || m == target ? c : c.left(slash + 1));
        if (c.contains(http) || Parents[size_t(m)] < 0)
            break;
        m = Parents[size_t(m)];
    }
    QString result = parts.back().toString();
    for (auto it = parts.rbegin() + 1; it != parts.rend(); ++it) {
        if (!result.endsWith(QLatin1Char('/')))
            result += QLatin1Char('/');
        result += *it;
    }
    return result;
}

void SiteTree::ForEachFullUrl(const std::function<bool(int node)>& need,
                              const std::function<void(int node, const QString& url)>& each) const {
    static const QString http = QStringLiteral("http://");
    const auto join = [](QStringView base, QStringView part) {
        QString url;
        url.reserve(base.size() + 1 + part.size());
        url += base;
        if (!url.endsWith(QLatin1Char('/')))
            url += QLatin1Char('/');
        url += part;
        return url;
    };
    // The walk of DisplayOrder, with the folder URL of every node on the
    // path: the part of its full URL its children build on.
    struct Frame {
        int Parent, Row;
        QString Base;
    };
    std::vector<Frame> stack;
    stack.push_back({-1, 0, QString()});
    QString url;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.Row >= ChildCount(frame.Parent)) {
            stack.pop_back();
            continue;
        }
        const int node = Child(frame.Parent, frame.Row++);
        const QStringView c = Caption(node);
        const bool stands = Parents[size_t(node)] < 0 || c.contains(http);
        const bool children = ChildCount(node) > 0;
        if (need(node)) {
            // Built in the buffer of the URL before, unless each kept that.
            if (!url.isDetached())
                url = QString();
            url.resize(0);
            if (stands) {
                url += c;
            } else {
                url.reserve(frame.Base.size() + 1 + c.size());
                url += frame.Base;
                if (!url.endsWith(QLatin1Char('/')))
                    url += QLatin1Char('/');
                url += c;
            }
            each(node, url);
        }
        if (children) {
            const qsizetype slash = c.lastIndexOf(QLatin1Char('/'));
            const QStringView folder = slash < 0 ? c : c.left(slash + 1);
            QString base = stands ? folder.toString() : join(frame.Base, folder);
            stack.push_back({node, 0, std::move(base)});
        }
    }
}

bool SiteTree::IsPage(int node) const {
    const QStringView c = Caption(node);
    if (int(Kinds[size_t(node)]) >= int(NodeKind::BrokenLink))
        return false;
    return (!c.contains(QLatin1String("mailto:")) && !c.contains(QLatin1String("://"))) ||
           c.startsWith(QLatin1String("http://"));
}

bool SiteTree::PageUrl(int node, const QString& fullUrl, QString& url) const {
    if (!IsPage(node))
        return false;
    const QStringView c = Caption(node);
    url = c.startsWith(QLatin1String("http://")) ? c.toString() : fullUrl;
    return true;
}

bool SiteTree::PageUrl(int node, QString& url) const {
    if (!IsPage(node))
        return false;
    const QStringView c = Caption(node);
    url = c.startsWith(QLatin1String("http://")) ? c.toString() : FullUrl(node, node);
    return true;
}

BuildResult CheckSiteMapHeader(const QStringList& lines) {
    BuildResult result;
    if (lines.isEmpty())
        return result;
    // The failure text holds no line break, so testing each line is the same
    // as testing all lines joined.
    for (const QString& line : lines) {
        if (line.contains(UnspecifiedHost)) {
            result.Outcome = BuildOutcome::UnspecifiedHost;
            return result;
        }
    }
    if (lines.at(0) != SiteMapMarker || lines.size() < 2 || !lines.at(1).contains(RootTag)) {
        result.Outcome = BuildOutcome::BadHeader;
        return result;
    }
    const QString& rootLine = lines.at(1);
    result.RootUrl = rootLine.mid(rootLine.indexOf(RootTag) + RootTag.size());
    result.Outcome = BuildOutcome::Complete;
    return result;
}

BuildResult ParseSiteMap(const QStringList& lines, SiteTree& tree,
                         const std::function<void(int lineIndex)>& progress) {
    tree.Clear();
    BuildResult result = CheckSiteMapHeader(lines);
    if (result.Outcome != BuildOutcome::Complete) {
        tree.Finish();
        return result;
    }

    int parentStack[SiteTree::MaxDepth + 1];
    parentStack[0] = -1;
    int depth = 0;
    int lastNode = -1;
    const int count = int(lines.size());
    // Room for every line a node with all of its text: what is never
    // written costs no memory, and the arrays are never copied as they grow.
    size_t chars = 0;
    for (int i = 2; i < count; ++i)
        chars += size_t(lines.at(i).size());
    tree.Reserve(size_t(qMax(0, count - 2)), chars);
    for (int i = 2; i < count; ++i) {
        if (i % 20 == 0 && progress)
            progress(i);
        const QString& line = lines.at(i);
        const MapLine parsed = ParseMapLine(line);
        bool valid = true;
        switch (parsed.Tag) {
        case LineTag::Page:
        case LineTag::Link:
        case LineTag::Mailto:
        case LineTag::Broken:
        case LineTag::Error: {
            QString caption;
            NodeKind kind;
            valid = NodeFromLine(line, parsed, caption, kind);
            if (valid)
                lastNode = tree.Append(caption, kind, parentStack[depth]);
            break;
        }
        case LineTag::Push:
            valid = lastNode >= 0 && depth < SiteTree::MaxDepth;
            if (valid)
                parentStack[++depth] = lastNode;
            break;
        case LineTag::Pop:
            valid = depth > 0;
            if (valid)
                --depth;
            break;
        case LineTag::End:
            break;
        case LineTag::Invalid:
            valid = false;
            break;
        }
        if (!valid) {
            result.Outcome = BuildOutcome::InvalidData;
            result.BadLine = i;
            break;
        }
    }
    tree.Finish();
    return result;
}

} // namespace vantora
