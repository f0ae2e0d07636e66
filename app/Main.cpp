#include "Main.h"
#include "ScreenReaderName.h"

#include "Audit.h"
#include "BulletinPage.h"
#include "BundledServer.h"
#include "DialSession.h"
#include "Dialogs.h"
#include "Dialupthing.h"
#include "Environment.h"
#include "HelpLinks.h"
#include "HttpClient.h"
#include "MapperInfoDialog.h"
#include "New.h"
#include "OnlineToolPage.h"
#include "ProjectFile.h"
#include "ProjectSettings.h"
#include "RecentFiles.h"
#include "ReportEditor.h"
#include "ReportPrinters.h"
#include "ReportView.h"
#include "Settings.h"
#include "SiteMapController.h"
#include "SiteMapCreation.h"
#include "SiteMapHost.h"
#include "SiteMapPanel.h"
#include "SitecensusPage.h"
#include "TagsmithPage.h"
#include "ToolPages.h"
#include "Transport.h"
#include "WindowHost.h"
#include "about.h"
#include "programopt.h"
#include "splash.h"
#include "startdlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <exception>

namespace vantora {

namespace {

const char* const PageCaptions[TabCount] = {"Wordweigh",  "Stuffwatch",    "Rankscout",
                                            "Enginepost", "Backwatch",     "Tagsmith",
                                            "Sitecensus", "Bulletin Board"};

// A small tool bar picture: a glyph drawn on a transparent square, so every
// button reads without image files.
QIcon GlyphIcon(const QString& glyph, bool bold = false, bool italic = false,
                bool underline = false) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("Serif"), 11);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    p.setFont(font);
    p.setPen(QColor(20, 20, 20));
    p.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

// Paragraph alignment pictures: four lines placed left, centred or right,
// or with bullets.
QIcon AlignIcon(int kind) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QPen(QColor(20, 20, 20), 2));
    const int widths[4] = {14, 9, 14, 9};
    for (int i = 0; i < 4; ++i) {
        const int y = 4 + i * 4;
        int w = widths[i];
        int x = 3;
        if (kind == 3) {
            p.drawPoint(3, y);
            x = 7;
            w = 10;
        } else if (kind == 1) {
            x = 10 - w / 2;
        } else if (kind == 2) {
            x = 17 - w;
        }
        p.drawLine(x, y, x + w, y);
    }
    return QIcon(pixmap);
}

// Pictures of a printer, two pages and a clipboard, drawn with lines so
// they look the same on every desktop.
QIcon ShapeIcon(const QString& kind) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 1));
    if (kind == QLatin1String("print")) {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 2.5, 9, 6));
        p.setBrush(QColor(150, 150, 160));
        p.drawRoundedRect(QRectF(2.5, 8.5, 15, 6), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 12.5, 9, 5));
    } else if (kind == QLatin1String("copy")) {
        p.setBrush(QColor(235, 235, 245));
        p.drawRect(QRectF(3.5, 2.5, 9, 11));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 6.5, 9, 11));
        for (int y = 9; y <= 15; y += 2)
            p.drawLine(QPointF(9.5, y + 0.5), QPointF(14.5, y + 0.5));
    } else if (kind == QLatin1String("paste")) {
        p.setBrush(QColor(190, 140, 80));
        p.drawRoundedRect(QRectF(3.5, 3.5, 11, 14), 1.5, 1.5);
        p.setBrush(QColor(160, 160, 170));
        p.drawRect(QRectF(6.5, 1.5, 5, 3));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9.5, 8.5, 8, 10));
    }
    return QIcon(pixmap);
}

QIcon StandardIcon(QStyle::StandardPixmap which) {
    return QApplication::style()->standardIcon(which);
}

} // namespace

// Lets the Project Settings dialog reach the window's project and state.
class MainWindow::SettingsHost : public ProjectSettingsHost {
  public:
    explicit SettingsHost(MainWindow& window) : Window(window) {}
    ProjectData& Project() override { return Window.Project; }
    void ApplyNewProjectState(const QString& urlText) override {
        Window.ApplyNewProjectState(urlText);
    }
    void ClearSiteMapTree() override { Window.ClearSiteMap(Window.SelectionLabel->text()); }
    void SetProjectStatus(const QString& text) override { Window.SetProjectStatus(text); }
    void MarkProjectModified() override { Window.ProjectModified = true; }

  private:
    MainWindow& Window;
};

