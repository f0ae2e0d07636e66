// The audit options dialog: enabling rules, the digit filter and the resets
// at every showing.
#include "Audit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace vantora;

class TestAuditDialog : public QObject {
    Q_OBJECT
  private slots:
    void initialState();
    void enablingRules_data();
    void enablingRules();
    void digitFilter_data();
    void digitFilter();
    void showingResetsOnlyDatesEngineAndCondition();
};

void TestAuditDialog::initialState() {
    AuditDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Sitecensus - Create a new Report..."));
    const AuditOptions o = dialog.Choices();
    QVERIFY(!(o.Broken || o.Mailto || o.ShowXtal || o.ListPages || o.Spam || o.LessEffective ||
              o.Remote || o.Ranking || o.PrevSub || o.Submited || o.Limit));
    QCOMPARE(o.Effective, QStringLiteral("80"));
    QCOMPARE(o.Rank, QStringLiteral("5"));
    QCOMPARE(dialog.SearchEngine->count(), 17);
    QCOMPARE(dialog.SearchEngine->itemText(16), QStringLiteral("(All Search Engines)"));
    for (QWidget* w : std::initializer_list<QWidget*>{
             dialog.Effective, dialog.Rank, dialog.SearchEngine, dialog.Submited, dialog.SubmitType,
             dialog.SubmitDate, dialog.ScopeCapt, dialog.ScopeDate})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(dialog.OkButton->isDefault());
}

void TestAuditDialog::enablingRules_data() {
    // Boxes to toggle in order, then which controls are enabled.
    QTest::addColumn<QStringList>("toggles");
    QTest::addColumn<QStringList>("enabled");
    QTest::newRow("LessEffective") << QStringList{"LessEffective"} << QStringList{"Effective"};
    QTest::newRow("LessEffective off again")
        << QStringList{"LessEffective", "LessEffective"} << QStringList();
    QTest::newRow("Ranking") << QStringList{"Ranking"} << QStringList{"Rank"};
    QTest::newRow("PrevSub") << QStringList{"PrevSub"} << QStringList{"SearchEngine", "Submited"};
    QTest::newRow("Submited") << QStringList{"PrevSub", "Submited"}
                              << QStringList{"SearchEngine", "Submited", "SubmitType",
                                             "SubmitDate"};
    QTest::newRow("PrevSub off while Submited on")
        << QStringList{"PrevSub", "Submited", "PrevSub"} << QStringList();
    QTest::newRow("PrevSub on again, Submited stays off")
        << QStringList{"PrevSub", "Submited", "PrevSub", "PrevSub"}
        << QStringList{"SearchEngine", "Submited"};
    QTest::newRow("Limit") << QStringList{"Limit"} << QStringList{"ScopeCapt", "ScopeDate"};
}

void TestAuditDialog::enablingRules() {
    QFETCH(QStringList, toggles);
    QFETCH(QStringList, enabled);
    AuditDialog dialog;
    dialog.show();
    for (const QString& name : toggles) {
        if (name == QLatin1String("Limit")) {
            dialog.Limit->setChecked(!dialog.Limit->isChecked());
            continue;
        }
        auto* box = dialog.findChild<QCheckBox*>(name);
        QVERIFY(box && box->isEnabled());
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    }
    const QStringList dependents{"Effective",  "Rank",       "SearchEngine", "Submited",
                                 "SubmitType", "SubmitDate", "ScopeCapt",    "ScopeDate"};
    for (const QString& name : dependents) {
        auto* w = dialog.findChild<QWidget*>(name);
        QVERIFY(w);
        QVERIFY2(w->isEnabled() == enabled.contains(name), qPrintable(name));
    }
    if (toggles.count("PrevSub") == 2 || toggles.count("PrevSub") == 3)
        QVERIFY(!dialog.Submited->isChecked());
}

void TestAuditDialog::digitFilter_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Effective digits") << "Effective"
                                      << "85"
                                      << "85";
    QTest::newRow("Effective others dropped") << "Effective"
                                              << "a -.8 x5"
                                              << "85";
    QTest::newRow("Rank beyond the list") << "Rank"
                                          << "2-5+0"
                                          << "250";
    QTest::newRow("Rank nothing") << "Rank"
                                  << "abc"
                                  << "";
}

void TestAuditDialog::digitFilter() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    AuditDialog dialog;
    dialog.show();
    dialog.LessEffective->setChecked(true);
    dialog.Ranking->setChecked(true);
    auto* combo = dialog.findChild<QComboBox*>(field);
    QLineEdit* edit = combo->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QString());
    QTest::keyClicks(edit, typed);
    QCOMPARE(combo->currentText(), expected);
    // Choosing an item from the list always works.
    combo->setCurrentIndex(2);
    QCOMPARE(combo->currentText(), combo->itemText(2));
}

void TestAuditDialog::showingResetsOnlyDatesEngineAndCondition() {
    AuditDialog dialog;
    dialog.PrepareShowing(QDate(2026, 12, 1));
    dialog.Spam->setChecked(true);
    dialog.PrevSub->setChecked(true);
    dialog.Submited->setChecked(true);
    dialog.Limit->setChecked(true);
    dialog.Effective->setEditText("33");
    dialog.SearchEngine->setCurrentIndex(16);
    dialog.SubmitType->setCurrentIndex(2);
    dialog.SubmitDate->setDate(QDate(2020, 1, 1));
    dialog.ScopeDate->setDate(QDate(2020, 1, 1));
    dialog.PrepareShowing(QDate(2026, 12, 9)); // a later day
    const AuditOptions o = dialog.Choices();
    QVERIFY(o.Spam && o.PrevSub && o.Submited && o.Limit);
    QCOMPARE(o.Effective, QStringLiteral("33"));
    QCOMPARE(o.SearchEngine, QStringLiteral("Infoseek"));
    QCOMPARE(o.SubmitType, QStringLiteral("before"));
    QCOMPARE(o.SubmitDate, QDate(2026, 12, 9));
    QCOMPARE(o.ScopeDate, QDate(2026, 12, 9));
    QVERIFY(dialog.SubmitDate->isEnabled() && dialog.ScopeDate->isEnabled());
}

QTEST_MAIN(TestAuditDialog)
#include "TestAuditDialog.moc"
