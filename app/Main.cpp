#include "Main.h"
#include "HealthPage.h"
#include "WindowHosts.h"

#include "Audit.h"
#include "BundledServer.h"
#include "Dialupthing.h"
#include "MapperInfoDialog.h"
#include "New.h"
#include "ReportEditor.h"
#include "ReportPrinters.h"
#include "SiteMapCreation.h"
#include "SiteMapPanel.h"
#include "SitecensusPage.h"
#include "about.h"
#include "programopt.h"
#include "splash.h"
#include "startdlg.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <exception>

// The window itself: what it is made of, its two project states and the
// status bar. The commands live beside it by menu: FileMenu.cpp,
// EditMenu.cpp, ToolsMenu.cpp, HelpMenu.cpp and ToolBar.cpp; the pages of
// the notebook in Notebook.cpp; start-up and shut-down in StartStop.cpp.

namespace vantora {

MainWindow::MainWindow(const Platform& platform, const QString& programPath, QWidget* parent)
    : QMainWindow(parent), ProgramPath(programPath), Env(platform) {
    setObjectName(QStringLiteral("Main"));
    RunModal = [](QDialog* dialog) { return dialog->exec(); };
    setWindowTitle(QStringLiteral("The Vantora"));
    resize(820, 623);
    // Below this every control still reads whole and the report views keep
    // lines to read.
    setMinimumSize(760, 560);

    AnimationTimer = new QTimer(this);
    AnimationTimer->setInterval(200);
    connect(AnimationTimer, &QTimer::timeout, this, [this] {
        Frame = (Frame + 1) % 16;
        AnimatedButton->setIcon(QIcon(DrawAnimationFrame(Frame)));
    });

    NetLink = std::make_unique<NetHost>(*this);
    Net = std::make_unique<Transport>(*Env.http, *NetLink);
    Dial = std::make_unique<DialSession>(*Env.dialUp, *Env.dialogs, *NetLink);
    Bundled = std::make_unique<BundledServer>();
    SiteMapLink = std::make_unique<MapHost>(*this);
    BulletinBoardLink = std::make_unique<BulletinLink>(*this);
    PagesLink = std::make_unique<PagesHost>(*this);

    BuildFileMenu();
    BuildEditMenu();
    BuildToolsMenu();
    BuildHelpMenu();
    BuildReportPopup();
    BuildToolBar();
    BuildKeyboardCommands();
    BuildStatusBar();
    BuildProjectView();

    if (!Env.printers) {
        OwnPrinters = std::make_unique<SystemPrinters>();
        Env.printers = OwnPrinters.get();
    }
    Reports = new ReportEditor(*Env.dialogs, *Env.clock, *Env.printers, *ToolPages, *this);
    for (int page = 0; page < TabCount; ++page)
        Reports->AttachView(page, ReportViews[page]);

    // The dialogs, made once and reused for the life of the program.
    Splash = new SplashScreen(this);
    About = new AboutBox(*Env.shell, this);
    ProjectSettingsLink = std::make_unique<SettingsHost>(*this);
    ProjectSettings = new ProjectSettingsDialog(*Env.dialogs, *ProjectSettingsLink, this);
    AuditOptionsDlg = new AuditDialog(this);
    Census->SetDialog(AuditOptionsDlg, [this](QDialog* dialog) { return RunModal(dialog); });
    DialDialog = new Dialupthing(*Dial, *Env.dialogs, this);
    ProgramOptionsDlg = new ProgramOptionsDialog(Env.settings, Env.dialogs, &Options, this);
    connect(
        ProgramOptionsDlg, &ProgramOptionsDialog::ServerTokenChanged, this,
        [this](const QString& token) { Env.http->SetServerToken(ServerAddress, token.toUtf8()); });
    TipWindow = new TipOfTheDayWindow(Options.TipOfTheDayMode, this);
    connect(TipWindow, &TipOfTheDayWindow::HelpRequested, this, &MainWindow::ShowHelpContents);
    connect(&SiteMap->InfoDialog(), &MapperInfoDialog::HelpRequested, this,
            &MainWindow::ShowHelpContents);
    // A modal window blocks the F1 shortcut of this window; F1 pressed in one
    // opens the help all the same.
    qApp->installEventFilter(this);

    NetLink->SetDialItemsEnabled(Dial->DialItemEnabled, Dial->HangUpItemEnabled);
    ApplyNoProjectState();
    ProjectView->hide();
    setEnabled(false);
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::MakeAction(const QString& name, const QString& text, const QString& hint,
                                const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (!hint.isEmpty()) {
        action->setStatusTip(hint);
        action->setToolTip(hint);
    }
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

QAction* MainWindow::FindAction(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

void MainWindow::OnTriggered(QAction* action, std::function<void()> command) {
    connect(action, &QAction::triggered, this,
            [this, command = std::move(command)] { RunCommand(command); });
}

void MainWindow::BuildStatusBar() {
    StatusPanel0 = new QLabel(QStringLiteral("The Vantora"), this);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setFixedWidth(320);
    StatusPanel1 = new QLabel(this);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusPanel1->setMinimumWidth(50);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setAccessibleName(QStringLiteral("Status"));
    statusBar()->setSizeGripEnabled(true);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1, 1);
}

// ---------------------------------------------------------------- states

// The control states: which actions the two project states enable.
namespace {

void SetActionsEnabled(const MainWindow& window, std::initializer_list<const char*> names,
                       bool on) {
    for (const char* name : names)
        window.FindAction(QString::fromLatin1(name))->setEnabled(on);
}

} // namespace

void MainWindow::ApplyControlState(bool projectOpen) {
    SetActionsEnabled(*this, {"tbSave", "actSave", "actSaveAs", "actClose"}, projectOpen);
    SetActionsEnabled(*this, {"actUpdateBulletinBoard"}, projectOpen);
    SetActionsEnabled(*this, {"tbNew", "tbOpen", "tbProgramOptions", "tbStop"}, true);
    if (Health && Health->isVisible())
        Health->Reload();
    if (!projectOpen)
        SetActionsEnabled(*this, {"actStopBackwatchBulletins", "actStopRankscoutBulletins"}, false);
    BBPage->SetProjectOpen(projectOpen);
    EditMenu->setEnabled(projectOpen);
    ToolsMenu->setEnabled(projectOpen);
    // Edit mode off, the views read-only, the report commands per project.
    Reports->ApplyProjectState(projectOpen);
}

void MainWindow::ApplyNoProjectState() {
    ApplyControlState(false);
}

void MainWindow::ApplyProjectOpenState() {
    ApplyControlState(true);
}

bool MainWindow::ProjectIsOpen() const {
    return !ProjectView->isHidden();
}

void MainWindow::SetStatusText(const QString& text) {
    StatusPanel0->setText(text);
}
void MainWindow::SetProjectStatus(const QString& text) {
    StatusPanel1->setText(text);
}
QString MainWindow::StatusText() const {
    return StatusPanel0->text();
}
QString MainWindow::ProjectStatus() const {
    return StatusPanel1->text();
}

void MainWindow::SetTitleForFile() {
    setWindowTitle(ProjectFileName.isEmpty() ? QStringLiteral("The Vantora")
                                             : QStringLiteral("The Vantora - ") + ProjectFileName);
}

void MainWindow::SetAnimation(bool on) {
    if (on) {
        if (!AnimationTimer->isActive())
            AnimationTimer->start();
        return;
    }
    AnimationTimer->stop();
    Frame = 0;
    AnimatedButton->setIcon(QIcon(DrawAnimationFrame(0)));
}

bool MainWindow::AnimationRunning() const {
    return AnimationTimer->isActive();
}

void MainWindow::RunCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& failure) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        Env.dialogs->GeneralError(QString::fromUtf8(failure.what()));
    }
}

void MainWindow::LetMessagesRun() {
    QCoreApplication::processEvents();
}

} // namespace vantora
