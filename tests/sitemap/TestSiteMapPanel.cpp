// The site map panel offscreen: the pop-up items that need exactly one node,
// Launch Web Browser, the report signal, Sort View's check mark and the
// information window's check box; selecting with the mouse and the keys as
// a tree view with Qt's own selection model does.
#include "FakeSiteMapHost.h"
#include "MapperInfoDialog.h"
#include "ProcessLauncher.h"
#include "SiteMapController.h"
#include "SiteMapCreation.h"
#include "SiteMapPanel.h"
#include "SiteTree.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
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

// The k-th row the view shows, top to bottom.
QModelIndex Row(QTreeView* view, int k) {
    QModelIndex index = view->model()->index(0, 0);
    while (k-- > 0 && index.isValid())
        index = view->indexBelow(index);
    return index;
}

// One step of a selection script: "click N", "ctrl N", "shift N",
// "ctrlshift N" (a click on row N with those keys held), "drag A B",
// "ctrldrag A B" (the mouse pressed on row A, moved row by row to B),
// "collapse N", or keys: "shift+down", "ctrl+space", "ctrl+a", ...
void Run(QTreeView* view, const QString& step) {
    const QStringList words = step.split(QLatin1Char(' '));
    const QString& what = words[0];
    QWidget* port = view->viewport();
    const auto at = [&](int k) { return view->visualRect(Row(view, k)).center(); };
    const auto mods = [](const QString& text) {
        Qt::KeyboardModifiers m;
        if (text.contains(QLatin1String("ctrl")))
            m |= Qt::ControlModifier;
        if (text.contains(QLatin1String("shift")))
            m |= Qt::ShiftModifier;
        return m;
    };
    if (what == "collapse") {
        view->collapse(Row(view, words[1].toInt()));
    } else if (what.endsWith(QLatin1String("drag"))) {
        const int from = words[1].toInt(), to = words[2].toInt();
        QTest::mousePress(port, Qt::LeftButton, mods(what), at(from));
        for (int k = from; k != to;) {
            k += to > from ? 1 : -1;
            // With the button and the keys held, which QTest::mouseMove does not tell.
            const QPoint pos = at(k);
            QMouseEvent move(QEvent::MouseMove, pos, port->mapToGlobal(pos), Qt::NoButton,
                             Qt::LeftButton, mods(what));
            QApplication::sendEvent(port, &move);
        }
        QTest::mouseRelease(port, Qt::LeftButton, mods(what), at(to));
    } else if (words.size() == 2) {
        QTest::mouseClick(port, Qt::LeftButton,
                          what == "click" ? Qt::KeyboardModifiers() : mods(what),
                          at(words[1].toInt()));
    } else {
        const QString key = what.section(QLatin1Char('+'), -1);
        const Qt::Key code = key == "down"    ? Qt::Key_Down
                             : key == "up"    ? Qt::Key_Up
                             : key == "space" ? Qt::Key_Space
                             : key == "end"   ? Qt::Key_End
                                              : Qt::Key_A;
        QTest::keyClick(view, code, mods(what));
    }
}
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

    // Each script runs on the panel's tree and on a plain tree view with
    // Qt's own selection model over the same model; after every step both
    // hold the same nodes selected, and the label counts the pages of them.
    void selectionAsQtDoes_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("count"); // selected at the end
        QTest::newRow("click, click elsewhere") << QStringList{"click 2", "click 6"} << 1;
        QTest::newRow("ctrl+click adds, again removes")
            << QStringList{"click 1", "ctrl 3", "ctrl 5", "ctrl 3"} << 2;
        QTest::newRow("shift+click into a folder and back")
            << QStringList{"click 2", "shift 9", "shift 1"} << 2;
        QTest::newRow("ctrl+click, then ctrl+shift+click")
            << QStringList{"click 5", "shift 7", "ctrl 11", "ctrlshift 13"} << 6;
        QTest::newRow("shift+arrows down and back up")
            << QStringList{"click 4", "shift+down", "shift+down", "shift+down", "shift+up"} << 3;
        QTest::newRow("ctrl+arrows and ctrl+space")
            << QStringList{"click 1",   "ctrl+down",  "ctrl+down", "ctrl+space",
                           "ctrl+down", "ctrl+space", "ctrl+space"}
            << 2;
        QTest::newRow("ctrl+a, ctrl+click, shift+end")
            << QStringList{"click 0", "ctrl+a", "ctrl 4", "click 10", "shift+end"} << 5;
        QTest::newRow("drag down and back") << QStringList{"drag 2 8", "drag 9 4"} << 6;
        QTest::newRow("ctrl+drag over selected rows")
            << QStringList{"click 3", "shift 6", "ctrldrag 5 9", "ctrldrag 12 10"} << 5;
        QTest::newRow("ctrl+a with a folder collapsed")
            << QStringList{"collapse 7", "ctrl+a", "ctrl 2"} << 11;
    }
    void selectionAsQtDoes() {
        QFETCH(QStringList, steps);
        QFETCH(int, count);
        Host.Data.SiteMapLines = {"WEBCHARTER", "<ROOT>http://s.test/", "<PAGE>http://s.test/",
                                  "<PUSH>"};
        for (int i = 0; i < 6; ++i)
            Host.Data.SiteMapLines << QStringLiteral("<PAGE>p%1.html").arg(i);
        Host.Data.SiteMapLines << "<PAGE>dir/"
                               << "<PUSH>"
                               << "<PAGE>dir/a.html"
                               << "<BROKEN>http://s.test/gone.html"
                               << "<PAGE>dir/b.html"
                               << "<POP>"
                               << "<MAILTO>mailto:me@s.test"
                               << "<PAGE>q1.html"
                               << "<PAGE>q2.html"
                               << "<LINK>http://other.test/"
                               << "<POP>";
        SiteMapPanel panel(Host, Launcher, Shell, "/nonexistent", "/tmp");
        panel.resize(300, 600);
        panel.show();
        panel.BuildSiteTree();
        SiteMapController& c = panel.Controller();
        QTreeView* tree = panel.Tree();
        QTreeView plain;
        plain.setModel(c.Model());
        plain.setSelectionMode(QAbstractItemView::ExtendedSelection);
        plain.setHeaderHidden(true);
        plain.resize(300, 600);
        plain.show();
        tree->expandAll();
        plain.expandAll();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        auto* label = panel.findChild<QLabel*>("SelectionLabel");
        for (const QString& step : steps) {
            Run(tree, step);
            Run(&plain, step);
            int pages = 0;
            for (int node = 0; node < c.NodeCount(); ++node) {
                const QModelIndex index = c.Model()->IndexOf(node);
                const bool want = plain.selectionModel()->isSelected(index);
                QVERIFY2(c.Selection()->IsNodeSelected(node) == want,
                         qPrintable(QStringLiteral("%1: node %2").arg(step).arg(node)));
                // What the accessibility layer and Qt's queries read.
                QCOMPARE(tree->selectionModel()->isSelected(index), want);
                pages += want && c.Tree().IsPage(node) ? 1 : 0;
            }
            QCOMPARE(c.SelectedPageCount(), pages);
            QCOMPARE(int(c.SelectedPages().size()), pages);
            if (!step.startsWith(QLatin1String("collapse")))
                QCOMPARE(label->text(),
                         pages ? QStringLiteral("Selected %1/%2").arg(pages).arg(c.NodeCount())
                               : QStringLiteral("(No valid selection)"));
            QCOMPARE(tree->currentIndex(), plain.currentIndex());
        }
        QCOMPARE(c.SelectedCount(), count);
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
