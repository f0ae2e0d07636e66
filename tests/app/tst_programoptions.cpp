// The Program Options dialog against an in-memory settings store.
#include "Fakes.h"
#include "ProgramSettings.h"
#include "programopt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace vantora;
using namespace vantora::test;

namespace {

// The dialog over an in-memory store; set options before the first Dialog().
struct Fixture {
    MemorySettings settings;
    FakeDialogs dialogs;
    ProgramOptions options;
    std::unique_ptr<ProgramOptionsDialog> dialog;
    ProgramOptionsDialog& Dialog() {
        if (!dialog)
            dialog = std::make_unique<ProgramOptionsDialog>(&settings, &dialogs, &options);
        return *dialog;
    }
};

} // namespace

class TestProgramOptions : public QObject {
    Q_OBJECT
  private slots:
    void fillsFromOptions_data();
    void fillsFromOptions();
    void okWritesEveryValue();
    void checkBoxSwitchesThePeriodicCheck_data();
    void checkBoxSwitchesThePeriodicCheck();
    void okTurnsPendingIntroTipIntoRandomTip();
    void cancelChangesNothing();
    void minutesFieldAcceptsDigitsOnly();
    void emptyMinutesGivesConversionFailure();
    void unopenableStoreChangesNothing();
    void loadSettingsOnUnopenableStoreKeepsStartValues();
    void serverTokenField_data();
    void serverTokenField();
};

void TestProgramOptions::fillsFromOptions_data() {
    QTest::addColumn<int>("checkMsg");
    QTest::addColumn<bool>("fieldEnabled");
    QTest::addColumn<QString>("shown");
    QTest::newRow("off") << 0 << false << "0";
    QTest::newRow("five") << 5 << true << "5";
    QTest::newRow("odd value") << 17 << true << "17";
}

void TestProgramOptions::fillsFromOptions() {
    QFETCH(int, checkMsg);
    QFETCH(bool, fieldEnabled);
    QFETCH(QString, shown);
    Fixture f;
    f.options.CheckMsg = checkMsg;
    f.options.Dial = true;
    f.options.TipOfTheDayMode = 2;
    ProgramOptionsDialog& dialog = f.Dialog();
    dialog.FillFromOptions();
    QCOMPARE(dialog.MinutesField->isEnabled(), fieldEnabled);
    QCOMPARE(dialog.MinutesField->currentText(), shown);
    QCOMPARE(dialog.CheckMsgBox->isChecked(), fieldEnabled);
    QVERIFY(dialog.CheckMsgBox->isEnabled());
    QCOMPARE(dialog.MinutesLabel->isEnabled(), fieldEnabled);
    QVERIFY(dialog.DialBox->isChecked());
    QVERIFY(!dialog.ReportGenBox->isChecked());
    QVERIFY(dialog.TipBox->isChecked());
}

void TestProgramOptions::okWritesEveryValue() {
    Fixture f;
    f.options.CheckMsg = 5;
    ProgramOptionsDialog& dialog = f.Dialog();
    dialog.FillFromOptions();
    dialog.DialBox->setChecked(true);
    dialog.ClearBox->setChecked(true);
    dialog.MinutesField->setEditText(QStringLiteral("30"));
    dialog.OkButton->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(f.settings.Values.value("Dial").toInt(), 1);
    QCOMPARE(f.settings.Values.value("ReportGen").toInt(), 0);
    QCOMPARE(f.settings.Values.value("CheckMsg").toInt(), 30);
    QCOMPARE(f.settings.Values.value("Clear").toInt(), 1);
    QCOMPARE(f.settings.Values.value("Leave").toInt(), 0);
    QCOMPARE(f.settings.Values.value("Tip").toInt(), 0);
    QVERIFY(f.options.Dial && f.options.Clear && !f.options.Leave);
    QCOMPARE(f.options.CheckMsg, 30);
    QVERIFY(!f.settings.Values.contains("HorzPos")); // the dialog writes only its own values
}

void TestProgramOptions::checkBoxSwitchesThePeriodicCheck_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("typed"); // "" = leave the field as the box left it
    QTest::addColumn<int>("stored");
    QTest::newRow("switched on from off offers 5") << 0 << true << "" << 5;
    QTest::newRow("switched on, minutes typed") << 0 << true << "10" << 10;
    QTest::newRow("switched off keeps no minutes") << 30 << false << "" << 0;
    QTest::newRow("switched off, even with junk left in the field") << 30 << false << "x" << 0;
    QTest::newRow("left on") << 30 << true << "" << 30;
}

void TestProgramOptions::checkBoxSwitchesThePeriodicCheck() {
    QFETCH(int, before);
    QFETCH(bool, checked);
    QFETCH(QString, typed);
    QFETCH(int, stored);
    Fixture f;
    f.options.CheckMsg = before;
    ProgramOptionsDialog& dialog = f.Dialog();
    dialog.FillFromOptions();
    dialog.CheckMsgBox->setChecked(checked);
    QCOMPARE(dialog.MinutesField->isEnabled(), checked);
    if (!typed.isEmpty())
        dialog.MinutesField->setEditText(typed);
    dialog.OkButton->click();
    QVERIFY(f.dialogs.GeneralErrors.isEmpty());
    QCOMPARE(f.settings.Values.value("CheckMsg").toInt(), stored);
    QCOMPARE(f.options.CheckMsg, stored);
}

