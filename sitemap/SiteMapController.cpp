#include "SiteMapController.h"

#include "Dialogs.h"
#include "ProjectData.h"
#include "SiteMapHost.h"

#include <algorithm>

namespace vantora {

SiteMapController::SiteMapController(SiteMapHost& host, QObject* parent)
    : QObject(parent), Host(host), TreeModel(new SiteTreeModel(this)),
      SelectionModel(new SiteSelectionModel(TreeModel, this)) {
    connect(SelectionModel, &SiteSelectionModel::NodesChanged, this,
            &SiteMapController::OnSelectionChanged);
    connect(TreeModel, &QAbstractItemModel::modelReset, this, &SiteMapController::OnTreeReplaced);
    // The URL index is built from the tree on another thread: it lets go of
    // the tree before the tree is replaced or sorted.
    connect(TreeModel, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { UrlLookup.Drop(); });
    connect(TreeModel, &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this] { UrlLookup.WaitForBuild(); });
    connect(TreeModel, &QAbstractItemModel::layoutChanged, this,
            [this] { Order = Tree().DisplayOrder(); });
}

void SiteMapController::SetLabel(const QString& text) {
    LabelText = text;
    emit LabelChanged(text);
}

void SiteMapController::OnTreeReplaced() {
    // A new tree has no selection, so nothing is selected for the tools.
    Order = Tree().DisplayOrder();
    UrlLookup.Rebuild(Tree());
    if (ToldPages != 0) {
        ToldPages = 0;
        emit SelectedPagesChanged(0);
    }
    emit StartButtonsEnabled(false);
}

void SiteMapController::ClearTree(const QString& label) {
    BuiltFrom = QStringList();
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

const SiteTree* SiteMapController::TreeOfProjectLines() const {
    // The list shared with the project's is proof that neither changed; a
    // change to either copies it.
    const QStringList& lines = Host.Project().SiteMapLines;
    if (Building || BuiltFrom.isEmpty() || BuiltFrom.size() != lines.size() ||
        BuiltFrom.constData() != lines.constData())
        return nullptr;
    return &Tree();
}

void SiteMapController::BuildOnce() {
    BuiltFrom = QStringList();
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
    BuiltFrom = snapshot;
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
    const QStringView caption = Tree().Caption(node);
    if (Tree().Kind(node) == NodeKind::Mail || caption.startsWith(QLatin1String("mailto:")) ||
        (caption.contains(QLatin1String("://")) && !caption.contains(QLatin1String("http://"))))
        return caption.toString();
    return SiteTreeGetFullURL(node, node);
}

void SiteMapController::SelectOnly(const std::vector<int>& nodes, const QModelIndex& current) {
    SelectionModel->SelectOnly(nodes);
    if (current.isValid())
        SelectionModel->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
}

void SiteMapController::OnSelectionChanged() {
    const int pages = SelectionModel->SelectedPageCount();
    if (pages > 0)
        SetLabel(QStringLiteral("Selected %1/%2").arg(pages).arg(NodeCount()));
    else
        SetLabel(QStringLiteral("(No valid selection)"));
    ToldPages = pages;
    emit StartButtonsEnabled(pages > 0);
    emit SelectedPagesChanged(pages);
}

QStringList SiteMapController::SelectedPages() const {
    QStringList pages;
    const int count = SelectionModel->SelectedPageCount();
    if (count == 0)
        return pages;
    pages.reserve(count);
    const SiteTree& tree = Tree();
    // A few nodes have their URLs built from their ancestors each; many have
    // them built in one walk from their parents' (a deep tree would
    // otherwise take time in proportion to the nodes times the depth).
    constexpr int FewNodes = 2000;
    if (SelectionModel->SelectedCount() <= FewNodes) {
        QString url;
        for (const int node : Order)
            if (SelectionModel->IsNodeSelected(node) && tree.PageUrl(node, url))
                pages.append(url);
    } else {
        tree.ForEachFullUrl(
            [&](int node) { return SelectionModel->IsNodeSelected(node) && tree.IsPage(node); },
            [&](int node, const QString& fullUrl) {
                QString url;
                tree.PageUrl(node, fullUrl, url);
                pages.append(url);
            });
    }
    return pages;
}

} // namespace vantora
