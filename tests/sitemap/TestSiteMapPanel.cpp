// The site map panel offscreen: the pop-up items that need exactly one node,
// Launch Web Browser, the report signal, Sort View's check mark and the
// information window's check box.
#include "FakeSiteMapHost.h"
#include "MapperInfoDialog.h"
#include "ProcessLauncher.h"
#include "SiteMapController.h"
#include "SiteMapCreation.h"
#include "SiteMapPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

using namespace vantora;
using namespace vantora::test;

namespace {
class NoLauncher : public ProcessLauncher {
  public:
    qint64 Start(const QString&, const QStringList&, const QString&) override { return 0; }
    void End(qint64) override {}
    bool IsRunning(qint64) override { return false; }
};
} // namespace

class TestSiteMapPanel : public QObject {
    Q_OBJECT
    FakeSiteMapHost Host;
    NoLauncher Launcher;
    FakeShell Shell;

    QAction* Action(SiteMapPanel& panel, const char* name) {
        return panel.PopupMenu()->findChild<QAction*>(QLatin1String(name));
    }

  private slots:
    void popupItems() {
        Host.Data.SiteMapLines = {"WEBCHARTER", "<ROOT>http://s.test/", "<PAGE>http://s.test/",
                                  "<PUSH>",     "<PAGE>a.html",         "<PAGE>b.html",
                                  "<POP>"};
        SiteMapPanel panel(Host, Launcher, Shell, "/nonexistent", "/tmp");
        panel.resize(300, 400);
        panel.show();
        panel.BuildSiteTree();
        auto* label = panel.findChild<QLabel*>("SelectionLabel");
        QCOMPARE(label->text(), QStringLiteral("http://s.test/"));
        QCOMPARE(panel.findChild<QPushButton*>("UpdateSiteMapButton")->text(),
                 QStringLiteral("Update Site Map"));
        const QStringList items{"Sort View",
                                "",
                                "Full Expand",
                                "Full Collapse",
                                "",
                                "Launch Web Browser",
                                "",
                                "Show Wordweigh report",
                                "Show Stuffwatch report",
                                "Show Rankscout report",
                                "Show Enginepost report",
                                "Show Backwatch report",
                                "",
                                "Watch Rank for this Key Phrase",
                                "Watch Link-backs"};
        QStringList shown;
        for (QAction* a : panel.PopupMenu()->actions())
            shown << a->text();
        QCOMPARE(shown, items);

        QTreeView* tree = panel.Tree();
        QAbstractItemModel* m = tree->model();
        const QModelIndex root = m->index(0, 0);
        tree->selectionModel()->select(m->index(1, 0, root), QItemSelectionModel::ClearAndSelect);
        QVERIFY(Action(panel, "LaunchWebBrowserAction")->isEnabled());
        QVERIFY(Action(panel, "ShowBackwatchReportAction")->isEnabled());
        QSignalSpy report(&panel, &SiteMapPanel::ShowReportRequested);
        Action(panel, "ShowRankscoutReportAction")->trigger();
        QCOMPARE(report.count(), 1);
        QCOMPARE(report.first().at(0).toInt(), 2);
        QCOMPARE(report.first().at(2).toString(), QStringLiteral("http://s.test/b.html"));
        Shell.Templates["http"] = "browser %1";
        Action(panel, "LaunchWebBrowserAction")->trigger();
        QCOMPARE(Shell.Started, QStringList{"browser http://s.test/b.html"});

        tree->selectionModel()->select(m->index(0, 0, root), QItemSelectionModel::Select);
        QCOMPARE(label->text(), QStringLiteral("Selected 2/3"));
        QVERIFY(!Action(panel, "LaunchWebBrowserAction")->isEnabled());
        QVERIFY(!Action(panel, "ShowWordweighReportAction")->isEnabled());

        QAction* sort = Action(panel, "SortViewAction");
        sort->trigger();
        QVERIFY(sort->isChecked());
        QVERIFY(panel.Controller().IsSorted());
        sort->trigger();
        QVERIFY(!sort->isChecked());
        QCOMPARE(panel.Controller().NodeCount(), 3);

        Action(panel, "FullExpandAction")->trigger();
        QVERIFY(tree->isExpanded(m->index(0, 0)));
        Action(panel, "FullCollapseAction")->trigger();
        QVERIFY(!tree->isExpanded(m->index(0, 0)));
    }

    void updateFailureShowsWarning() {
        Host.Boxes.Clear();
        SiteMapPanel panel(Host, Launcher, Shell, "/nonexistent", "/tmp");
        panel.Creator().StartPauseMs = 0;
        QTest::mouseClick(panel.findChild<QPushButton*>("UpdateSiteMapButton"), Qt::LeftButton);
        QCOMPARE(Host.Boxes.Asked.size(), 1);
        QCOMPARE(Host.Status, MsgMapError);
    }

    void infoWindowCheckBox() {
        SiteMapPanel panel(Host, Launcher, Shell, "/nonexistent", "/tmp");
        MapperInfoDialog& info = panel.InfoDialog();
        QCOMPARE(info.windowTitle(), QStringLiteral("Webcharter - Information"));
        QVERIFY(!info.findChild<QPushButton*>("AnotherTipButton")->isEnabled());
        QSignalSpy help(&info, &MapperInfoDialog::HelpRequested);
        emit panel.Creator().ShowInfoWindow();
        QVERIFY(info.isVisible());
        QVERIFY(!info.isModal());
        info.findChild<QPushButton*>("LaunchHelpButton")->click();
        QCOMPARE(help.count(), 1);
        info.findChild<QCheckBox*>("ShowAgainCheck")->setChecked(false);
        info.findChild<QPushButton*>("OkButton")->click();
        QVERIFY(!info.isVisible());
        QVERIFY(!panel.Creator().ShowMapperInfo);
        // Opening again checks the box; Escape answers like Ok.
        info.ShowInfo();
        QVERIFY(info.ShowAgain());
        QTest::keyClick(&info, Qt::Key_Escape);
        QVERIFY(!info.isVisible());
        QVERIFY(panel.Creator().ShowMapperInfo);
    }
};

QTEST_MAIN(TestSiteMapPanel)
#include "TestSiteMapPanel.moc"