// Lets the transport and the dial-up state reach the window.
class MainWindow::NetHost : public TransportHost, public DialHost {
  public:
    explicit NetHost(MainWindow& window) : Window(window) {}
    void SetStatus(const QString& text) override { Window.SetStatusText(text); }
    void SetBusy(bool on) override { Window.SetAnimation(on); }
    void SetProjectModified() override { Window.ProjectModified = true; }
    void Repaint() override { Window.update(); }
    void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
    void SetDialItemsEnabled(bool dialItem, bool hangUpItem) override {
        Window.FindAction(QStringLiteral("actDial"))->setEnabled(dialItem);
        Window.FindAction(QStringLiteral("actHangUp"))->setEnabled(hangUpItem);
    }
    void ShowDialDialog() override { Window.RunModal(Window.DialDialog); }
    void SetWaitCursor(bool on) override {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

  private:
    MainWindow& Window;
};

// Lets the site map panel reach the window's project, status bar, busy
// animation, Stop flag and connection check.
class MainWindow::MapHost : public SiteMapHost {
  public:
    explicit MapHost(MainWindow& window) : Window(window) {}
    Dialogs& MessageBoxes() override { return *Window.Env.dialogs; }
    ProjectData& Project() override { return Window.Project; }
    void SetProjectModified() override { Window.ProjectModified = true; }
    QString StatusText() const override { return Window.StatusText(); }
    void SetStatusText(const QString& text) override { Window.SetStatusText(text); }
    void SetBusyAnimation(bool running) override { Window.SetAnimation(running); }
    bool StopRequested() const override { return Window.Net->StopRequested; }
    void SetStopRequested(bool requested) override { Window.Net->StopRequested = requested; }
    bool CheckConnect() override {
        return Window.Dial->CheckConnect(*Window.Env.localAddress, Window.Options.Dial);
    }

  private:
    MainWindow& Window;
};

// Lets the bulletin board reach the project, the message boxes, the request
// queue and the connection check.
class MainWindow::BulletinLink : public BulletinHost {
  public:
    explicit BulletinLink(MainWindow& window) : Window(window) {}
    ProjectData& Project() override { return Window.Project; }
    Dialogs& MessageBoxes() override { return *Window.Env.dialogs; }
    Transport& Net() override { return *Window.Net; }
    QString ServerAddress() const override { return Window.ServerAddress; }
    QString UserId() const override { return Window.UserId; }
    bool CheckConnect() override {
        return Window.Dial->CheckConnect(*Window.Env.localAddress, Window.Options.Dial);
    }
    void SetProjectModified() override { Window.ProjectModified = true; }
    void SetBusyCursor(bool on) override { Window.NetLink->SetWaitCursor(on); }
    void LetMessagesRun() override { Window.LetMessagesRun(); }

  private:
    MainWindow& Window;
};

// What the tool pages (and the other pages hanging off the window) reach.
class MainWindow::PagesHost : public WindowHost {
  public:
    explicit PagesHost(MainWindow& window) : Window(window) {}
    ProjectData& Project() override { return Window.Project; }
    bool ProjectIsOpen() const override { return Window.ProjectIsOpen(); }
    void SetProjectModified() override { Window.ProjectModified = true; }
    Dialogs& MessageBoxes() override { return *Window.Env.dialogs; }
    QString StatusText() const override { return Window.StatusText(); }
    void SetStatusText(const QString& text) override { Window.SetStatusText(text); }
    void SetBusyCursor(bool on) override {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
    void LetMessagesRun() override { Window.LetMessagesRun(); }
    bool CheckConnect() override {
        return Window.Dial->CheckConnect(*Window.Env.localAddress, Window.Options.Dial);
    }
    Transport& Requests() override { return *Window.Net; }
    QString ServerAddress() const override { return Window.ServerAddress; }
    QStringList SelectedPages() const override { return Window.SelectedPages; }
    RunOptions Options() const override {
        return {Window.Options.ReportGen, Window.Options.Clear, Window.Options.Leave};
    }
    QDateTime Now() const override {
        return Window.Env.clock ? Window.Env.clock->Now() : QDateTime::currentDateTime();
    }
    void ShowPage(int tabIndex) override { Window.ToolPages->setCurrentIndex(tabIndex); }
    int CurrentPage() const override { return Window.ToolPages->currentIndex(); }

  private:
    MainWindow& Window;
};

MainWindow::MainWindow(const Platform& platform, const QString& programPath, QWidget* parent)
    : QMainWindow(parent), ProgramPath(programPath), Env(platform) {
    setObjectName(QStringLiteral("Main"));
    RunModal = [](QDialog* dialog) { return dialog->exec(); };
    setWindowTitle(QStringLiteral("The Vantora"));
    resize(820, 623);

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

    BuildActions();
    BuildMenus();
    BuildToolBar();
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

void MainWindow::BuildActions() {
    auto run = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this, [this, handler] { RunCommand(handler); });
    };

