#pragma once
// The page of one of the five on-line tools: Start queues one request per
// selected page, each answer is checked, filed in the tool's archive and
// shown; the "Add from old Report:" list is a view of that archive, so the
// two cannot disagree.
#include "ToolKind.h"
#include "ToolPage.h"
#include "ToolRequests.h"

#include <QAbstractListModel>

class QComboBox;
class QMenu;
class QPushButton;

namespace vantora {

class ToolArchive;

// The old-report list's items over the tool's archive of the open project.
class OldReportModel : public QAbstractListModel {
    Q_OBJECT
  public:
    OldReportModel(WindowHost& host, ToolKind kind, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    ToolArchive& Archive() const;
    // Runs a change of the archive with the views told about it.
    template <class Edit> auto Change(Edit&& edit) {
        beginResetModel();
        struct End {
            OldReportModel* Model;
            ~End() { Model->endResetModel(); }
        } end{this};
        return edit(Archive());
    }

  private:
    WindowHost& Host;
    ToolKind Kind;
};

class OnlineToolPage : public ToolPage {
    Q_OBJECT
  public:
    OnlineToolPage(ToolKind kind, const QString& pageText, WindowHost& host,
                   QWidget* parent = nullptr);

    ToolKind Kind() const { return Tool; }
    QComboBox* OldReportList() const { return OldReports; }
    QMenu* OldReportPopup() const { return Popup; }
    // Rankscout's "Watch Rank for this Key Phrase" and Backwatch's "Watch
    // Link-backs": on while the page of the shown old report is watched;
    // null for the other tools.
    QPushButton* WatchButton() const { return Watch; }
    // The site map's watch entries: starts watching page, or ends it when it
    // is watched; Rankscout needs a stored result for the key phrase.
    void ToggleWatch(const QString& page);

    // Connection check, the tool's input checks, one queued request per
    // selected page, the transport started when idle.
    void Start() override;
    // An answer for this tool: invalid, not opened, or filed and shown.
    void TakeAnswer(const QString& answer);
    // Writes the report of old-report item index into the view.
    void ShowStored(int index);
    // The site map's "Show ... report": the newest result for page, else
    // (with ReportGen on) a new run.
    void ShowFromSiteMap(const QString& page);
    // Removes the selected old report from the archive and the list.
    void DeleteSelected();
    // The list again from the archive (a project opened, closed or reset).
    void RebuildOldReports();

  protected:
    // The tool's checks and request URLs for pages; a failure names its
    // message and the box that gets the focus.
    virtual CheckedRequests BuildRequests(const QStringList& pages) = 0;
    // Gives the box at fault the focus.
    virtual void FocusInput(InputField) {}
    // Asked once the checks passed, before anything is queued; false stops.
    virtual bool ConfirmRun(const QStringList&) { return true; }
    // Show from the site map sets default engines where the tool has them.
    virtual void ApplyEngineDefaults() {}

  private:
    // Sizes the list's drop-down to its longest entry and shows the current
    // entry whole as the box's tool tip.
    void ShowWholeEntry();
    // The watch button's state for the shown old report.
    void UpdateWatchButton();

    ToolKind Tool;
    OldReportModel* Model;
    QComboBox* OldReports;
    QMenu* Popup;
    QPushButton* Watch = nullptr;
};

} // namespace vantora
