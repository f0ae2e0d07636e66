#pragma once
// The site map tree's selection, kept as one flag per node so that no
// operation costs time in proportion to how the selected nodes lie in the
// tree. Qt's own selection model keeps one range per parent, and asks every
// range whether a row is selected each time a row is painted: over a deep
// tree with everything selected that is a million ranges for every row.
//
// Every select() the view makes (click, Ctrl+click, Shift+click, Shift with
// the arrow keys, a mouse drag, Ctrl+A) is carried out on the flags with
// the same meaning as in Qt: the part made with the Current flag stays
// pending and is replaced by the next Current command until a command
// without it commits it. The ranges of the base class, which its
// non-virtual queries (isSelected, selectedIndexes, hasSelection) and the
// accessibility layer read, mirror the flags: the whole selection while it
// is small, and for a large one the selected nodes among those the view
// shows, the current node and one more, so that what is on screen and in
// focus is reported right.
#include "SiteTreeModel.h"

#include <QItemSelectionModel>
#include <vector>

namespace vantora {

class SiteSelectionModel : public QItemSelectionModel {
    Q_OBJECT
  public:
    // A selection of up to this many nodes is mirrored whole in the base
    // class's ranges.
    static constexpr int MirrorWhole = 2000;
    // A change of up to this many nodes is told in selectionChanged() range
    // by range; a larger one with empty ranges (see NodesChanged).
    static constexpr int TellRanges = 512;

    SiteSelectionModel(SiteTreeModel* model, QObject* parent);

    bool IsNodeSelected(int node) const {
        return node >= 0 && size_t(node) < Flags.size() && (Flags[size_t(node)] & Shown) != 0;
    }
    int SelectedCount() const { return SelectedTotal; }
    // How many of the selected nodes count as pages for the tools.
    int SelectedPageCount() const { return SelectedPages; }
    // The selected nodes in node order.
    std::vector<int> SelectedNodes() const;
    // The one selected node, or -1 unless exactly one is selected.
    int SingleSelectedNode() const;

    // Selects exactly the given nodes (any order, repeats allowed): one
    // change, in time proportional to the nodes.
    void SelectOnly(const std::vector<int>& nodes);

    // Carries out command on the given nodes (valid node numbers, repeats
    // allowed) as select() does on a selection of them.
    void SelectNodes(std::vector<int> nodes, QItemSelectionModel::SelectionFlags command);

    // The nodes the view shows now, top to bottom: a large selection is
    // mirrored for these.
    void SetShownNodes(std::vector<int> nodes);

    void select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QItemSelection& selection,
                QItemSelectionModel::SelectionFlags command) override;
    void clear() override;
    void reset() override;

  signals:
    // After every change of the flags. selectionChanged() comes first; when
    // more than TellRanges nodes changed its ranges are empty and a view
    // repaints all it shows.
    void NodesChanged();

  private:
    enum : char { Committed = 1, Shown = 2, Touched = 4, WasShown = 8 };

    void Resize();
    void Apply(std::vector<int> nodes, QItemSelectionModel::SelectionFlags command);
    void Touch(int node);
    void SetShown(int node, bool on);
    void AppendNodes(const QItemSelection& selection, std::vector<int>& nodes) const;
    QItemSelection RangesOf(std::vector<int> nodes) const;
    // Works out what the touched nodes changed, mirrors and tells it.
    void Finish();
    void Mirror();

    SiteTreeModel* TreeModel;
    std::vector<char> Flags;    // by node number
    std::vector<char> PageFlag; // by node number: counts as a page
    std::vector<int> TouchedNodes;
    // The nodes of the pending part (what its command made of them is in
    // Shown, what they were before in Committed).
    std::vector<int> Pending;
    std::vector<int> ShownNodes;
    int SelectedTotal = 0;
    int SelectedPages = 0;
    // Whether the base class's ranges hold the whole selection.
    bool MirroredWhole = true;
    // Whether any node may have a flag set (a Clear then looks at all).
    bool AnyFlags = false;
};

} // namespace vantora
