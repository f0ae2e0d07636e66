#pragma once
// Item models over the loaded crawl: the affected pages of a check (rows are
// indices into the findings, never one item per row) and the page-by-page
// changes between two crawls.

#include "Compare.h"
#include "Overview.h"

#include <QAbstractTableModel>

#include <memory>

namespace vantora::health {

class FindingsModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { ScoreColumn, UrlColumn, DetailColumn, ChangeColumn, ColumnCount };
    static constexpr int UrlRole = Qt::UserRole + 1;

    explicit FindingsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Shows the findings of check (all when empty), only new ones when asked.
    void Show(std::shared_ptr<const std::vector<ComparedFinding>> findings,
              const std::string& check, bool onlyNew, bool comparing);
    const ComparedFinding* At(int row) const;
    QStringList Urls() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

  private:
    void Order();

    std::shared_ptr<const std::vector<ComparedFinding>> All;
    std::vector<std::size_t> Rows;
    std::string Check;
    bool OnlyNew = false, Comparing = false;
    PageOrder By = PageOrder::LinkScore;
    bool Descending = false;
};

class ChangesModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ChangesModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void Show(std::shared_ptr<const std::vector<PageChange>> changes);
    const PageChange* At(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::shared_ptr<const std::vector<PageChange>> All;
};

} // namespace vantora::health