    run(MakeAction("actNew", "&New...", "Creates a new project",
                   QKeySequence(Qt::CTRL | Qt::Key_N)),
        [this] { NewProject(); });
    run(MakeAction("actOpen", "&Open...", "Open an existing project from disk",
                   QKeySequence(Qt::CTRL | Qt::Key_O)),
        [this] {
            if (SavePromptAllows())
                OpenProject(QString());
        });
    run(MakeAction("actSave", "&Save", "Save the current project to disk",
                   QKeySequence(Qt::CTRL | Qt::Key_S)),
        [this] { SaveProject(); });
    run(MakeAction("actSaveAs", "Save &As...", "Save the current project with a new filename",
                   QKeySequence(Qt::CTRL | Qt::Key_A)),
        [this] { SaveProjectAs(); });
    run(MakeAction("actClose", "&Close"), [this] { CloseProject(); });
    MakeAction("actPrinterSetup", "Printer Set&up...");
    MakeAction("actPrint", "&Print Report", QString(), QKeySequence(Qt::CTRL | Qt::Key_P));
    for (int i = 0; i < 4; ++i) {
        RecentFileActions[i] = MakeAction(QStringLiteral("actRecent%1").arg(i), QString());
        run(RecentFileActions[i], [this, i] { OpenRecentFile(i); });
    }
    run(MakeAction("actProgramOptions", "Program &Options..."), [this] { ShowProgramOptions(); });
    connect(MakeAction("actExit", "E&xit", QString(), QKeySequence(Qt::ALT | Qt::Key_F4)),
            &QAction::triggered, this, &QWidget::close);