void TestProgramOptions::okTurnsPendingIntroTipIntoRandomTip() {
    Fixture f;
    f.options.TipOfTheDayMode = 2;
    ProgramOptionsDialog& dialog = f.Dialog();
    dialog.FillFromOptions();
    dialog.OkButton->click();
    QCOMPARE(f.options.TipOfTheDayMode, 1);
    QCOMPARE(f.settings.Values.value("Tip").toInt(), 1);
}

void TestProgramOptions::cancelChangesNothing() {
    Fixture f;
    ProgramOptionsDialog& dialog = f.Dialog();
    dialog.FillFromOptions();
    dialog.DialBox->setChecked(true);
    dialog.CancelButton->click();
    QVERIFY(f.settings.Values.isEmpty());
    QVERIFY(!f.options.Dial);
}

void TestProgramOptions::minutesFieldAcceptsDigitsOnly() {
    Fixture f;
    f.options.CheckMsg = 1;
    ProgramOptionsDialog& dialog = f.Dialog();
    dialog.show();
    dialog.FillFromOptions();
    QLineEdit* edit = dialog.MinutesField->lineEdit();
    edit->clear();
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("1a-2 x34"));
    QCOMPARE(edit->text(), QStringLiteral("123")); // at most 3 characters, digits only
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("12"));
}

void TestProgramOptions::emptyMinutesGivesConversionFailure() {
    Fixture f;
    f.options.CheckMsg = 5;
    ProgramOptionsDialog& dialog = f.Dialog();
    dialog.FillFromOptions();
    dialog.DialBox->setChecked(true);
    dialog.ClearBox->setChecked(true);
    dialog.MinutesField->setEditText(QString());
    dialog.OkButton->click();
    QCOMPARE(f.dialogs.GeneralErrors, QStringList{"'' is not a valid integer value"});
    // Dial and ReportGen went through; the rest did not.
    QCOMPARE(f.settings.Values.value("Dial").toInt(), 1);
    QVERIFY(f.settings.Values.contains("ReportGen"));
    QVERIFY(!f.settings.Values.contains("CheckMsg"));
    QVERIFY(!f.settings.Values.contains("Clear"));
    QVERIFY(!f.options.Clear);
    QCOMPARE(f.options.CheckMsg, 5);
}

void TestProgramOptions::unopenableStoreChangesNothing() {
    Fixture f;
    f.settings.Openable = false;
    ProgramOptionsDialog& dialog = f.Dialog();
    dialog.FillFromOptions();
    dialog.DialBox->setChecked(true);
    dialog.OkButton->click();
    QVERIFY(!f.options.Dial);
    QVERIFY(f.dialogs.GeneralErrors.isEmpty());
}

void TestProgramOptions::loadSettingsOnUnopenableStoreKeepsStartValues() {
    MemorySettings settings;
    settings.Openable = false;
    const StoredSettings stored = LoadSettings(settings, 279, 153);
    QVERIFY(!stored.Options.Dial && !stored.Options.Leave);
    QCOMPARE(stored.Options.TipOfTheDayMode, 0);
    QCOMPARE(stored.RecentFiles, (QStringList{"", "", "", ""}));
    QVERIFY(settings.Values.isEmpty());
}

void TestProgramOptions::serverTokenField_data() {
    QTest::addColumn<QVariant>("before"); // invalid: the store holds no token
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QVariant>("after");
    QTest::addColumn<QStringList>("told"); // what the program was told to send
    QTest::newRow("none, none") << QVariant() << "" << QVariant() << QStringList{};
    QTest::newRow("first token") << QVariant() << " team-token-1 " << QVariant("team-token-1")
                                 << QStringList{"team-token-1"};
    QTest::newRow("unchanged") << QVariant("team-token-1") << "team-token-1"
                               << QVariant("team-token-1") << QStringList{};
    QTest::newRow("replaced") << QVariant("team-token-1") << "team-token-2"
                              << QVariant("team-token-2") << QStringList{"team-token-2"};
    QTest::newRow("cleared") << QVariant("team-token-1") << "" << QVariant("") << QStringList{""};
}

void TestProgramOptions::serverTokenField() {
    QFETCH(QVariant, before);
    QFETCH(QString, typed);
    QFETCH(QVariant, after);
    QFETCH(QStringList, told);
    Fixture f;
    if (before.isValid())
        f.settings.Values.insert("ServerToken", before);
    ProgramOptionsDialog& dialog = f.Dialog();
    QStringList sent;
    connect(&dialog, &ProgramOptionsDialog::ServerTokenChanged,
            [&](const QString& token) { sent << token; });
    dialog.FillFromOptions();
    QCOMPARE(dialog.ServerTokenField->text(), before.toString());
    QCOMPARE(dialog.ServerTokenField->echoMode(), QLineEdit::Password);
    dialog.ServerTokenField->setText(typed);
    dialog.OkButton->click();
    QCOMPARE(f.settings.Values.contains("ServerToken"), after.isValid());
    QCOMPARE(f.settings.Values.value("ServerToken"), after);
    QCOMPARE(sent, told);
    // The next start reads what the dialog stored.
    QCOMPARE(LoadSettings(f.settings, 279, 153).ServerToken, after.toString());
}

QTEST_MAIN(TestProgramOptions)
#include "tst_programoptions.moc"
