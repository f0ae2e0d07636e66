// The main window's layout at the sizes a user can give it, and the texts
// of its status bar in each project state.
#include "Main.h"
#include "WindowFixture.h"

#include "DialSession.h"
#include "OnlineToolPage.h"
#include "ProjectFile.h"
#include "ReportView.h"
#include "TagsmithPage.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

using namespace vantora;
using namespace vantora::test;

namespace {

using Fixture = WindowFixture<>;

const QString LongPage =
    QStringLiteral("http://127.0.0.1:8080/catalogue/garden/tools/spades-and-rakes.html");

MainWindow& StartWithEntries(Fixture& f) {
    f.settings.Values[QStringLiteral("Tip")] = 0;
    MainWindow& w = f.Start();
    w.ApplyNewProjectState(QStringLiteral("http://127.0.0.1:8080/"));
    for (const ToolInfo& tool : AllTools()) {
        ToolArchive& archive = w.Project.Archive(tool.Kind);
        archive.Append(LongPage, QStringLiteral("09/12/2026 12:00:00"), QStringLiteral("body"),
                       archive.HasPercentages() ? QStringLiteral("75") : QString());
        archive.Append(LongPage, QStringLiteral("09/12/2026 12:05:00"), QStringLiteral("body"),
                       archive.HasPercentages() ? QStringLiteral("75") : QString());
    }
    for (OnlineToolPage* page : w.OnlinePages)
        page->RebuildOldReports();
    return w;
}

void LayOut(MainWindow& w, QSize size) {
    w.resize(size);
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Whether a control shows its whole text: it got at least the width its
// text asks for.
bool Whole(const QWidget* w) {
    return w->width() >= w->minimumSizeHint().width() && w->width() >= w->sizeHint().width() - 1;
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
  private slots:
    void controlsAreUsable_data();
    void controlsAreUsable();
    void windowKeepsItsMinimum();
    void statusTextsFollowTheState_data();
    void statusTextsFollowTheState();
};

void TestWindow::controlsAreUsable_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("default 820x623") << QSize(820, 623);
    QTest::newRow("asked 400x300, held at the minimum") << QSize(400, 300);
    QTest::newRow("large 1280x900") << QSize(1280, 900);
}

// At every size the window allows: every page's tab shows whole without
// scroll arrows, each page's buttons read in full, Tagsmith's text fields
// and the old-report lists have room for what is typed or listed, and the
// report view keeps lines to read.
void TestWindow::controlsAreUsable() {
    QFETCH(QSize, size);
    Fixture f;
    MainWindow& w = StartWithEntries(f);
    LayOut(w, size);

    QTabBar* tabs = w.PageTabs;
    QVERIFY(tabs->isVisible() && !w.ToolPages->tabBar()->isVisible());
    for (int i = 0; i < w.ToolPages->count(); ++i) {
        const QRect r = tabs->tabRect(i);
        QVERIFY2(tabs->rect().contains(r), qPrintable(w.ToolPages->tabText(i)));
        QVERIFY2(r.width() >= tabs->fontMetrics().horizontalAdvance(w.ToolPages->tabText(i)),
                 qPrintable(w.ToolPages->tabText(i)));
    }
    for (QToolButton* arrow : tabs->findChildren<QToolButton*>())
        QVERIFY(!arrow->isVisible());

    const int usable = w.fontMetrics().averageCharWidth() * 20;
    for (int page = 0; page < TabCount; ++page) {
        w.ToolPages->setCurrentIndex(page);
        LayOut(w, size);
        QWidget* shown = w.ToolPages->currentWidget();
        const QString where = w.ToolPages->tabText(page);
        for (QPushButton* button : shown->findChildren<QPushButton*>())
            if (button->isVisible())
                QVERIFY2(Whole(button), qPrintable(where + ": " + button->text()));
        for (QLabel* label : shown->findChildren<QLabel*>())
            if (label->isVisible() && !label->wordWrap() && !label->text().isEmpty())
                QVERIFY2(Whole(label), qPrintable(where + ": " + label->text()));
        QTextEdit* report = w.ReportViews[size_t(page)];
        QVERIFY2(report->isVisible() && report->height() >= 3 * report->fontMetrics().height(),
                 qPrintable(where));
        if (page == TagsmithTab)
            for (QLineEdit* field : shown->findChildren<QLineEdit*>())
                if (field->isVisible())
                    QVERIFY2(field->width() >= usable, qPrintable(field->objectName() + " " +
                                                                  QString::number(field->width())));
        if (page < 5) {
            QComboBox* list = w.OnlinePages[size_t(page)]->OldReportList();
            list->setCurrentIndex(1);
            const QString entry = list->currentText();
            QVERIFY(entry.contains(LongPage));
            QCOMPARE(list->toolTip(), entry);
            QVERIFY2(list->view()->minimumWidth() >=
                         list->view()->fontMetrics().horizontalAdvance(entry),
                     qPrintable(where));
            QVERIFY2(list->width() >= usable, qPrintable(where));
        }
    }
}

void TestWindow::windowKeepsItsMinimum() {
    Fixture f;
    MainWindow& w = StartWithEntries(f);
    QVERIFY(w.minimumWidth() >= 600 && w.minimumHeight() >= 440);
    // The strip and the notebook follow each other.
    w.PageTabs->setCurrentIndex(TagsmithTab);
    QCOMPARE(w.ToolPages->currentIndex(), int(TagsmithTab));
    w.ToolPages->setCurrentIndex(BulletinBoardTab);
    QCOMPARE(w.PageTabs->currentIndex(), int(BulletinBoardTab));
    QVERIFY(w.minimumWidth() <= 820 && w.minimumHeight() <= 623);
    LayOut(w, QSize(400, 300));
    QVERIFY(w.width() >= w.minimumWidth() && w.height() >= w.minimumHeight());
}

void TestWindow::statusTextsFollowTheState_data() {
    QTest::addColumn<QString>("step");
    QTest::newRow("another project opened") << "open";
    QTest::newRow("project closed") << "close";
}

// One state, one text: the texts of the start come back whenever no project
// is open, and nothing of an earlier project's work stays.
void TestWindow::statusTextsFollowTheState() {
    QFETCH(QString, step);
    Fixture f;
    MainWindow& w = StartWithEntries(f);
    const QString idle = DialSession::ConnectionStateText(f.address);
    QCOMPARE(w.StatusText(), idle);
    w.SetStatusText(QStringLiteral("SiteMap creation complete."));
    if (step == QLatin1String("open")) {
        QTemporaryDir dir;
        ProjectData other;
        other.RootHost = QStringLiteral("www.example.org");
        other.RootPath = QStringLiteral("/");
        const QString path = dir.filePath(QStringLiteral("other.zpr"));
        QVERIFY(WriteProjectFile(path, other).IsOk());
        w.ProjectModified = false;
        w.OpenProject(path);
        QVERIFY(w.ProjectIsOpen());
        QCOMPARE(w.StatusText(), idle);
        QCOMPARE(w.ProjectStatus(), QStringLiteral("Project Open, http://www.example.org/"));
    } else {
        w.ProjectModified = false;
        w.CloseProject();
        QVERIFY(!w.ProjectIsOpen());
        QCOMPARE(w.StatusText(), idle);
        QCOMPARE(w.ProjectStatus(), QStringLiteral("No Project open."));
    }
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
