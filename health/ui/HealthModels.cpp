#include "HealthModels.h"

#include "Export.h"

namespace vantora::health {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void FindingsModel::Show(std::shared_ptr<const std::vector<ComparedFinding>> findings,
                         const std::string& check, bool onlyNew, bool comparing) {
    beginResetModel();
    All = std::move(findings);
    Check = check;
    OnlyNew = onlyNew;
    Comparing = comparing;
    Order();
    endResetModel();
}

void FindingsModel::Order() {
    Rows = All ? AffectedRows(*All, Check, OnlyNew, By, Descending) : std::vector<std::size_t>();
}

const ComparedFinding* FindingsModel::At(int row) const {
    return All && row >= 0 && static_cast<std::size_t>(row) < Rows.size() ? &(*All)[Rows[row]]
                                                                          : nullptr;
}

QStringList FindingsModel::Urls() const {
    QStringList urls;
    for (const std::size_t row : Rows)
        if ((*All)[row].How != Change::Fixed)
            urls << Q((*All)[row].Item.Url);
    urls.removeDuplicates();
    return urls;
}

int FindingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int FindingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : (Comparing ? ColumnCount : ColumnCount - 1);
}

QVariant FindingsModel::data(const QModelIndex& index, int role) const {
    const ComparedFinding* row = At(index.row());
    if (!row)
        return {};
    if (role == UrlRole)
        return Q(row->Item.Url);
    if (role == Qt::TextAlignmentRole && index.column() == ScoreColumn)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case ScoreColumn:
        return Q(ScoreText(row->Item.LinkScore, "-"));
    case UrlColumn:
        return Q(row->Item.Url);
    case DetailColumn:
        return Q(row->Item.Detail);
    case ChangeColumn:
        return Q(std::string(ChangeName(row->How)));
    default:
        return {};
    }
}

QVariant FindingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const Names[] = {"Link score", "URL", "Detail", "Change"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(Names[section]) : QVariant();
}

void FindingsModel::sort(int column, Qt::SortOrder order) {
    static const PageOrder Orders[] = {PageOrder::LinkScore, PageOrder::Url, PageOrder::Detail,
                                       PageOrder::Change};
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged();
    By = Orders[column];
    // The link score's natural order is highest first: the view's descending.
    Descending = column == ScoreColumn ? order == Qt::AscendingOrder : order == Qt::DescendingOrder;
    Order();
    emit layoutChanged();
}

void ChangesModel::Show(std::shared_ptr<const std::vector<PageChange>> changes) {
    beginResetModel();
    All = std::move(changes);
    endResetModel();
}

const PageChange* ChangesModel::At(int row) const {
    return All && row >= 0 && static_cast<std::size_t>(row) < All->size() ? &(*All)[row] : nullptr;
}

int ChangesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !All ? 0 : static_cast<int>(All->size());
}

int ChangesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 5;
}

QVariant ChangesModel::data(const QModelIndex& index, int role) const {
    const PageChange* row = At(index.row());
    if (!row || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    switch (index.column()) {
    case 0:
        return Q(row->How);
    case 1:
        return Q(row->Url);
    case 2:
        return Q(row->Field);
    case 3:
        return Q(row->Old);
    case 4:
        return Q(row->New);
    default:
        return {};
    }
}

QVariant ChangesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const Names[] = {"Change", "URL", "Field", "Old", "New"};
    return section >= 0 && section < 5 ? QString::fromLatin1(Names[section]) : QVariant();
}

} // namespace vantora::health
