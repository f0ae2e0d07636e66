#include "SiteTreeModel.h"

#include "Url.h"

#include "NodeImages.h"

#include <QPixmap>

namespace vantora {

SiteTreeModel::SiteTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void SiteTreeModel::SetTree(SiteTree&& tree) {
    beginResetModel();
    TreeData = std::move(tree);
    if (Sorted)
        TreeData.Sort(true);
    endResetModel();
}

void SiteTreeModel::Clear() {
    beginResetModel();
    TreeData.Clear();
    endResetModel();
}

void SiteTreeModel::SetSorted(bool sorted) {
    if (sorted == Sorted)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    Sorted = sorted;
    TreeData.Sort(sorted);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        const int node = int(old.internalId());
        after.append(createIndex(TreeData.Row(node), old.column(), quintptr(node)));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int SiteTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? int(index.internalId()) : -1;
}

QModelIndex SiteTreeModel::IndexOf(int node) const {
    if (node < 0 || node >= TreeData.Count())
        return {};
    return createIndex(TreeData.Row(node), 0, quintptr(node));
}

QModelIndex SiteTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const int p = NodeOf(parent);
    if (column != 0 || row < 0 || row >= TreeData.ChildCount(p))
        return {};
    return createIndex(row, 0, quintptr(TreeData.Child(p, row)));
}

QModelIndex SiteTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    return IndexOf(TreeData.Parent(int(child.internalId())));
}

int SiteTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    return TreeData.ChildCount(NodeOf(parent));
}

int SiteTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool SiteTreeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant SiteTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const int node = int(index.internalId());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        // A caption of megabytes would be laid out at every paint; the view
        // shows its start, the tree keeps it whole for the full URL.
        const QStringView stored = TreeData.Caption(node);
        // International host names are stored in their xn-- form, as the
        // site map keeps them; the user reads them in Unicode.
        QString caption = stored.left(MaxShownCaption).toString();
        if (caption.contains(QLatin1String("xn--"), Qt::CaseInsensitive)) {
            const qsizetype url = caption.indexOf(QLatin1String("http"), 0, Qt::CaseInsensitive);
            if (url >= 0)
                caption = caption.left(url) +
                          QString::fromStdString(UrlForDisplay(caption.mid(url).toStdString()));
        }
        if (stored.size() <= MaxShownCaption)
            return caption;
        return caption + QChar(0x2026);
    }
    case Qt::DecorationRole: {
        const int kind = int(TreeData.Kind(node));
        if (Icons[kind].isNull())
            Icons[kind] = QIcon(QPixmap::fromImage(NodeImage(TreeData.Kind(node))));
        return Icons[kind];
    }
    case KindRole:
        return int(TreeData.Kind(node));
    default:
        return {};
    }
}

Qt::ItemFlags SiteTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace vantora
