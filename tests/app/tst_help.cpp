// Help, tips, about box and the bulletin board inside the main window: F1
// choosing the help page by the focus, the maker's links, the tip of the day,
// the stop-bulletins commands and edit mode on the bulletin page.
#include "BulletinPage.h"
#include "HelpLinks.h"
#include "Main.h"
#include "MapperInfoDialog.h"
#include "OnlineToolPage.h"
#include "ProjectFile.h"
#include "ReportEditor.h"
#include "ReportView.h"
#include "SiteMapPanel.h"
#include "Transport.h"
#include "WindowFixture.h"
#include "about.h"
#include "startdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>

using namespace vantora;
using namespace vantora::test;

namespace {

using Fixture = WindowFixture<>;

struct HelpFixture : Fixture {
    HelpFixture() {
        shell.Templates[QStringLiteral("http")] = QStringLiteral("browser \"%1\"");
        shell.Templates[QStringLiteral("mailto")] = QStringLiteral("mailer %1");
    }
    // Starts the window with no tip and opens a project with one message.
    MainWindow& StartWithProject(const QString& backwatch = QStringLiteral("Y"),
                                 const QString& rankscout = QStringLiteral("N")) {
        settings.Values[QStringLiteral("Tip")] = 0;
        MainWindow& w = Start();
        ProjectData p;
        p.RootHost = QStringLiteral("www.example.org");
        p.RootPath = QStringLiteral("/shop/");
        p.BackwatchBulletins = backwatch;
        p.RankscoutBulletins = rankscout;
        p.BulletinMessages.Append(QStringLiteral("Hello<br>there<br>"), QStringLiteral("Support"),
                                  QStringLiteral("http://www.example.org/shop/"),
                                  QStringLiteral("0"));
        const QString path = Dir.filePath(QStringLiteral("p.zpr"));
        if (!WriteProjectFile(path, p).IsOk())
            qFatal("cannot write project");
        w.OpenProject(path);
        return w;
    }
    // The last URL handed to the browser.
    QString LastBrowserUrl() const {
        const QString last = shell.Started.value(shell.Started.size() - 1);
        if (!last.startsWith(QStringLiteral("browser \"")))
            return QString();
        return last.mid(9, last.size() - 10);
    }
    QTemporaryDir Dir;
};

// The Rankscout page's key phrase field: the page's own when it has one,
// else a field added to the page the way the page holds its inputs.
QWidget* RankscoutKeyPhrase(MainWindow& w) {
    QWidget* page = w.ToolPages->widget(RankscoutTab);
    for (QLineEdit* edit : page->findChildren<QLineEdit*>())
        if (edit->objectName().contains(QStringLiteral("Phrase"), Qt::CaseInsensitive))
            return edit;
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QStringLiteral("RankscoutKeyPhrase"));
    page->layout()->addWidget(edit);
    return edit;
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
  private slots:
    void helpUrlIsTheFileItself_data();
    void helpUrlIsTheFileItself();
    void f1OpensThePageOfTheFocus_data();
    void f1OpensThePageOfTheFocus();
    void f1WithoutProjectOpensTheTour();
    void launchHelpButtonsOpenTheHelp();
    void f1InOtherWindowsOpensTheHelp();
    void makersLinks();
    void tipModeTwoShowsTheIntroduction();
    void closeSetsTheModeFromTheBox();
    void anotherTipNeverRepeats();
    void bulletinBoardInTheWindow();
    void stopCommandsFromTheToolsMenu();
    void editModeIsRefusedOnTheBulletinPage();
};

void TestHelp::helpUrlIsTheFileItself_data() {
    QTest::addColumn<QString>("programDir");
    QTest::newRow("plain") << "/opt/vantora/bin/";
    QTest::newRow("blank") << "/home/ann/My Programs/vantora/";
    QTest::newRow("colon, hash, percent") << "/srv/a:b/#c/100%/";
}

