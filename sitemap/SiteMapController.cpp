#include "SiteMapController.h"

#include "Dialogs.h"
#include "ProjectData.h"
#include "SiteMapHost.h"

#include <algorithm>

namespace vantora {

SiteMapController::SiteMapController(SiteMapHost& host, QObject* parent)
    : QObject(parent), Host(host), TreeModel(new SiteTreeModel(this)),
      SelectionModel(new QItemSelectionModel(TreeModel, this)) {
    connect(SelectionModel, &QItemSelectionModel::selectionChanged, this,
            &SiteMapController::OnSelectionChanged);
    connect(TreeModel, &QAbstractItemModel::modelReset, this, &SiteMapController::OnTreeReplaced);
    connect(TreeModel, &QAbstractItemModel::layoutChanged, this, [this] {
        Order = Tree().DisplayOrder();
        if (SelectedTotal > 0)
            RecomputePages();
    });
}

void SiteMapController::SetLabel(const QString& text) {
    LabelText = text;
    emit LabelChanged(text);
}

void SiteMapController::OnTreeReplaced() {
    // A new tree has no selection, so nothing is selected for the tools.
    SelectedFlags.assign(size_t(Tree().Count()), 0);
    Order = Tree().DisplayOrder();
    SelectedTotal = 0;
    if (!Pages.isEmpty()) {
        Pages.clear();
        emit SelectedPagesChanged(Pages);
    }
    emit StartButtonsEnabled(false);
}

void SiteMapController::ClearTree(const QString& label) {
    if (Building)
        BuildDiscarded = true;
    TreeModel->Clear();
    SetLabel(label);
}

void SiteMapController::BuildSiteTree() {
    if (Building) {
        RebuildPending = true;
        return;
    }
    Building = true;
    emit BuildingChanged(true);
    do {
        RebuildPending = false;
        BuildDiscarded = false;
        BuildOnce();
    } while (RebuildPending);
    Building = false;
    emit BuildingChanged(false);
}

void SiteMapController::BuildOnce() {
    TreeModel->Clear();
    QStringList& lines = Host.Project().SiteMapLines;
    const BuildResult header = CheckSiteMapHeader(lines);
    switch (header.Outcome) {
    case BuildOutcome::Empty:
        return;
    case BuildOutcome::UnspecifiedHost:
        Host.MessageBoxes().Message(MsgKind::Error, MsgUnspecifiedHost, MsgButtons::Ok);
        Host.Project().SiteMapLines.clear();
        return;
    case BuildOutcome::BadHeader:
        Host.MessageBoxes().Message(MsgKind::Error, MsgInvalidData, MsgButtons::Ok);
        Host.Project().SiteMapLines.clear();
        return;
    default:
        break;
    }
    SetLabel(header.RootUrl);

    // The nodes are built aside and handed to the model at the end, so the
    // view never paints a half-built tree. The lines are a copy: commands run
    // during the progress steps may replace the project's lines.
    const QStringList snapshot = lines;
    const QString savedStatus = Host.StatusText();
    WaitCursor wait;
    SiteTree tree;
    const int count = int(snapshot.size());
    const BuildResult result = ParseSiteMap(snapshot, tree, [&](int i) {
        if (BuildDiscarded)
            return;
        Host.SetStatusText(ProgressStatusText(i, count));
        ProcessPendingEvents();
    });
    Host.SetStatusText(savedStatus);
    if (BuildDiscarded)
        return;
    if (result.Outcome == BuildOutcome::InvalidData)
        Host.MessageBoxes().Message(MsgKind::Error, MsgInvalidData, MsgButtons::Ok);
    TreeModel->SetTree(std::move(tree));
}

void SiteMapController::SetSorted(bool sorted) {
    if (sorted == IsSorted())
        return;
    WaitCursor wait;
    ProcessPendingEvents();
    if (sorted) {
        TreeModel->SetSorted(true);
    } else {
        // Only a rebuild restores the order of the lines.
        TreeModel->SetSorted(false);
        BuildSiteTree();
    }
}

QString SiteMapController::BrowserUrl(int node) const {
    if (node < 0 || node >= NodeCount())
        return {};
    const QString& caption = Tree().Caption(node);
    if (Tree().Kind(node) == NodeKind::Mail || caption.startsWith(QLatin1String("mailto:")) ||
        (caption.contains(QLatin1String("://")) && !caption.contains(QLatin1String("http://"))))
        return caption;
    return SiteTreeGetFullURL(node, node);
}

int SiteMapController::SingleSelectedNode() const {
    if (SelectedTotal != 1)
        return -1;
    for (size_t i = 0; i < SelectedFlags.size(); ++i) {
        if (SelectedFlags[i])
            return int(i);
    }
    return -1;
}

void SiteMapController::SelectOnly(const std::vector<int>& nodes, const QModelIndex& current) {
    // Siblings next to each other become one range: the selection model and
    // the view handle each range on their own.
    struct Place {
        int Parent, Row, Node;
    };
    const SiteTree& tree = Tree();
    std::vector<Place> places;
    places.reserve(nodes.size());
    for (const int node : nodes)
        if (node >= 0 && node < tree.Count())
            places.push_back({tree.Parent(node), tree.Row(node), node});
    std::sort(places.begin(), places.end(), [](const Place& a, const Place& b) {
        return a.Parent != b.Parent ? a.Parent < b.Parent : a.Row < b.Row;
    });
    QItemSelection selection;
    for (size_t at = 0; at < places.size();) {
        size_t end = at + 1;
        while (end < places.size() && places[end].Parent == places[at].Parent &&
               places[end].Row <= places[end - 1].Row + 1)
            ++end;
        selection.append(QItemSelectionRange(TreeModel->IndexOf(places[at].Node),
                                             TreeModel->IndexOf(places[end - 1].Node)));
        at = end;
    }
    // The selection model tells what changed by comparing every old range
    // with every new one; emptied first, it has nothing to compare. The
    // pages and the label are worked out once, for the new selection.
    if (!selection.isEmpty()) {
        Replacing = true;
        SelectionModel->clearSelection();
        Replacing = false;
        SelectionModel->select(selection, QItemSelectionModel::Select);
    } else {
        SelectionModel->clearSelection();
    }
    if (current.isValid())
        SelectionModel->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
}

void SiteMapController::MarkRange(const QItemSelectionRange& range, char value) {
    const int parent = TreeModel->NodeOf(range.parent());
    const SiteTree& tree = Tree();
    const int rows = tree.ChildCount(parent);
    for (int row = qMax(0, range.top()); row <= range.bottom() && row < rows; ++row) {
        const size_t node = size_t(tree.Child(parent, row));
        if (node >= SelectedFlags.size() || SelectedFlags[node] == value)
            continue;
        SelectedFlags[node] = value;
        SelectedTotal += value ? 1 : -1;
    }
}

void SiteMapController::OnSelectionChanged(const QItemSelection& selected,
                                           const QItemSelection& deselected) {
    for (const QItemSelectionRange& range : deselected)
        MarkRange(range, 0);
    for (const QItemSelectionRange& range : selected)
        MarkRange(range, 1);
    if (Replacing)
        return;
    WaitCursor wait;
    ProcessPendingEvents();
    RecomputePages();
    if (!Pages.isEmpty())
        SetLabel(QStringLiteral("Selected %1/%2").arg(Pages.size()).arg(NodeCount()));
    else
        SetLabel(QStringLiteral("(No valid selection)"));
    emit StartButtonsEnabled(!Pages.isEmpty());
}

void SiteMapController::RecomputePages() {
    Pages.clear();
    const SiteTree& tree = Tree();
    // A few nodes have their URLs built from their ancestors each; many have
    // them built in one walk from their parents' (a deep tree would
    // otherwise take time in proportion to the nodes times the depth).
    constexpr int FewNodes = 2000;
    if (SelectedTotal > 0 && SelectedTotal <= FewNodes) {
        QString url;
        for (int node : Order) {
            if (SelectedFlags[size_t(node)] && tree.PageUrl(node, url))
                Pages.append(url);
        }
    } else if (SelectedTotal > FewNodes) {
        tree.ForEachFullUrl(
            [&](int node) { return SelectedFlags[size_t(node)] && tree.IsPage(node); },
            [&](int node, const QString& fullUrl) {
                QString url;
                tree.PageUrl(node, fullUrl, url);
                Pages.append(url);
            });
    }
    emit SelectedPagesChanged(Pages);
}

} // namespace vantora
