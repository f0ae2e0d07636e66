#include "SiteSelection.h"

#include <QSignalBlocker>
#include <algorithm>

namespace vantora {

SiteSelectionModel::SiteSelectionModel(SiteTreeModel* model, QObject* parent)
    : QItemSelectionModel(model, parent), TreeModel(model) {
    Resize();
    // A large selection is mirrored for the current node too, wherever it is.
    connect(this, &QItemSelectionModel::currentChanged, this, [this] {
        if (!MirroredWhole)
            Mirror();
    });
}

void SiteSelectionModel::Resize() {
    const SiteTree& tree = TreeModel->Tree();
    const size_t count = size_t(tree.Count());
    Flags.assign(count, 0);
    PageFlag.assign(count, 0);
    for (size_t node = 0; node < count; ++node)
        PageFlag[node] = tree.IsPage(int(node)) ? 1 : 0;
    TouchedNodes.clear();
    Pending.clear();
    ShownNodes.clear();
    AnyFlags = false;
    SelectedTotal = 0;
    SelectedPages = 0;
    MirroredWhole = true;
}

void SiteSelectionModel::reset() {
    // The model calls this when its tree is replaced: the flags take the
    // new tree's size. Like the base class, it tells nothing.
    Resize();
    const QSignalBlocker quiet(this);
    QItemSelectionModel::select(QItemSelection(), Clear);
    clearCurrentIndex();
}

void SiteSelectionModel::clear() {
    select(QItemSelection(), Clear);
    clearCurrentIndex();
}

std::vector<int> SiteSelectionModel::SelectedNodes() const {
    std::vector<int> nodes;
    nodes.reserve(size_t(SelectedTotal));
    for (size_t node = 0; node < Flags.size() && int(nodes.size()) < SelectedTotal; ++node)
        if (Flags[node] & Shown)
            nodes.push_back(int(node));
    return nodes;
}

int SiteSelectionModel::SingleSelectedNode() const {
    if (SelectedTotal != 1)
        return -1;
    return SelectedNodes().front();
}

void SiteSelectionModel::Touch(int node) {
    char& flag = Flags[size_t(node)];
    if (flag & Touched)
        return;
    flag = char(flag | Touched | ((flag & Shown) ? WasShown : 0));
    TouchedNodes.push_back(node);
}

void SiteSelectionModel::SetShown(int node, bool on) {
    char& flag = Flags[size_t(node)];
    flag = char(on ? flag | Shown : flag & ~Shown);
}

void SiteSelectionModel::AppendNodes(const QItemSelection& selection,
                                     std::vector<int>& nodes) const {
    const SiteTree& tree = TreeModel->Tree();
    for (const QItemSelectionRange& range : selection) {
        // One column: a range right of it selects nothing.
        if (!range.isValid() || range.model() != TreeModel || range.left() > 0)
            continue;
        const int parent = TreeModel->NodeOf(range.parent());
        const int rows = tree.ChildCount(parent);
        for (int row = qMax(0, range.top()); row <= range.bottom() && row < rows; ++row)
            nodes.push_back(tree.Child(parent, row));
    }
}

QItemSelection SiteSelectionModel::RangesOf(std::vector<int> nodes) const {
    // Siblings next to each other become one range.
    const SiteTree& tree = TreeModel->Tree();
    const auto place = [&](int node) { return std::pair(tree.Parent(node), tree.Row(node)); };
    std::sort(nodes.begin(), nodes.end(), [&](int a, int b) { return place(a) < place(b); });
    QItemSelection ranges;
    for (size_t at = 0; at < nodes.size();) {
        size_t end = at + 1;
        while (end < nodes.size() && tree.Parent(nodes[end]) == tree.Parent(nodes[at]) &&
               tree.Row(nodes[end]) <= tree.Row(nodes[end - 1]) + 1)
            ++end;
        ranges.append(
            QItemSelectionRange(TreeModel->IndexOf(nodes[at]), TreeModel->IndexOf(nodes[end - 1])));
        at = end;
    }
    return ranges;
}

void SiteSelectionModel::select(const QModelIndex& index,
                                QItemSelectionModel::SelectionFlags command) {
    QItemSelection selection;
    if (index.isValid())
        selection.append(QItemSelectionRange(index));
    select(selection, command);
}

void SiteSelectionModel::select(const QItemSelection& selection,
                                QItemSelectionModel::SelectionFlags command) {
    if (command == NoUpdate || Flags.size() != size_t(TreeModel->Tree().Count()))
        return;
    std::vector<int> nodes;
    AppendNodes(selection, nodes);
    Apply(std::move(nodes), command);
}

void SiteSelectionModel::SelectOnly(const std::vector<int>& nodes) {
    SelectNodes(nodes, ClearAndSelect);
}

void SiteSelectionModel::SelectNodes(std::vector<int> nodes,
                                     QItemSelectionModel::SelectionFlags command) {
    if (command == NoUpdate)
        return;
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(),
                               [&](int node) { return node < 0 || size_t(node) >= Flags.size(); }),
                nodes.end());
    Apply(std::move(nodes), command);
}