void TestHelp::helpUrlIsTheFileItself() {
    QFETCH(QString, programDir);
    const QString url = HelpPageUrl(programDir, QStringLiteral("tour.htm"));
    QVERIFY2(url.startsWith(QStringLiteral("file:///")), qPrintable(url));
    QVERIFY(!url.contains(QLatin1Char(' ')) && !url.contains(QLatin1Char('#')));
    QCOMPARE(QUrl(url).toLocalFile(), programDir + QStringLiteral("Help/tour.htm"));
}

void TestHelp::f1OpensThePageOfTheFocus_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("page");
    QTest::newRow("rankscout key phrase") << int(RankscoutTab) << "keyphrase"
                                          << "rankscout.htm";
    QTest::newRow("wordweigh report") << int(WordweighTab) << "report"
                                      << "wordweigh.htm";
    QTest::newRow("stuffwatch old reports") << int(StuffwatchTab) << "oldlist"
                                            << "stuffwatch.htm";
    QTest::newRow("backwatch report") << int(BackwatchTab) << "report"
                                      << "backwatchx.htm";
    QTest::newRow("enginepost report") << int(EnginepostTab) << "report"
                                       << "enginepost.htm";
    QTest::newRow("tagsmith report") << int(TagsmithTab) << "report"
                                     << "tagsmith.htm";
    QTest::newRow("sitecensus report") << int(SitecensusTab) << "report"
                                       << "audit.htm";
    QTest::newRow("bulletin list") << int(BulletinBoardTab) << "bblist"
                                   << "bulletin.htm";
    QTest::newRow("bulletin view") << int(BulletinBoardTab) << "report"
                                   << "bulletin.htm";
    QTest::newRow("site map tree") << int(WordweighTab) << "sitemap"
                                   << "index.htm";
}

void TestHelp::f1OpensThePageOfTheFocus() {
    QFETCH(int, tab);
    QFETCH(QString, target);
    QFETCH(QString, page);
    HelpFixture f;
    MainWindow& w = f.StartWithProject();
    w.ToolPages->setCurrentIndex(tab);
    QWidget* focus = nullptr;
    if (target == QLatin1String("keyphrase"))
        focus = RankscoutKeyPhrase(w);
    else if (target == QLatin1String("report"))
        focus = w.ReportViews[tab];
    else if (target == QLatin1String("oldlist"))
        focus = w.OnlinePages[size_t(tab)]->OldReportList();
    else if (target == QLatin1String("bblist"))
        focus = w.BBList;
    else
        focus = w.SiteMap->findChild<QTreeView*>();
    QVERIFY(focus);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    focus->setFocus();
    QTRY_VERIFY(focus->hasFocus());
    QTest::keyClick(focus, Qt::Key_F1);
    QCOMPARE(f.LastBrowserUrl(), QStringLiteral("file:///opt/vantora/bin/Help/") + page);
}

void TestHelp::f1WithoutProjectOpensTheTour() {
    HelpFixture f;
    f.settings.Values[QStringLiteral("Tip")] = 0;
    MainWindow& w = f.Start();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // The pages hold the focus widgets even while hidden; none may count.
    w.ToolPages->setCurrentIndex(RankscoutTab);
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(f.LastBrowserUrl(), QStringLiteral("file:///opt/vantora/bin/Help/tour.htm"));
    QCOMPARE(w.HelpPageForFocus(), QStringLiteral("tour.htm"));

    // Nothing registered for http: nothing starts and nothing is said.
    f.shell.Templates.clear();
    f.shell.Started.clear();
    f.Trigger("actContents");
    QVERIFY(f.shell.Started.isEmpty());
    QVERIFY(f.dialogs.Asked.isEmpty() && f.dialogs.GeneralErrors.isEmpty());
}

