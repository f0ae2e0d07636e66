#pragma once
// The Site Health page: the latest crawl's counts and site score, the checks
// with findings grouped by severity, the affected pages of the chosen check
// (link score first) with what to do about them, a compare box, the
// page-by-page changes and the trend chart. Everything is worked out in
// health/; loading runs off the window's thread.

#include "HealthModels.h"
#include "Overview.h"

#include <QDateTime>
#include <QWidget>
#include <functional>

#include <atomic>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableView;
class QTextBrowser;
class QTextDocument;
class QTreeWidget;

namespace vantora {
class Dialogs;
class ReportPrinters;
} // namespace vantora

namespace vantora::health {

class TrendChart;

// What the page needs from the window.
class HealthHost {
  public:
    virtual ~HealthHost() = default;
    virtual Dialogs& MessageBoxes() = 0;
    virtual ReportPrinters& Printers() = 0;
    // The open project's crawl history; empty while the project has no file.
    virtual QString CrawlHistoryPath() const = 0;
    virtual bool ProjectOpen() const = 0;
    // The Update Site Map command.
    virtual void UpdateSiteMap() = 0;
    // Selects these pages in the site map; how many were found there.
    virtual int SelectInSiteMap(const QStringList& urls) = 0;
    // Posts one batch of page addresses (one a line) to the analysis server
    // for IndexNow; done gets the server's one-line answer, or why none came.
    virtual void SubmitToIndexNow(const QByteArray& batch,
                                  std::function<void(const QString& answer)> done) = 0;
};

// What one load found: the crawls, the latest one's findings compared (or
// not), the overview, the trend and the page changes.
struct HealthSnapshot {
    QString Problem;          // the history could not be read: why
    bool HaveHistory = false; // a history with at least one crawl
    std::vector<CrawlInfo> Crawls;
    CrawlInfo Latest;
    long long ComparedWith = 0; // crawl id, 0: none
    std::shared_ptr<const std::vector<ComparedFinding>> Findings;
    std::shared_ptr<const std::vector<PageChange>> Changes;
    Overview Summary;
    std::vector<TrendPoint> Trend;
};

// Loads from the history at path; compare: a crawl id, 0 none, -1 the previous one.
HealthSnapshot LoadSnapshot(const std::string& path, long long compare);

class HealthPage : public QWidget {
    Q_OBJECT
  public:
    explicit HealthPage(HealthHost& host, QWidget* parent = nullptr);
    ~HealthPage() override;

    // Loads the history again (a crawl was stored, a project opened or closed).
    void Reload();
    // A new crawl is being kept: the findings and page changes shown, which
    // a million pages make hundreds of megabytes, go before the new ones are
    // read (the overview stays, the page says it is busy). A Reload follows.
    void LetListsGo();
    // The report of the page (counts, checks, the chart as a picture).
    std::unique_ptr<QTextDocument> Report() const;
    const HealthSnapshot& Snapshot() const { return Data; }
    bool Loading() const { return Generation != Shown; }
    // Whether a CSV export is being written.
    bool Exporting() const { return ExportRunning; }

    void PrintReport();
    void SaveReport();
    void ExportCsv();
    // Every listable page of the latest crawl through the server's IndexNow
    // service, in batches; the answers are shown when all are in.
    void SubmitAllThroughIndexNow();

  signals:
    void Loaded();
    // A CSV export has ended; error is "" when the file was written.
    void Exported(const QString& error);

  protected:
    // Coming into view, the page loads again when the project or its history
    // changed meanwhile.
    void showEvent(QShowEvent* event) override;

  private:
    void Show(HealthSnapshot snapshot, int generation);
    void ShowCheck();
    void ShowDetail();
    void SelectAllInSiteMap();
    void CompareWith(long long crawl);
    // Shows what runs off the window's thread ("" hides the indicator).
    void SetBusy(const QString& text);

    HealthHost& Host;
    HealthSnapshot Data;
    int Generation = 0, Shown = 0;
    long long Compare = -1;
    QString LoadedPath;
    QDateTime LoadedStamp;
    QStackedWidget* Stack;
    QLabel* EmptyText;
    QPushButton* UpdateButton;
    QLabel* Summary;
    QComboBox* CompareBox;
    QCheckBox* OnlyNew;
    QTabWidget* Views;
    QTreeWidget* Checks;
    QTableView* Pages;
    FindingsModel* PageModel;
    QTextBrowser* Detail;
    QTableView* ChangeView;
    ChangesModel* ChangeModel;
    QLabel* ChangesText;
    TrendChart* Chart;
    QPushButton *SelectButton, *ExportButton, *PrintButton, *SaveButton, *SubmitButton;
    QWidget* BusyRow;
    QLabel* BusyText;
    bool ExportRunning = false;
    void SubmitBatches(std::shared_ptr<std::vector<std::string>> batches, std::size_t next,
                       std::shared_ptr<QStringList> answers);
    std::shared_ptr<std::atomic<bool>> Alive;
};

} // namespace vantora::health