void SiteSelectionModel::Apply(std::vector<int> nodes,
                               QItemSelectionModel::SelectionFlags command) {
    if (command & Clear) {
        if (AnyFlags)
            for (size_t node = 0; node < Flags.size(); ++node)
                if (Flags[node] & (Committed | Shown)) {
                    Touch(int(node));
                    Flags[node] = char(Flags[node] & ~(Committed | Shown));
                }
        AnyFlags = false;
        Pending.clear();
    }
    if (!(command & Current)) {
        // The pending part becomes part of the committed selection.
        for (const int node : Pending) {
            char& flag = Flags[size_t(node)];
            flag = char((flag & ~Committed) | ((flag & Shown) ? Committed : 0));
        }
        Pending.clear();
    }
    if (command & (Toggle | Select | Deselect)) {
        // A new pending part replaces the one before.
        for (const int node : Pending) {
            Touch(node);
            SetShown(node, Flags[size_t(node)] & Committed);
        }
        for (const int node : nodes) {
            Touch(node);
            const bool committed = Flags[size_t(node)] & Committed;
            SetShown(node, (command & Deselect) ? false : (command & Toggle) ? !committed : true);
        }
        Pending = std::move(nodes);
        if (!Pending.empty())
            AnyFlags = true;
    }
    Finish();
}

void SiteSelectionModel::Finish() {
    std::vector<int> selected, deselected;
    bool tell = true;
    bool changed = false;
    for (const int node : TouchedNodes) {
        char& flag = Flags[size_t(node)];
        const bool was = flag & WasShown;
        const bool now = flag & Shown;
        flag = char(flag & ~(Touched | WasShown));
        if (was == now)
            continue;
        changed = true;
        const int step = now ? 1 : -1;
        SelectedTotal += step;
        SelectedPages += PageFlag[size_t(node)] ? step : 0;
        if (tell) {
            (now ? selected : deselected).push_back(node);
            tell = int(selected.size() + deselected.size()) <= TellRanges;
        }
    }
    TouchedNodes.clear();
    if (!changed)
        return;
    Mirror();
    if (tell)
        emit selectionChanged(RangesOf(std::move(selected)), RangesOf(std::move(deselected)));
    else
        emit selectionChanged(QItemSelection(), QItemSelection());
    emit NodesChanged();
}

void SiteSelectionModel::SetShownNodes(std::vector<int> nodes) {
    if (nodes == ShownNodes)
        return;
    ShownNodes = std::move(nodes);
    if (!MirroredWhole)
        Mirror();
}

void SiteSelectionModel::Mirror() {
    std::vector<int> nodes;
    MirroredWhole = SelectedTotal <= MirrorWhole;
    if (MirroredWhole) {
        nodes = SelectedNodes();
    } else {
        for (const int node : ShownNodes)
            if (IsNodeSelected(node))
                nodes.push_back(node);
        const int current = TreeModel->NodeOf(currentIndex());
        if (IsNodeSelected(current))
            nodes.push_back(current);
        // One selected node at least, so that the base class has a
        // selection to clear (clearSelection() asks it first).
        if (nodes.empty())
            for (size_t node = 0; node < Flags.size() && nodes.empty(); ++node)
                if (Flags[node] & Shown)
                    nodes.push_back(int(node));
        std::sort(nodes.begin(), nodes.end());
        nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    }
    // Emptied first, then filled: the base class compares the old ranges
    // with the new one by one unless one side is empty.
    const QSignalBlocker quiet(this);
    QItemSelectionModel::select(QItemSelection(), Clear);
    const QItemSelection ranges = RangesOf(std::move(nodes));
    if (!ranges.isEmpty())
        QItemSelectionModel::select(ranges, Select);
}

} // namespace vantora
