#pragma once
// The site map panel: the group box "SiteMap" with the selection label, the
// site map tree and its pop-up menu, and the "Update Site Map" button.
#include <QStringList>
#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;

namespace vantora {

class MapperInfoDialog;
class ProcessLauncher;
class ShellLauncher;
class SiteMapController;
class SiteMapCreator;
class SiteMapHost;

class SiteMapPanel : public QWidget {
    Q_OBJECT
  public:
    // programDir is the folder of the program, where `sm` is; the map files go
    // to mapFolder (see SiteMapFolder).
    SiteMapPanel(SiteMapHost& host, ProcessLauncher& launcher, ShellLauncher& shell,
                 const QString& programDir, const QString& mapFolder, QWidget* parent = nullptr);

    SiteMapController& Controller() { return *Control; }
    SiteMapCreator& Creator() { return *Create; }
    MapperInfoDialog& InfoDialog() { return *Info; }
    QTreeView* Tree() const { return View; }
    QMenu* PopupMenu() const { return Menu; }

    // Rebuilds the tree from the project's SiteMapLines (after Open).
    void BuildSiteTree();
    // The "Update Site Map" command (button and Tools menu).
    void UpdateSiteMap();
    // Empties the tree and sets the selection label (reset: "", new: "(No selection)").
    void ClearTree(const QString& label);
    // The full URLs of the selected pages, built when asked for.
    QStringList SelectedPages() const;
    // True while a build or a creation runs: commands that would rebuild the
    // tree (Open, New, Update Site Map) are to be held off.
    bool IsBusy() const;

  signals:
    void StartButtonsEnabled(bool enabled);
    // The selection changed; count is how many pages it holds.
    void SelectedPagesChanged(int count);
    // A "Show ... report" item: tool page index 0..4, the node and its full URL.
    void ShowReportRequested(int toolIndex, int node, const QString& pageUrl);
    // "Watch Rank for this Key Phrase" (tool page index 2) or "Watch
    // Link-backs" (4) for the selected node's full URL.
    void WatchRequested(int toolIndex, const QString& pageUrl);
    // Emitted when IsBusy() changes.
    void BusyChanged(bool busy);

  private:
    void UpdatePopupItems();
    void LaunchBrowser();
    void ShowPopup(const QPoint& pos);
    void OnBusyChanged();

    ShellLauncher& Shell;
    SiteMapController* Control;
    SiteMapCreator* Create;
    MapperInfoDialog* Info;
    QLabel* Label;
    QTreeView* View;
    QPushButton* UpdateButton;
    QMenu* Menu;
    QAction* SortAction;
    QList<QAction*> SingleNodeActions;
};

} // namespace vantora
