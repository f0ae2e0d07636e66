// The Sitecensus page in the main window: the options dialog made at
// start-up in its place among the dialogs, Start through the dialog, Cancel,
// Clear off and on, and a project left unmodified.
#include "Audit.h"
#include "Dialupthing.h"
#include "New.h"
#include "ReportView.h"
#include "SitecensusPage.h"
#include "WindowFixture.h"
#include "about.h"
#include "programopt.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QPushButton>

using namespace vantora;
using namespace vantora::test;

class TestSitecensusPage : public QObject {
    Q_OBJECT
  private slots:
    void dialogMadeInStartupOrder();
    void cancelLeavesTheReport();
    void auditsFollowOneAnother();
};

void TestSitecensusPage::dialogMadeInStartupOrder() {
    WindowFixture<> f;
    MainWindow& w = f.Start();
    const QObjectList children = w.children();
    const QList<qsizetype> order{children.indexOf(w.About), children.indexOf(w.ProjectSettings),
                                 children.indexOf(w.AuditOptionsDlg),
                                 children.indexOf(w.DialDialog),
                                 children.indexOf(w.ProgramOptionsDlg)};
    QVERIFY(!order.contains(-1));
    QVERIFY(std::is_sorted(order.begin(), order.end()));
}

void TestSitecensusPage::cancelLeavesTheReport() {
    WindowFixture<> f;
    MainWindow& w = f.Start();
    w.Options.Clear = true;
    ReportView* report = w.Census->Report();
    report->AppendLine(QStringLiteral("an earlier audit"));
    int shown = 0;
    w.RunModal = [&](QDialog* dialog) {
        ++shown;
        return dialog == w.AuditOptionsDlg ? int(QDialog::Rejected) : int(QDialog::Accepted);
    };
    QTest::mouseClick(w.Census->StartButton(), Qt::LeftButton);
    QCOMPARE(shown, 1);
    QCOMPARE(report->toPlainText(), QStringLiteral("an earlier audit"));
}

void TestSitecensusPage::auditsFollowOneAnother() {
    WindowFixture<> f;
    MainWindow& w = f.Start();
    w.Project.SiteMapLines = {
        "WEBCHARTER", "<ROOT>http://site.test/",       "<PAGE>http://site.test/",
        "<PUSH>",     "<BROKEN>http://site.test/gone", "<POP>"};
    w.Project.StuffwatchArchive.Append("http://site.test/", "12/1/26 9:00:00 AM", "x<br>spam");
    w.ProjectModified = false;
    QDate shownScope;
    w.RunModal = [&](QDialog* dialog) {
        if (dialog != w.AuditOptionsDlg)
            return int(QDialog::Rejected);
        shownScope = w.AuditOptionsDlg->ScopeDate->date();
        w.AuditOptionsDlg->Broken->setChecked(true);
        w.AuditOptionsDlg->Spam->setChecked(true);
        return int(QDialog::Accepted);
    };
    w.AuditOptionsDlg->ScopeDate->setDate(QDate(2001, 1, 1));
    QTest::mouseClick(w.Census->StartButton(), Qt::LeftButton);
    QCOMPARE(shownScope, f.clock.Time.date());
    QTest::mouseClick(w.Census->StartButton(), Qt::LeftButton);
    const QString text = w.Census->Report()->toPlainText();
    QCOMPARE(text.count(QStringLiteral("Sitecensus - Report, created ")), 2);
    QCOMPARE(text.count(QStringLiteral("Page http://site.test/ contains broken links")), 2);
    QCOMPARE(text.count(QStringLiteral("\u2022 1 from 1 Stuffwatched pages show Spamming.")), 2);
    QVERIFY(!w.ProjectModified);

    w.Options.Clear = true;
    QTest::mouseClick(w.Census->StartButton(), Qt::LeftButton);
    QCOMPARE(
        w.Census->Report()->toPlainText().count(QStringLiteral("Sitecensus - Report, created ")),
        1);
}

QTEST_MAIN(TestSitecensusPage)
#include "TestSitecensusPage.moc"