void TestHelp::launchHelpButtonsOpenTheHelp() {
    HelpFixture f;
    MainWindow& w = f.StartWithProject();
    w.TipWindow->LaunchHelpButton->click();
    QCOMPARE(f.LastBrowserUrl(), QStringLiteral("file:///opt/vantora/bin/Help/index.htm"));
    f.shell.Started.clear();
    w.SiteMap->InfoDialog().findChild<QPushButton*>(QStringLiteral("LaunchHelpButton"))->click();
    QCOMPARE(f.shell.Started.size(), 1);
    QVERIFY(f.LastBrowserUrl().endsWith(QStringLiteral("/Help/index.htm")));
}

void TestHelp::f1InOtherWindowsOpensTheHelp() {
    HelpFixture f;
    MainWindow& w = f.StartWithProject();
    // The tip window: a window of its own beside the main window.
    w.TipWindow->ShowTipOfTheDay();
    w.TipWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.TipWindow));
    w.TipWindow->AnotherTipButton->setFocus();
    QTest::keyClick(w.TipWindow->AnotherTipButton, Qt::Key_F1);
    QCOMPARE(f.shell.Started.size(), 1);
    QVERIFY(f.LastBrowserUrl().endsWith(QStringLiteral("/Help/index.htm")));
    w.TipWindow->CloseButton->click();

    // A modal dialog blocks the main window's shortcuts; F1 still opens help.
    QDialog modal(&w);
    auto* field = new QLineEdit(&modal);
    modal.setWindowModality(Qt::ApplicationModal);
    modal.show();
    modal.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&modal));
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    QTest::keyClick(field, Qt::Key_F1);
    QCOMPARE(f.shell.Started.size(), 2);
    // Only F1 is taken; other keys reach the dialog.
    QTest::keyClick(field, Qt::Key_A);
    QCOMPARE(field->text(), QStringLiteral("a"));
    QCOMPARE(f.shell.Started.size(), 2);
}

void TestHelp::makersLinks() {
    HelpFixture f;
    f.settings.Values[QStringLiteral("Tip")] = 0;
    MainWindow& w = f.Start();
    f.Trigger("actHomePage");
    f.Trigger("tbVisitWeb");
    f.Trigger("actMailSupport");
    f.Trigger("actMailSales");
    const QString home = QStringLiteral("browser \"") + HomePageUrl + QStringLiteral("\"");
    QCOMPARE(f.shell.Started,
             QStringList({home, home,
                          QStringLiteral("mailer mailto:") + QString::fromLatin1(SupportAddress),
                          QStringLiteral("mailer mailto:") + QString::fromLatin1(SalesAddress)}));
    QVERIFY(QString::fromLatin1(HomePageUrl).startsWith(QStringLiteral("http://")));
    QVERIFY(QString::fromLatin1(HomePageUrl).endsWith(QLatin1Char('/')));

    // The about box: its caption, the version and the two addresses.
    f.shell.Started.clear();
    QCOMPARE(w.About->windowTitle(), QStringLiteral("About"));
    QVERIFY(w.About->findChild<QLabel*>(QStringLiteral("AboutVersion"))
                ->text()
                .contains(QStringLiteral("1.1.0.2")));
    emit w.About->SupportLink->linkActivated(QStringLiteral("x"));
    emit w.About->SalesLink->linkActivated(QStringLiteral("x"));
    QCOMPARE(f.shell.Started,
             QStringList({QStringLiteral("mailer mailto:") + QString::fromLatin1(SupportAddress),
                          QStringLiteral("mailer mailto:") + QString::fromLatin1(SalesAddress)}));
    QCOMPARE(w.About->SupportLink->cursor().shape(), Qt::PointingHandCursor);
}

