#pragma once
// An item model over a SiteTree: one column, the caption as text and the
// node's picture as decoration. Model indexes carry the node number (the
// node's position in line order) as internal id.
#include "SiteTree.h"

#include <QAbstractItemModel>
#include <QIcon>

namespace vantora {

class SiteTreeModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    // The image index of a node, as a data role.
    static constexpr int KindRole = Qt::UserRole + 1;
    // Captions longer than this are shown cut, with an ellipsis.
    static constexpr qsizetype MaxShownCaption = 1024;

    explicit SiteTreeModel(QObject* parent = nullptr);

    const SiteTree& Tree() const { return TreeData; }
    // Replaces all nodes; the view loses expansion and selection.
    void SetTree(SiteTree&& tree);
    void Clear();
    // Sorts every level by caption, or restores line order, keeping the
    // view's expansion and selection.
    void SetSorted(bool sorted);
    bool IsSorted() const { return Sorted; }

    int NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(int node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    SiteTree TreeData;
    bool Sorted = false;
    mutable QIcon Icons[NodeKindCount];
};

} // namespace vantora
