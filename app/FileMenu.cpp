// The File menu and the project life cycle behind it: new, open, save,
// save as, close, the recent files and Program Options.
#include "Main.h"

#include "BulletinPage.h"
#include "DialSession.h"
#include "Dialogs.h"
#include "Environment.h"
#include "History.h"
#include "New.h"
#include "OnlineToolPage.h"
#include "ProjectFile.h"
#include "RecentFiles.h"
#include "ReportView.h"
#include "Settings.h"
#include "SiteMapHost.h"
#include "SiteMapPanel.h"
#include "Transport.h"
#include "programopt.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <atomic>

namespace vantora {

void MainWindow::BuildFileMenu() {
    OnTriggered(MakeAction("actNew", "&New...", "Creates a new project",
                           QKeySequence(Qt::CTRL | Qt::Key_N)),
                [this] { NewProject(); });
    OnTriggered(MakeAction("actOpen", "&Open...", "Open an existing project from disk",
                           QKeySequence(Qt::CTRL | Qt::Key_O)),
                [this] {
                    if (SavePromptAllows())
                        OpenProject(QString());
                });
    OnTriggered(MakeAction("actSave", "&Save", "Save the current project to disk",
                           QKeySequence(Qt::CTRL | Qt::Key_S)),
                [this] { SaveProject(); });
    OnTriggered(MakeAction("actSaveAs", "Save &As...",
                           "Save the current project with a new filename",
                           QKeySequence(Qt::CTRL | Qt::Key_A)),
                [this] { SaveProjectAs(); });
    OnTriggered(MakeAction("actClose", "&Close"), [this] { CloseProject(); });
    MakeAction("actPrinterSetup", "Printer Set&up...");
    MakeAction("actPrint", "&Print Report", QString(), QKeySequence(Qt::CTRL | Qt::Key_P));
    for (int i = 0; i < 4; ++i) {
        RecentFileActions[i] = MakeAction(QStringLiteral("actRecent%1").arg(i), QString());
        OnTriggered(RecentFileActions[i], [this, i] { OpenRecentFile(i); });
    }
    OnTriggered(MakeAction("actProgramOptions", "Program &Options..."),
                [this] { ShowProgramOptions(); });
    connect(MakeAction("actExit", "E&xit", QString(), QKeySequence(Qt::ALT | Qt::Key_F4)),
            &QAction::triggered, this, &QWidget::close);

    auto a = [this](const char* name) { return FindAction(QString::fromLatin1(name)); };
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    FileMenu->addAction(a("actNew"));
    FileMenu->addAction(a("actOpen"));
    FileMenu->addAction(a("actSave"));
    FileMenu->addAction(a("actSaveAs"));
    FileMenu->addAction(a("actClose"));
    FileMenu->addSeparator();
    FileMenu->addAction(a("actPrinterSetup"));
    FileMenu->addAction(a("actPrint"));
    RecentSeparator = FileMenu->addSeparator();
    RecentSeparator->setObjectName(QStringLiteral("RecentSeparator"));
    for (QAction* recent : RecentFileActions)
        FileMenu->addAction(recent);
    FileMenu->addSeparator();
    FileMenu->addAction(a("actProgramOptions"));
    FileMenu->addSeparator();
    FileMenu->addAction(a("actExit"));
    RebuildRecentFileEntries();
}

void MainWindow::ShowProgramOptions() {
    ProgramOptionsDlg->FillFromOptions();
    if (RunModal(ProgramOptionsDlg) == QDialog::Accepted)
        BBPage->SetPeriodicCheck(Options.CheckMsg);
}

// ---------------------------------------------------------------- recent files

void MainWindow::RebuildRecentFileEntries() {
    for (int i = 0; i < 4; ++i) {
        const QString path = RecentFiles.value(i);
        RecentFileActions[i]->setText(path.isEmpty() ? QString() : RecentFileCaption(i, path));
        RecentFileActions[i]->setVisible(!path.isEmpty());
    }
    RecentSeparator->setVisible(HasRecentFiles(RecentFiles));
}

void MainWindow::UpdateRecentFiles() {
    MoveToFrontOfRecentFiles(RecentFiles, ProjectFileName);
    StoreRecentFiles(*Env.settings, RecentFiles);
    RebuildRecentFileEntries();
}

void MainWindow::OpenRecentFile(int slot) {
    const QString path = RecentFiles.value(slot);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    OpenProject(path);
}

// ---------------------------------------------------------------- life cycle

bool MainWindow::SavePromptAllows() {
    if (!ProjectModified)
        return true;
    const MsgAnswer answer = Env.dialogs->Message(
        MsgKind::Warning,
        QStringLiteral(
            "The current Project is not saved, do you want to save it before continuing?"),
        MsgButtons::YesNoCancel);
    if (answer == MsgAnswer::Cancel)
        return false;
    if (answer == MsgAnswer::Yes) {
        SaveProject();
        return !ProjectModified;
    }
    return true;
}

void MainWindow::ClearReportViews() {
    for (ReportView* view : ReportViews)
        view->ClearReport();
    BBList->clear();
}

void MainWindow::ClearProjectLists() {
    for (int tag = Transport::FirstToolTag; tag <= Transport::LastToolTag; ++tag)
        Net->PendingAnswers(tag).clear();
    Project.SiteMapLines.clear();
    for (const ToolInfo& tool : AllTools())
        Project.Archive(tool.Kind).Clear();
    Project.BulletinMessages.Clear();
}

void MainWindow::ActivateFirstToolPage() {
    while (ToolPages->currentIndex() != WordweighTab)
        ToolPages->setCurrentIndex((ToolPages->currentIndex() + 1) % ToolPages->count());
}

void MainWindow::ClearSiteMap(const QString& label) {
    Project.SiteMapLines.clear();
    SiteMap->ClearTree(label);
}

void MainWindow::BuildSiteTreeFromLines() {
    SiteMap->BuildSiteTree();
}

void MainWindow::FillOldReportLists() {
    for (OnlineToolPage* page : OnlinePages)
        page->RebuildOldReports();
}

void MainWindow::FillBulletinList() {
    BBPage->FillBulletinList();
}

void MainWindow::NewProject() {
    if (SiteMap->IsBusy() || !SavePromptAllows())
        return;
    ResetProject();
    ShowProjectSettings();
    if (ProjectIsOpen() &&
        Env.dialogs->Message(
            MsgKind::Confirm,
            QStringLiteral("Do you want to create the Site Map for this new Project now?"),
            MsgButtons::YesNo) == MsgAnswer::Yes)
        UpdateSiteMapButton->click();
}

void MainWindow::ApplyNewProjectState(const QString& urlText) {
    ClearSiteMap(QStringLiteral("(No selection)"));
    ActivateFirstToolPage();
    ClearReportViews();
    ClearProjectLists();
    FillOldReportLists();
    ApplyProjectOpenState();
    ProjectModified = true;
    SetProjectStatus(QStringLiteral("Project Open, ") + urlText);
    for (QPushButton* start : StartButtons)
        start->setEnabled(false);
    SiteMap->ClearTree(QStringLiteral("(No selection)"));
    ProjectView->show();
}

namespace {

// Reads a project file into project. A large one (a site map of millions of
// pages) takes seconds: it is read on a thread of its own behind a modal
// progress window with Cancel, so the window goes on and no other command
// starts while the project is only half there.
ProjectFileResult ReadProjectShowingProgress(QWidget* parent, const QString& path,
                                             ProjectData& project) {
    constexpr qint64 LargeFile = qint64(16) << 20;
    if (QFileInfo(path).size() < LargeFile)
        return ReadProjectFile(path, project);
    constexpr int Steps = 1000;
    QProgressDialog progress(QStringLiteral("Opening the project %1...").arg(path),
                             QStringLiteral("Cancel"), 0, Steps, parent);
    progress.setObjectName(QStringLiteral("OpenProjectProgress"));
    progress.setWindowTitle(QStringLiteral("Open Project"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    progress.show();
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    std::atomic<qint64> done{0}, total{0};
    std::atomic<bool> cancel{false};
    ProjectFileResult result;
    const bool ran = RunWhileHandlingMessages(
        [&] {
            result = ReadProjectFile(path, project, [&](qint64 at, qint64 of) {
                done.store(at);
                total.store(of);
                return !cancel.load();
            });
        },
        [&] {
            if (progress.wasCanceled())
                cancel.store(true);
            else if (total.load() > 0)
                progress.setValue(int(done.load() * Steps / total.load()));
        });
    QApplication::restoreOverrideCursor();
    if (!ran) {
        project.Clear();
        result = ProjectFileResult::Failure(
            QStringLiteral("There is not enough memory to open the project file %1").arg(path));
    }
    return result;
}

} // namespace

void MainWindow::OpenProject(const QString& path) {
    if (SiteMap->IsBusy())
        return;
    ResetProject();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LetMessagesRun();
    LetMessagesRun();
    if (!path.isEmpty()) {
        // A path typed relative to the current folder is kept in full, so
        // the title and the recent-file entry name the file anywhere.
        ProjectFileName = QFileInfo(path).absoluteFilePath();
    } else {
        QApplication::restoreOverrideCursor();
        FileDialogOptions options;
        options.Title = QStringLiteral("Open Project");
        options.Filter = QStringLiteral("ZEPH Project files (*.zpr)|*.zpr");
        options.DefaultExt = QStringLiteral("zpr");
        options.MustExist = true;
        const QString chosen = Env.dialogs->OpenFileName(options);
        if (chosen.isEmpty())
            return;
        ProjectFileName = chosen;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    UpdateRecentFiles();

    ProjectData read;
    const ProjectFileResult result = ReadProjectShowingProgress(this, ProjectFileName, read);
    if (!result.IsOk()) {
        ProjectFileName.clear();
        QApplication::restoreOverrideCursor();
        if (result.Status == ProjectFileStatus::Cancelled)
            return;
        if (result.Status == ProjectFileStatus::NotProjectFile)
            Env.dialogs->Message(MsgKind::Error, NotProjectFileMessage(), MsgButtons::Ok);
        else
            Env.dialogs->GeneralError(result.Error);
        return;
    }
    Project = read;
    if (!result.Warning.isEmpty()) {
        QApplication::restoreOverrideCursor();
        Env.dialogs->Message(MsgKind::Warning, result.Warning, MsgButtons::Ok);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    SiteMap->ClearTree(Project.RootUrl());
    ProjectSettings->FillFromProject(Project);
    SetProjectStatus(QStringLiteral("Project Open, ") + Project.RootUrl());
    FindAction(QStringLiteral("actStopBackwatchBulletins"))
        ->setEnabled(StopEntryEnabled(Project.BackwatchBulletins));
    FindAction(QStringLiteral("actStopRankscoutBulletins"))
        ->setEnabled(StopEntryEnabled(Project.RankscoutBulletins));

    SetTitleForFile();
    ProjectModified = false;
    QApplication::restoreOverrideCursor();

    QApplication::setOverrideCursor(Qt::WaitCursor);
    LetMessagesRun();
    ApplyProjectOpenState();
    FillOldReportLists();
    FillBulletinList();
    BuildSiteTreeFromLines();
    ProjectView->show();
    QApplication::restoreOverrideCursor();
}

bool MainWindow::SaveProject() {
    if (ProjectFileName.isEmpty()) {
        FileDialogOptions options;
        options.Title = QStringLiteral("Save Project to disk");
        options.Filter = QStringLiteral("ZEPH Project files (*.zpr)|*.zpr");
        options.DefaultExt = QStringLiteral("zpr");
        options.ConfirmOverwrite = true;
        ProjectFileName = Env.dialogs->SaveFileName(options);
    }
    setWindowTitle(QStringLiteral("The Vantora"));
    if (ProjectFileName.isEmpty())
        return false;
    SetTitleForFile();
    UpdateRecentFiles();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LetMessagesRun();
    const ProjectFileResult result = WriteProjectFile(ProjectFileName, Project);
    QApplication::restoreOverrideCursor();
    if (!result.IsOk()) {
        Env.dialogs->GeneralError(result.Error);
        return false;
    }
    ProjectModified = false;
    return true;
}

void MainWindow::SaveProjectAs() {
    const QString kept = ProjectFileName;
    ProjectFileName.clear();
    const bool saved = SaveProject();
    if (ProjectFileName.isEmpty())
        ProjectFileName = kept;
    SetTitleForFile();
    // The project's crawl history goes with it to its new name.
    std::string error;
    if (saved && !kept.isEmpty() && ProjectFileName != kept &&
        !health::History::Carry(kept.toStdString(), ProjectFileName.toStdString(), error))
        Env.dialogs->GeneralError(QString::fromStdString(error));
}

void MainWindow::CloseProject() {
    if (!SavePromptAllows())
        return;
    ResetProject();
}

void MainWindow::ResetProject() {
    // Dropping the queue and cancelling the transfer in flight; a failure of
    // the cancel is of no concern here.
    Net->Stop();
    Net->StopRequested = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LetMessagesRun();
    setWindowTitle(QStringLiteral("The Vantora"));
    RememberPanelSizes();
    ProjectView->hide();
    ProjectFileName.clear();
    ProjectModified = false;
    // The texts of the no-project state, as at start-up: nothing of the
    // previous project's work stays on the status bar.
    SetStatusText(DialSession::ConnectionStateText(*Env.localAddress));
    SetProjectStatus(QStringLiteral("No Project open."));
    Env.http->SetProxy(false, QString(), 0);
    Project.ProxyServer.clear();
    Project.ProxyPort = 0;
    Project.RootHost.clear();
    Project.RootPath.clear();
    ClearSiteMap(QString());
    ClearReportViews();
    ClearProjectLists();
    FillOldReportLists();
    ActivateFirstToolPage();
    ApplyNoProjectState();
    ProjectModified = false;
    ProjectSettings->Reset();
    QApplication::restoreOverrideCursor();
}

} // namespace vantora
