// The Site Health page: made after the last tool page, given what it needs
// of the window, and reloaded when a crawl has been kept.
#include "Main.h"
#include "WindowHosts.h"

#include "Dialogs.h"
#include "Endpoints.h"
#include "HealthPage.h"
#include "HelpLinks.h"
#include "History.h"
#include "HttpClient.h"
#include "SiteMapController.h"
#include "SiteMapCreation.h"
#include "SiteMapPanel.h"
#include "SiteMapSelect.h"
#include "XmlSitemap.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>

#include <algorithm>

namespace vantora {

ReportPrinters& MainWindow::HealthLink::Printers() {
    return *Window.Env.printers;
}

bool MainWindow::HealthLink::ProjectOpen() const {
    return Window.ProjectView->isVisible();
}

void MainWindow::HealthLink::UpdateSiteMap() {
    if (Window.UpdateSiteMapButton && Window.UpdateSiteMapButton->isEnabled())
        Window.UpdateSiteMapButton->click();
}

int MainWindow::HealthLink::SelectInSiteMap(const QStringList& urls) {
    QModelIndex first;
    const int found = SelectNodesByUrl(Window.SiteMap->Controller(), urls, &first);
    if (first.isValid())
        Window.SiteMap->Tree()->scrollTo(first);
    return found;
}

void MainWindow::HealthLink::SubmitToIndexNow(const QByteArray& batch,
                                              std::function<void(const QString& answer)> done) {
    if (!Window.Dial->CheckConnect(*Window.Env.localAddress, Window.Options.Dial)) {
        done(QStringLiteral("failed: not connected"));
        return;
    }
    Window.Env.http->Post(
        IndexNowBatchUrl(Window.ServerAddress), batch, "text/plain; charset=utf-8",
        [done = std::move(done)](int status, const QByteArray& answer, const QString& error) {
            if (status == 0) {
                done(QStringLiteral("failed: the analysis server did not answer (%1)").arg(error));
                return;
            }
            const QString text = QString::fromUtf8(answer).trimmed();
            done(!text.isEmpty() ? text
                                 : QStringLiteral("failed: the analysis server answered %1 and "
                                                  "nothing more")
                                       .arg(status));
        });
}

void MainWindow::BuildHealthPage() {
    HealthPageLink = std::make_unique<HealthLink>(*this);
    Health = new health::HealthPage(*HealthPageLink, ToolPages);
    const QString caption = QStringLiteral("Site Health");
    ToolPages->addTab(Health, caption);
    Health->setProperty(HelpPageProperty, QStringLiteral("health.htm"));
    PageTabs->addTab(caption);
    // The tab strip shows every page's tab whole: the window is never made
    // narrower than the strip with this one more tab.
    const QMargins margins = ProjectView->layout()->contentsMargins();
    setMinimumWidth(
        std::max(minimumWidth(), PageTabs->sizeHint().width() + margins.left() + margins.right()));
    connect(&SiteMap->Creator(), &SiteMapCreator::CrawlStored, Health, &health::HealthPage::Reload);
    connect(&SiteMap->Creator(), &SiteMapCreator::CrawlNotStored, Health,
            &health::HealthPage::Reload);
    connect(&SiteMap->Creator(), &SiteMapCreator::KeepingCrawl, Health,
            &health::HealthPage::LetListsGo);
    // File > Print Report and the tool bar's Print print this page's report
    // while it shows; the report views' editor, which has no view of this
    // page, leaves them alone then.
    for (const char* name : {"actPrint", "tbPrint"})
        connect(FindAction(QString::fromLatin1(name)), &QAction::triggered, this, [this] {
            if (ToolPages->currentWidget() == Health)
                RunCommand([this] { Health->PrintReport(); });
        });

    // File > Export XML Sitemap..., after Print: the latest crawl's indexable
    // pages, written as the command line writes them.
    QAction* exportSitemap =
        MakeAction(QStringLiteral("actExportXmlSitemap"), QStringLiteral("Export XML Sitema&p..."));
    const QList<QAction*> items = FileMenu->actions();
    const qsizetype print = items.indexOf(FindAction(QStringLiteral("actPrint")));
    FileMenu->insertAction(print >= 0 && print + 1 < items.size() ? items[print + 1] : nullptr,
                           exportSitemap);
    OnTriggered(exportSitemap, [this] {
        const QString path = HealthPageLink->CrawlHistoryPath();
        health::History history;
        std::string error;
        if (path.isEmpty() || !history.Open(path.toStdString(), false, error) ||
            !history.Latest()) {
            Env.dialogs->Message(MsgKind::Information,
                                 QStringLiteral("There is no crawl to export yet: save the project "
                                                "and update its site map first."),
                                 MsgButtons::Ok);
            return;
        }
        FileDialogOptions options;
        options.Title = QStringLiteral("Export XML Sitemap");
        options.Filter = QStringLiteral("XML sitemaps (*.xml)|*.xml");
        options.DefaultExt = QStringLiteral("xml");
        options.ConfirmOverwrite = true;
        const QString target = Env.dialogs->SaveFileName(options);
        if (target.isEmpty())
            return;
        const long long written = health::WriteLatestSitemap(history, target.toStdString(), error);
        if (written < 0)
            Env.dialogs->Message(MsgKind::Error,
                                 QStringLiteral("The XML sitemap could not be written: %1")
                                     .arg(QString::fromStdString(error)),
                                 MsgButtons::Ok);
        else
            SetStatusText(QStringLiteral("%1 pages written to the XML sitemap.").arg(written));
    });
}

} // namespace vantora
