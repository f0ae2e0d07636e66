#pragma once
// The main window: it is the program. It holds the open project's fields and
// the run-time state beside them, owns the dialogs, and its handlers call the
// subsystem code that does the work.
#include "Platform.h"
#include "ProgramSettings.h"
#include "ProjectData.h"

#include <QKeySequence>
#include <QMainWindow>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTabBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;

namespace vantora {

class AboutBox;
class BulletinPage;
class SiteMapPanel;
class BundledServer;
class DialSession;
class AuditDialog;
class SitecensusPage;
class Dialupthing;
class Transport;
class ProgramOptionsDialog;
class ReportEditor;
class ReportPrinters;
class ReportView;
class OnlineToolPage;
class SplashScreen;
class TipOfTheDayWindow;
class ProjectSettingsDialog;
namespace health {
class HealthPage;
}

// A key for a command only the tool bar offers: Target names the tool bar
// action, or a tool bar box the key gives the focus to.
struct KeyboardCommand {
    const char* Target;
    QKeySequence Keys;
};
const std::vector<KeyboardCommand>& KeyboardCommands();

// The pages of the tools notebook by index. The five on-line tools come
// first, at TabIndex() of their ToolKind.
enum NotebookTab {
    WordweighTab = 0,
    StuffwatchTab,
    RankscoutTab,
    EnginepostTab,
    BackwatchTab,
    TagsmithTab,
    SitecensusTab,
    BulletinBoardTab,
    TabCount
};

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // programPath is the program's own file: sm, vantora-server and Help/
    // are found beside it and the project file type is registered with it.
    MainWindow(const Platform& platform, const QString& programPath, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs the start-up after the window is shown: splash, settings, file
    // type, connection state, then the project named in arguments (the
    // program's arguments without the program itself) or the tip of the day.
    void Startup(const QStringList& arguments);
    // How long the splash screen stays up at least (tests shorten it).
    int SplashMinimumMs = 2000;
    // Start the bundled analysis server when nothing answers at ServerAddress.
    bool StartBundledServer = true;
    QString ProgramPath;
    // Shows a dialog modally; tests replace it to answer without a loop.
    std::function<int(QDialog*)> RunModal;

    // --- the project's persistent data ---
    ProjectData Project;

    // --- run-time state ---
    QString ProjectFileName;
    bool ProjectModified = false;
    QStringList RecentFiles{QString(), QString(), QString(), QString()};
    // The full URLs of the pages selected in the site map, built when asked
    // for (a tool starting).
    QStringList SelectedPages() const;
    QString ServerAddress;
    QString UserId;
    // The request queue and its transport (RequestQueue, TransportIdle,
    // AnswerBuffer, PendingAnswers, StopRequested live there) and the
    // dial-up state (DialledByUs, DialCancelled).
    std::unique_ptr<Transport> Net;
    std::unique_ptr<DialSession> Dial;
    std::unique_ptr<BundledServer> Bundled;
    ProgramOptions Options;
    QString ProgramDir;

    // --- project life cycle ---
    void NewProject();
    void OpenProject(const QString& path);
    // True when the project was written.
    bool SaveProject();
    void SaveProjectAs();
    void CloseProject();
    void ResetProject();
    void UpdateRecentFiles();
    // The new-project steps; urlText is the settings dialog's URL.
    void ApplyNewProjectState(const QString& urlText = QString());
    // The save prompt of New, Open and Close: true = go on.
    bool SavePromptAllows();
    bool ProjectIsOpen() const;

    void ApplyNoProjectState();
    // Switches report edit mode; refused while the bulletin page is showing.
    void ApplyProjectOpenState();
    void SetStatusText(const QString& text);    // panel 0
    void SetProjectStatus(const QString& text); // panel 1
    QString StatusText() const;
    QString ProjectStatus() const;
    void SetTitleForFile();
    // Runs a command; a failure it does not handle goes to the general error box.
    void RunCommand(const std::function<void()>& command);
    // The busy animation of the tool bar's large button.
    void SetAnimation(bool on);
    bool AnimationRunning() const;
    int AnimationFrame() const { return Frame; }

    // --- widgets other parts and the tests reach ---
    QAction* FindAction(const QString& objectName) const;
    QWidget* ProjectView = nullptr;
    QSplitter* MainSplitter = nullptr;
    SiteMapPanel* SiteMap = nullptr;
    QLabel* SelectionLabel = nullptr;
    QPushButton* UpdateSiteMapButton = nullptr;
    QTabWidget* ToolPages = nullptr;
    // The notebook's tab strip, across the whole window above the site map
    // and the pages so that every page's tab shows whole at the default
    // size; it and the notebook follow each other.
    QTabBar* PageTabs = nullptr;
    std::array<ReportView*, TabCount> ReportViews{};
    // Edit mode and the edit, format, print and save commands of the views.
    ReportEditor* Reports = nullptr;
    std::array<QPushButton*, 5> StartButtons{};
    // The pages of the five on-line tools, at TabIndex() of their ToolKind.
    std::array<OnlineToolPage*, 5> OnlinePages{};
    BulletinPage* BBPage = nullptr;
    QTreeWidget* BBList = nullptr;
    QSplitter* BBSplitter = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    QToolBar* MainToolBar = nullptr;
    QComboBox* FontNameList = nullptr;
    QComboBox* FontSizeList = nullptr;
    QToolButton* AnimatedButton = nullptr;
    std::array<QAction*, 4> RecentFileActions{};
    QAction* RecentSeparator = nullptr;
    QMenu* FileMenu = nullptr;
    QMenu* EditMenu = nullptr;
    QMenu* ToolsMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QMenu* SiteMapPopup = nullptr;
    QMenu* ReportPopup = nullptr;

    // Dialogs, made once at start-up and reused.
    SplashScreen* Splash = nullptr;
    AboutBox* About = nullptr;
    ProjectSettingsDialog* ProjectSettings = nullptr;
    AuditDialog* AuditOptionsDlg = nullptr;
    SitecensusPage* Census = nullptr;
    // The Site Health page after the tool pages (HealthPageHost.cpp).
    health::HealthPage* Health = nullptr;
    Dialupthing* DialDialog = nullptr;
    ProgramOptionsDialog* ProgramOptionsDlg = nullptr;
    TipOfTheDayWindow* TipWindow = nullptr;

    const Platform& Edge() const { return Env; }

    // Help "&Contents" (F1): the help page for the control with the focus.
    void ShowHelpContents();
    // The help page ShowHelpContents opens for the current focus.
    QString HelpPageForFocus() const;

  signals:
    void StartupFinished();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Each menu's commands and the menu itself (FileMenu.cpp, EditMenu.cpp,
    // ToolsMenu.cpp, HelpMenu.cpp); the tool bar's (ToolBar.cpp).
    void BuildFileMenu();
    void BuildEditMenu();
    void BuildToolsMenu();
    void BuildHelpMenu();
    void BuildReportPopup();
    void BuildToolBarCommands();
    void BuildToolBar();
    void BuildKeyboardCommands();
    void BuildStatusBar();
    void BuildProjectView();
    QWidget* BuildToolPage(int index);
    void RebuildRecentFileEntries();
    void OpenRecentFile(int slot);
    void ShowProgramOptions();
    void ShowProjectSettings();
    void ShowSearchServices();
    void StopTransfers();
    // The shut-down steps; false when the window must stay open (a save
    // asked for at the exit prompt failed).
    bool Shutdown();
    // Takes the panel sizes from the splitters that are laid out on screen.
    void RememberPanelSizes();
    void ClearReportViews();
    void ClearProjectLists();
    void ActivateFirstToolPage();
    void FillOldReportLists();
    void FillBulletinList();
    void BuildSiteTreeFromLines();
    void ClearSiteMap(const QString& label);
    void SiteMapBusyChanged(bool busy);
    void LetMessagesRun();
    void ApplyControlState(bool projectOpen);
    QAction* MakeAction(const QString& name, const QString& text, const QString& hint = QString(),
                        const QKeySequence& shortcut = QKeySequence());
    // Runs command through RunCommand whenever action is triggered.
    void OnTriggered(QAction* action, std::function<void()> command);

    Platform Env;
    class SettingsHost;
    class NetHost;
    class MapHost;
    class BulletinLink;
    std::unique_ptr<BulletinLink> BulletinBoardLink;
    class PagesHost;
    std::unique_ptr<MapHost> SiteMapLink;
    class HealthLink;
    std::unique_ptr<HealthLink> HealthPageLink;
    void BuildHealthPage();
    std::unique_ptr<PagesHost> PagesLink;
    std::unique_ptr<SettingsHost> ProjectSettingsLink;
    std::unique_ptr<NetHost> NetLink;
    std::unique_ptr<ReportPrinters> OwnPrinters;
    QTimer* AnimationTimer = nullptr;
    int Frame = 0;
    bool ShuttingDown = false;
    bool ShutdownDone = false;
    // The panel sizes to store at exit: the value read at start until the
    // panel has been laid out, then what the user last saw.
    int KeptHorzPos = DefaultHorzPos;
    int KeptVertPos = DefaultVertPos;
};

} // namespace vantora