void TestHelp::tipModeTwoShowsTheIntroduction() {
    HelpFixture f;
    f.settings.Values[QStringLiteral("Tip")] = 2;
    MainWindow& w = f.Start();
    TipOfTheDayWindow* tip = w.TipWindow;
    QVERIFY(tip->isVisible());
    QCOMPARE(tip->windowTitle(), QStringLiteral("Welcome - Tip of the Day"));
    QCOMPARE(tip->TipText->text(), TipOfTheDayWindow::IntroTip());
    QVERIFY(tip->ShowNextTime->isChecked());
    QVERIFY(tip->ShowNextTime->isHidden());
    QCOMPARE(w.Options.TipOfTheDayMode, 1);
    QVERIFY(!(tip->windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(tip->windowFlags() & Qt::WindowStaysOnTopHint);

    tip->CloseButton->click();
    QVERIFY(!tip->isVisible());
    QCOMPARE(w.Options.TipOfTheDayMode, 1);
    w.close();
    QCOMPARE(f.settings.Values.value(QStringLiteral("Tip")).toInt(), 1);

    // The next start shows a random tip with the box shown and checked.
    HelpFixture next;
    next.settings.Values = f.settings.Values;
    MainWindow& again = next.Start();
    QVERIFY(again.TipWindow->isVisible());
    QVERIFY(TipOfTheDayWindow::Tips().contains(again.TipWindow->TipText->text()));
    QVERIFY(!again.TipWindow->ShowNextTime->isHidden());
    QVERIFY(again.TipWindow->ShowNextTime->isChecked());
}

void TestHelp::closeSetsTheModeFromTheBox() {
    HelpFixture f;
    f.settings.Values[QStringLiteral("Tip")] = 1;
    MainWindow& w = f.Start();
    w.TipWindow->ShowNextTime->setChecked(false);
    QCOMPARE(w.Options.TipOfTheDayMode, 1); // only Close decides
    QTest::keyClick(w.TipWindow, Qt::Key_Escape);
    QCOMPARE(w.Options.TipOfTheDayMode, 0);
    w.close();
    QCOMPARE(f.settings.Values.value(QStringLiteral("Tip")).toInt(), 0);
}

void TestHelp::anotherTipNeverRepeats() {
    const QStringList tips = TipOfTheDayWindow::Tips();
    QCOMPARE(tips.size(), 21);
    QCOMPARE(QSet<QString>(tips.begin(), tips.end()).size(), 21);
    QVERIFY(!tips.at(11).isEmpty() && !tips.at(11).contains(QLatin1Char('\n')));
    int mode = 1;
    TipOfTheDayWindow tip(mode);
    // A scripted draw that offers the shown tip again before another one.
    QList<int> draws{4, 4, 4, 9, 9, 0};
    tip.Draw = [&draws](int count) {
        Q_ASSERT(count == 21);
        return draws.isEmpty() ? 0 : draws.takeFirst();
    };
    tip.ShowTipOfTheDay();
    QCOMPARE(tip.TipText->text(), tips.at(4));
    tip.AnotherTipButton->click();
    QCOMPARE(tip.TipText->text(), tips.at(9));
    tip.AnotherTipButton->click();
    QCOMPARE(tip.TipText->text(), tips.at(0));

    // And with the real draw, many presses in a row.
    tip.Draw = TipOfTheDayWindow(mode).Draw;
    QSet<QString> seen;
    for (int i = 0; i < 300; ++i) {
        const QString before = tip.TipText->text();
        tip.AnotherTip();
        QVERIFY(tip.TipText->text() != before);
        seen.insert(tip.TipText->text());
    }
    QCOMPARE(seen.size(), 21);
}

void TestHelp::bulletinBoardInTheWindow() {
    HelpFixture f;
    MainWindow& w = f.StartWithProject();
    QVERIFY(w.BBPage->isEnabled());
    QVERIFY(w.BBPage->UpdateButton->isEnabled());
    QCOMPARE(w.BBList->topLevelItemCount(), 1);
    QVERIFY(!w.ProjectModified);
    w.ToolPages->setCurrentIndex(BulletinBoardTab);
    w.BBList->topLevelItem(0)->setSelected(true);
    w.BBPage->OpenSelectedMessage();
    QCOMPARE(w.ReportViews[BulletinBoardTab]->toPlainText(), QStringLiteral("Hello\nthere\n"));
    QVERIFY(w.ProjectModified);
    QCOMPARE(w.Project.BulletinMessages.ReadStates(), QStringList{"1"});

    // "Save..." writes the message shown as rich text.
    const QString rtf = f.Dir.filePath(QStringLiteral("message.rtf"));
    f.dialogs.FileNames.enqueue(rtf);
    w.BBPage->SaveButton->click();
    QFile saved(rtf);
    QVERIFY2(saved.open(QIODevice::ReadOnly), qPrintable(f.dialogs.Texts().join('|')));
    const QByteArray bytes = saved.readAll();
    QVERIFY(bytes.startsWith("{\\rtf"));
    QVERIFY(bytes.contains("Hello") && bytes.contains("there"));

    // Closing empties the board and disables it.
    f.dialogs.Answers.enqueue(MsgAnswer::No);
    f.Trigger("actClose");
    QCOMPARE(w.BBList->topLevelItemCount(), 0);
    QVERIFY(w.ReportViews[BulletinBoardTab]->toPlainText().isEmpty());
    QVERIFY(!w.BBPage->isEnabled());
}

void TestHelp::stopCommandsFromTheToolsMenu() {
    HelpFixture f;
    f.settings.Values[QStringLiteral("UserId")] = QStringLiteral("owner7");
    MainWindow& w = f.StartWithProject(QStringLiteral("Y"), QStringLiteral("N"));
    QCOMPARE(w.UserId, QStringLiteral("owner7"));
    QVERIFY(!w.FindAction("actStopRankscoutBulletins")->isEnabled());
    f.Trigger("actStopBackwatchBulletins");
    QCOMPARE(f.http.Requested,
             QStringList{QStringLiteral("http://") + w.ServerAddress +
                         QStringLiteral("/cgi-bin/zeph/register/unreguser.cgi?uid=owner7&project="
                                        "http%3A%2F%2Fwww.example.org")});
    // Still enabled: the flags do not change.
    QVERIFY(w.FindAction("actStopBackwatchBulletins")->isEnabled());

    // Off line, and the user does not dial: the information box, nothing queued.
    HelpFixture off;
    MainWindow& w2 = off.StartWithProject();
    off.address.Address = QStringLiteral("0.0.0.0");
    off.dialogs.Answers.enqueue(MsgAnswer::No); // "dial now?"
    off.Trigger("actStopBackwatchBulletins");
    QVERIFY(off.dialogs.Texts().contains(
        QStringLiteral("You must be connected to the Internet to complete this operation, please "
                       "retry when you are connected.")));
    QVERIFY(w2.Net->RequestQueue.isEmpty());
    QVERIFY(off.http.Requested.isEmpty());
}

void TestHelp::editModeIsRefusedOnTheBulletinPage() {
    HelpFixture f;
    MainWindow& w = f.StartWithProject();
    w.ToolPages->setCurrentIndex(BulletinBoardTab);
    f.Trigger("actEditReport");
    QCOMPARE(f.dialogs.Texts(), QStringList{"You can not edit Bulletin Board Messages."});
    QCOMPARE(f.dialogs.Asked[0].Kind, MsgKind::Information);
    QVERIFY(!w.Reports->EditMode());
    QVERIFY(!w.FindAction("actEditReport")->isChecked());
    QVERIFY(!w.FindAction("tbEditMode")->isChecked());

    // On another page edit mode goes on; the focus entering the bulletin
    // page switches it off.
    w.ToolPages->setCurrentIndex(WordweighTab);
    f.Trigger("tbEditMode");
    QVERIFY(w.Reports->EditMode());
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.ReportViews[WordweighTab]->setFocus();
    w.ToolPages->setCurrentIndex(BulletinBoardTab);
    w.BBList->setFocus();
    QTRY_VERIFY(!w.Reports->EditMode());
    QVERIFY(!w.FindAction("tbEditMode")->isChecked());
    QVERIFY(w.ReportViews[WordweighTab]->isReadOnly());
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
