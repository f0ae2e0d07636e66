#pragma once
// The site map tree's behaviour without its window: building the tree from
// the project's SiteMapLines, the selection and SelectedPages, the selection
// label, sorting and the full URL of a node. The view (SiteMapPanel) shows
// Model() with Selection() as its selection model.
#include "SiteSelection.h"
#include "SiteTreeModel.h"
#include "SiteUrlIndex.h"

#include <QObject>
#include <QStringList>
#include <vector>

namespace vantora {

class SiteMapHost;

class SiteMapController : public QObject {
    Q_OBJECT
  public:
    explicit SiteMapController(SiteMapHost& host, QObject* parent = nullptr);

    SiteTreeModel* Model() { return TreeModel; }
    SiteSelectionModel* Selection() { return SelectionModel; }
    const SiteTree& Tree() const { return TreeModel->Tree(); }
    int NodeCount() const { return Tree().Count(); }
    // The nodes by their URLs' keys, rebuilt whenever the tree is replaced.
    const SiteUrlIndex& UrlIndex() const { return UrlLookup; }

    // Rebuilds the tree from the project's SiteMapLines. A request made while
    // a build runs (from a command handled during its progress steps) is
    // carried out once that build has ended, from the lines as they are then.
    void BuildSiteTree();
    bool IsBuilding() const { return Building; }

    // The tree when it holds the nodes of the project's present site map
    // lines (built from these very lines, no build running); null when it
    // may not. Lets the audit read the tree the window holds rather than
    // build a second one.
    const SiteTree* TreeOfProjectLines() const;
    // Forgets which lines the tree was built from, so that lines about to
    // be replaced are freed with the project's (a crawl replaces them).
    void ReleaseLines() { BuiltFrom = QStringList(); }

    // Empties the tree and sets the selection label (project reset: empty;
    // new project: "(No selection)"). A build in progress is ended without
    // showing its nodes.
    void ClearTree(const QString& label);

    QString Label() const { return LabelText; }
    // The full URLs of the selected nodes that count as pages, in view
    // order, built when asked for: a selection of a deep tree's million
    // nodes would hold gigabytes of URLs.
    QStringList SelectedPages() const;
    int SelectedPageCount() const { return SelectionModel->SelectedPageCount(); }

    // The full URL of a node by its number (its position in line order).
    QString SiteTreeGetFullURL(int node, int target) const { return Tree().FullUrl(node, target); }
    // What "Launch Web Browser" opens for a node: its full URL; a caption
    // that is an address of its own ("mailto:", another scheme) as it is.
    QString BrowserUrl(int node) const;

    // Sort View: on sorts every level by caption; off rebuilds from the lines.
    void SetSorted(bool sorted);
    bool IsSorted() const { return TreeModel->IsSorted(); }

    // Selects exactly the given nodes (any order) and makes current the
    // current index, in one change that costs time in proportion to the
    // nodes, however many there are and however they lie in the tree.
    void SelectOnly(const std::vector<int>& nodes, const QModelIndex& current = {});

    int SelectedCount() const { return SelectionModel->SelectedCount(); }
    // The one selected node, or -1 unless exactly one is selected.
    int SingleSelectedNode() const { return SelectionModel->SingleSelectedNode(); }

  signals:
    void LabelChanged(const QString& text);
    void StartButtonsEnabled(bool enabled);
    // The selection changed; count is SelectedPageCount().
    void SelectedPagesChanged(int count);
    void BuildingChanged(bool building);

  private:
    void SetLabel(const QString& text);
    void OnSelectionChanged();
    void OnTreeReplaced();
    void BuildOnce();

    SiteMapHost& Host;
    SiteTreeModel* TreeModel;
    SiteSelectionModel* SelectionModel;
    QString LabelText;
    std::vector<int> Order; // node numbers in the view's depth-first order
    int ToldPages = 0;      // the count SelectedPagesChanged told last
    bool Building = false;
    bool RebuildPending = false;
    // Set when the tree is cleared while a build runs (the project was
    // closed or its root changed): that build's nodes are dropped.
    bool BuildDiscarded = false;
    SiteUrlIndex UrlLookup;
    // The lines the tree was built from; shares the project's list until
    // either changes.
    QStringList BuiltFrom;
};

} // namespace vantora