    QAction* editReport = MakeAction("actEditReport", "&Edit Report");
    editReport->setCheckable(true);
    MakeAction("actCut", "Cu&t", QString(), QKeySequence(Qt::CTRL | Qt::Key_X));
    MakeAction("actCopy", "&Copy", QString(), QKeySequence(Qt::CTRL | Qt::Key_C));
    MakeAction("actPaste", "&Paste", QString(), QKeySequence(Qt::CTRL | Qt::Key_V));
    MakeAction("actDelete", "Delete", QString(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    MakeAction("actSelectAll", "Se&lect All");

    run(MakeAction("actDial", "Dial the internet..."), [this] { Dial->DialMenuCommand(); });
    run(MakeAction("actHangUp", "Hang-up connection"), [this] { Dial->HangUpMenuCommand(); });
    run(MakeAction("actUpdateSiteMap", "&Update Site Map"), [this] { SiteMap->UpdateSiteMap(); });
    MakeAction("actUpdateBulletinBoard", "Update &Bulletin Board");
    run(MakeAction("actProjectSettings", "&Project Settings..."),
        [this] { ShowProjectSettings(); });
    run(MakeAction("actStopBackwatchBulletins", "Stop Backwatch Bulletins"),
        [this] { BBPage->StopBulletins(BulletinTool::Backwatch); });
    run(MakeAction("actStopRankscoutBulletins", "Stop Rankscout Bulletins"),
        [this] { BBPage->StopBulletins(BulletinTool::Rankscout); });

    QAction* contents = MakeAction("actContents", "&Contents", QString(), Qt::Key_F1);
    // F1 opens the help from every window of the program, dialogs included.
    contents->setShortcutContext(Qt::ApplicationShortcut);
    run(contents, [this] { ShowHelpContents(); });
    run(MakeAction("actHomePage", "ZEPH Home &Page"), [this] { OpenHomePage(*Env.shell); });
    run(MakeAction("actMailSupport", "Email ZEPH Support"), [this] { MailSupport(*Env.shell); });
    run(MakeAction("actMailSales", "Email ZEPH Sales"), [this] { MailSales(*Env.shell); });
    run(MakeAction("actAbout", "&About..."), [this] { RunModal(About); });

    // Tool bar buttons have their own hints and call the same commands.
    run(MakeAction("tbNew", "New", "New"), [this] { NewProject(); });
    run(MakeAction("tbOpen", "Open", "Open"), [this] {
        if (SavePromptAllows())
            OpenProject(QString());
    });
    run(MakeAction("tbSave", "Save", "Save"), [this] {
        LetMessagesRun();
        SaveProject();
    });
    run(MakeAction("tbProgramOptions", "Program Options", "Program Options"), [this] {
        LetMessagesRun();
        ShowProgramOptions();
    });
    MakeAction("tbPrint", "Print", "Print");
    MakeAction("tbEditMode", "Edit Mode", "Edit Mode")->setCheckable(true);
    MakeAction("tbCut", "Cut", "Cut");
    MakeAction("tbCopy", "Copy", "Copy");
    MakeAction("tbPaste", "Paste", "Paste");
    for (const char* name :
         {"Bold", "Italic", "Underline", "Left Justify", "Center", "Right Justify", "Bullets"}) {
        QString objectName = QStringLiteral("tb") + QString::fromLatin1(name).remove(' ');
        MakeAction(objectName, name, name)->setCheckable(true);
    }
    run(MakeAction("tbStop", "Stop", "Stop Internet Data Transfer"), [this] { StopTransfers(); });
    run(MakeAction("tbVisitWeb", "Visit ZEPH on the Web", "Visit ZEPH on the Web"),
        [this] { OpenHomePage(*Env.shell); });
}

void MainWindow::BuildMenus() {
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

    EditMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    EditMenu->addAction(a("actEditReport"));
    EditMenu->addSeparator();
    EditMenu->addAction(a("actCut"));
    EditMenu->addAction(a("actCopy"));
    EditMenu->addAction(a("actPaste"));
    EditMenu->addAction(a("actDelete"));
    EditMenu->addAction(a("actSelectAll"));

    ToolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
    ToolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
    ToolsMenu->addAction(a("actDial"));
    ToolsMenu->addAction(a("actHangUp"));
    ToolsMenu->addAction(a("actUpdateSiteMap"));
    ToolsMenu->addAction(a("actUpdateBulletinBoard"));
    ToolsMenu->addSeparator();
    ToolsMenu->addAction(a("actProjectSettings"));
    ToolsMenu->addSeparator();
    QMenu* bulletins = ToolsMenu->addMenu(QStringLiteral("Automatic Bulletins..."));
    bulletins->setObjectName(QStringLiteral("AutomaticBulletinsMenu"));
    bulletins->addAction(a("actStopBackwatchBulletins"));
    bulletins->addAction(a("actStopRankscoutBulletins"));
    connect(bulletins, &QMenu::aboutToShow, this, [this] {
        FindAction(QStringLiteral("actStopBackwatchBulletins"))
            ->setEnabled(StopEntryEnabled(Project.BackwatchBulletins));
        FindAction(QStringLiteral("actStopRankscoutBulletins"))
            ->setEnabled(StopEntryEnabled(Project.RankscoutBulletins));
    });

    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    HelpMenu->addAction(a("actContents"));
    HelpMenu->addSeparator();
    HelpMenu->addAction(a("actHomePage"));
    HelpMenu->addAction(a("actMailSupport"));
    HelpMenu->addAction(a("actMailSales"));
    HelpMenu->addSeparator();
    HelpMenu->addAction(a("actAbout"));

    ReportPopup = new QMenu(this);
    ReportPopup->setObjectName(QStringLiteral("ReportPopup"));
    for (const char* item : {"&Save Report...", "&Edit Report", "-", "Se&lect All", "Cu&t", "&Copy",
                             "&Paste", "&Delete", "-", "&Print Report", "-", "&Word Wrap"}) {
        if (QString::fromLatin1(item) == QStringLiteral("-"))
            ReportPopup->addSeparator();
        else
            ReportPopup->addAction(QString::fromLatin1(item))
                ->setObjectName(QStringLiteral("pop") +
                                QString::fromLatin1(item).remove('&').remove(' ').remove('.'));
    }
    findChild<QAction*>(QStringLiteral("popEditReport"))->setCheckable(true);
    findChild<QAction*>(QStringLiteral("popWordWrap"))->setCheckable(true);
    findChild<QAction*>(QStringLiteral("popWordWrap"))->setChecked(true);

    RebuildRecentFileEntries();
}

void MainWindow::BuildToolBar() {
    MainToolBar = addToolBar(QStringLiteral("Tools"));
    MainToolBar->setObjectName(QStringLiteral("ToolBar"));
    MainToolBar->setMovable(false);
    MainToolBar->setIconSize(QSize(20, 20));
    auto a = [this](const char* name) { return FindAction(QString::fromLatin1(name)); };

    a("tbNew")->setIcon(StandardIcon(QStyle::SP_FileIcon));
    a("tbOpen")->setIcon(StandardIcon(QStyle::SP_DialogOpenButton));
    a("tbSave")->setIcon(StandardIcon(QStyle::SP_DialogSaveButton));
    a("tbProgramOptions")->setIcon(StandardIcon(QStyle::SP_FileDialogDetailedView));
    a("tbPrint")->setIcon(ShapeIcon(QStringLiteral("print")));
    a("tbEditMode")->setIcon(GlyphIcon(QStringLiteral("\u270E")));
    a("tbCut")->setIcon(GlyphIcon(QStringLiteral("\u2702")));
    a("tbCopy")->setIcon(ShapeIcon(QStringLiteral("copy")));
    a("tbPaste")->setIcon(ShapeIcon(QStringLiteral("paste")));
    a("tbBold")->setIcon(GlyphIcon(QStringLiteral("B"), true));
    a("tbItalic")->setIcon(GlyphIcon(QStringLiteral("I"), false, true));
    a("tbUnderline")->setIcon(GlyphIcon(QStringLiteral("U"), false, false, true));
    a("tbLeftJustify")->setIcon(AlignIcon(0));
    a("tbCenter")->setIcon(AlignIcon(1));
    a("tbRightJustify")->setIcon(AlignIcon(2));
    a("tbBullets")->setIcon(AlignIcon(3));
    a("tbStop")->setIcon(StandardIcon(QStyle::SP_BrowserStop));

    MainToolBar->addAction(a("tbNew"));
    MainToolBar->addAction(a("tbOpen"));
    MainToolBar->addAction(a("tbSave"));
    MainToolBar->addAction(a("tbProgramOptions"));
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbPrint"));
    MainToolBar->addAction(a("tbEditMode"));
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbCut"));
    MainToolBar->addAction(a("tbCopy"));
    MainToolBar->addAction(a("tbPaste"));
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbBold"));
    MainToolBar->addAction(a("tbItalic"));
    MainToolBar->addAction(a("tbUnderline"));
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbLeftJustify"));
    MainToolBar->addAction(a("tbCenter"));
    MainToolBar->addAction(a("tbRightJustify"));
    MainToolBar->addAction(a("tbBullets"));
    MainToolBar->addSeparator();
    FontNameList = new QComboBox(MainToolBar);
    FontNameList->setObjectName(QStringLiteral("FontName"));
    FontNameList->setToolTip(QStringLiteral("Font Name"));
    SetScreenReaderName(FontNameList, QStringLiteral("Font Name"));
    FontNameList->setFixedWidth(105);
    MainToolBar->addWidget(FontNameList);
    FontSizeList = new QComboBox(MainToolBar);
    FontSizeList->setObjectName(QStringLiteral("FontSize"));
    FontSizeList->setToolTip(QStringLiteral("Font Size"));
    SetScreenReaderName(FontSizeList, QStringLiteral("Font Size"));
    FontSizeList->setFixedWidth(52);
    FontSizeList->setEditable(true);
    FontSizeList->addItems({"8", "9", "10", "11", "12", "14", "16", "18", "20", "24", "28", "36"});
    MainToolBar->addWidget(FontSizeList);
    MainToolBar->addSeparator();
    MainToolBar->addAction(a("tbStop"));

    // The large animated button sits at the right end in a bar of its own.
    auto* spacer = new QWidget(MainToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    MainToolBar->addWidget(spacer);
    AnimatedButton = new QToolButton(MainToolBar);
    AnimatedButton->setObjectName(QStringLiteral("AnimatedButton"));
    AnimatedButton->setDefaultAction(a("tbVisitWeb"));
    AnimatedButton->setIconSize(QSize(32, 32));
    AnimatedButton->setIcon(QIcon(DrawAnimationFrame(0)));
    AnimatedButton->setAutoRaise(true);
    MainToolBar->addWidget(AnimatedButton);
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

QWidget* MainWindow::BuildToolPage(int index) {
    const auto reportCommands = [this](ToolPage::ReportCommand command, ReportView&) {
        if (command == ToolPage::ReportCommand::Print)
            Reports->PrintReport();
        else
            Reports->SaveReport();
    };
    if (const std::optional<ToolKind> kind = ToolKindFromTabIndex(index)) {
        OnlineToolPage* page = CreateToolPage(*kind, *PagesLink);
        OnlinePages[size_t(index)] = page;
        ReportViews[size_t(index)] = page->Report();
        StartButtons[size_t(index)] = page->StartButton();
        page->StartButton()->setEnabled(false);
        page->SetReportCommandHook(reportCommands);
        const int tag = Tag(*kind);
        Net->SetAnswerStep(tag, [this, page, tag] {
            RunCommand([this, page, tag] { page->TakeAnswer(Net->PendingAnswers(tag).value(0)); });
        });
        return page;
    }

    if (index == TagsmithTab || index == SitecensusTab) {
        ToolPage* page = index == TagsmithTab ? static_cast<ToolPage*>(new TagsmithPage(*PagesLink))
                                              : (Census = new SitecensusPage(*PagesLink));
        ReportViews[size_t(index)] = page->Report();
        page->SetReportCommandHook(reportCommands);
        return page;
    }

    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(PageCaptions[index]).remove(' ') +
                        QStringLiteral("Page"));
    auto* layout = new QVBoxLayout(page);
    auto* report = new ReportView(page);
    report->setObjectName(QString::fromLatin1(PageCaptions[index]).remove(' ') +
                          QStringLiteral("Report"));
    ReportViews[index] = report;

    if (index == BulletinBoardTab) {
        delete report;
        BBPage = new BulletinPage(*BulletinBoardLink, page);
        BBList = BBPage->BBList;
        BBSplitter = BBPage->BBSplitter;
        ReportViews[index] = BBPage->MessageView;
        // The list keeps its height; the message view takes the rest.
        BBSplitter->setStretchFactor(0, 0);
        BBSplitter->setStretchFactor(1, 1);
        BBSplitter->setSizes({DefaultVertPos, 300});
        connect(BBSplitter, &QSplitter::splitterMoved, this,
                [this](int pos) { KeptVertPos = pos; });
        // Print and Save act on the page's view like the report commands.
        connect(BBPage, &BulletinPage::PrintRequested, this,
                [this] { FindAction(QStringLiteral("actPrint"))->trigger(); });
        connect(BBPage, &BulletinPage::SaveRequested, this,
                [this] { FindAction(QStringLiteral("popSaveReport"))->trigger(); });
        connect(BBPage, &BulletinPage::FocusEntered, this, [this] {
            if (Reports->EditMode())
                Reports->SetEditMode(false);
        });
        layout->addWidget(BBPage);
        return page;
    }

    auto* controls = new QHBoxLayout;
    auto* start = new QPushButton(QStringLiteral("Start"), page);
    start->setObjectName(QString::fromLatin1(PageCaptions[index]) + QStringLiteral("Start"));
    controls->addWidget(start);
    controls->addStretch(1);
    layout->addLayout(controls);
    layout->addWidget(report, 1);
    return page;
}

void MainWindow::BuildProjectView() {
    ProjectView = new QWidget(this);
    ProjectView->setObjectName(QStringLiteral("ProjectView"));
    auto* layout = new QHBoxLayout(ProjectView);
    layout->setContentsMargins(2, 2, 2, 2);

    MainSplitter = new QSplitter(Qt::Horizontal, ProjectView);
    MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    MainSplitter->setHandleWidth(6);
    MainSplitter->setChildrenCollapsible(false);

    const QString programDir = QFileInfo(ProgramPath).absolutePath() + QLatin1Char('/');
    SiteMap = new SiteMapPanel(*SiteMapLink, *Env.processes, *Env.shell, programDir,
                               SiteMapFolder(programDir), MainSplitter);
    SiteMap->setObjectName(QStringLiteral("SiteMapPanel"));
    SiteMap->setContentsMargins(5, 5, 5, 5);
    SiteMap->setMinimumWidth(192);
    SelectionLabel = SiteMap->findChild<QLabel*>(QStringLiteral("SelectionLabel"));
    UpdateSiteMapButton = SiteMap->findChild<QPushButton*>(QStringLiteral("UpdateSiteMapButton"));
    connect(SiteMap, &SiteMapPanel::StartButtonsEnabled, this, [this](bool enabled) {
        for (QPushButton* start : StartButtons)
            start->setEnabled(enabled);
    });
    connect(SiteMap, &SiteMapPanel::SelectedPagesChanged, this,
            [this](const QStringList& pages) { SelectedPages = pages; });
    connect(SiteMap, &SiteMapPanel::BusyChanged, this, &MainWindow::SiteMapBusyChanged);
    connect(SiteMap, &SiteMapPanel::ShowReportRequested, this,
            [this](int toolIndex, int, const QString& pageUrl) {
                if (const std::optional<ToolKind> kind = ToolKindFromTabIndex(toolIndex))
                    RunCommand([this, kind, pageUrl] {
                        OnlinePages[size_t(TabIndex(*kind))]->ShowFromSiteMap(pageUrl);
                    });
            });

    ToolPages = new QTabWidget(MainSplitter);
    ToolPages->setObjectName(QStringLiteral("ToolPages"));
    for (int i = 0; i < TabCount; ++i) {
        ToolPages->addTab(BuildToolPage(i), QString::fromLatin1(PageCaptions[i]));
        ToolPages->widget(i)->setProperty(HelpPageProperty, HelpPageOfToolPage(i));
    }
    ToolPages->setMinimumWidth(192);

    MainSplitter->addWidget(SiteMap);
    MainSplitter->addWidget(ToolPages);
    MainSplitter->setStretchFactor(0, 0);
    MainSplitter->setStretchFactor(1, 1);
    MainSplitter->setSizes({DefaultHorzPos, 535});
    connect(MainSplitter, &QSplitter::splitterMoved, this,
            [this](int pos) { KeptHorzPos = MainSplitter->sizes().value(0, pos); });
    layout->addWidget(MainSplitter);
    setCentralWidget(ProjectView);
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
    SetActionsEnabled(*this, {"actUpdateBulletinBoard"}, false);
    SetActionsEnabled(*this, {"tbNew", "tbOpen", "tbProgramOptions", "tbStop"}, true);
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

// ---------------------------------------------------------------- start and stop

void MainWindow::Startup(const QStringList& arguments) {
    Splash->ShowCentred();
    QElapsedTimer started;
    started.start();
    setEnabled(false);
    LetMessagesRun();

    SetProjectStatus(QStringLiteral("No Project open."));
    SiteMap->Creator().ShowMapperInfo = true;

    Reports->FillFontList();

    Net->RequestQueue.clear();
    SelectedPages.clear();
    for (int tag = Transport::FirstToolTag; tag <= Transport::LastToolTag; ++tag)
        Net->PendingAnswers(tag).clear();
    Net->TransportIdle = true;

    const StoredSettings stored = LoadSettings(*Env.settings, DefaultHorzPos, DefaultVertPos);
    ServerAddress = stored.ServerAddress.isEmpty() ? QString::fromLatin1(DefaultServerAddress)
                                                   : stored.ServerAddress;
    RecentFiles = stored.RecentFiles;
    UserId = stored.UserId;
    Options = stored.Options;
    if (stored.HaveHorzPos && stored.HorzPos > 0) {
        const int total = qMax(MainSplitter->width(), stored.HorzPos + 192);
        MainSplitter->setSizes({stored.HorzPos, total - stored.HorzPos});
        KeptHorzPos = stored.HorzPos;
    }
    if (stored.HaveVertPos && stored.VertPos > 0) {
        BBSplitter->setSizes({stored.VertPos, qMax(64, BBSplitter->height() - stored.VertPos)});
        KeptVertPos = stored.VertPos;
    }

    if (Env.fileTypes)
        Env.fileTypes->Register(ProgramPath);

    SetStatusText(DialSession::ConnectionStateText(*Env.localAddress));

    RebuildRecentFileEntries();
    ProgramDir = QFileInfo(ProgramPath).absolutePath() + QLatin1Char('/');
    Reports->SetEditMode(false);
    ProjectModified = false;
    if (StartBundledServer) {
        Bundled->Start(ServerAddress, ProgramDir);
        ServerAddress = Bundled->Address();
    }

    LetMessagesRun();
    while (started.elapsed() < SplashMinimumMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    setEnabled(true);
    Splash->close();

    const QString first = arguments.value(0);
    if (first.toUpper().contains(QStringLiteral(".ZPR")))
        RunCommand([this, first] { OpenProject(first.trimmed()); });
    else if (Options.TipOfTheDayMode > 0)
        TipWindow->ShowTipOfTheDay();
    emit StartupFinished();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!ShutdownDone) {
        bool closing = true;
        RunCommand([this, &closing] { closing = Shutdown(); });
        if (!closing) {
            event->ignore();
            return;
        }
    }
    ShutdownDone = true;
    event->accept();
}

bool MainWindow::Shutdown() {
    StopTransfers();
    if (ProjectModified &&
        Env.dialogs->Message(
            MsgKind::Warning,
            QStringLiteral(
                "The current Project is not saved, do you want to save it before exiting?"),
            MsgButtons::YesNo) == MsgAnswer::Yes) {
        SaveProject();
        // A write that failed (the error has been shown) keeps the program
        // open so the work can be saved elsewhere; a cancelled file dialog
        // leaves no name and the exit goes on.
        if (ProjectModified && !ProjectFileName.isEmpty())
            return false;
    }
    Dial->OfferHangUpAtExit();
    RememberPanelSizes();
    StoreWindowState(*Env.settings, KeptHorzPos, KeptVertPos, Options.TipOfTheDayMode);
    Bundled->Stop();
    LetMessagesRun();
    return true;
}

void MainWindow::RememberPanelSizes() {
    // A splitter that was never shown reports sizes it was never laid out
    // with; only one on screen tells what the user sees.
    if (MainSplitter->isVisible())
        KeptHorzPos = MainSplitter->sizes().value(0, KeptHorzPos);
    if (BBSplitter->isVisible())
        KeptVertPos = BBSplitter->sizes().value(0, KeptVertPos);
}

void MainWindow::StopTransfers() {
    Net->Stop();
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

// ---------------------------------------------------------------- dialogs

void MainWindow::ShowProgramOptions() {
    ProgramOptionsDlg->FillFromOptions();
    RunModal(ProgramOptionsDlg);
}

void MainWindow::ShowProjectSettings() {
    RunModal(ProjectSettings);
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

// While the tree is built or a map is made, the commands that would rebuild
// the tree are held off.
void MainWindow::SiteMapBusyChanged(bool busy) {
    for (const char* name : {"actNew", "actOpen", "tbNew", "tbOpen", "actUpdateSiteMap"})
        FindAction(QString::fromLatin1(name))->setEnabled(!busy);
    for (QAction* recent : RecentFileActions)
        recent->setEnabled(!busy);
}

void MainWindow::FillOldReportLists() {
    for (OnlineToolPage* page : OnlinePages)
        page->RebuildOldReports();
}

void MainWindow::FillBulletinList() {
    BBPage->FillBulletinList();
}

// ---------------------------------------------------------------- help

QString MainWindow::HelpPageForFocus() const {
    QString focusPage;
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        const QVariant page = w->property(HelpPageProperty);
        if (page.isValid()) {
            focusPage = page.toString();
            break;
        }
    }
    return ChooseHelpPage(ProjectIsOpen(), focusPage);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier &&
        QApplication::activeModalWidget() && watched == QApplication::focusObject()) {
        RunCommand([this] { ShowHelpContents(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ShowHelpContents() {
    OpenHelpPage(*Env.shell, ProgramDir, HelpPageForFocus());
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
    const ProjectFileResult result = ReadProjectFile(ProjectFileName, read);
    if (!result.IsOk()) {
        ProjectFileName.clear();
        QApplication::restoreOverrideCursor();
        if (result.Status == ProjectFileStatus::NotProjectFile)
            Env.dialogs->Message(MsgKind::Error, NotProjectFileMessage(), MsgButtons::Ok);
        else
            Env.dialogs->GeneralError(result.Error);
        return;
    }
    Project = read;
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

void MainWindow::SaveProject() {
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
        return;
    SetTitleForFile();
    UpdateRecentFiles();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LetMessagesRun();
    const ProjectFileResult result = WriteProjectFile(ProjectFileName, Project);
    QApplication::restoreOverrideCursor();
    if (!result.IsOk()) {
        Env.dialogs->GeneralError(result.Error);
        return;
    }
    ProjectModified = false;
}

void MainWindow::SaveProjectAs() {
    const QString kept = ProjectFileName;
    ProjectFileName.clear();
    SaveProject();
    if (ProjectFileName.isEmpty())
        ProjectFileName = kept;
    SetTitleForFile();
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
    SetProjectStatus(QString());
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
