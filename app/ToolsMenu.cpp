// The Tools menu: dial-up, the site map, the bulletin board, Project
// Settings and the automatic bulletins.
#include "Main.h"

#include "BulletinPage.h"
#include "BundledServicesHost.h"
#include "DialSession.h"
#include "New.h"
#include "ProjectSettings.h"
#include "ServerConfig.h"
#include "SiteMapPanel.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace vantora {

void MainWindow::BuildToolsMenu() {
    OnTriggered(MakeAction("actDial", "Dial the internet..."), [this] { Dial->DialMenuCommand(); });
    OnTriggered(MakeAction("actHangUp", "Hang-up connection"),
                [this] { Dial->HangUpMenuCommand(); });
    OnTriggered(MakeAction("actUpdateSiteMap", "&Update Site Map"),
                [this] { SiteMap->UpdateSiteMap(); });
    OnTriggered(MakeAction("actUpdateBulletinBoard", "Update &Bulletin Board"),
                [this] { BBPage->Update(false); });
    OnTriggered(MakeAction("actProjectSettings", "&Project Settings..."),
                [this] { ShowProjectSettings(); });
    OnTriggered(MakeAction("actSearchServices", "Search &Services..."),
                [this] { ShowSearchServices(); });
    OnTriggered(MakeAction("actStopBackwatchBulletins", "Stop Backwatch Bulletins"),
                [this] { BBPage->StopBulletins(BulletinTool::Backwatch); });
    OnTriggered(MakeAction("actStopRankscoutBulletins", "Stop Rankscout Bulletins"),
                [this] { BBPage->StopBulletins(BulletinTool::Rankscout); });

    auto a = [this](const char* name) { return FindAction(QString::fromLatin1(name)); };
    ToolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
    ToolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
    ToolsMenu->addAction(a("actDial"));
    ToolsMenu->addAction(a("actHangUp"));
    ToolsMenu->addAction(a("actUpdateSiteMap"));
    ToolsMenu->addAction(a("actUpdateBulletinBoard"));
    ToolsMenu->addSeparator();
    ToolsMenu->addAction(a("actProjectSettings"));
    ToolsMenu->addAction(a("actSearchServices"));
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
}

void MainWindow::ShowProjectSettings() {
    RunModal(ProjectSettings);
}

void MainWindow::ShowSearchServices() {
    BundledServicesHost host(
        *Bundled, [this] { return ServerAddress; },
        [this] { return ProjectIsOpen() ? Project.RootUrl() : QString(); }, *Env.dialogs);
    SearchServicesDialog dialog(host, QString::fromStdString(DefaultConfigPath()), this);
    RunModal(&dialog);
}

// While the tree is built or a map is made, the commands that would rebuild
// the tree are held off.
void MainWindow::SiteMapBusyChanged(bool busy) {
    for (const char* name : {"actNew", "actOpen", "tbNew", "tbOpen", "actUpdateSiteMap"})
        FindAction(QString::fromLatin1(name))->setEnabled(!busy);
    for (QAction* recent : RecentFileActions)
        recent->setEnabled(!busy);
}

} // namespace vantora
