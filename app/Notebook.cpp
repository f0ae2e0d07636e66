// The project view: the site map panel beside the notebook of pages. Each
// page is made by its own subsystem; the window only creates it, files its
// report view and wires its commands.
#include "Main.h"
#include "WindowHosts.h"

#include "HelpLinks.h"
#include "OnlineToolPage.h"
#include "ReportEditor.h"
#include "ReportView.h"
#include "SiteMapCreation.h"
#include "SiteMapPanel.h"
#include "SitecensusPage.h"
#include "TagsmithPage.h"
#include "ToolPages.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vantora {

namespace {

const char* const PageCaptions[TabCount] = {"Wordweigh",  "Stuffwatch",    "Rankscout",
                                            "Enginepost", "Backwatch",     "Tagsmith",
                                            "Sitecensus", "Bulletin Board"};

} // namespace

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

QStringList MainWindow::SelectedPages() const {
    return SiteMap ? SiteMap->SelectedPages() : QStringList();
}

void MainWindow::BuildProjectView() {
    ProjectView = new QWidget(this);
    ProjectView->setObjectName(QStringLiteral("ProjectView"));
    auto* layout = new QVBoxLayout(ProjectView);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    PageTabs = new QTabBar(ProjectView);
    PageTabs->setObjectName(QStringLiteral("PageTabs"));
    PageTabs->setAccessibleName(QStringLiteral("Pages"));
    PageTabs->setUsesScrollButtons(false);
    PageTabs->setElideMode(Qt::ElideNone);
    PageTabs->setExpanding(false);
    PageTabs->setDrawBase(false);
    layout->addWidget(PageTabs);

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
    connect(SiteMap, &SiteMapPanel::BusyChanged, this, &MainWindow::SiteMapBusyChanged);
    connect(SiteMap, &SiteMapPanel::ShowReportRequested, this,
            [this](int toolIndex, int, const QString& pageUrl) {
                if (const std::optional<ToolKind> kind = ToolKindFromTabIndex(toolIndex))
                    RunCommand([this, kind, pageUrl] {
                        OnlinePages[size_t(TabIndex(*kind))]->ShowFromSiteMap(pageUrl);
                    });
            });
    connect(SiteMap, &SiteMapPanel::WatchRequested, this,
            [this](int toolIndex, const QString& url) {
                if (const std::optional<ToolKind> kind = ToolKindFromTabIndex(toolIndex))
                    OnlinePages[size_t(TabIndex(*kind))]->ToggleWatch(url);
            });

    ToolPages = new QTabWidget(MainSplitter);
    ToolPages->setObjectName(QStringLiteral("ToolPages"));
    for (int i = 0; i < TabCount; ++i) {
        ToolPages->addTab(BuildToolPage(i), QString::fromLatin1(PageCaptions[i]));
        ToolPages->widget(i)->setProperty(HelpPageProperty, HelpPageOfToolPage(i));
    }
    ToolPages->setMinimumWidth(192);
    for (int i = 0; i < TabCount; ++i)
        PageTabs->addTab(QString::fromLatin1(PageCaptions[i]));
    BuildHealthPage();
    // The notebook's own tab bar is hidden (PageTabs stands in its place), so
    // neither it nor the notebook, whose focus goes to that bar, may take the
    // keyboard focus: Tab would land on a hidden widget and stay where it is.
    ToolPages->tabBar()->hide();
    ToolPages->tabBar()->setFocusPolicy(Qt::NoFocus);
    ToolPages->setFocusPolicy(Qt::NoFocus);
    connect(PageTabs, &QTabBar::currentChanged, ToolPages, &QTabWidget::setCurrentIndex);
    connect(ToolPages, &QTabWidget::currentChanged, PageTabs, &QTabBar::setCurrentIndex);

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

} // namespace vantora
