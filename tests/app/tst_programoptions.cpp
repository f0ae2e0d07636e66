// The Program Options dialog against an in-memory settings store.
#include "Fakes.h"
#include "ProgramSettings.h"
#include "programopt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace vantora;
using namespace vantora::test;

class TestProgramOptions : public QObject {
    Q_OBJECT
private slots:
    void fillsFromOptions_data();
    void fillsFromOptions();
    void okWritesEveryValue();
    void okTurnsPendingIntroTipIntoRandomTip();
    void cancelChangesNothing();
    void minutesFieldAcceptsDigitsOnly();
    void emptyMinutesGivesConversionFailure();
    void unopenableStoreChangesNothing();
    void loadSettingsOnUnopenableStoreKeepsStartValues();
};

void TestProgramOptions::fillsFromOptions_data()
{
    QTest::addColumn<int>("checkMsg");
    QTest::addColumn<bool>("fieldEnabled");
    QTest::addColumn<QString>("shown");
    QTest::newRow("off") << 0 << false << "0";
    QTest::newRow("five") << 5 << true << "5";
    QTest::newRow("odd value") << 17 << true << "17";
}

void TestProgramOptions::fillsFromOptions()
{
    QFETCH(int, checkMsg);
    QFETCH(bool, fieldEnabled);
    QFETCH(QString, shown);
    MemorySettings settings;
    FakeDialogs dialogs;
    ProgramOptions options;
    options.CheckMsg = checkMsg;
    options.Dial = true;
    options.TipOfTheDayMode = 2;
    ProgramOptionsDialog dialog(&settings, &dialogs, &options);
    dialog.FillFromOptions();
    QCOMPARE(dialog.MinutesField->isEnabled(), fieldEnabled);
    QCOMPARE(dialog.MinutesField->currentText(), shown);
    QCOMPARE(dialog.CheckMsgBox->isChecked(), fieldEnabled);
    QVERIFY(!dialog.CheckMsgBox->isEnabled());
    QVERIFY(dialog.DialBox->isChecked());
    QVERIFY(!dialog.ReportGenBox->isChecked());
    QVERIFY(dialog.TipBox->isChecked());
}

void TestProgramOptions::okWritesEveryValue()
{
    MemorySettings settings;
    FakeDialogs dialogs;
    ProgramOptions options;
    options.CheckMsg = 5;
    ProgramOptionsDialog dialog(&settings, &dialogs, &options);
    dialog.FillFromOptions();
    dialog.DialBox->setChecked(true);
    dialog.ClearBox->setChecked(true);
    dialog.MinutesField->setEditText(QStringLiteral("30"));
    dialog.OkButton->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(settings.Values.value("Dial").toInt(), 1);
    QCOMPARE(settings.Values.value("ReportGen").toInt(), 0);
    QCOMPARE(settings.Values.value("CheckMsg").toInt(), 30);
    QCOMPARE(settings.Values.value("Clear").toInt(), 1);
    QCOMPARE(settings.Values.value("Leave").toInt(), 0);
    QCOMPARE(settings.Values.value("Tip").toInt(), 0);
    QVERIFY(options.Dial && options.Clear && !options.Leave);
    QCOMPARE(options.CheckMsg, 30);
    QVERIFY(!settings.Values.contains("HorzPos")); // the dialog writes only its own values
}

void TestProgramOptions::okTurnsPendingIntroTipIntoRandomTip()
{
    MemorySettings settings;
    FakeDialogs dialogs;
    ProgramOptions options;
    options.TipOfTheDayMode = 2;
    ProgramOptionsDialog dialog(&settings, &dialogs, &options);
    dialog.FillFromOptions();
    dialog.OkButton->click();
    QCOMPARE(options.TipOfTheDayMode, 1);
    QCOMPARE(settings.Values.value("Tip").toInt(), 1);
}

void TestProgramOptions::cancelChangesNothing()
{
    MemorySettings settings;
    FakeDialogs dialogs;
    ProgramOptions options;
    ProgramOptionsDialog dialog(&settings, &dialogs, &options);
    dialog.FillFromOptions();
    dialog.DialBox->setChecked(true);
    dialog.CancelButton->click();
    QVERIFY(settings.Values.isEmpty());
    QVERIFY(!options.Dial);
}

void TestProgramOptions::minutesFieldAcceptsDigitsOnly()
{
    MemorySettings settings;
    FakeDialogs dialogs;
    ProgramOptions options;
    options.CheckMsg = 1;
    ProgramOptionsDialog dialog(&settings, &dialogs, &options);
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

void TestProgramOptions::emptyMinutesGivesConversionFailure()
{
    MemorySettings settings;
    FakeDialogs dialogs;
    ProgramOptions options;
    options.CheckMsg = 5;
    ProgramOptionsDialog dialog(&settings, &dialogs, &options);
    dialog.FillFromOptions();
    dialog.DialBox->setChecked(true);
    dialog.ClearBox->setChecked(true);
    dialog.MinutesField->setEditText(QString());
    dialog.OkButton->click();
    QCOMPARE(dialogs.GeneralErrors, QStringList{"'' is not a valid integer value"});
    // Dial and ReportGen went through; the rest did not.
    QCOMPARE(settings.Values.value("Dial").toInt(), 1);
    QVERIFY(settings.Values.contains("ReportGen"));
    QVERIFY(!settings.Values.contains("CheckMsg"));
    QVERIFY(!settings.Values.contains("Clear"));
    QVERIFY(!options.Clear);
    QCOMPARE(options.CheckMsg, 5);
}

void TestProgramOptions::unopenableStoreChangesNothing()
{
    MemorySettings settings;
    settings.Openable = false;
    FakeDialogs dialogs;
    ProgramOptions options;
    ProgramOptionsDialog dialog(&settings, &dialogs, &options);
    dialog.FillFromOptions();
    dialog.DialBox->setChecked(true);
    dialog.OkButton->click();
    QVERIFY(!options.Dial);
    QVERIFY(dialogs.GeneralErrors.isEmpty());
}

void TestProgramOptions::loadSettingsOnUnopenableStoreKeepsStartValues()
{
    MemorySettings settings;
    settings.Openable = false;
    const StoredSettings stored = LoadSettings(settings, 279, 153);
    QVERIFY(!stored.Options.Dial && !stored.Options.Leave);
    QCOMPARE(stored.Options.TipOfTheDayMode, 0);
    QCOMPARE(stored.RecentFiles, (QStringList{"", "", "", ""}));
    QVERIFY(settings.Values.isEmpty());
}

QTEST_MAIN(TestProgramOptions)
#include "tst_programoptions.moc"
